// The Qt face during an update run: the run, on a thread of its own, reaching
// the widgets, the busy cursor, the close guard through the real close paths, the
// window's own events while the run waits, real keys, and a window destroyed mid-run.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

#include "gui/main_window_fixture.h"
#include "pty_pair.h"
#include "serial/serial_port.h"

namespace {

class RunTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    SetExtraPorts({pty_.slavePath});
  }
  // Waits until the runner has been called and the window is idle again.
  void WaitForRuns(int count) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs_ == count && !Core().RunActive(); }, kWaitMs));
  }
  bool Busy() const {
    return QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
  }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }

  PtyPair pty_;
  std::atomic<int> runs_{0};
};

TEST_F(RunTest, TheRunReachesTheWidgetsAndTheWindowReturnsToIdle) {
  TfrmMain& window = Open({"vornbsl", "-factory"});
  Action("ReplaceSerialNumber1")->trigger();
  EXPECT_TRUE(Find<QLineEdit>("newSNstr")->isVisible());
  Find<QLineEdit>("newSNstr")->setText("SN-0042");
  dialogs_.answerOk = false;
  std::vector<QThread*> boxThreads;
  dialogs_.onBox = [&](const ShownBox&) { boxThreads.push_back(QThread::currentThread()); };

  Core().SetUpdateRunner([&](UpdateRun& run) {
    ++runs_;
    EXPECT_NE(QThread::currentThread(), window.thread());
    EXPECT_EQ(run.state.newSerialNumber, "SN-0042");
    OnWindowThread([&] {
      EXPECT_FALSE(Button("btnStart")->isEnabled());
      EXPECT_FALSE(Button("btnClose")->isEnabled());
      EXPECT_FALSE(Action("UpdateFirmware1")->isEnabled());
      EXPECT_FALSE(Find<QComboBox>("cbCommPort")->isEnabled());
      EXPECT_TRUE(Busy());
    });
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
    EXPECT_FALSE(run.ui.ask("The firmware in your Pelloran TGX\nis newer", "Newer Firmware"));
    run.ui.hideStage();
    OnWindowThread([&] { EXPECT_FALSE(Find<QLabel>("statusText")->isVisible()); });
    return 1;
  });
  Button("btnStart")->click();
  EXPECT_FALSE(Button("btnStart")->isEnabled());
  EXPECT_TRUE(Timer("timerStart")->isActive());
  EXPECT_EQ(Timer("timerStart")->interval(), 100);
  WaitForRuns(1);

  EXPECT_FALSE(Timer("timerStart")->isActive());
  EXPECT_TRUE(Button("btnStart")->isEnabled());
  EXPECT_FALSE(Button("btnStart")->isDefault());
  EXPECT_TRUE(Button("btnClose")->isEnabled());
  EXPECT_TRUE(Button("btnClose")->isDefault());
  EXPECT_TRUE(Action("UpdateFirmware1")->isEnabled());
  EXPECT_FALSE(Action("ReplaceSerialNumber1")->isChecked());
  EXPECT_FALSE(Find<QLineEdit>("newSNstr")->isVisible());
  EXPECT_FALSE(Find<QLabel>("newSN")->isVisible());
  EXPECT_EQ(Find<QLineEdit>("newSNstr")->text(), "");
  EXPECT_TRUE(Find<QComboBox>("cbCommPort")->isEnabled());
  EXPECT_FALSE(Busy());
  ASSERT_EQ(dialogs_.Titled("Newer Firmware").size(), 1u);
  for (QThread* thread : boxThreads) EXPECT_EQ(thread, window.thread());
}

TEST_F(RunTest, CloseGuardKeepsTheWindowOpenWhileARunIsActive) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  Core().SetUpdateRunner([&](UpdateRun&) {
    OnWindowThread([&] {
      EXPECT_FALSE(window.close());                  // the close box, Alt+F4
      Action("Exit1")->trigger();                    // "&Exit"
      EXPECT_TRUE(Button("btnClose")->isEnabled());  // a run from the menu leaves it enabled
      Button("btnClose")->click();
      EXPECT_TRUE(window.isVisible());
    });
    return ++runs_;
  });
  Action("UpdateFirmware1")->trigger();
  WaitForRuns(1);
  EXPECT_EQ(dialogs_.Titled("Don't Quit Now!").size(), 3u);
  EXPECT_FALSE(QSettings(kSettingsOrganisation, kSettingsApplication).contains("CommPort"));

  // Idle again: the same commands close at once.
  EXPECT_TRUE(window.close());
  EXPECT_EQ(dialogs_.Titled("Don't Quit Now!").size(), 3u);
  EXPECT_EQ(Setting("CommPort").toString(), Q(pty_.slavePath));
}

// A settings file kept by an earlier session's failed run: the line is the panel's own.
TEST_F(RunTest, TheUnfinishedLineShowsInThePanel) {
  std::ofstream(DataPath("Pelloran TGX.settings.txt")) << "sn=\"A1\"\r\n";
  Open({"vornbsl", "-rep"});
  const auto* unfinished = Find<QLabel>("unfinishedLine");
  ASSERT_NE(unfinished, nullptr);
  EXPECT_EQ(unfinished->parentWidget(), Find<QWidget>("Panel1"));
  EXPECT_TRUE(unfinished->isVisible());
  EXPECT_EQ(unfinished->text(), "The update is unfinished: press Start to resume it.");
  Core().SetUpdateRunner([&](UpdateRun& run) {
    std::remove(run.state.settingsFile.c_str());
    return ++runs_;
  });
  Action("UpdateFirmware1")->trigger();
  WaitForRuns(1);
  EXPECT_FALSE(unfinished->isVisible());
}

// The application quits during a run: the window goes, the run ends without it.
TEST_F(RunTest, AWindowThatGoesAwayDuringARunLetsTheRunEnd) {
  Open({"vornbsl", "-rep"});
  std::atomic<bool> started{false};
  std::atomic<bool> answer{true};
  Core().SetUpdateRunner([&](UpdateRun& run) {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the window is going meanwhile
    answer = run.ui.ask("Go on?", "Question");
    run.ui.stage("Still running");
    return ++runs_;
  });
  Action("UpdateFirmware1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, kWaitMs));
  window_.reset();
  QTest::qWait(50);  // anything still queued for the window is dropped with it
  EXPECT_EQ(runs_, 1);
  EXPECT_FALSE(answer);
  EXPECT_TRUE(dialogs_.Titled("Question").empty());
  EXPECT_FALSE(Busy());
}

TEST_F(RunTest, LongWaitsInsideARunLeaveTheWindowItsEvents) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  std::atomic<bool> ticked{false};
  QThread* tickThread = nullptr;
  bool tickedDuringWait = false;
  uint32_t waitedMs = 0;
  Core().SetUpdateRunner([&](UpdateRun&) {
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
  Core().SetUpdateRunner([&](UpdateRun&) { return ++runs_; });
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
