// Everything the main window shows modally, with Qt: message boxes, questions, the
// choice among settings files and the file dialogs. Tests hand the window a recorder.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

#include "window/window_dialogs.h"

class QWidget;

// The message box as the window shows it (kind as ShowErrorBox takes it), not yet
// shown: the window's boxes and the tests that measure them build it here.
std::unique_ptr<QDialog> MakeBox(QWidget* owner, int kind, const QString& text, const QString& title);
// The OK/Cancel question box, not yet shown.
std::unique_ptr<QDialog> MakeQuestion(QWidget* owner, const QString& text, const QString& title);

// The choice among options, not yet shown: a list of them, `none` first and chosen.
std::unique_ptr<QDialog> MakeChoice(QWidget* owner, const QString& text, const QString& title,
                                    const QStringList& options, const QString& none);
// The option a shown choice holds: its index, or kChoseNone.
int ChoiceMade(const QDialog& choice);

// The boxes are centred on the owner (the main window).
class QtDialogs : public WindowDialogs {
 public:
  explicit QtDialogs(QWidget* owner) : owner_(owner) {}

  void box(const std::string& text, const std::string& title, int kind) override;
  bool ask(const std::string& text, const std::string& title) override;
  int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
             const std::string& none) override;
  std::string openFile(const FileRequest& request) override;
  std::string saveFile(const FileRequest& request) override;
  NetworkPortsAnswer networkPorts(const std::vector<std::string>& urls) override;

 private:
  QPointer<QWidget> owner_;
};
