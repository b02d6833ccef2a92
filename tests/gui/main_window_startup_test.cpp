// The first showing, the preferences, the port selector and the start-up timers.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "gui/feedback_window.h"
#include "gui/main_window_fixture.h"
#include "pty_pair.h"
#include "web_support/recording_ui.h"
#include "web_support/web_server.h"

namespace {

std::string PortLabel(const PtyPair& pty) { return pty.slavePath + " Communications Port"; }

TEST_F(MainWindowTest, FirstShowingBuildsTheWindowFromTheBuiltInImage) {
  const PtyPair pty;
  SetExtraPorts({pty.slavePath});
  TfrmMain& window = Open();

  EXPECT_EQ(window.windowTitle(), kCaption);
  EXPECT_EQ(QCoreApplication::applicationName(), "Pelloran TGX Updater");
  // At least the classic client area; the window may grow (its texts' fit has its own test).
  EXPECT_GE(window.centralWidget()->width(), 346);
  EXPECT_GE(window.centralWidget()->height(), 262);
  EXPECT_NE(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(Text("userText1"), "This utility updates Pelloran TGX firmware to");
  EXPECT_EQ(Text("userText2"), "TGX 1.50");
  EXPECT_TRUE(Find<QLabel>("userText2")->font().bold());
  EXPECT_EQ(Text("commLabel"), "Connect to Pelloran TGX with Comm Port");
  EXPECT_EQ(Text("lblConnect"), "Connect Pelloran TGX to computer comm port.");
  EXPECT_TRUE(Find<QLabel>("lblConnect")->font().bold());
  EXPECT_EQ(Text("Label1"), "Status:");
  EXPECT_FALSE(Find<QLabel>("statusText")->isVisible());
  EXPECT_EQ(Text("newSN"), "New Serial Number");
  EXPECT_FALSE(Find<QLabel>("newSN")->isVisible());
  EXPECT_FALSE(Find<QLineEdit>("newSNstr")->isVisible());
  EXPECT_EQ(Find<QLineEdit>("newSNstr")->maxLength(), 15);
  EXPECT_NE(Find<QWidget>("Panel1"), nullptr);
  EXPECT_EQ(Find<QProgressBar>("statusBar")->maximum(), 100);
  auto* ports = Find<QComboBox>("cbCommPort");
  EXPECT_EQ(ports->toolTip(), "Pick your comm port from this list.");
  EXPECT_TRUE(ports->font().bold());
  auto* start = Find<QPushButton>("btnStart");
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(start->isDefault());
  EXPECT_TRUE(start->isEnabled());
  EXPECT_EQ(Find<QPushButton>("btnClose")->text(), "Close");
  EXPECT_EQ(Find<QShortcut>("EscapeShortcut")->key(), QKeySequence(Qt::Key_Escape));

  const UpdaterState& state = window.State();
  EXPECT_EQ(state.caption, kCaption);
  EXPECT_EQ(state.modelName, kModel);
  EXPECT_EQ(state.versionFinderPath, "/versionfinder/TGXFirmware.txt");
  EXPECT_EQ(state.imageVersion, 150u);
  EXPECT_EQ(state.eraseStep, 1);
  EXPECT_FLOAT_EQ(state.uploadStep, 0.09232796f);
  EXPECT_TRUE(state.verbose);
  EXPECT_EQ(state.dataFolder, dataDir_.path().toStdString());
  EXPECT_EQ(state.errorFile, DataPath("Pelloran TGX Firmware Updater.errors.txt"));
  EXPECT_EQ(state.portName, pty.slavePath);
  EXPECT_EQ(state.portLabel, PortLabel(pty));
  EXPECT_EQ(ports->currentText(), Q(PortLabel(pty)));
  ASSERT_NE(window.Log(), nullptr);
  EXPECT_EQ(window.Log()->level, 30u);
  ASSERT_NE(window.Engine(), nullptr);
  EXPECT_EQ(window.Engine()->constructorError, 0);

  const struct {
    const char* name;
    int intervalMs;
    bool active;
  } timers[] = {{"timerStart", 100, false},
                {"timerEraseWarn", 500, true},
                {"timerConstructorErrors", 100, false},
                {"tWebCheck", 500, false}};
  for (const auto& timer : timers) {
    EXPECT_EQ(Timer(timer.name)->interval(), timer.intervalMs) << timer.name;
    EXPECT_EQ(Timer(timer.name)->isActive(), timer.active) << timer.name;
  }
}

TEST_F(MainWindowTest, MenusHaveTheirCaptionsShortcutsAndStates) {
  Open();
  const struct {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
    bool enabled, visible, checkable, checked;  // a hidden item counts as disabled
  } items[] = {
      {"OpenFirmwareFile1", "&Open Firmware File...", QKeySequence(Qt::CTRL | Qt::Key_O), false, true, false, false},
      {"UpdateFirmware1", "&Update Firmware", QKeySequence(Qt::CTRL | Qt::Key_F), true, true, false, false},
      {"DumpFirmwareImage1", "&Dump Firmware Image...", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D), false, false,
       false, false},
      {"Exit1", "&Exit", QKeySequence(Qt::CTRL | Qt::Key_Q), true, true, false, false},
      {"VerboseErrorFile1", "&Verbose Error File", {}, false, true, true, true},
      {"ForceFindAllCommPorts1", "Force Find All &Comm Ports", {}, true, true, true, false},
      {"DontEraseData1", "&Don't Erase Data", {}, false, false, true, false},
      {"ReplaceSerialNumber1", "&Replace Serial Number", {}, false, false, true, false},
      {"SetDigitalSensorto1", "Set Digital Sensor to:", {}, false, false, false, false},
      {"Help2", "&Help", QKeySequence(Qt::Key_F1), true, true, false, false},
      {"SendFeedbacktoTessaly1", "Send Feedback to VANTO...", {}, true, true, false, false},
      {"CheckforUpdates1", "Check for Newer Firmware Version", {}, true, true, false, false},
      {"About1", "About Pelloran TGX Firmware Updater", {}, true, true, false, false},
  };
  for (const auto& item : items) {
    QAction* action = Action(item.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), item.caption) << item.name;
    EXPECT_EQ(action->shortcut(), item.shortcut) << item.name;
    EXPECT_EQ(action->isEnabled(), item.enabled) << item.name;
    EXPECT_EQ(action->isVisible(), item.visible) << item.name;
    EXPECT_EQ(action->isCheckable(), item.checkable) << item.name;
    EXPECT_EQ(action->isChecked(), item.checked) << item.name;
  }
  EXPECT_EQ(Find<QMenu>("File1")->title(), "&File");
  EXPECT_EQ(Find<QMenu>("Settings1")->title(), "&Settings");
  EXPECT_EQ(Find<QMenu>("Help1")->title(), "&Help");
  EXPECT_FALSE(Action("SensorSeparator")->isVisible());
  // The hidden dump item is still reached through its shortcut.
  EXPECT_EQ(Find<QShortcut>("DumpShortcut")->key(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
}

TEST_F(MainWindowTest, CommandLineSwitchesAreComparedExactly) {
  const struct {
    QStringList arguments;
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
    const QString shown = test.arguments.join(' ');
    TfrmMain& window = Open(test.arguments);
    EXPECT_EQ(window.State().repairMode, test.repair) << shown.toStdString();
    EXPECT_EQ(window.State().factoryMode, test.factory) << shown.toStdString();
    EXPECT_EQ(Action("OpenFirmwareFile1")->isEnabled(), test.repair) << shown.toStdString();
    EXPECT_EQ(Action("ReplaceSerialNumber1")->isVisible(), test.factory) << shown.toStdString();
    EXPECT_EQ(Action("ReplaceSerialNumber1")->isEnabled(), test.factory) << shown.toStdString();
    EXPECT_EQ(Action("DontEraseData1")->isVisible(), test.factory) << shown.toStdString();
    // The data-erase warning only outside repair and factory mode; the version check otherwise.
    EXPECT_EQ(Timer("timerEraseWarn")->isActive(), !test.repair) << shown.toStdString();
    EXPECT_EQ(Timer("tWebCheck")->isActive(), test.repair) << shown.toStdString();
  }
}

TEST_F(MainWindowTest, SavedPortIsSelectedAndThePreferencesAreWrittenAtClose) {
  const PtyPair first, second;
  SetExtraPorts({first.slavePath, second.slavePath});
  SetSetting("CommPort", Q(second.slavePath));
  SetSetting("FindAllComms", 1);
  TfrmMain& window = Open();
  EXPECT_EQ(window.State().portName, second.slavePath);
  EXPECT_EQ(Find<QComboBox>("cbCommPort")->currentIndex(), 1);
  EXPECT_EQ(Find<QComboBox>("cbCommPort")->count(), 2);
  EXPECT_TRUE(window.State().forceFindAllPorts);
  EXPECT_TRUE(Action("ForceFindAllCommPorts1")->isChecked());

  Action("ForceFindAllCommPorts1")->trigger();
  EXPECT_FALSE(window.State().forceFindAllPorts);
  Find<QComboBox>("cbCommPort")->setCurrentIndex(0);
  window.cbCommPortChange(0);
  EXPECT_EQ(window.State().portName, first.slavePath);
  EXPECT_TRUE(window.close());
  EXPECT_EQ(Setting("CommPort").toString(), Q(first.slavePath));
  EXPECT_EQ(Setting("FindAllComms").toInt(), 0);
  EXPECT_EQ(Setting("VerboseLog").toInt(), 1);
}

TEST_F(MainWindowTest, SavedPortThatIsGoneSelectsTheFirstAndIsReplacedAtClose) {
  const PtyPair first, second;
  SetExtraPorts({first.slavePath, second.slavePath});
  SetSetting("CommPort", "ttyUSB7");
  TfrmMain& window = Open();
  EXPECT_EQ(window.State().portName, first.slavePath);
  EXPECT_EQ(Find<QComboBox>("cbCommPort")->currentIndex(), 0);
  window.close();
  EXPECT_EQ(Setting("CommPort").toString(), Q(first.slavePath));
}

TEST_F(MainWindowTest, FreshProfileStartsWithDefaultsAndHasAllThreeValuesAfterClose) {
  const PtyPair first, second;
  SetExtraPorts({first.slavePath, second.slavePath});
  TfrmMain& window = Open();
  EXPECT_FALSE(window.State().forceFindAllPorts);
  EXPECT_FALSE(Action("ForceFindAllCommPorts1")->isChecked());
  EXPECT_EQ(window.State().portName, first.slavePath);
  window.close();
  const QSettings settings(kSettingsOrganisation, kSettingsApplication);
  EXPECT_EQ(settings.value("FindAllComms").toInt(), 0);
  EXPECT_EQ(settings.value("VerboseLog").toInt(), 1);
  EXPECT_EQ(settings.value("CommPort").toString(), Q(first.slavePath));
}

TEST_F(MainWindowTest, NoPortsDisableStartUntilAPortIsPicked) {
  TfrmMain& window = Open();
  auto* ports = Find<QComboBox>("cbCommPort");
  EXPECT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->currentText(), "No Comm Ports Found");
  EXPECT_EQ(window.State().portName, "");
  EXPECT_FALSE(Find<QPushButton>("btnStart")->isEnabled());
  EXPECT_TRUE(Action("UpdateFirmware1")->isEnabled());

  // Opening the selector lists again; it leaves Start alone until a port is picked.
  window.cbCommPortDropDown();
  EXPECT_EQ(ports->currentText(), "No Comm Ports Found");
  const PtyPair pty;
  SetExtraPorts({pty.slavePath});
  window.cbCommPortDropDown();
  EXPECT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->currentText(), Q(PortLabel(pty)));
  EXPECT_FALSE(Find<QPushButton>("btnStart")->isEnabled());
  window.cbCommPortChange(0);
  EXPECT_EQ(window.State().portName, pty.slavePath);
  EXPECT_TRUE(Find<QPushButton>("btnStart")->isEnabled());
}

