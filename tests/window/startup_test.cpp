// The first showing, the command line, the preferences, the data folder and the
// start-up timer chain.
#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "window/window_fixture.h"

namespace {

TEST_F(WindowCoreTest, FirstShowingBuildsTheWindowFromTheBuiltInImage) {
  SetPorts({"ttyUSB0"});
  WindowCore& window = Open();
  const RecordingView& view = *view_;

  EXPECT_EQ(view.title, kCaption);
  EXPECT_EQ(view.applicationTitle, "Pelloran TGX Updater");
  EXPECT_EQ(view.captions.at(MenuId::About1), "About Pelloran TGX Firmware Updater");
  EXPECT_EQ(view.Text(Control::userText1), "This utility updates Pelloran TGX firmware to");
  EXPECT_EQ(view.Text(Control::userText2), "TGX 1.50");
  EXPECT_EQ(view.Text(Control::commLabel), "Connect to Pelloran TGX with Comm Port");
  EXPECT_EQ(view.Text(Control::lblConnect), "Connect Pelloran TGX to computer comm port.");
  EXPECT_FALSE(view.Visible(Control::statusText));
  EXPECT_FALSE(view.Visible(Control::unfinishedLine));
  EXPECT_FALSE(view.Visible(Control::newSNstr));
  EXPECT_EQ(view.barText, "0%");
  EXPECT_EQ(view.ports, std::vector<std::string>{Label("ttyUSB0")});
  EXPECT_EQ(view.PortShown(), Label("ttyUSB0"));
  EXPECT_TRUE(view.Enabled(Control::btnStart));
  EXPECT_EQ(window.DefaultButton(), Control::btnStart);

  const UpdaterState& state = window.State();
  EXPECT_EQ(state.caption, kCaption);
  EXPECT_EQ(state.modelName, kModel);
  EXPECT_EQ(state.versionFinderPath, "/versionfinder/TGXFirmware.txt");
  EXPECT_EQ(state.imageVersion, 150u);
  EXPECT_EQ(state.eraseStep, 1);
  EXPECT_FLOAT_EQ(state.uploadStep, 0.09232796f);
  EXPECT_TRUE(state.verbose);
  EXPECT_EQ(state.dataFolder, DataFolder());
  EXPECT_EQ(state.errorFile, DataPath("Pelloran TGX Firmware Updater.errors.txt"));
  EXPECT_EQ(state.portName, "ttyUSB0");
  EXPECT_EQ(state.portLabel, Label("ttyUSB0"));
  ASSERT_NE(window.Log(), nullptr);
  EXPECT_EQ(window.Log()->level, 30u);
  ASSERT_NE(window.Engine(), nullptr);
  EXPECT_EQ(window.Engine()->constructorError, 0);

  // One timer of the chain runs: the data-erase warning's.
  for (const TimerId id : kAllTimers) EXPECT_EQ(clock_->Active(id), id == TimerId::timerEraseWarn) << TimerName(id);
  EXPECT_EQ(clock_->intervals.at(TimerId::timerEraseWarn), 500);

  // A later showing (the window shown again after a close) builds nothing again.
  const HostBSL* engine = window.Engine();
  window.shown();
  EXPECT_EQ(window.Engine(), engine);
}

TEST_F(WindowCoreTest, CommandLineSwitchesAreComparedExactly) {
  const struct {
    std::vector<std::string> arguments;
    bool repair, factory;
  } cases[] = {
      {{"vornbsl"}, false, false},
      {{"vornbsl", "-rep"}, true, false},
      {{"vornbsl", "-factory"}, true, true},
      {{"vornbsl", "other", "-factory", "more"}, true, true},
      {{"vornbsl", "-rep", "-factory"}, true, true},
      {{"vornbsl", "-FACTORY"}, false, false},
      {{"vornbsl", "-Rep"}, false, false},
      {{"vornbsl", "--factory"}, false, false},
      {{"-factory"}, false, false},  // the program's own name is not a switch
  };
  for (const auto& test : cases) {
    const std::string shown = ::testing::PrintToString(test.arguments);
    const WindowCore& window = Open(test.arguments);
    const auto item = [&](MenuId id) { return view_->menu.at(id); };
    EXPECT_EQ(window.State().repairMode, test.repair) << shown;
    EXPECT_EQ(window.State().factoryMode, test.factory) << shown;
    EXPECT_EQ(item(MenuId::OpenFirmwareFile1).enabled, test.repair) << shown;
    EXPECT_EQ(item(MenuId::ReplaceSerialNumber1).visible, test.factory) << shown;
    EXPECT_EQ(item(MenuId::DontEraseData1).visible, test.factory) << shown;
    EXPECT_FALSE(item(MenuId::SetDigitalSensorto1).visible) << "an instrument build has no sensor menu";
    // The data-erase warning only outside repair and factory mode; the version check otherwise.
    EXPECT_EQ(clock_->Active(TimerId::timerEraseWarn), !test.repair) << shown;
    EXPECT_EQ(clock_->Active(TimerId::tWebCheck), test.repair) << shown;
  }
}

TEST_F(WindowCoreTest, SavedPortIsSelectedAndThePreferencesAreWrittenAtClose) {
  SetPorts({"ttyS0", "ttyUSB3"});
  platform_.texts["CommPort"] = "ttyUSB3";
  platform_.flags["FindAllComms"] = true;
  WindowCore& window = Open();
  EXPECT_EQ(window.State().portName, "ttyUSB3");
  EXPECT_EQ(view_->selectedPort, 1);
  EXPECT_EQ(view_->ports.size(), 2u);
  EXPECT_TRUE(window.State().forceFindAllPorts);
  EXPECT_TRUE(view_->menu.at(MenuId::ForceFindAllCommPorts1).checked);

  window.menu(MenuId::ForceFindAllCommPorts1);
  EXPECT_FALSE(window.State().forceFindAllPorts);
  window.portPicked(0);
  EXPECT_EQ(window.State().portName, "ttyS0");
  window.closePressed();
  EXPECT_TRUE(view_->closed);
  EXPECT_EQ(platform_.texts.at("CommPort"), "ttyS0");
  EXPECT_FALSE(platform_.flags.at("FindAllComms"));
  EXPECT_TRUE(platform_.flags.at("VerboseLog"));
}

TEST_F(WindowCoreTest, SavedPortThatIsGoneSelectsTheFirstAndIsReplacedAtClose) {
  SetPorts({"ttyS0", "ttyUSB3"});
  platform_.texts["CommPort"] = "ttyUSB7";
  WindowCore& window = Open();
  EXPECT_EQ(window.State().portName, "ttyS0");
  EXPECT_EQ(view_->selectedPort, 0);
  EXPECT_TRUE(window.closeRequested());
  EXPECT_EQ(platform_.texts.at("CommPort"), "ttyS0");
}

TEST_F(WindowCoreTest, FreshProfileStartsWithDefaultsAndHasAllThreeValuesAfterClose) {
  SetPorts({"ttyS0", "ttyUSB3"});
  WindowCore& window = Open();
  EXPECT_FALSE(window.State().forceFindAllPorts);
  EXPECT_FALSE(view_->menu.at(MenuId::ForceFindAllCommPorts1).checked);
  EXPECT_EQ(window.State().portName, "ttyS0");
  EXPECT_TRUE(window.closeRequested());
  EXPECT_EQ(platform_.flags.at("FindAllComms"), false);
  EXPECT_EQ(platform_.flags.at("VerboseLog"), true);
  EXPECT_EQ(platform_.texts.at("CommPort"), "ttyS0");
  // A window closed before it was ever shown has no preferences to write.
  platform_.texts.clear();
  EXPECT_TRUE(Create().closeRequested());
  EXPECT_TRUE(platform_.texts.empty());
}

TEST_F(WindowCoreTest, DataFolderFromTheEnvironmentTheSystemOrTheProgramsFolder) {
  const std::string elsewhere = DataPath("elsewhere");
  platform_.variables["VORNBSL_DATA_DIR"] = elsewhere;
  EXPECT_EQ(Open().State().dataFolder, elsewhere);
  EXPECT_TRUE(std::filesystem::is_directory(PathFromUtf8(elsewhere)));

  platform_.variables.erase("VORNBSL_DATA_DIR");
  platform_.userData = DataPath("xdg");
  EXPECT_EQ(Open().State().dataFolder, DataPath("xdg") + "/Tessaly/VornBSL");
  EXPECT_TRUE(std::filesystem::is_directory(PathFromUtf8(DataPath("xdg/Tessaly/VornBSL"))));

  // No system folder, or one that cannot be made (its parent is a file): the program's own folder.
  WriteFile("plain-file", "x");
  for (const std::string& base : {std::string(), DataPath("plain-file")}) {
    platform_.userData = base;
    const UpdaterState& state = Open().State();
    EXPECT_EQ(state.dataFolder, platform_.program) << base;
    EXPECT_EQ(state.errorFile, platform_.program + "/Pelloran TGX Firmware Updater.errors.txt");
  }
}

TEST_F(WindowCoreTest, EraseWarningThenAQuietVersionCheck) {
  Open();
  EXPECT_TRUE(dialogs_.boxes.empty());
  Tick(TimerId::timerEraseWarn);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Data Erase Warning");
  EXPECT_EQ(dialogs_.boxes[0].kind, kBoxWarning);
  EXPECT_EQ(dialogs_.boxes[0].text,
            "WARNING: The Pelloran TGX Firmware Updater will erase all measurement data\n stored in your "
            "Pelloran TGX.\n\n Please download any data you want to save before continuing.");
  EXPECT_NE(ErrorFileText().find("ErrorOK Told User:: WARNING: The Pelloran TGX Firmware Updater will erase"),
            std::string::npos);
  EXPECT_FALSE(clock_->Active(TimerId::timerEraseWarn));
  EXPECT_TRUE(web_.checks.empty()) << "the check follows the warning";

  Tick(TimerId::tWebCheck);
  EXPECT_EQ(clock_->intervals.at(TimerId::tWebCheck), 500);
  EXPECT_FALSE(clock_->Active(TimerId::tWebCheck));
  ASSERT_EQ(web_.checks.size(), 1u);
  EXPECT_FALSE(web_.checks[0].reported);
  EXPECT_EQ(web_.checks[0].version, 150u);
  EXPECT_EQ(web_.checks[0].path, "/versionfinder/TGXFirmware.txt");
  EXPECT_EQ(web_.checks[0].deviceName, kModel);
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}

TEST_F(WindowCoreTest, RepairModeChecksTheVersionWithoutAWarning) {
  Open({"vornbsl", "-rep"});
  Tick(TimerId::tWebCheck);
  ASSERT_EQ(web_.checks.size(), 1u);
  EXPECT_FALSE(web_.checks[0].reported);
  EXPECT_TRUE(dialogs_.boxes.empty());
  for (const TimerId id : kAllTimers) EXPECT_FALSE(clock_->Active(id)) << TimerName(id);

  // Without web services the tick passes quietly.
  Open({"vornbsl", "-rep"}).SetWeb(nullptr);
  Tick(TimerId::tWebCheck);
  EXPECT_EQ(web_.checks.size(), 1u);
}

TEST_F(WindowCoreTest, EngineThatFailedShowsTheLaunchErrorAndCloses) {
  SetPorts({"ttyUSB0"});
  BuiltInImage broken = BuiltInFirmware();
  broken.text = broken.text.substr(0, broken.text.size() / 2);
  WindowCore& window = Open({"vornbsl"}, &broken);
  EXPECT_TRUE(clock_->Active(TimerId::timerConstructorErrors));
  EXPECT_FALSE(clock_->Active(TimerId::timerEraseWarn));
  EXPECT_EQ(clock_->intervals.at(TimerId::timerConstructorErrors), 100);
  Tick(TimerId::timerConstructorErrors);
  EXPECT_TRUE(view_->closed);

  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Application Launch Error");
  EXPECT_EQ(dialogs_.boxes[0].kind, kBoxError);
  EXPECT_EQ(dialogs_.boxes[0].text,
            "The internal firware file for this Pelloran TGX Firmware Updater is corrupt.\n\n"
            "Please restart this application and try again.");
  const std::string log = ErrorFileText();
  EXPECT_NE(log.find("ErrorOK Told User:: The internal firware file"), std::string::npos);
  EXPECT_NE(log.find("VornBSL frmMain: HostBSL class got an constructor error (-101)"), std::string::npos);
  EXPECT_LT(log.find("ErrorOK Told User:"), log.find("HostBSL class got"));
  // Every way the window closes writes the preferences; no other timer is left to run.
  EXPECT_EQ(platform_.texts.at("CommPort"), "ttyUSB0");
  for (const TimerId id : kAllTimers) EXPECT_FALSE(clock_->Active(id)) << TimerName(id);
  // A tick that was already on its way does nothing.
  window.timer(TimerId::timerConstructorErrors);
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}

}  // namespace
