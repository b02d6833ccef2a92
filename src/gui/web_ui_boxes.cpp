#include "gui/web_ui_boxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

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

bool WebUiBoxes::AskUser(const QString& text, const QString& caption, bool yesNo, int kind) {
  const QMessageBox::StandardButtons buttons = yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
  QMessageBox box(BoxIcon(kind), caption, text, buttons, owner_.data());
  if (yesNo) box.setDefaultButton(QMessageBox::Yes);
  QApplication::beep();
  return box.exec() == QMessageBox::Yes;
}

bool WebUiBoxes::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

QString WebUiBoxes::ChooseFile(const QString& title, const QString& folder, const QString& filter) {
  return QFileDialog::getOpenFileName(owner_.data(), title, folder, filter);
}