TEST_F(MainWindowTest, NoPortsAtCloseSavesAnEmptyPort) {
  SetSetting("CommPort", "ttyS3");
  Open().close();
  EXPECT_TRUE(QSettings(kSettingsOrganisation, kSettingsApplication).contains("CommPort"));
  EXPECT_EQ(Setting("CommPort").toString(), "");
}

TEST_F(MainWindowTest, SelectorKeepsShowingThePortARunWillUse) {
  const PtyPair first, second, third;
  SetExtraPorts({first.slavePath, second.slavePath});
  TfrmMain& window = Open();
  auto* ports = Find<QComboBox>("cbCommPort");
  window.cbCommPortChange(1);
  ASSERT_EQ(window.State().portName, second.slavePath);

  // A port listed before it moves it down the list: still the same port.
  SetExtraPorts({third.slavePath, first.slavePath, second.slavePath});
  window.cbCommPortDropDown();
  EXPECT_EQ(ports->currentText(), Q(PortLabel(second)));
  EXPECT_EQ(window.State().portName, second.slavePath);

  // The port is gone: the entry shown becomes the port.
  SetExtraPorts({third.slavePath});
  window.cbCommPortDropDown();
  EXPECT_EQ(ports->currentText(), Q(PortLabel(third)));
  EXPECT_EQ(window.State().portName, third.slavePath);
  EXPECT_EQ(window.State().portLabel, PortLabel(third));
}

