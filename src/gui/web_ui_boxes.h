// The web services' questions and messages as message boxes over the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "web/web_ui.h"

class WebUiBoxes : public WebUi {
 public:
  explicit WebUiBoxes(QWidget* owner) : owner_(owner) {}

  bool AskUser(const QString& text, const QString& caption, bool yesNo, int kind) override;
  bool OpenUrl(const QUrl& url) override;
  QString ChooseFile(const QString& title, const QString& folder, const QString& filter) override;

 private:
  QPointer<QWidget> owner_;  // the boxes are centred on it
};
