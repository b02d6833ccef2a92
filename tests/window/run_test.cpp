// The window's side of an update run: what the runner is lent, the window during
// and after a run, the close guard, the start requests while a run is active, the
// unfinished line, and a window that goes away during a run.
#include <atomic>
#include <chrono>
#include <thread>

#include "window/window_fixture.h"

namespace {

constexpr char kDontQuit[] =
    "The Pelloran TGX Firmware Updater is updating your Pelloran TGX!\nThis process should NOT be interrupted.\n\n"
    "Your Pelloran TGX may be unusable or have missing settings\nuntil you complete the firmware update process.\n\n"
    "Click OK to continue updating yourPelloran TGX.\n";
constexpr char kUnfinished[] = "The update is unfinished: press Start to resume it.";

class WindowRunTest : public WindowCoreTest {
 protected:
  void SetUp() override {
    WindowCoreTest::SetUp();
    SetPorts({"ttyUSB0"});
  }

  std::atomic<int> runs_{0};
};

TEST_F(WindowRunTest, RunnerGetsTheWindowStateAndTheWindowReturnsToIdle) {
  WindowCore& window = Open({"vornbsl", "-factory"});
  window.menu(MenuId::ReplaceSerialNumber1);
  view_->texts[Control::newSNstr] = "SN-0042";  // typed
  window.menu(MenuId::DontEraseData1);
  dialogs_.answerOk = false;
  const std::thread::id windowThread = std::this_thread::get_id();
  std::vector<std::thread::id> boxThreads;
  dialogs_.onBox = [&](const ShownBox&) { boxThreads.push_back(std::this_thread::get_id()); };

  window.SetUpdateRunner([&](UpdateRun& run) {
    ++runs_;
    // The run has a thread of its own: nothing on the window's thread can hold it up.
    EXPECT_NE(std::this_thread::get_id(), windowThread);
    const UpdaterState& state = run.state;
    EXPECT_TRUE(state.updateInProgress);
    EXPECT_TRUE(state.keepGoing);
    EXPECT_EQ(state.caption, kCaption);
    EXPECT_EQ(state.modelName, kModel);
    EXPECT_EQ(state.portName, "ttyUSB0");
    EXPECT_EQ(state.portLabel, Label("ttyUSB0"));
    EXPECT_EQ(state.dataFolder, DataFolder());
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
      EXPECT_FALSE(view_->Enabled(Control::btnStart));
      EXPECT_FALSE(view_->Enabled(Control::btnClose));
      EXPECT_FALSE(view_->menu.at(MenuId::UpdateFirmware1).enabled);
      EXPECT_FALSE(view_->Enabled(Control::cbCommPort));
      EXPECT_TRUE(view_->busy);
      // What the menus change during a run is the window's: the run keeps what held at Start.
      window.menu(MenuId::DontEraseData1);
    });
    EXPECT_TRUE(state.dontEraseData);

    // Every call reaches the window in the order it was made.
    run.ui.setInstruction("Do NOT disconnect Pelloran TGX until finished.");
    run.ui.stage("Connecting to Pelloran TGX...");
    run.ui.setBar(42);
    OnWindowThread([&] {
      EXPECT_EQ(view_->Text(Control::lblConnect), "Do NOT disconnect Pelloran TGX until finished.");
      EXPECT_TRUE(view_->Visible(Control::statusText));
      EXPECT_EQ(view_->Text(Control::statusText), "Connecting to Pelloran TGX...");
      EXPECT_EQ(view_->bar, 42);
      EXPECT_EQ(view_->barText, "42%");
    });
    run.ui.setBar(140);
    EXPECT_EQ(run.ui.bar(), 100);
    // Questions and boxes hold the run until they are answered.
    EXPECT_FALSE(run.ui.ask("The firmware in your Pelloran TGX\nis newer", "Newer Firmware"));
    EXPECT_EQ(dialogs_.Titled("Newer Firmware").size(), 1u);
    run.ui.box("Settings text", "Settings Error", kBoxError);
    EXPECT_EQ(dialogs_.Titled("Settings Error").size(), 1u);
    dialogs_.choiceAnswer = 1;
    EXPECT_EQ(run.ui.choose("Whose settings?", "Unfinished Updates", {"A1", "B2"}, "Neither"), 1);
    run.ui.hideStage();
    run.ui.success();
    OnWindowThread([&] { EXPECT_FALSE(view_->Visible(Control::statusText)); });
    return 1;
  });
  window.startPressed();
  EXPECT_FALSE(view_->Enabled(Control::btnStart));
  EXPECT_TRUE(clock_->Active(TimerId::timerStart));
  EXPECT_EQ(clock_->intervals.at(TimerId::timerStart), 100);
  RunToEnd();

  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(window.LastRunResult(), 1);
  EXPECT_FALSE(clock_->Active(TimerId::timerStart));
  EXPECT_TRUE(view_->Enabled(Control::btnStart));
  EXPECT_TRUE(view_->Enabled(Control::btnClose));
  EXPECT_EQ(view_->defaultButton, Control::btnClose);
  EXPECT_TRUE(view_->menu.at(MenuId::UpdateFirmware1).enabled);
  EXPECT_FALSE(view_->menu.at(MenuId::ReplaceSerialNumber1).checked);
  EXPECT_FALSE(window.State().replaceSerialNumber);
  EXPECT_FALSE(view_->Visible(Control::newSNstr));
  EXPECT_FALSE(view_->Visible(Control::newSN));
  EXPECT_EQ(view_->Text(Control::newSNstr), "");
  EXPECT_TRUE(view_->Enabled(Control::cbCommPort));
  EXPECT_FALSE(view_->busy);
  EXPECT_EQ(view_->beeps, std::vector<int>{kBoxInformation});
  EXPECT_FALSE(window.State().updateInProgress);

  const std::vector<ShownBox> questions = dialogs_.Titled("Newer Firmware");
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, kAskedQuestion);
  ASSERT_EQ(dialogs_.choices.size(), 1u);
  EXPECT_EQ(dialogs_.choices[0].options, (std::vector<std::string>{"A1", "B2"}));
  EXPECT_EQ(dialogs_.choices[0].none, "Neither");
  ASSERT_EQ(boxThreads.size(), 3u);
  for (const std::thread::id thread : boxThreads) EXPECT_EQ(thread, windowThread);
  // The sequence logs its own boxes: the interface's box does not.
  EXPECT_EQ(ErrorFileText().find("Settings text"), std::string::npos);
}