TEST_F(MainWindowTest, DataFolderFromTheEnvironmentOrTheProgramsFolder) {
  const QString xdg = dataDir_.path() + "/xdg";
  qunsetenv("VORNBSL_DATA_DIR");
  qputenv("XDG_DATA_HOME", xdg.toUtf8());
  EXPECT_EQ(Open().State().dataFolder, (xdg + "/Tessaly/VornBSL").toStdString());
  EXPECT_TRUE(QDir(xdg + "/Tessaly/VornBSL").exists());
  qunsetenv("XDG_DATA_HOME");

  // A folder that cannot be made (its parent is a file): the program's own folder.
  std::ofstream(DataPath("plain-file")) << "x";
  qputenv("VORNBSL_DATA_DIR", QByteArray::fromStdString(DataPath("plain-file") + "/data"));
  const UpdaterState& state = Open().State();
  EXPECT_EQ(state.dataFolder, QCoreApplication::applicationDirPath().toStdString());
  EXPECT_EQ(state.errorFile, state.dataFolder + "/Pelloran TGX Firmware Updater.errors.txt");
}

TEST_F(MainWindowTest, SettingsToggles) {
  TfrmMain& window = Open({"vornbsl", "-factory"});
  Action("ReplaceSerialNumber1")->trigger();
  EXPECT_TRUE(window.State().replaceSerialNumber);
  EXPECT_TRUE(Find<QLineEdit>("newSNstr")->isVisible());
  EXPECT_TRUE(Find<QLabel>("newSN")->isVisible());
  Action("ReplaceSerialNumber1")->trigger();
  EXPECT_FALSE(window.State().replaceSerialNumber);
  EXPECT_FALSE(Find<QLineEdit>("newSNstr")->isVisible());

  Action("DontEraseData1")->trigger();
  EXPECT_TRUE(window.State().dontEraseData);
  Action("ForceFindAllCommPorts1")->trigger();
  EXPECT_TRUE(window.State().forceFindAllPorts);
  // The verbose item is disabled, so the log stays at protocol level.
  Action("VerboseErrorFile1")->trigger();
  EXPECT_TRUE(window.State().verbose);
  EXPECT_EQ(window.Log()->level, 30u);
}

