// The digital-sensor update through RunFrame with a scripted front end, against a
// simulated SKYRA 61 behind a simulated Fieldrex (or AQUIN Comm Device) over a real
// pseudo-terminal. The program is the digital-sensor build: it links the sensor image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "devsim_process.h"
#include "sdi12/sdi_sensor.h"
#include "simulated_skyra61.h"
#include "update_run.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string& kImageFile = kSkyra61ImageFile;
constexpr uint32_t kK7W = 122;
constexpr const char* kCaption = "SKYRA 61 Sensor Suite Firmware Updater";

std::vector<std::string> FieldrexWithSkyra(std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "address=3",
                                   "--image", kImageFile};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::string BoxLine(const ScriptedUi& ui) {
  return ui.boxes.empty() ? "" : ui.boxes[0].title + ": " + ui.boxes[0].text;
}

class UpdateDigitalSensorTest : public UpdateRunTest {
 protected:
  // One run, as the sensor build's Start button makes it, with this sensor-menu choice
  // and, when given, a firmware file opened in place of the built-in image.
  int Run(const std::string& port, ScriptedUi& ui, uint32_t type = kSkyra61, const std::string& firmware = "") {
    TestUpdate update = NewUpdate(port);
    update.repair = repair_;
    update.sensorType = type;
    update.firmware = firmware;
    return UpdateRunTest::Run(update, ui);
  }

  bool repair_ = false;
};

// The sensor runs the image with its settings (address 3 and the factory calibrations) back.
void ExpectUpdated(const json& report) {
  const json& s = report["sensor"];
  EXPECT_TRUE(s["imageMatches"].get<bool>());
  EXPECT_TRUE(s["firmware"]["intact"].get<bool>());
  EXPECT_EQ(s["version"], 150);
  EXPECT_EQ(s["mode"], "firmware");
  EXPECT_EQ(s["address"], "3");
  EXPECT_EQ(s["serialNumber"], kSerial);
  EXPECT_EQ(s["calibrationX4"], kX4);
  EXPECT_EQ(s["calibrationXa"], kXa);
  EXPECT_EQ(s["calibrationXO"], kXO);
  EXPECT_EQ(s["type"], kSkyra61);
  EXPECT_EQ(s["commands"].back(), "?X9 ]") << "the chosen type is written last";
  EXPECT_EQ(report["passThrough"]["mode"], "command") << "the Fieldrex is back on its own command line";
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
}

TEST_F(UpdateDigitalSensorTest, UpdatesTheSkyra61BehindAFieldrexAndKeepsItsSettings) {
  DevsimProcess sim(FieldrexWithSkyra());
  ScriptedUi ui;
  ASSERT_EQ(Run(sim.ptyPath, ui), 1) << BoxLine(ui);
  const json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_EQ(report["passThrough"]["modeBytes"], "][][`") << "probe, capture, loader start, new firmware, end";
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_FALSE(fs::exists(settingsFile_));
  EXPECT_EQ(settingsFile_, (dir_ / "SKYRA 61 Sensor Suite.settings.txt").string());
  EXPECT_NE(LogText().find("VornBSL Host: Finished updating device in"), std::string::npos);
  EXPECT_EQ(ui.instruction, "You may disconnect your SKYRA 61 Sensor Suite now.");

  const std::vector<std::string> stages = {"Checking Fieldrex battery power...",
                                           "Saving settings for this digital sensor...",
                                           "Starting the firmware loader...",
                                           "Erasing firmware memory...",
                                           "Uploading new firmware code...",
                                           "Restarting the SKYRA 61 Sensor Suite, please wait...",
                                           "Checking new firmware...",
                                           "Restoring settings..."};
  ASSERT_EQ(ui.stages.size(), stages.size() + 2) << "the frame's first and last";
  EXPECT_TRUE(std::equal(stages.begin(), stages.end(), ui.stages.begin() + 1));
  EXPECT_EQ(ui.stages.back().rfind("Successfully updated firmware in ", 0), 0u);

  // 2 battery, 4 hand-off, 6 loader, 8 erase and one per erase call, 21 at the upload's start,
  // then 92, 94 check, 96 restore, 98 end, 100 from the frame.
  const std::vector<int> start = {0, 2, 4, 6, 8, 9};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), ui.bars.begin())) << ::testing::PrintToString(ui.bars);
  EXPECT_NE(std::find(ui.bars.begin(), ui.bars.end(), 21), ui.bars.end());
  const std::vector<int> end = {92, 94, 96, 98, 100};
  EXPECT_TRUE(std::equal(end.begin(), end.end(), ui.bars.end() - 5)) << ::testing::PrintToString(ui.bars);
}

