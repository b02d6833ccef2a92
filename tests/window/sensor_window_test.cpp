// The digital-sensor build of the window (this program links the sensor image): its
// first showing and the "Set Digital Sensor to:" menu.
#include "bsl/host_bsl.h"
#include "window/window_fixture.h"

namespace {

constexpr char kSensorCaption[] = "SKYRA 61 Sensor Suite Firmware Updater";

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
constexpr size_t kMenuItems = sizeof(kMenu) / sizeof(kMenu[0]);

class WindowSensorTest : public WindowCoreTest {
 protected:
  std::vector<uint32_t> Checked() const {
    std::vector<uint32_t> checked;
    for (size_t i = 0; i < kMenuItems; ++i) {
      if (view_->menu.at(SensorItemId(i)).checked) checked.push_back(kMenu[i].type);
    }
    return checked;
  }
};

TEST_F(WindowSensorTest, TheMenuTableHoldsTheSensorItemsInOrder) {
  for (size_t i = 0; i < kMenuItems; ++i) {
    const MenuEntry* row = FindMenuEntry(SensorItemId(i));
    ASSERT_NE(row, nullptr) << i;
    EXPECT_EQ(row->caption, kMenu[i].caption);
    EXPECT_EQ(row->name, "SensorType" + std::to_string(kMenu[i].type));
    EXPECT_EQ(row->kind, MenuKind::kToggle);
    EXPECT_EQ(SensorItemIndex(SensorItemId(i)), i);
  }
  EXPECT_EQ(FindMenuEntry(SensorItemId(kMenuItems)), nullptr);
  EXPECT_FALSE(SensorItemIndex(MenuId::About1).has_value());
}

TEST_F(WindowSensorTest, FirstShowingNamesTheSensorAndAsksForTheFieldrex) {
  WindowCore& window = Open({"vornbsl-sensor"});
  EXPECT_EQ(window.Engine()->constructorError, 0) << "the sensor image passes its check";
  EXPECT_EQ(view_->title, kSensorCaption);
  EXPECT_EQ(view_->applicationTitle, "SKYRA 61 Sensor Suite Updater");
  EXPECT_EQ(view_->captions.at(MenuId::About1), "About SKYRA 61 Sensor Suite Firmware Updater");
  EXPECT_EQ(view_->Text(Control::userText1), "This utility updates SKYRA 61 Sensor Suite firmware to");
  EXPECT_EQ(view_->Text(Control::userText2), "SKYRA61 1.50");
  EXPECT_EQ(view_->Text(Control::commLabel), "Connect to Fieldrex and Digital Sensor with Comm Port");
  EXPECT_EQ(view_->Text(Control::lblConnect), "Connect Fieldrex to computer comm port.");
  EXPECT_EQ(window.State().versionFinderPath, "/versionfinder/SKYRA61-Firmware.txt");
  EXPECT_EQ(window.State().sensorType, 93u);
  EXPECT_EQ(window.State().imageVersion, 150u);
  EXPECT_TRUE(window.State().digitalSensorBuild);
  EXPECT_EQ(Checked(), std::vector<uint32_t>{93});
  EXPECT_FALSE(clock_->Active(TimerId::timerEraseWarn)) << "a digital sensor keeps no measurement data";
  EXPECT_TRUE(clock_->Active(TimerId::tWebCheck));
  EXPECT_FALSE(view_->menu.at(MenuId::SetDigitalSensorto1).visible) << "the menu is for factory mode";
  for (size_t i = 0; i < kMenuItems; ++i) EXPECT_FALSE(view_->menu.at(SensorItemId(i)).visible) << kMenu[i].caption;

  window.menu(MenuId::Help2);
  ASSERT_FALSE(dialogs_.boxes.empty());
  EXPECT_NE(dialogs_.boxes.back().text.find(
                "Step 1. Connect your Fieldrex and SKYRA 61 Sensor Suite to an available serial communication port "
                "\non your computer.\n\n"),
            std::string::npos);
  EXPECT_EQ(dialogs_.boxes.back().text.find("will erase any stored measurement data"), std::string::npos);
}

TEST_F(WindowSensorTest, FactoryModeShowsTheSensorMenuAndAChoiceRetargetsTheWindow) {
  WindowCore& window = Open({"vornbsl-sensor", "-factory"});
  EXPECT_TRUE(view_->menu.at(MenuId::SensorSeparator).visible);
  EXPECT_TRUE(view_->menu.at(MenuId::SetDigitalSensorto1).visible);
  EXPECT_FALSE(view_->menu.at(MenuId::SetDigitalSensorto1).enabled) << "a header, not a command";
  for (size_t i = 0; i < kMenuItems; ++i) {
    EXPECT_EQ(view_->menu.at(SensorItemId(i)).visible, kMenu[i].shownInFactoryMode) << kMenu[i].caption;
  }

  window.menu(SensorItemId(0));  // K7W
  window.menu(SensorItemId(3));  // JD4
  EXPECT_EQ(Checked(), std::vector<uint32_t>{118}) << "only the last choice is checked";
  EXPECT_EQ(window.State().sensorType, 118u);
  EXPECT_EQ(window.State().modelName, "Unknown Sensor (type 118)");
  EXPECT_EQ(window.State().versionFinderPath, "/versionfinder/JD4-Firmware.txt");
  EXPECT_EQ(view_->Text(Control::userText1), "This utility updates Unknown Sensor (type 118) firmware to");
  EXPECT_EQ(view_->title, kSensorCaption) << "the caption stays the build's";
  // Choosing the checked item again keeps it checked.
  window.menu(SensorItemId(3));
  EXPECT_EQ(Checked(), std::vector<uint32_t>{118});

  window.menu(SensorItemId(4));
  EXPECT_EQ(window.State().modelName, "WPX-4 WPX-8 NIVARA 51");
  EXPECT_EQ(window.State().versionFinderPath, "/versionfinder/WPX4-Firmware.txt");
  // An item factory mode leaves hidden cannot be chosen.
  window.menu(SensorItemId(10));  // HX-6
  EXPECT_EQ(window.State().sensorType, 261u);
}

}  // namespace
