// The window's side of an update run: what the runner is lent, the window
// during and after a run, the close guard and the start requests while a run
// is active.
#include <QApplication>
#include <QComboBox>
#include <QThread>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <thread>

#include "gui/main_window_fixture.h"
#include "pty_pair.h"
#include "serial/serial_port.h"

namespace {

constexpr char kDontQuit[] =
    "The Pelloran TGX Firmware Updater is updating your Pelloran TGX!\nThis process should NOT be interrupted.\n\n"
    "Your Pelloran TGX may be unusable or have missing settings\nuntil you complete the firmware update process.\n\n"
    "Click OK to continue updating yourPelloran TGX.\n";

class RunTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    SetExtraPorts({pty_.slavePath});
  }
  // Waits until the runner has been called and the window is idle again.
  void WaitForRuns(int count) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs_ == count && !window_->RunActive(); }, kWaitMs));
  }
  bool Busy() const {
    return QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
  }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }

  PtyPair pty_;
  std::atomic<int> runs_{0};
};

TEST_F(RunTest, RunnerGetsTheWindowStateAndTheWindowReturnsToIdle) {
  TfrmMain& window = Open({"vornbsl", "-factory"});
  Action("ReplaceSerialNumber1")->trigger();
  Find<QLineEdit>("newSNstr")->setText("SN-0042");
  Action("DontEraseData1")->trigger();
  dialogs_.answerOk = false;
  std::vector<QThread*> boxThreads;
  dialogs_.onBox = [&](const ShownBox&) { boxThreads.push_back(QThread::currentThread()); };

  window.SetUpdateRunner([&](UpdateRun& run) {
    ++runs_;
    // The run has a thread of its own: nothing on the window's thread can hold it up.
    EXPECT_NE(QThread::currentThread(), window.thread());
    const UpdaterState& state = run.state;
    EXPECT_TRUE(state.updateInProgress);
    EXPECT_TRUE(state.keepGoing);
    EXPECT_EQ(state.caption, kCaption);
    EXPECT_EQ(state.modelName, kModel);
    EXPECT_EQ(state.portName, pty_.slavePath);
    EXPECT_EQ(state.portLabel, pty_.slavePath + " Communications Port");
    EXPECT_EQ(state.dataFolder, dataDir_.path().toStdString());
    EXPECT_EQ(state.settingsFile, DataPath("Pelloran TGX.settings.txt"));
    EXPECT_EQ(state.imageVersion, 150u);
    EXPECT_TRUE(state.factoryMode);
    EXPECT_TRUE(state.repairMode);
    EXPECT_TRUE(state.replaceSerialNumber);
    EXPECT_EQ(state.newSerialNumber, "SN-0042");
    EXPECT_TRUE(state.dontEraseData);
    EXPECT_EQ(&run.engine, window.Engine());
    EXPECT_EQ(run.log, window.Log());
    EXPECT_EQ(run.ui.bar(), 0);

    OnWindowThread([&] {
      EXPECT_FALSE(Button("btnStart")->isEnabled());
      EXPECT_FALSE(Button("btnClose")->isEnabled());
      EXPECT_FALSE(Action("UpdateFirmware1")->isEnabled());
      EXPECT_FALSE(Find<QComboBox>("cbCommPort")->isEnabled());
      EXPECT_TRUE(Busy());
      // What the menus change during a run is the window's: the run keeps what held at Start.
      Action("DontEraseData1")->trigger();
    });
    EXPECT_TRUE(state.dontEraseData);

    // Every call reaches the window in the order it was made.
    run.ui.setInstruction("Do NOT disconnect Pelloran TGX until finished.");
    run.ui.stage("Connecting to Pelloran TGX...");
    run.ui.setBar(42);
    OnWindowThread([&] {
      EXPECT_EQ(Text("lblConnect"), "Do NOT disconnect Pelloran TGX until finished.");
      EXPECT_TRUE(Find<QLabel>("statusText")->isVisible());
      EXPECT_EQ(Text("statusText"), "Connecting to Pelloran TGX...");
      EXPECT_EQ(Find<QProgressBar>("statusBar")->value(), 42);
      EXPECT_EQ(Find<QProgressBar>("statusBar")->text(), "42%");
    });
    run.ui.setBar(140);
    EXPECT_EQ(run.ui.bar(), 100);
    // Questions and boxes hold the run until they are answered.
    EXPECT_FALSE(run.ui.ask("The firmware in your Pelloran TGX\nis newer", "Newer Firmware"));
    EXPECT_EQ(dialogs_.Titled("Newer Firmware").size(), 1u);
    run.ui.box("Settings text", "Settings Error", kBoxError);
    EXPECT_EQ(dialogs_.Titled("Settings Error").size(), 1u);
    run.ui.hideStage();
    OnWindowThread([&] { EXPECT_FALSE(Find<QLabel>("statusText")->isVisible()); });
    return 1;
  });
  Button("btnStart")->click();
  EXPECT_FALSE(Button("btnStart")->isEnabled());
  EXPECT_TRUE(Timer("timerStart")->isActive());
  WaitForRuns(1);

  EXPECT_EQ(window.LastRunResult(), 1);
  EXPECT_FALSE(Timer("timerStart")->isActive());
  EXPECT_TRUE(Button("btnStart")->isEnabled());
  EXPECT_FALSE(Button("btnStart")->isDefault());
  EXPECT_TRUE(Button("btnClose")->isEnabled());
  EXPECT_TRUE(Button("btnClose")->isDefault());
  EXPECT_TRUE(Action("UpdateFirmware1")->isEnabled());
  EXPECT_FALSE(Action("ReplaceSerialNumber1")->isChecked());
  EXPECT_FALSE(window.State().replaceSerialNumber);
  EXPECT_FALSE(Find<QLineEdit>("newSNstr")->isVisible());
  EXPECT_FALSE(Find<QLabel>("newSN")->isVisible());
  EXPECT_EQ(Find<QLineEdit>("newSNstr")->text(), "");
  EXPECT_TRUE(Find<QComboBox>("cbCommPort")->isEnabled());
  EXPECT_FALSE(Busy());
  EXPECT_FALSE(window.State().updateInProgress);

  const std::vector<ShownBox> questions = dialogs_.Titled("Newer Firmware");
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, -1);
  ASSERT_EQ(dialogs_.Titled("Settings Error").size(), 1u);
  for (QThread* thread : boxThreads) EXPECT_EQ(thread, window.thread());
  // The sequence logs its own boxes: the interface's box does not.
  EXPECT_EQ(ErrorFileText().find("Settings text"), std::string::npos);
}

