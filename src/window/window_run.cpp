// The window's side of an update run: the start requests, the window made
// ready before the run and returned to idle after it. The run itself works on
// a thread of its own, so that no box, menu or window event can hold up the
// conversation with the device; it reaches the window through WindowRunUi.
#include "app/kept_settings.h"
#include "window/run_bridge.h"
#include "window/window_core.h"
#include "window/window_texts.h"
#include "window/window_ui.h"

namespace {

constexpr int kUpdatesNotBuilt = -1;
constexpr char kUpdateFirmwareTitle[] = "Update Firmware";

int UpdatesNotBuilt(UpdateRun& run) {
  ShowErrorBox(run, UpdatesNotBuiltText(run.state.caption), kUpdateFirmwareTitle, kBoxInformation);
  return kUpdatesNotBuilt;
}

}  // namespace

// A run that has begun or is about to: a second one must not start on the same port.
bool WindowCore::StartRequested() const { return state_.updateInProgress || TimerActive(TimerId::timerStart); }

void WindowCore::btnStartClick() {
  if (StartRequested()) return;
  Enable(Control::btnStart, false);
  Enable(Control::btnClose, false);
  EnableMenuItem(MenuId::UpdateFirmware1, false);
  StartTimer(TimerId::timerStart);
}

void WindowCore::UpdateFirmware1Click() {
  if (StartRequested()) return;
  StartTimer(TimerId::timerStart);
  EnableMenuItem(MenuId::UpdateFirmware1, false);
}

void WindowCore::timerStartTimer() {
  StopTimer(TimerId::timerStart);
  if (state_.updateInProgress || engine_ == nullptr) return;
  BeginRun();
  // The run works on a copy of the state: the window's menus may change theirs meanwhile,
  // and what the person chose at Start holds for the whole run.
  runState_ = state_;
  runUi_ = std::make_unique<WindowRunUi>(clock_, *ui_);
  UpdateRunner runner = runner_ ? runner_ : UpdateRunner(UpdatesNotBuilt);
  runThread_ = std::thread([this, runner = std::move(runner)] {
    UpdateRun run{runState_, *runUi_, *engine_, log_.get()};
    const int result = runner(run);
    Post([this, result] { RunFinished(result); });
  });
}

void WindowCore::RunFinished(int result) {
  if (runThread_.joinable()) runThread_.join();
  runUi_.reset();
  lastRunResult_ = result;
  ShowUnfinished(result < 0 && UpdateUnfinished());
  ReturnToIdle();
}

// The window goes away during a run: the run is let finish without it.
void WindowCore::AbandonRun() {
  if (!runThread_.joinable()) return;
  runUi_->Abandon();
  runThread_.join();
  runUi_.reset();
}

void WindowCore::BeginRun() {
  Enable(Control::cbCommPort, false);
  state_.updateInProgress = true;
  state_.keepGoing = true;
  ui_->setBar(0);
  ui_->busy(true);
  state_.settingsFile = SettingsFileFor(state_.dataFolder, state_.modelName);
  state_.newSerialNumber = view_.text(Control::newSNstr);
}

// A failed run kept its settings file (in this session or an earlier one): the next Start
// resumes the update.
bool WindowCore::UpdateUnfinished() const { return UnfinishedUpdateWaiting(state_.dataFolder, state_.modelName); }

void WindowCore::ShowUnfinished(bool shown) {
  view_.setText(Control::unfinishedLine, kUnfinishedText);
  view_.setVisible(Control::unfinishedLine, shown);
}

void WindowCore::ReturnToIdle() {
  Enable(Control::btnStart, true);
  Enable(Control::btnClose, true);
  SetDefaultButton(Control::btnClose);
  EnableMenuItem(MenuId::UpdateFirmware1, true);
  CheckMenuItem(MenuId::ReplaceSerialNumber1, false);
  state_.replaceSerialNumber = false;
  view_.setVisible(Control::newSNstr, false);
  view_.setVisible(Control::newSN, false);
  view_.setText(Control::newSNstr, "");
  state_.newSerialNumber.clear();
  Enable(Control::cbCommPort, true);
  ui_->busy(false);
  state_.updateInProgress = false;
}