TEST_F(WindowRunTest, DefaultRunnerSaysThisBuildCannotUpdate) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  window.menu(MenuId::UpdateFirmware1);
  // The menu leaves the buttons as they are.
  EXPECT_FALSE(view_->menu.at(MenuId::UpdateFirmware1).enabled);
  EXPECT_TRUE(view_->Enabled(Control::btnStart));
  EXPECT_TRUE(view_->Enabled(Control::btnClose));
  RunToEnd();
  EXPECT_EQ(window.LastRunResult(), -1);
  const std::vector<ShownBox> boxes = dialogs_.Titled("Update Firmware");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, kBoxInformation);
  EXPECT_EQ(boxes[0].text, "This version of the Pelloran TGX Firmware Updater cannot update devices yet.\n\n"
                           "Please use a newer version of this updater.");
  EXPECT_NE(ErrorFileText().find("ErrorOK Told User:: This version of the"), std::string::npos);
}

TEST_F(WindowRunTest, CloseGuardKeepsTheWindowOpenWhileARunIsActive) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  window.SetUpdateRunner([&](UpdateRun& run) {
    OnWindowThread([&] {
      EXPECT_FALSE(window.closeRequested());           // the close box, Alt+F4
      window.menu(MenuId::Exit1);                      // "&Exit"
      EXPECT_TRUE(view_->Enabled(Control::btnClose));  // a run from the menu leaves it enabled
      window.closePressed();
      window.keyPressed(Key::kEscape);
      EXPECT_FALSE(view_->closed);
      EXPECT_TRUE(window.State().keepGoing);
    });
    EXPECT_TRUE(run.state.keepGoing);
    ++runs_;
    return 1;
  });
  window.menu(MenuId::UpdateFirmware1);
  RunToEnd();

  const std::vector<ShownBox> refusals = dialogs_.Titled("Don't Quit Now!");
  ASSERT_EQ(refusals.size(), 4u);
  for (const ShownBox& shown : refusals) {
    EXPECT_EQ(shown.text, kDontQuit);
    EXPECT_EQ(shown.kind, kBoxWarning);
  }
  EXPECT_EQ(platform_.texts.count("CommPort"), 0u) << "a refused close writes nothing";

  // Idle again: the same command closes at once.
  window.closePressed();
  EXPECT_TRUE(view_->closed);
  EXPECT_FALSE(window.State().keepGoing);
  EXPECT_EQ(dialogs_.Titled("Don't Quit Now!").size(), 4u);
  EXPECT_EQ(platform_.texts.at("CommPort"), "ttyUSB0");
}

