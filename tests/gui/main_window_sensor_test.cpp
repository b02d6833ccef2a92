// The digital-sensor build of the Qt window (this program links the sensor image): the
// "Set Digital Sensor to:" menu's actions, and the whole sensor update through the real
// window against a simulated SKYRA 61 behind a simulated Fieldrex.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/update_session.h"
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

// The actions Qt checks and unchecks on its own follow the core's single choice.
TEST_F(SensorWindowTest, FactoryModeShowsTheSensorMenuAndOnlyTheChoiceIsChecked) {
  Open({"vornbsl-sensor", "-factory"});
  EXPECT_TRUE(Action("SensorSeparator")->isVisible());
  EXPECT_TRUE(Action("SetDigitalSensorto1")->isVisible());
  EXPECT_FALSE(Action("SetDigitalSensorto1")->isEnabled()) << "a header, not a command";
  for (const MenuRow& row : kMenu) {
    EXPECT_EQ(Item(row.type)->text(), row.caption);
    EXPECT_TRUE(Item(row.type)->isCheckable());
    EXPECT_EQ(Item(row.type)->isVisible(), row.shownInFactoryMode) << row.caption;
  }
  EXPECT_EQ(Checked(), std::vector<uint32_t>{93});

  Item(122)->trigger();
  Item(118)->trigger();
  EXPECT_EQ(Checked(), std::vector<uint32_t>{118}) << "only the last choice is checked";
  Item(118)->trigger();
  EXPECT_EQ(Checked(), std::vector<uint32_t>{118}) << "the choice stays checked when chosen again";
  EXPECT_EQ(Core().State().sensorType, 118u);
  EXPECT_EQ(Text("userText1"), "This utility updates Unknown Sensor (type 118) firmware to");
}

TEST_F(SensorWindowTest, StartUpdatesTheSimulatedSkyra61BehindAFieldrex) {
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "address=7", "--sensor-set",
                     "sn=S61-9001", "--image", std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt"});
  SetExtraPorts({sim.ptyPath});
  TfrmMain& window = Open({"vornbsl-sensor"});
  Core().SetUpdateRunner(DigitalSensorUpdateRunner());
  QPushButton* start = Find<QPushButton>("btnStart");
  ASSERT_TRUE(start->isEnabled());

  QTest::mouseClick(start, Qt::LeftButton);
  const auto finished = [&] { return !Core().RunActive() && Find<QPushButton>("btnClose")->isDefault(); };
  ASSERT_TRUE(QTest::qWaitFor(finished, kUpdateWaitMs));

  EXPECT_EQ(Core().LastRunResult(), 1);
  EXPECT_EQ(window.windowTitle(), kSensorCaption);
  EXPECT_TRUE(Text("statusText").startsWith("Successfully updated firmware in ")) << Text("statusText").toStdString();
  EXPECT_EQ(Find<QProgressBar>("statusBar")->value(), 100);
  EXPECT_EQ(Text("lblConnect"), QString("You may disconnect your ") + kSensorName + " now.");
  for (const ShownBox& box : dialogs_.boxes) ADD_FAILURE() << box.title << ": " << box.text;

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
