// Runs that follow one another on simulated SKYRA 61 sensors behind Fieldrex readers, sharing one
// data folder: a failed run, another sensor updated in between, then the next run. Each history
// ends with every sensor holding its own calibration, address and serial number, and each run's
// result telling the truth. The program is the digital-sensor build.
#include <gtest/gtest.h>

#include <filesystem>

#include "devsim_process.h"
#include "simulated_skyra61.h"
#include "sdi12/sdi_sensor.h"
#include "update_run.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A rule that lasts until the test ends the faults.
constexpr const char* kUntilEnded = "x100000";

struct SensorValues {
  std::string address, serial, x4, xa, xo;
};

const SensorValues kSensorA{"3", kSerial, kX4, kXa, kXO};
// Another sensor with no serial number but an address and calibrations of its own.
const SensorValues kSensorB{"5", "", "0.0031 0.9975 -0.47 24.5", "1 1.04 0.97 1.02 1.00", "0 0 0.31 0.52"};

std::vector<std::string> Fieldrex(const SensorValues& v, std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--device",   "FX", "--sensor", "]:1.40", "--image", kSkyra61ImageFile,
                                   "--sensor-set", "address=" + v.address, "--sensor-set", "sn=" + v.serial,
                                   "--sensor-set", "x4=" + v.x4, "--sensor-set", "xa=" + v.xa,
                                   "--sensor-set", "xo=" + v.xo};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

void ExpectSensorHolds(const json& report, const SensorValues& v, const std::string& who) {
  const json& s = report["sensor"];
  EXPECT_TRUE(s["imageMatches"].get<bool>()) << who;
  EXPECT_EQ(s["version"], 150) << who;
  EXPECT_EQ(s["mode"], "firmware") << who;
  EXPECT_EQ(s["address"], v.address) << who;
  EXPECT_EQ(s["serialNumber"], v.serial) << who;
  EXPECT_EQ(s["calibrationX4"], v.x4) << who;
  EXPECT_EQ(s["calibrationXa"], v.xa) << who;
  EXPECT_EQ(s["calibrationXO"], v.xo) << who;
  EXPECT_EQ(s["type"], kSkyra61) << who;
}

using SensorHistory = UpdateRunTest;

// Sensor A's update fails after its INFO erase; sensor B, with no serial number but its own
// address and calibrations, is updated next: it cannot say whether A's file is its own, so the
// person is asked, and the default keeps B's own. A comes back in its loader and gets its file.
TEST_F(SensorHistory, EachSensorKeepsItsOwnSettingsAcrossTheOthersUpdate) {
  DevsimProcess a(Fieldrex(kSensorA, {"--fault", "silence@write:20x12"}));
  DevsimProcess b(Fieldrex(kSensorB));
  ScriptedUi first;
  EXPECT_LT(Run(a.ptyPath, first), 0);
  ASSERT_TRUE(UnfinishedKept());

  ScriptedUi other;
  ASSERT_EQ(Run(b.ptyPath, other), 1) << BoxesText(other);
  EXPECT_TRUE(other.boxes.empty()) << BoxesText(other);
  ASSERT_EQ(other.choices.size(), 1u);
  ASSERT_EQ(other.choices[0].options.size(), 1u);
  EXPECT_NE(other.choices[0].options[0].find(std::string("serial number ") + kSerial), std::string::npos);
  ExpectSensorHolds(b.Stop(), kSensorB, "B keeps its own settings");
  const std::vector<ArchiveEntry> waiting = ArchiveIn(ArchiveState::kUnfinished);
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(waiting[0].serial, kSerial);

  a.EndFaults();
  ScriptedUi back;
  ASSERT_EQ(Run(a.ptyPath, back), 1) << BoxesText(back);
  EXPECT_TRUE(back.boxes.empty()) << BoxesText(back);
  EXPECT_TRUE(back.choices.empty());
  ExpectSensorHolds(a.Stop(), kSensorA, "A gets its settings from its file");
  EXPECT_TRUE(LooseSettingsFiles().empty());
  EXPECT_FALSE(UnfinishedKept());
}

