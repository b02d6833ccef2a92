// The digital-sensor build of the window (this program links the sensor image): its
// first showing, the "Set Digital Sensor to:" menu, and the whole sensor update through
// the real window against a simulated SKYRA 61 behind a simulated Fieldrex.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/update_session.h"
#include "bsl/host_bsl.h"
#include "devsim_process.h"
#include "gui/main_window_fixture.h"

namespace {

constexpr int kUpdateWaitMs = 90000;
constexpr char kSensorCaption[] = "SKYRA 61 Sensor Suite Firmware Updater";
constexpr char kSensorName[] = "SKYRA 61 Sensor Suite";

struct MenuRow {
  const char* caption;
  uint32_t type;
  bool shownInFactoryMode;
};
constexpr MenuRow kMenu[] = {
    {"K7W", 122, true},       {"K7V", 120, true},          {"HB7", 119, true},         {"JD4", 118, true},
    {"WPX-4 && WPX-8", 261, true}, {"DG7DG", 117, true},   {"HTK Family", 262, true},  {"FC-5", 113, true},
    {"FC-5F", 109, true},     {"HX-5", 112, true},         {"HX-6", 102, false},       {"NDR Family", 260, true},
    {"WA-7", 95, false},      {"PL-3", 94, true},          {"SKYRA 32", 92, false},    {"SKYRA 61", 93, true},
    {"NIVARA 3x Family", 264, true},
};

class SensorWindowTest : public MainWindowTest {
 protected:
  QAction* Item(uint32_t type) { return Action(QStringLiteral("SensorType%1").arg(type).toLatin1().constData()); }
  std::vector<uint32_t> Checked() {
    std::vector<uint32_t> checked;
    for (const MenuRow& row : kMenu) {
      if (Item(row.type)->isChecked()) checked.push_back(row.type);
    }
    return checked;
  }
};

TEST_F(SensorWindowTest, FirstShowingNamesTheSensorAndAsksForTheFieldrex) {
  TfrmMain& window = Open();
  EXPECT_EQ(window.Engine()->constructorError, 0) << "the sensor image passes its check";
  EXPECT_EQ(window.windowTitle(), kSensorCaption);
  EXPECT_EQ(QCoreApplication::applicationName(), "SKYRA 61 Sensor Suite Updater");
  EXPECT_EQ(Action("About1")->text(), "About SKYRA 61 Sensor Suite Firmware Updater");
  EXPECT_EQ(Text("userText1"), "This utility updates SKYRA 61 Sensor Suite firmware to");
  EXPECT_EQ(Text("userText2"), "SKYRA61 1.50");
  EXPECT_EQ(Text("commLabel"), "Connect to Fieldrex and Digital Sensor with Comm Port");
  EXPECT_EQ(Text("lblConnect"), "Connect Fieldrex to computer comm port.");
  EXPECT_EQ(window.State().versionFinderPath, "/versionfinder/SKYRA61-Firmware.txt");
  EXPECT_EQ(window.State().sensorType, 93u);
  EXPECT_EQ(window.State().imageVersion, 150u);
  EXPECT_TRUE(window.State().digitalSensorBuild);
  EXPECT_EQ(Checked(), std::vector<uint32_t>{93});
  EXPECT_FALSE(Timer("timerEraseWarn")->isActive()) << "a digital sensor keeps no measurement data";
  EXPECT_FALSE(Action("SetDigitalSensorto1")->isVisible()) << "the menu is for factory mode";
  for (const MenuRow& row : kMenu) EXPECT_FALSE(Item(row.type)->isVisible()) << row.caption;

  window.Help2Click();
  ASSERT_FALSE(dialogs_.boxes.empty());
  EXPECT_TRUE(dialogs_.boxes.back().text.contains(
      "Step 1. Connect your Fieldrex and SKYRA 61 Sensor Suite to an available serial communication port \non "
      "your computer.\n\n"));
}

TEST_F(SensorWindowTest, FactoryModeShowsTheSensorMenuAndAChoiceRetargetsTheWindow) {
  TfrmMain& window = Open({"vornbsl-sensor", "-factory"});
  EXPECT_TRUE(Action("SensorSeparator")->isVisible());
  EXPECT_TRUE(Action("SetDigitalSensorto1")->isVisible());
  EXPECT_FALSE(Action("SetDigitalSensorto1")->isEnabled()) << "a header, not a command";
  for (const MenuRow& row : kMenu) {
    EXPECT_EQ(Item(row.type)->text(), row.caption);
    EXPECT_EQ(Item(row.type)->isVisible(), row.shownInFactoryMode) << row.caption;
  }

  Item(122)->trigger();
  Item(118)->trigger();
  EXPECT_EQ(Checked(), std::vector<uint32_t>{118}) << "only the last choice is checked";
  EXPECT_EQ(window.State().sensorType, 118u);
  EXPECT_EQ(window.State().modelName, "Unknown Sensor (type 118)");
  EXPECT_EQ(window.State().versionFinderPath, "/versionfinder/JD4-Firmware.txt");
  EXPECT_EQ(Text("userText1"), "This utility updates Unknown Sensor (type 118) firmware to");
  EXPECT_EQ(window.windowTitle(), kSensorCaption) << "the caption stays the build's";

  Item(261)->trigger();
  EXPECT_EQ(window.State().modelName, "WPX-4 WPX-8 NIVARA 51");
  EXPECT_EQ(window.State().versionFinderPath, "/versionfinder/WPX4-Firmware.txt");
}

TEST_F(SensorWindowTest, StartUpdatesTheSimulatedSkyra61BehindAFieldrex) {
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "address=7", "--sensor-set",
                     "sn=S61-9001", "--image", std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt"});
  SetExtraPorts({sim.ptyPath});
  TfrmMain& window = Open({"vornbsl-sensor"});
  window.SetUpdateRunner(DigitalSensorUpdateRunner());
  QPushButton* start = Find<QPushButton>("btnStart");
  ASSERT_TRUE(start->isEnabled());

  QTest::mouseClick(start, Qt::LeftButton);
  const auto finished = [&] { return !window.RunActive() && Find<QPushButton>("btnClose")->isDefault(); };
  ASSERT_TRUE(QTest::qWaitFor(finished, kUpdateWaitMs));

  EXPECT_EQ(window.LastRunResult(), 1);
  EXPECT_TRUE(Text("statusText").startsWith("Successfully updated firmware in ")) << Text("statusText").toStdString();
  EXPECT_EQ(Find<QProgressBar>("statusBar")->value(), 100);
  EXPECT_EQ(Text("lblConnect"), QString("You may disconnect your ") + kSensorName + " now.");
  for (const ShownBox& box : dialogs_.boxes) ADD_FAILURE() << box.title.toStdString() << ": " << box.text.toStdString();

  const nlohmann::json report = sim.Stop();
  const nlohmann::json& s = report["sensor"];
  EXPECT_TRUE(s["imageMatches"].get<bool>());
  EXPECT_EQ(s["version"], 150);
  EXPECT_EQ(s["address"], "7");
  EXPECT_EQ(s["serialNumber"], "S61-9001");
  EXPECT_EQ(s["calibrationX4"], "0.0012 1.0034 -0.52 25.0");
  EXPECT_EQ(s["calibrationXa"], "1 1.02 0.98 1.00 1.01");
  EXPECT_EQ(s["calibrationXO"], "0 0 0.25 0.5");
  EXPECT_EQ(s["type"], 93);
  EXPECT_EQ(s["commands"].back(), "?X9 ]");
  EXPECT_EQ(report["passThrough"]["modeBytes"], "][][`");
  EXPECT_TRUE(report["faults"].empty());
}

}  // namespace
