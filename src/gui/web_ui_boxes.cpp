#include "gui/web_ui_boxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "gui/message_box.h"

namespace {

QMessageBox::Icon BoxIcon(int kind) {
  switch (kind) {
    case kBoxError: return QMessageBox::Critical;
    case kBoxInformation: return QMessageBox::Information;
    case kBoxConfirmation: return QMessageBox::Question;
    default: return QMessageBox::Warning;
  }
}

}  // namespace

std::unique_ptr<QDialog> MakeAskBox(QWidget* owner, const QString& text, const QString& caption, bool yesNo, int kind) {
  const QDialogButtonBox::StandardButtons buttons =
      yesNo ? QDialogButtonBox::Yes | QDialogButtonBox::No : QDialogButtonBox::Ok;
  return MakeMessageBox(owner, BoxIcon(kind), text, caption, buttons,
                        yesNo ? QDialogButtonBox::Yes : QDialogButtonBox::Ok);
}

bool WebUiBoxes::AskUser(const std::string& text, const std::string& caption, bool yesNo, int kind) {
  const std::unique_ptr<QDialog> box =
      MakeAskBox(owner_.data(), QString::fromStdString(text), QString::fromStdString(caption), yesNo, kind);
  QApplication::beep();
  return box->exec() == QDialogButtonBox::Yes;
}

bool WebUiBoxes::OpenUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

std::string WebUiBoxes::ChooseFile(const std::string& title, const std::string& folder, const std::string& filter) {
  return QFileDialog::getOpenFileName(owner_.data(), QString::fromStdString(title), QString::fromStdString(folder),
                                      QString::fromStdString(filter))
      .toStdString();
}