TEST_F(UpdateDigitalSensorTest, AnInterruptedUploadIsFinishedFromTheSensorsLoaderWithTheSavedSettings) {
  // The engine tries each frame ten times on a lent port: twelve refusals end the upload.
  DevsimProcess sim(FieldrexWithSkyra({"--fault", "nak@write:40x12"}));
  ScriptedUi first;
  EXPECT_LT(Run(sim.ptyPath, first), 0);
  ASSERT_EQ(first.boxes.size(), 1u) << "exactly one error box";
  EXPECT_EQ(first.boxes[0].title, "Firmware Upload Error");
  EXPECT_EQ(first.bars.back(), 0);
  EXPECT_FALSE(first.stageVisible);
  EXPECT_EQ(first.instruction, "Connect SKYRA 61 Sensor Suite to computer comm port.");
  EXPECT_TRUE(UnfinishedKept()) << "the settings are kept for the next run";

  // The sensor is left in its loader: the second run goes straight to attaching and
  // restores the address and calibrations the first run saved.
  ScriptedUi second;
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxLine(second);
  EXPECT_TRUE(second.boxes.empty());
  EXPECT_TRUE(second.questions.empty());
  EXPECT_EQ(std::find(second.stages.begin(), second.stages.end(), "Saving settings for this digital sensor..."),
            second.stages.end());
  EXPECT_EQ(std::find(second.stages.begin(), second.stages.end(), "Starting the firmware loader..."),
            second.stages.end());
  const json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_EQ(report["passThrough"]["modeBytes"], "][]`][`")
      << "the failed run hands the Fieldrex back with a grave accent; the resumed run probes, checks, ends";
  EXPECT_FALSE(fs::exists(settingsFile_));
}

struct FailureCase {
  const char* what;
  std::vector<std::string> sim;
  uint32_t type;
  int result;
  const char* title;  // of the box, or of the question answered Cancel
  const char* text;   // the whole text, when it is fixed
};