TEST_F(RunTest, DefaultRunnerSaysThisBuildCannotUpdate) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  Action("UpdateFirmware1")->trigger();
  // The menu leaves the buttons as they are.
  EXPECT_FALSE(Action("UpdateFirmware1")->isEnabled());
  EXPECT_TRUE(Button("btnStart")->isEnabled());
  EXPECT_TRUE(Button("btnClose")->isEnabled());
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !dialogs_.Titled("Update Firmware").empty() && !window.RunActive(); }, kWaitMs));
  EXPECT_EQ(window.LastRunResult(), -1);
  const ShownBox box = dialogs_.Titled("Update Firmware")[0];
  EXPECT_EQ(box.kind, kBoxInformation);
  EXPECT_EQ(box.text, "This version of the Pelloran TGX Firmware Updater cannot update devices yet.\n\n"
                      "Please use a newer version of this updater.");
  EXPECT_NE(ErrorFileText().find("ErrorOK Told User:: This version of the"), std::string::npos);
}

TEST_F(RunTest, CloseGuardKeepsTheWindowOpenWhileARunIsActive) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  window.SetUpdateRunner([&](UpdateRun& run) {
    OnWindowThread([&] {
      EXPECT_FALSE(window.close());                  // the close box, Alt+F4
      Action("Exit1")->trigger();                    // "&Exit"
      EXPECT_TRUE(Button("btnClose")->isEnabled());  // a run from the menu leaves it enabled
      Button("btnClose")->click();
      EXPECT_TRUE(window.isVisible());
      EXPECT_TRUE(window.State().keepGoing);
    });
    EXPECT_TRUE(run.state.keepGoing);
    ++runs_;
    return 1;
  });
  Action("UpdateFirmware1")->trigger();
  WaitForRuns(1);

  const std::vector<ShownBox> refusals = dialogs_.Titled("Don't Quit Now!");
  ASSERT_EQ(refusals.size(), 3u);
  for (const ShownBox& box : refusals) {
    EXPECT_EQ(box.text, kDontQuit);
    EXPECT_EQ(box.kind, kBoxWarning);
  }
  EXPECT_FALSE(QSettings(kSettingsOrganisation, kSettingsApplication).contains("CommPort"));

  // Idle again: the same commands close at once.
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(window.State().keepGoing);
  EXPECT_EQ(dialogs_.Titled("Don't Quit Now!").size(), 3u);
  EXPECT_EQ(Setting("CommPort").toString(), Q(pty_.slavePath));
}