// The new firmware was not confirmed in the first run: the sensor runs it with blank settings
// (no serial number). The next run cannot tell whose the kept file is: the person picks it.
TEST_F(SensorHistory, ASensorLeftBlankByAnEarlierRunGetsTheFileBack) {
  DevsimProcess sim(Fieldrex(kSensorA, {"--fault", std::string("silence@sdi-post") + kUntilEnded}));
  ScriptedUi first;
  EXPECT_LT(Run(sim.ptyPath, first), 0);
  ASSERT_EQ(first.boxes.size(), 1u) << BoxesText(first);
  EXPECT_EQ(first.boxes[0].title, "Firmware Error");
  const json between = sim.EndFaults();
  EXPECT_EQ(between["sensor"]["serialNumber"], "") << "the erase took the sensor's settings";

  ScriptedUi second;
  second.picks = {0};
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  ASSERT_EQ(second.choices.size(), 1u);
  ASSERT_EQ(second.notes.size(), 1u);
  EXPECT_EQ(second.notes[0].rfind(std::string("The settings of the SKYRA 61 Sensor Suite with serial number ") +
                                      kSerial + ", saved on ",
                                  0),
            0u)
      << second.notes[0];
  ExpectSensorHolds(sim.Stop(), kSensorA, "after the second run");
  EXPECT_TRUE(LooseSettingsFiles().empty());
  EXPECT_FALSE(UnfinishedKept());
}

// A run that stopped before the sensor's flash was touched (the sensor has no loader) keeps
// sensor A's capture as an untouched device's: another sensor found in its loader, its own
// settings still in its memory, gets nothing of A's and keeps its own.
TEST_F(SensorHistory, AnUntouchedSensorsFileIsNotGivenToAnotherInItsLoader) {
  DevsimProcess a(Fieldrex(kSensorA, {"--sensor-no-loader"}));
  DevsimProcess b(Fieldrex(kSensorB, {"--sensor-in-loader"}));
  ScriptedUi stopped;
  EXPECT_EQ(Run(a.ptyPath, stopped), kSDINoLoader) << BoxesText(stopped);
  ASSERT_EQ(ArchiveIn(ArchiveState::kUnchanged).size(), 1u);

  ScriptedUi onB;
  ASSERT_EQ(Run(b.ptyPath, onB), 1) << BoxesText(onB);
  EXPECT_TRUE(onB.choices.empty());
  ASSERT_EQ(onB.boxes.size(), 1u) << BoxesText(onB);
  EXPECT_EQ(onB.boxes[0].title, "Settings Not Restored");
  ExpectSensorHolds(b.Stop(), kSensorB, "B keeps what its memory held");
  a.Stop();
}

// A calibration the sensor refuses ("ERROR") is told, and the run goes on: the type is written
// and the update ends in success, the rest of the settings back; what was not restored is kept
// for the person, and the next run captures afresh.
TEST_F(SensorHistory, ARefusedCalibrationIsToldAndTheUpdateFinishes) {
  DevsimProcess sim(Fieldrex(kSensorA, {"--fault", "nak@sdi-set:3x5"}));
  ScriptedUi first;
  ASSERT_EQ(Run(sim.ptyPath, first), 1) << BoxesText(first);
  ASSERT_EQ(first.boxes.size(), 1u) << BoxesText(first);
  EXPECT_EQ(first.boxes[0].title, "Settings Error");
  const std::vector<ArchiveEntry> unrestored = ArchiveIn(ArchiveState::kPartlyRestored);
  ASSERT_EQ(unrestored.size(), 1u);
  EXPECT_NE(first.boxes[0].text.find(unrestored[0].path), std::string::npos);
  const json afterFirst = sim.EndFaults();
  EXPECT_EQ(afterFirst["sensor"]["type"], kSkyra61) << "the type is written after the box";
  EXPECT_EQ(afterFirst["sensor"]["address"], "3");
  EXPECT_EQ(afterFirst["sensor"]["serialNumber"], kSerial);

  ScriptedUi second;
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.notes.empty()) << "the person's file is not read by the next run";
  EXPECT_TRUE(fs::exists(unrestored[0].path));
  sim.Stop();
}

// A sensor that keeps its numbers rounded and prints them its own way, and answers its identity
// and firmware check only at the third attempt, is updated in one run with its settings back.
TEST_F(SensorHistory, ASensorThatRoundsAndAnswersLateIsUpdatedInOneRun) {
  DevsimProcess sim(Fieldrex(kSensorA, {"--sensor-number-format", "rounded:2", "--sensor-late", "I:3",
                                        "--sensor-late", "post:3"}));
  const json before = sim.EndFaults()["sensor"];
  ScriptedUi ui;
  ASSERT_EQ(Run(sim.ptyPath, ui), 1) << BoxesText(ui);
  EXPECT_TRUE(ui.boxes.empty()) << BoxesText(ui);
  const json after = sim.Stop()["sensor"];
  EXPECT_TRUE(after["imageMatches"].get<bool>());
  for (const char* key : {"address", "serialNumber", "calibrationX4", "calibrationXa", "calibrationXO"}) {
    EXPECT_EQ(after[key], before[key]) << key;
  }
}

}  // namespace
