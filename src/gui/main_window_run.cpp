// The window's side of an update run: the start requests, the window made
// ready before the runner and returned to idle after it.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "gui/main_window.h"
#include "gui/main_window_texts.h"
#include "gui/main_window_ui.h"
#include "gui/port_combo_box.h"

namespace {

constexpr int kUpdatesNotBuilt = -1;

int UpdatesNotBuilt(UpdateRun& run) {
  ShowErrorBox(run, UpdatesNotBuiltText(run.state.caption), "Update Firmware", kBoxInformation);
  return kUpdatesNotBuilt;
}

}  // namespace

void TfrmMain::SetUpdateRunner(UpdateRunner runner) { runner_ = std::move(runner); }

// A run that has begun or is about to: events dispatched during a run must not
// start a second one on the same port inside it.
bool TfrmMain::StartRequested() const { return state_.updateInProgress || timerStart->isActive(); }

void TfrmMain::btnStartClick() {
  if (StartRequested()) return;
  btnStart->setEnabled(false);
  btnClose->setEnabled(false);
  UpdateFirmware1->setEnabled(false);
  timerStart->start();
}

void TfrmMain::UpdateFirmware1Click() {
  if (StartRequested()) return;
  timerStart->start();
  UpdateFirmware1->setEnabled(false);
}

// Closing goes through the close guard, so a run started from the menu (which
// leaves this button enabled) is not cut off.
void TfrmMain::btnCloseClick() { close(); }

void TfrmMain::timerStartTimer() {
  timerStart->stop();
  if (state_.updateInProgress || engine_ == nullptr) return;
  BeginRun();
  UpdateRun run{state_, *ui_, *engine_, log_.get()};
  lastRunResult_ = runner_ ? runner_(run) : UpdatesNotBuilt(run);
  ReturnToIdle();
}

void TfrmMain::BeginRun() {
  cbCommPort->setEnabled(false);
  state_.updateInProgress = true;
  state_.keepGoing = true;
  ui_->setBar(0);
  ui_->busy(true);
  state_.settingsFile = SettingsFileFor(state_.dataFolder, state_.modelName);
  state_.newSerialNumber = newSNstr->text().toStdString();
}

void TfrmMain::ReturnToIdle() {
  btnStart->setEnabled(true);
  btnStart->setDefault(false);
  btnClose->setEnabled(true);
  btnClose->setDefault(true);
  UpdateFirmware1->setEnabled(true);
  ReplaceSerialNumber1->setChecked(false);
  state_.replaceSerialNumber = false;
  newSNstr->hide();
  newSN->hide();
  newSNstr->clear();
  state_.newSerialNumber.clear();
  cbCommPort->setEnabled(true);
  ui_->busy(false);
  state_.updateInProgress = false;
}