TEST_F(RunTest, StartRequestsWhileARunIsActiveAreIgnored) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  window.SetUpdateRunner([&](UpdateRun&) {
    ++runs_;
    if (runs_ > 1) return -99;
    OnWindowThread([&] {
      Button("btnStart")->click();  // enabled: the run came from the menu
      window.UpdateFirmware1Click();
      window.timerStartTimer();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // any start timer would have ticked by now
    OnWindowThread([&] { EXPECT_FALSE(Timer("timerStart")->isActive()); });
    return 1;
  });
  Action("UpdateFirmware1")->trigger();
  WaitForRuns(1);
  QTest::qWait(300);
  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(window.LastRunResult(), 1);

  // A start already requested is not requested twice.
  Button("btnStart")->click();
  window.UpdateFirmware1Click();
  WaitForRuns(2);
  QTest::qWait(300);
  EXPECT_EQ(runs_, 2);
}

// The window may go away during a run (the application quits): the run is let end
// without it, its questions answered Cancel and its boxes passed by, and nothing hangs.
// A settings file kept by an earlier session's failed run: the window says so from the start,
// and a run that succeeds takes the line away.
TEST_F(RunTest, ASettingsFileKeptByAnEarlierSessionShowsTheUnfinishedLine) {
  std::ofstream(DataPath("Pelloran TGX.settings.txt")) << "sn=\"A1\"\r\n";
  TfrmMain& window = Open({"vornbsl", "-rep"});
  const auto* unfinished = Find<QLabel>("unfinishedLine");
  ASSERT_NE(unfinished, nullptr);
  EXPECT_TRUE(unfinished->isVisible());
  window.SetUpdateRunner([&](UpdateRun&) { return ++runs_; });
  Action("UpdateFirmware1")->trigger();
  WaitForRuns(1);
  EXPECT_FALSE(unfinished->isVisible());
}

TEST_F(RunTest, AWindowThatGoesAwayDuringARunLetsTheRunEnd) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  std::atomic<bool> started{false};
  std::atomic<bool> answer{true};
  window.SetUpdateRunner([&](UpdateRun& run) {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the window is going meanwhile
    answer = run.ui.ask("Go on?", "Question");
    run.ui.box("Gone", "Box", kBoxError);
    run.ui.stage("Still running");
    return ++runs_;
  });
  Action("UpdateFirmware1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, kWaitMs));
  window_.reset();
  EXPECT_EQ(runs_, 1);
  EXPECT_FALSE(answer);
  EXPECT_TRUE(dialogs_.Titled("Question").empty());
  EXPECT_TRUE(dialogs_.Titled("Box").empty());
}

TEST_F(RunTest, LongWaitsInsideARunLeaveTheWindowItsEvents) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  std::atomic<bool> ticked{false};
  QThread* tickThread = nullptr;
  bool tickedDuringWait = false;
  uint32_t waitedMs = 0;
  window.SetUpdateRunner([&](UpdateRun&) {
    OnWindowThread([&] {
      QTimer::singleShot(50, &window, [&] {
        tickThread = QThread::currentThread();
        ticked = true;
      });
    });
    const uint32_t start = MillisecondTick();
    SleepPumping(400);  // the run's thread dispatches nothing: the window's thread has its own loop
    waitedMs = MillisecondTick() - start;
    tickedDuringWait = ticked;
    return ++runs_;
  });
  Action("UpdateFirmware1")->trigger();
  WaitForRuns(1);
  EXPECT_TRUE(tickedDuringWait);
  EXPECT_EQ(tickThread, window.thread());
  EXPECT_GE(waitedMs, 400u);
  EXPECT_LT(waitedMs, 1500u);
}

TEST_F(RunTest, EscapeAndEnterPressTheButtons) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  window.SetUpdateRunner([&](UpdateRun&) { return ++runs_; });
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(&window, Qt::Key_Return);
  WaitForRuns(1);
  // After a run Close is the default button, so Enter now closes.
  QTest::keyClick(&window, Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(runs_, 1);
}

}  // namespace
