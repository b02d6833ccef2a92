#include "window/window_ui.h"

#include "app/box_kinds.h"
#include "serial/serial_port.h"
#include "window/window_dialogs.h"
#include "window/window_view.h"

WindowUi::WindowUi(WindowView& view, WindowDialogs& dialogs) : view_(view), dialogs_(dialogs) { ShowProgress(); }

WindowUi::~WindowUi() { busy(false); }

void WindowUi::stage(const std::string& text) {
  view_.setText(Control::statusText, text);
  view_.setVisible(Control::statusText, true);
  if (progress_.uploading) {
    EndUpload(progress_);
    ShowProgress();
  }
}

void WindowUi::hideStage() { view_.setVisible(Control::statusText, false); }

void WindowUi::setBar(int position) {
  EndUpload(progress_);
  MoveBar(progress_, position);
  ShowProgress();
}

void WindowUi::uploadBar(int position) {
  MoveUploadBar(progress_, position, MillisecondTick());
  ShowProgress();
}

void WindowUi::ShowProgress() { view_.setProgress(progress_.shown, ProgressText(progress_)); }

// The sequence's own position, which may lie below what the bar shows.
int WindowUi::bar() const { return progress_.position; }

void WindowUi::setInstruction(const std::string& text) { view_.setText(Control::lblConnect, text); }

void WindowUi::box(const std::string& text, const std::string& title, int kind) { dialogs_.box(text, title, kind); }

bool WindowUi::ask(const std::string& text, const std::string& title) { return dialogs_.ask(text, title); }

int WindowUi::choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                     const std::string& none) {
  return dialogs_.choose(text, title, options, none);
}

void WindowUi::success() { view_.beep(kBoxInformation); }

void WindowUi::busy(bool on) {
  if (on == busy_) return;
  busy_ = on;
  view_.setBusyCursor(on);
}
