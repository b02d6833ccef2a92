// The window's side of an update run: the start requests, the window made
// ready before the run and returned to idle after it. The run itself works on
// a thread of its own, so that no box, menu or window event can hold up the
// conversation with the device; it reaches the window through WindowRunUi.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>
#include <system_error>

#include "app/kept_settings.h"
#include "gui/main_window.h"
#include "gui/main_window_texts.h"
#include "gui/main_window_ui.h"
#include "gui/port_combo_box.h"
#include "gui/run_bridge.h"
#include "log/platform.h"

namespace {

constexpr int kUpdatesNotBuilt = -1;
constexpr char kUnfinishedText[] = "The update is unfinished: press Start to resume it.";

constexpr char kUnfinishedName[] = "unfinishedLine";

// A window laid out without a place for the line gets it at its foot.
QLabel* MakeUnfinishedLine(QMainWindow& window) {
  QStatusBar* foot = window.statusBar();
  foot->setSizeGripEnabled(false);
  auto* line = new QLabel(foot);
  line->setObjectName(QString::fromLatin1(kUnfinishedName));
  line->setWordWrap(true);
  foot->addWidget(line, 1);
  return line;
}

int UpdatesNotBuilt(UpdateRun& run) {
  ShowErrorBox(run, UpdatesNotBuiltText(run.state.caption), "Update Firmware", kBoxInformation);
  return kUpdatesNotBuilt;
}

}  // namespace

void TfrmMain::SetUpdateRunner(UpdateRunner runner) { runner_ = std::move(runner); }

// A run that has begun or is about to: a second one must not start on the same port.
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
  // The run works on a copy of the state: the window's menus may change theirs meanwhile,
  // and what the person chose at Start holds for the whole run.
  runState_ = state_;
  runUi_ = std::make_unique<WindowRunUi>(this, *ui_);
  UpdateRunner runner = runner_ ? runner_ : UpdateRunner(UpdatesNotBuilt);
  runThread_ = std::thread([this, runner = std::move(runner)] {
    UpdateRun run{runState_, *runUi_, *engine_, log_.get()};
    const int result = runner(run);
    QMetaObject::invokeMethod(this, [this, result] { RunFinished(result); }, Qt::QueuedConnection);
  });
}

void TfrmMain::RunFinished(int result) {
  if (runThread_.joinable()) runThread_.join();
  runUi_.reset();
  lastRunResult_ = result;
  ShowUnfinished(result < 0 && UpdateUnfinished());
  ReturnToIdle();
}

// The window goes away during a run: the run is let finish without it.
void TfrmMain::AbandonRun() {
  if (!runThread_.joinable()) return;
  runUi_->Abandon();
  runThread_.join();
  runUi_.reset();
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

// A failed run kept its settings file (in this session or an earlier one): the next Start
// resumes the update.
bool TfrmMain::UpdateUnfinished() const { return UnfinishedUpdateWaiting(state_.dataFolder, state_.modelName); }

void TfrmMain::ShowUnfinished(bool shown) {
  QLabel* line = findChild<QLabel*>(QString::fromLatin1(kUnfinishedName));
  if (line == nullptr && !shown) return;
  if (line == nullptr) line = MakeUnfinishedLine(*this);
  line->setText(QString::fromLatin1(kUnfinishedText));
  line->setVisible(shown);
  // A line of the window's own foot shows and hides with it.
  if (QStatusBar* foot = findChild<QStatusBar*>(); foot != nullptr && line->parent() == foot) foot->setVisible(shown);
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
