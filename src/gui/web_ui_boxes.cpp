#include "gui/web_ui_boxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>

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

bool WebUiBoxes::AskUser(const QString& text, const QString& caption, bool yesNo, int kind) {
  const std::unique_ptr<QDialog> box = MakeAskBox(owner_.data(), text, caption, yesNo, kind);
  QApplication::beep();
  return box->exec() == QDialogButtonBox::Yes;
}

bool WebUiBoxes::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

QString WebUiBoxes::ChooseFile(const QString& title, const QString& folder, const QString& filter) {
  return QFileDialog::getOpenFileName(owner_.data(), title, folder, filter);
}
