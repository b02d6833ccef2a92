#include "gui/main_window_ui.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>

#include "gui/main_window_dialogs.h"
#include "serial/serial_port.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MainWindowUi::MainWindowUi(QWidget* window, QLabel* statusText, QProgressBar* statusBar, QLabel* instruction,
                           MainWindowDialogs& dialogs)
    : window_(window), statusText_(statusText), statusBar_(statusBar), instruction_(instruction), dialogs_(dialogs) {
  statusBar_->setTextVisible(true);
  ShowProgress();
}

MainWindowUi::~MainWindowUi() { busy(false); }

// The window's own event loop repaints: a stage needs no pumping of its own.
void MainWindowUi::stage(const std::string& text) {
  statusText_->setText(Q(text));
  statusText_->show();
  if (progress_.uploading) {
    EndUpload(progress_);
    ShowProgress();
  }
}

void MainWindowUi::hideStage() { statusText_->hide(); }

void MainWindowUi::setBar(int position) {
  EndUpload(progress_);
  MoveBar(progress_, position);
  ShowProgress();
}

void MainWindowUi::uploadBar(int position) {
  MoveUploadBar(progress_, position, MillisecondTick());
  ShowProgress();
}

void MainWindowUi::ShowProgress() {
  statusBar_->setValue(progress_.shown);
  statusBar_->setFormat(Q(ProgressText(progress_)));
}

// The sequence's own position, which may lie below what the bar shows.
int MainWindowUi::bar() const { return progress_.position; }

void MainWindowUi::setInstruction(const std::string& text) { instruction_->setText(Q(text)); }

void MainWindowUi::box(const std::string& text, const std::string& title, int kind) {
  dialogs_.Box(window_.data(), Q(text), Q(title), kind);
}

bool MainWindowUi::ask(const std::string& text, const std::string& title) {
  return dialogs_.Ask(window_.data(), Q(text), Q(title));
}

int MainWindowUi::choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                         const std::string& none) {
  QStringList labels;
  for (const std::string& option : options) labels.push_back(Q(option));
  return dialogs_.Choose(window_.data(), Q(text), Q(title), labels, Q(none));
}

void MainWindowUi::success() { QApplication::beep(); }

void MainWindowUi::busy(bool on) {
  if (on == busy_) return;
  busy_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void MainWindowUi::pump() {
  if (window_ != nullptr) window_->repaint();
  QCoreApplication::processEvents();
}