TEST_F(UpdateDigitalSensorTest, FailuresStopBeforeTheSensorIsChangedWithOneBoxOrAQuestion) {
  const FailureCase cases[] = {
      {"an instrument", {"--device", "TGX"}, kSkyra61, kRunWrongDevice, "Wrong Device",
       "The SKYRA 61 Sensor Suite Firmware Updater expected to find a Fieldrex (or AQUIN Comm Device);\nhowever, "
       "it found a Pelloran TGX.\n\nThis updater can not work with a Pelloran TGX"},
      {"a Fieldrex of hardware revision A",
       {"--device", "FX", "--hardware-revision", "A"},
       kSkyra61,
       kRunNotSupported,
       "Wrong Device Version",
       "Your Fieldrex version 1.30 with hardware revision 'A' doesn't\nsupport bootstrapping digital sensors.\n\n"
       "Please use a supported Fieldrex (or AQUIN Comm Device)"},
      {"a Fieldrex 1.22", {"--device", "FX:1.22"}, kSkyra61, kRunNotSupported, "Wrong Device Version", nullptr},
      {"a battery at 9 %",
       {"--device", "FX", "--battery", "9"},
       kSkyra61,
       kRunBatteryLow,
       "Batteries Too Low",
       "The battery power in the Fieldrex is too low!\n\nPlease replace the batteries before running this updater."},
      {"a sensor without a loader",
       {"--device", "FX", "--sensor-no-loader"},
       kSkyra61,
       kSDINoLoader,
       "Firmware Loader Error",
       "This digital sensor does not have a working firmware loader..\n\nPlease contact Tessaly for help."},
      {"a sensor newer than the image, Cancel",
       {"--device", "FX", "--sensor", "]:1.51"},
       kSkyra61,
       kRunDeclined,
       "Newer Firmware",
       "The firmware in your SKYRA 61 Sensor Suite\nis newer than the version in this updater.\n\n"
       "Are you sure you want to load older firmware."},
      {"a SKYRA 61 where a K7W is chosen, Cancel", {"--device", "FX"}, kK7W, kRunDeclined, "Wrong Sensor Type",
       "The attached sensor is claiming to be a \"SKYRA 61 Sensor Suite\"\n\nThis firmware updater is for a "
       "\"K7W Sensor\".\n\nAre you sure you want to load the firmware for a K7W Sensor?\n"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    DevsimProcess sim(c.sim);
    ScriptedUi ui;
    EXPECT_EQ(Run(sim.ptyPath, ui, c.type), c.result);
    const bool asked = c.result == kRunDeclined;
    const std::vector<ScriptedUi::Box>& told = asked ? ui.questions : ui.boxes;
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(ui.boxes.size() + ui.questions.size(), 1u) << "a Cancel shows nothing further";
    EXPECT_EQ(told[0].title, c.title);
    if (c.text != nullptr) {
      EXPECT_EQ(told[0].text, c.text);
    }
    if (!asked) {
      EXPECT_EQ(told[0].kind, kBoxError);
    }
    const json report = sim.Stop();
    if (!report.contains("passThrough")) continue;
    EXPECT_EQ(report["passThrough"]["modeBytes"].get<std::string>().back(), '`')
        << "the failed run hands the pass-through device back to its command line";
    if (!report["sensor"].is_null()) {
      EXPECT_EQ(report["sensor"]["mode"], "firmware") << "the sensor keeps running its firmware";
      EXPECT_EQ(report["sensor"]["vectorsWritten"], false);
      EXPECT_EQ(report["sensor"]["restarts"], 0);
    }
  }
}

TEST_F(UpdateDigitalSensorTest, AFailedBatteryQueryLetsTheUpdateGoOnThroughACommDevice) {
  {
    DevsimProcess sim(FieldrexWithSkyra({"--fault", "nak@batt:1"}));
    ScriptedUi ui;
    ASSERT_EQ(Run(sim.ptyPath, ui), 1) << BoxLine(ui);
    ExpectUpdated(sim.Stop());
  }
  // A sensor at the image's own version is not asked about newer firmware.
  DevsimProcess sim({"--device", "ACD", "--sensor", "]:1.50", "--sensor-set", "address=3", "--image", kImageFile});
  ScriptedUi ui;
  ASSERT_EQ(Run(sim.ptyPath, ui), 1) << BoxLine(ui) << " (the AQUIN Comm Device has no battery query)";
  EXPECT_TRUE(ui.questions.empty());
  ExpectUpdated(sim.Stop());
}

TEST_F(UpdateDigitalSensorTest, CorruptNewFirmwareIsReported) {
  // A release whose data no longer matches the checksum in its identity block.
  std::ifstream in(kImageFile);
  std::stringstream whole;
  whole << in.rdbuf();
  std::string text = whole.str();
  const size_t second = text.find("@10000\n");
  ASSERT_NE(second, std::string::npos);
  text[second + 7] = text[second + 7] == '0' ? '1' : '0';
  const fs::path corrupt = dir_ / "SKYRA61 1-50.txt";
  std::ofstream(corrupt) << text;

  DevsimProcess sim(FieldrexWithSkyra());
  ScriptedUi ui;
  EXPECT_EQ(Run(sim.ptyPath, ui, kSkyra61, corrupt.string()), kSDICorruptFirmware);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Firmware Error");
  EXPECT_EQ(ui.boxes[0].text,
            "The new firmware for your SKYRA 61 Sensor Suite is corrupt!\n\nPlease try again or contact Tessaly.");
  const json report = sim.Stop();
  EXPECT_EQ(report["sensor"]["firmware"]["intact"], false);
  EXPECT_EQ(report["passThrough"]["modeBytes"], "][][`");
}

TEST_F(UpdateDigitalSensorTest, ASensorWhoseSettingsCannotBeReadIsLeftAloneUnlessRepairModeGoesOn) {
  // The sensor goes silent at its first calibration read: the capture fails.
  const std::vector<std::string> silentAfterIdentity = FieldrexWithSkyra({"--fault", "silence@sdi:5x2"});
  {
    DevsimProcess sim(silentAfterIdentity);
    ScriptedUi ui;
    EXPECT_LT(Run(sim.ptyPath, ui), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Settings Error");
    EXPECT_EQ(ui.boxes[0].text, std::string("This ") + kCaption +
                                    " could not retrieve the settings from your SKYRA 61 Sensor Suite.\nPlease try "
                                    "again or contact Tessaly for help.");
    EXPECT_EQ(sim.Stop()["sensor"]["vectorsWritten"], false);
  }
  repair_ = true;
  DevsimProcess sim(silentAfterIdentity);
  ScriptedUi ui;
  EXPECT_EQ(Run(sim.ptyPath, ui), kRunDeclined);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0].title, "Settings Retrieve Error");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(UpdateDigitalSensorTest, ASensorInItsWaitingLoaderIsUpdatedInRepairModeWithoutSettings) {
  // The loader answers the probe with "$": the run hands the Fieldrex back to its command
  // line and takes the full path. The sensor answers no SDI-12 command, so in repair mode
  // the person is asked to go on, and then asked about the unknown type.
  repair_ = true;
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-in-loader", "--image", kImageFile});
  ScriptedUi ui;
  ui.answers = {true, true};
  ASSERT_EQ(Run(sim.ptyPath, ui), 1) << BoxLine(ui);
  ASSERT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(ui.questions[0].title, "Settings Retrieve Error");
  EXPECT_EQ(ui.questions[1].title, "Wrong Sensor Type");
  // Nothing could be read from the sensor, so its settings memory holds the only copy of them:
  // it is not erased, and the box says that nothing was put back.
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Settings Not Restored");
  EXPECT_EQ(ui.boxes[0].text, std::string("The ") + kCaption +
                                  " did not put settings back into your SKYRA 61 Sensor Suite: no saved settings were "
                                  "chosen as its own. Its settings memory was not erased, so it keeps the settings it "
                                  "held.");
  const json report = sim.Stop();
  EXPECT_EQ(report["passThrough"]["modeBytes"], "]`[][`") << "the grave accent follows the waiting loader's \"$\"";
  EXPECT_TRUE(report["sensor"]["imageMatches"].get<bool>());
  EXPECT_EQ(report["sensor"]["version"], 150);
  EXPECT_EQ(report["sensor"]["mode"], "firmware");
}

TEST_F(UpdateDigitalSensorTest, AFamilyChoiceTheTypeWriteRefusesStillEndsInSuccess) {
  // The SKYRA 61 is not a WPX: the person says OK to the type question, the firmware goes
  // in, and the type write that refuses the family is told in a box.
  DevsimProcess sim(FieldrexWithSkyra());
  ScriptedUi ui;
  ui.answers = {true};
  ASSERT_EQ(Run(sim.ptyPath, ui, 261), 1) << BoxLine(ui);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0].title, "Wrong Sensor Type");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Settings Error");
  EXPECT_EQ(ui.boxes[0].text, std::string("The ") + kCaption +
                                  " failed to set the sensor type for your WPX-4 WPX-8 NIVARA 51.\n\nThe sensor type "
                                  "will be auto-determined by the firmware.\n\n[Error -30]");
  const json report = sim.Stop();
  EXPECT_TRUE(report["sensor"]["imageMatches"].get<bool>());
  EXPECT_EQ(report["sensor"]["address"], "3") << "the restore went on";
}

TEST(SensorTypeCheck, FamiliesAcceptTheirMembersAndOtherChoicesOnlyThemselves) {
  struct Case {
    uint32_t selected;
    const char* accepted;
    const char* refused;
  };
  const Case cases[] = {
      {260, "sron", "ytk]"},
      {261, "ylk", "sthg"},  // 'k' passes the check though the type write refuses it
      {262, "tjie", "yhf"},
      {264, "hg", "tkn"},
      {263, "", "fp"},  // the HX-x family has no members in the check
      {93, "]", "\\^z"},
      {118, "v", "]"},
  };
  for (const Case& c : cases) {
    for (const char* type = c.accepted; *type != 0; ++type) {
      EXPECT_TRUE(SensorTypeAccepted(c.selected, static_cast<uint8_t>(*type))) << c.selected << " " << *type;
    }
    for (const char* type = c.refused; *type != 0; ++type) {
      EXPECT_FALSE(SensorTypeAccepted(c.selected, static_cast<uint8_t>(*type))) << c.selected << " " << *type;
    }
  }
}

}  // namespace