class StartUpChainTest : public MainWindowTest {
 protected:
  // Waits until the quiet version check has run (its timer stopped after the warning).
  void WaitForVersionCheck() {
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !dialogs_.Titled("Data Erase Warning").empty() && !Timer("tWebCheck")->isActive(); }, kWaitMs));
  }

  RecordingUi webUi_;
};

TEST_F(StartUpChainTest, EraseWarningThenAQuietVersionCheckThatFailsSilently) {
  TfrmMain& window = Create();
  TfrmWeb web(&window, &webUi_);
  web.Client().host = WebHostUrl(QStringLiteral("http://127.0.0.1:%1").arg(UnusedPort()));
  window.SetWebWindow(&web);
  window.show();
  WaitForVersionCheck();
  QTest::qWait(200);

  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  const ShownBox& warning = dialogs_.boxes[0];
  EXPECT_EQ(warning.kind, kBoxWarning);
  EXPECT_EQ(warning.text,
            "WARNING: The Pelloran TGX Firmware Updater will erase all measurement data\n stored in your "
            "Pelloran TGX.\n\n Please download any data you want to save before continuing.");
  EXPECT_TRUE(webUi_.boxes.empty());
  EXPECT_FALSE(Timer("timerEraseWarn")->isActive());
  EXPECT_NE(ErrorFileText().find("ErrorOK Told User:: WARNING: The Pelloran TGX Firmware Updater will erase"),
            std::string::npos);
}

