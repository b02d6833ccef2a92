#include "gui/main_window_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/box_kinds.h"

namespace {

QMessageBox::Icon BoxIcon(int kind) {
  switch (kind) {
    case kBoxWarning: return QMessageBox::Warning;
    case kBoxError: return QMessageBox::Critical;
    case kBoxInformation: return QMessageBox::Information;
    case kBoxConfirmation: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

// A box over a busy window gets the ordinary pointer for as long as it is open.
struct PointerCursor {
  PointerCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~PointerCursor() { QApplication::restoreOverrideCursor(); }
  PointerCursor(const PointerCursor&) = delete;
  PointerCursor& operator=(const PointerCursor&) = delete;
};

int ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text, const QString& title,
            QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, owner);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  const PointerCursor pointer;
  QApplication::beep();
  return box.exec();
}

QString RunFileDialog(QWidget* owner, const FileDialogRequest& request, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(owner, request.title, request.folder, request.filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(request.defaultSuffix);
  const PointerCursor pointer;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace

void QtDialogs::Box(QWidget* owner, const QString& text, const QString& title, int kind) {
  ShowBox(owner, BoxIcon(kind), text, title, QMessageBox::Ok);
}

bool QtDialogs::Ask(QWidget* owner, const QString& text, const QString& title) {
  return ShowBox(owner, QMessageBox::Warning, text, title, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

QString QtDialogs::OpenFile(QWidget* owner, const FileDialogRequest& request) {
  return RunFileDialog(owner, request, QFileDialog::AcceptOpen);
}

QString QtDialogs::SaveFile(QWidget* owner, const FileDialogRequest& request) {
  return RunFileDialog(owner, request, QFileDialog::AcceptSave);
}
