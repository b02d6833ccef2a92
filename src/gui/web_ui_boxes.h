// The web services' questions and messages as message boxes over the main window.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "web/web_ui.h"

// The box AskUser shows, not yet shown: OK alone, or Yes and No with Yes the default;
// exec() returns the QDialogButtonBox::StandardButton pressed.
std::unique_ptr<QDialog> MakeAskBox(QWidget* owner, const QString& text, const QString& caption, bool yesNo, int kind);

class WebUiBoxes : public WebUi {
 public:
  explicit WebUiBoxes(QWidget* owner) : owner_(owner) {}

  bool AskUser(const std::string& text, const std::string& caption, bool yesNo, int kind) override;
  bool OpenUrl(const std::string& url) override;
  std::string ChooseFile(const std::string& title, const std::string& folder, const std::string& filter) override;

 private:
  QPointer<QWidget> owner_;  // the boxes are centred on it
};