TEST_F(StartUpChainTest, VersionCheckFollowsTheWarningAndOffersANewerRelease) {
  const WebServer server;
  server.Put("versionfinder/TGXFirmware.txt", "1.51 http://downloads.example/TGX-1.51.exe");
  TfrmMain& window = Create();
  TfrmWeb web(&window, &webUi_);
  web.Client().host = WebHostUrl(Q(server.Url()));
  window.SetWebWindow(&web);
  window.show();
  WaitForVersionCheck();

  ASSERT_EQ(webUi_.boxes.size(), 1u);
  EXPECT_EQ(webUi_.boxes[0].caption, "New Version Available");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Data Erase Warning");
}

TEST_F(StartUpChainTest, RepairModeChecksTheVersionWithoutAWarning) {
  const WebServer server;
  server.Put("versionfinder/TGXFirmware.txt", "152\nhttp://www.example/tgx.html");
  TfrmMain& window = Create({"vornbsl", "-rep"});
  TfrmWeb web(&window, &webUi_);
  web.Client().host = WebHostUrl(Q(server.Url()));
  window.SetWebWindow(&web);
  window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !webUi_.boxes.empty(); }, kWaitMs));
  EXPECT_EQ(webUi_.boxes[0].caption, "New Version Available");
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(MainWindowTest, EngineThatFailedShowsTheLaunchErrorAndCloses) {
  const PtyPair pty;
  SetExtraPorts({pty.slavePath});
  BuiltInImage broken = BuiltInFirmware();
  broken.text = broken.text.substr(0, broken.text.size() / 2);
  TfrmMain& window = Open({"vornbsl"}, &broken);
  ASSERT_TRUE(window.isVisible());
  EXPECT_TRUE(Timer("timerConstructorErrors")->isActive());
  EXPECT_FALSE(Timer("timerEraseWarn")->isActive());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, kWaitMs));

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
  // Every way the window closes writes the preferences.
  EXPECT_EQ(Setting("CommPort").toString(), Q(pty.slavePath));
  QTest::qWait(700);
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}

TEST_F(MainWindowTest, IdleWindowPicture) {
  const PtyPair pty;
  SetExtraPorts({pty.slavePath});
  TfrmMain& window = Open();
  QTest::qWait(50);
  const QImage picture = window.grab().toImage();
  EXPECT_EQ(picture.width(), window.width());
  EXPECT_GT(picture.height(), 262);
  const QString path = qEnvironmentVariable("VORNBSL_SCREENSHOT");
  if (!path.isEmpty()) {
    EXPECT_TRUE(picture.save(path, "PNG")) << path.toStdString();
  }
}

}  // namespace
