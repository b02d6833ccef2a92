// The Qt face at its first showing: the controls it makes and what the core put in
// them, the menus built from the table, the timers, the preferences in QSettings
// under their old names, the system's data folder, and the web window's check.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include "bsl/builtin_image.h"
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
  // At least the classic client area, with a fixed border (its size from its texts has its own test).
  EXPECT_GE(window.centralWidget()->width(), 346);
  EXPECT_GE(window.centralWidget()->height(), 262);
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(Text("userText1"), "This utility updates Pelloran TGX firmware to");
  EXPECT_EQ(Text("userText2"), "TGX 1.50");
  EXPECT_TRUE(Find<QLabel>("userText2")->font().bold());
  EXPECT_EQ(Text("commLabel"), "Connect to Pelloran TGX with Comm Port");
  EXPECT_EQ(Text("lblConnect"), "Connect Pelloran TGX to computer comm port.");
  EXPECT_TRUE(Find<QLabel>("lblConnect")->font().bold());
  EXPECT_EQ(Text("Label1"), "Status:");
  EXPECT_FALSE(Find<QLabel>("statusText")->isVisible());
  EXPECT_FALSE(Find<QLabel>("unfinishedLine")->isVisible());
  EXPECT_EQ(Text("newSN"), "New Serial Number");
  EXPECT_FALSE(Find<QLabel>("newSN")->isVisible());
  EXPECT_FALSE(Find<QLineEdit>("newSNstr")->isVisible());
  EXPECT_EQ(Find<QLineEdit>("newSNstr")->maxLength(), 15);
  EXPECT_NE(Find<QWidget>("Panel1"), nullptr);
  EXPECT_EQ(Find<QProgressBar>("statusBar")->maximum(), 100);
  EXPECT_EQ(Find<QProgressBar>("statusBar")->text(), "0%");
  auto* ports = Find<QComboBox>("cbCommPort");
  EXPECT_EQ(ports->toolTip(), "Pick your comm port from this list.");
  EXPECT_TRUE(ports->font().bold());
  EXPECT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->currentText(), Q(PortLabel(pty)));
  EXPECT_EQ(Core().State().portName, pty.slavePath);
  auto* start = Find<QPushButton>("btnStart");
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(start->isDefault());
  EXPECT_TRUE(start->isEnabled());
  EXPECT_EQ(Find<QPushButton>("btnClose")->text(), "Close");

  const struct {
    const char* name;
    bool active;
  } timers[] = {{"timerStart", false}, {"timerEraseWarn", true}, {"timerConstructorErrors", false}, {"tWebCheck", false}};
  for (const auto& timer : timers) EXPECT_EQ(Timer(timer.name)->isActive(), timer.active) << timer.name;
  EXPECT_EQ(Timer("timerEraseWarn")->interval(), 500);
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
      {"NetworkPorts1", "&Network Ports...", {}, true, true, false, false},
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
  EXPECT_TRUE(Action("HelpSeparator")->isSeparator());
  // The hidden dump item is still reached through its shortcut.
  EXPECT_EQ(Find<QShortcut>("DumpFirmwareImage1Shortcut")->key(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
  dialogs_.savePath = DataPath("dump.txt");
  emit Find<QShortcut>("DumpFirmwareImage1Shortcut")->activated();
  EXPECT_EQ(dialogs_.saveRequests.size(), 1u);
}

// The preferences stay where users have them: QSettings "Tessaly Devices, Inc" / "VornBSL".
TEST_F(MainWindowTest, PreferencesAreReadAndWrittenInQSettings) {
  const PtyPair first, second;
  SetExtraPorts({first.slavePath, second.slavePath});
  SetSetting("CommPort", Q(second.slavePath));
  SetSetting("FindAllComms", 1);
  TfrmMain& window = Open();
  auto* ports = Find<QComboBox>("cbCommPort");
  EXPECT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->currentIndex(), 1);
  EXPECT_TRUE(Action("ForceFindAllCommPorts1")->isChecked());

  Action("ForceFindAllCommPorts1")->trigger();
  EXPECT_FALSE(Action("ForceFindAllCommPorts1")->isChecked());
  EXPECT_FALSE(Core().State().forceFindAllPorts);
  ports->setCurrentIndex(0);
  emit ports->activated(0);  // the person's pick
  EXPECT_EQ(Core().State().portName, first.slavePath);
  EXPECT_TRUE(window.close());
  EXPECT_EQ(Setting("CommPort").toString(), Q(first.slavePath));
  EXPECT_EQ(Setting("FindAllComms").toInt(), 0);
  EXPECT_EQ(Setting("VerboseLog").toInt(), 1);
}

TEST_F(MainWindowTest, SelectorListsAgainWhenItOpens) {
  Open();
  auto* ports = Find<QComboBox>("cbCommPort");
  EXPECT_EQ(ports->currentText(), "No Comm Ports Found");
  EXPECT_FALSE(Find<QPushButton>("btnStart")->isEnabled());
  const PtyPair pty;
  SetExtraPorts({pty.slavePath});
  ports->showPopup();
  EXPECT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->currentText(), Q(PortLabel(pty)));
  ports->hidePopup();
}

TEST_F(MainWindowTest, DataFolderIsTheSystemsPerUserDataFolder) {
  const QString xdg = dataDir_.path() + "/xdg";
  qunsetenv("VORNBSL_DATA_DIR");
  qputenv("XDG_DATA_HOME", xdg.toUtf8());
  EXPECT_EQ(Open().Core().State().dataFolder, (xdg + "/Tessaly/VornBSL").toStdString());
  EXPECT_TRUE(QDir(xdg + "/Tessaly/VornBSL").exists());
  qunsetenv("XDG_DATA_HOME");
}

TEST_F(MainWindowTest, EraseWarningThenTheVersionCheckOffersANewerRelease) {
  const WebServer server;
  server.Put("versionfinder/TGXFirmware.txt", "1.51 http://downloads.example/TGX-1.51.exe");
  RecordingUi webUi;
  TfrmMain& window = Create();
  TfrmWeb web(&window, &webUi);
  web.Client().host = WebHostUrl(server.Url());
  window.SetWebWindow(&web);
  window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !webUi.boxes.empty(); }, kWaitMs));

  EXPECT_EQ(webUi.boxes[0].caption, "New Version Available");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Data Erase Warning");
  EXPECT_FALSE(Timer("tWebCheck")->isActive());
}

TEST_F(MainWindowTest, EngineThatFailedClosesTheWindow) {
  BuiltInImage broken = BuiltInFirmware();
  broken.text = broken.text.substr(0, broken.text.size() / 2);
  TfrmMain& window = Open({"vornbsl"}, &broken);
  ASSERT_TRUE(window.isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, kWaitMs));
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Application Launch Error");
  EXPECT_TRUE(QSettings(kSettingsOrganisation, kSettingsApplication).contains("CommPort"));
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
