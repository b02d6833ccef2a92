#include "gui/main_window_ui.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>

#include "gui/main_window_dialogs.h"

namespace {

constexpr int kBarMinimum = 0;
constexpr int kBarMaximum = 100;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MainWindowUi::MainWindowUi(QWidget* window, QLabel* statusText, QProgressBar* statusBar, QLabel* instruction,
                           MainWindowDialogs& dialogs)
    : window_(window), statusText_(statusText), statusBar_(statusBar), instruction_(instruction), dialogs_(dialogs) {}

MainWindowUi::~MainWindowUi() { busy(false); }

void MainWindowUi::stage(const std::string& text) {
  statusText_->setText(Q(text));
  statusText_->show();
  pump();
}

void MainWindowUi::hideStage() { statusText_->hide(); }

void MainWindowUi::setBar(int position) { statusBar_->setValue(std::clamp(position, kBarMinimum, kBarMaximum)); }

int MainWindowUi::bar() const { return statusBar_->value(); }

void MainWindowUi::setInstruction(const std::string& text) { instruction_->setText(Q(text)); }

void MainWindowUi::box(const std::string& text, const std::string& title, int kind) {
  dialogs_.Box(window_.data(), Q(text), Q(title), kind);
}

bool MainWindowUi::ask(const std::string& text, const std::string& title) {
  return dialogs_.Ask(window_.data(), Q(text), Q(title));
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

void PumpWindowEvents(int maxWaitMs) {
  // A nested loop sleeps until an event comes and ends when the wait is over.
  QEventLoop loop;
  QTimer::singleShot(std::max(maxWaitMs, 0), &loop, &QEventLoop::quit);
  loop.exec();
}
