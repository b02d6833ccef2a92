#include "gui/web_ui_boxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

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

bool WebUiBoxes::AskUser(const std::string& text, const std::string& caption, bool yesNo, int kind) {
  const QMessageBox::StandardButtons buttons = yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
  QMessageBox box(BoxIcon(kind), QString::fromStdString(caption), QString::fromStdString(text), buttons,
                  owner_.data());
  if (yesNo) box.setDefaultButton(QMessageBox::Yes);
  QApplication::beep();
  return box.exec() == QMessageBox::Yes;
}

bool WebUiBoxes::OpenUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

std::string WebUiBoxes::ChooseFile(const std::string& title, const std::string& folder, const std::string& filter) {
  return QFileDialog::getOpenFileName(owner_.data(), QString::fromStdString(title), QString::fromStdString(folder),
                                      QString::fromStdString(filter))
      .toStdString();
}