TEST_F(WindowRunTest, StartRequestsWhileARunIsActiveAreIgnored) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  window.SetUpdateRunner([&](UpdateRun&) {
    OnWindowThread([&] {
      window.startPressed();  // enabled: the run came from the menu
      window.menu(MenuId::UpdateFirmware1);
      window.timerStartTimer();
      EXPECT_FALSE(clock_->Active(TimerId::timerStart));
    });
    return ++runs_;
  });
  window.menu(MenuId::UpdateFirmware1);
  RunToEnd();
  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(window.LastRunResult(), 1);

  // A start already requested is not requested twice.
  window.startPressed();
  window.UpdateFirmware1Click();
  RunToEnd();
  EXPECT_FALSE(clock_->Active(TimerId::timerStart));
  EXPECT_EQ(runs_, 2);
}

TEST_F(WindowRunTest, UnfinishedLineShowsWhileASettingsFileWaits) {
  // Kept by an earlier session's failed run: the window says so from the start.
  WriteFile("Pelloran TGX.settings.txt", "sn=\"A1\"\r\n");
  WindowCore& window = Open({"vornbsl", "-rep"});
  EXPECT_TRUE(view_->Visible(Control::unfinishedLine));
  EXPECT_EQ(view_->Text(Control::unfinishedLine), kUnfinished);

  // A run that succeeds takes the line away.
  window.SetUpdateRunner([&](UpdateRun& run) {
    std::filesystem::remove(PathFromUtf8(run.state.settingsFile));
    return 1;
  });
  window.menu(MenuId::UpdateFirmware1);
  RunToEnd();
  EXPECT_FALSE(view_->Visible(Control::unfinishedLine));

  // A run that fails with its settings kept brings it back; one that fails before any
  // settings were saved does not.
  const struct {
    bool keepsSettings;
    bool shown;
  } failures[] = {{true, true}, {false, false}};
  for (const auto& failure : failures) {
    window.SetUpdateRunner([&](UpdateRun& run) {
      if (failure.keepsSettings) WriteFile("Pelloran TGX.settings.txt", "sn=\"A1\"\r\n");
      if (!failure.keepsSettings) std::filesystem::remove(PathFromUtf8(run.state.settingsFile));
      return -20;
    });
    window.menu(MenuId::UpdateFirmware1);
    RunToEnd();
    EXPECT_EQ(view_->Visible(Control::unfinishedLine), failure.shown) << failure.keepsSettings;
  }
}

// The window may go away during a run (the application quits): the run is let end
// without it, its questions answered Cancel and its boxes passed by, and nothing hangs.
TEST_F(WindowRunTest, AWindowThatGoesAwayDuringARunLetsTheRunEnd) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  std::atomic<bool> started{false};
  std::atomic<bool> answer{true};
  std::atomic<int> choice{0};
  window.SetUpdateRunner([&](UpdateRun& run) {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the window is going meanwhile
    answer = run.ui.ask("Go on?", "Question");
    choice = run.ui.choose("Whose?", "Choice", {"A1"}, "Neither");
    run.ui.box("Gone", "Box", kBoxError);
    run.ui.stage("Still running");
    return ++runs_;
  });
  window.menu(MenuId::UpdateFirmware1);
  Tick(TimerId::timerStart);
  ASSERT_TRUE(WaitFor([&] { return started.load(); }));
  Close();
  EXPECT_EQ(runs_, 1);
  EXPECT_FALSE(answer);
  EXPECT_EQ(choice, kChoseNone);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(WindowRunTest, EscapeAndEnterPressTheButtons) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  window.SetUpdateRunner([&](UpdateRun&) { return ++runs_; });
  window.keyPressed(Key::kEnter);  // Start is the default button
  EXPECT_TRUE(clock_->Active(TimerId::timerStart));
  // Both buttons are disabled while a Start-button run is requested: no key closes.
  window.keyPressed(Key::kEscape);
  window.keyPressed(Key::kEnter);
  EXPECT_EQ(view_->closeRequests, 0);
  RunToEnd();
  // After a run Close is the default button, so Enter now closes.
  window.keyPressed(Key::kEnter);
  EXPECT_TRUE(view_->closed);
  EXPECT_EQ(runs_, 1);

  Open({"vornbsl", "-rep"}).keyPressed(Key::kEscape);
  EXPECT_TRUE(view_->closed);
  // Without a port Start is disabled: Enter does nothing.
  SetPorts({});
  Open({"vornbsl", "-rep"}).keyPressed(Key::kEnter);
  EXPECT_FALSE(clock_->Active(TimerId::timerStart));
}

}  // namespace
