#include "window/window_core.h"

#include "bsl/host_bsl.h"
#include "window/run_bridge.h"
#include "window/window_dialogs.h"
#include "window/window_texts.h"
#include "window/window_ui.h"

namespace {

constexpr int kStartIntervalMs = 100;
constexpr int kEraseWarnIntervalMs = 500;
constexpr int kConstructorErrorsIntervalMs = 100;
constexpr int kWebCheckIntervalMs = 500;
constexpr char kDontQuitTitle[] = "Don't Quit Now!";

int IntervalOf(TimerId id) {
  switch (id) {
    case TimerId::timerStart: return kStartIntervalMs;
    case TimerId::timerEraseWarn: return kEraseWarnIntervalMs;
    case TimerId::timerConstructorErrors: return kConstructorErrorsIntervalMs;
    case TimerId::tWebCheck: return kWebCheckIntervalMs;
  }
  return kStartIntervalMs;
}

}  // namespace

WindowCore::WindowCore(WindowSeams seams, WindowOptions options)
    : view_(seams.view),
      dialogs_(seams.dialogs),
      clock_(seams.clock),
      platform_(seams.platform),
      options_(std::move(options)),
      ui_(std::make_unique<WindowUi>(view_, dialogs_)) {
  for (const MenuEntry& row : MenuTable()) menuStates_[row.id] = row.start;
}

WindowCore::~WindowCore() {
  AbandonRun();
  ui_.reset();
}

void WindowCore::timer(TimerId id) {
  // A tick that was already on its way when its timer stopped.
  if (!TimerActive(id)) return;
  switch (id) {
    case TimerId::timerStart: timerStartTimer(); break;
    case TimerId::timerEraseWarn: timerEraseWarnTimer(); break;
    case TimerId::timerConstructorErrors: timerConstructorErrorsTimer(); break;
    case TimerId::tWebCheck: tWebCheckTimer(); break;
  }
}

// Escape is the Close button; Enter presses whichever button is the default.
void WindowCore::keyPressed(Key key) {
  const Control button = key == Key::kEscape ? Control::btnClose : defaultButton_;
  if (!Enabled(button)) return;
  if (button == Control::btnStart) {
    startPressed();
  } else {
    closePressed();
  }
}

void WindowCore::startPressed() { btnStartClick(); }

// Closing goes through the close guard, so a run started from the menu (which
// leaves this button enabled) is not cut off.
void WindowCore::closePressed() { view_.closeWindow(); }

bool WindowCore::closeRequested() {
  if (!ConfirmClose()) return false;
  FormClose();
  return true;
}

bool WindowCore::ConfirmClose() {
  if (RunActive()) {
    dialogs_.box(DontQuitText(state_.caption, state_.modelName), kDontQuitTitle, kBoxWarning);
    return false;
  }
  state_.keepGoing = false;
  return true;
}

void WindowCore::ShowErrorBox(const std::string& text, const std::string& title, int kind) {
  dialogs_.box(text, title, kind);
  if (log_ != nullptr) print_message(log_.get(), kLogFailure, kToldUserTag, "%s", text.c_str());
}

bool WindowCore::TimerActive(TimerId id) const {
  const auto found = timersActive_.find(id);
  return found != timersActive_.end() && found->second;
}

void WindowCore::StartTimer(TimerId id) {
  timersActive_[id] = true;
  clock_.startTimer(id, IntervalOf(id));
}

void WindowCore::StopTimer(TimerId id) {
  timersActive_[id] = false;
  clock_.stopTimer(id);
}

bool WindowCore::Enabled(Control control) const {
  const auto found = enabled_.find(control);
  return found == enabled_.end() || found->second;
}

void WindowCore::Enable(Control control, bool on) {
  enabled_[control] = on;
  view_.setEnabled(control, on);
}

void WindowCore::SetDefaultButton(Control button) {
  defaultButton_ = button;
  view_.setDefaultButton(button);
}

void WindowCore::Post(std::function<void()> call) {
  clock_.post([lifetime = std::weak_ptr<const bool>(lifetime_), call = std::move(call)] {
    if (!lifetime.expired()) call();
  });
}
