// The fault matrix of the digital-sensor update: every stage crossed with every kind of fault,
// against a simulated SKYRA 61 behind a simulated Fieldrex (the cells and their check:
// fault_matrix_cells.h). The program is the digital-sensor build: it links the sensor image.
#include <gtest/gtest.h>

#include "fault_matrix_cells.h"
#include "simulated_skyra61.h"
#include "update_run.h"

using namespace fault_matrix;

namespace {

const std::string& kImageFile = kSkyra61ImageFile;
constexpr int kOkAnswers = 8;  // questions are answered OK, as a person keen on the update would
constexpr int kImageVersion = 150;
constexpr const char* kAddress = "3";  // the simulated sensor's address here

// The pass-through device's own loader holds it until its own firmware goes in again, which is
// not this program's update: a reset of it on its command line ends the sensor's update.
constexpr const char* kPassThroughReset =
    "reset: a pass-through device reset into its own loader needs its own firmware update, not the sensor's";

// Counts of 3 outlast the host's tries of one exchange.
const MatrixStage kSensorStages[] = {
    {"digital sensor", "connect", "command:1", Block::None, kPassThroughReset},
    {"digital sensor", "hardware check", "hver:1x3", Block::None, kPassThroughReset},
    {"digital sensor", "battery", "batt:1x3", Block::None, kPassThroughReset},
    {"digital sensor", "loader probe", "probe:1x3", Block::None,
     "silence nak drop: a sensor running its firmware does not answer the probe, so there is no answer to "
     "withhold, refuse or lose"},
    {"digital sensor", "settings capture", "sdi-get:1x3"},
    {"digital sensor", "loader start", "sdi-loader:1x3"},
    {"digital sensor", "INFO erase", "erase-info:1x3"},
    {"digital sensor", "flash erase", "erase:1x3"},
    {"digital sensor", "upload, first block", "write", Block::First},
    {"digital sensor", "upload, middle block", "write", Block::Middle},
    {"digital sensor", "upload, last block", "write", Block::Last},
    {"digital sensor", "vectors", "vectors:1x3"},
    {"digital sensor", "firmware check", "sdi-post:1x3"},
    {"digital sensor", "restore", "sdi-set:1x3"},
    {"digital sensor", "sensor type write", "sdi-type:1x3"},
};

// The fast cells: faults that cost the host no long time-out, each at a different part of the
// sequence (the relayed SDI-12 reads, the sensor's loader, the relay itself).
const FastCells kFast = {
    {"settings capture", "garble"}, {"loader probe", "reset"}, {"INFO erase", "hangup"},
    {"restore", "drop"},  // a write the sensor confirms with a byte missing
    {"sensor type write", "reset"},  // the sensor leaves its new firmware at the last step
};

class FaultMatrixSensor : public FaultMatrixCell {
 protected:
  // The type write's refusal is told and the firmware determines the type itself.
  FaultMatrixSensor() { successTellsSettings_ = true; }

  int Run(ScriptedUi& ui) override {
    TestUpdate update(dir_.string(), &log_, port_);
    ui.answers.assign(kOkAnswers, true);
    const int result = RunTestUpdate(update, ui);
    settingsFile_ = update.settingsFile;
    return result;
  }

  std::vector<std::string> SimArguments(const std::string& rule) const override {
    return {"--device", "FX",     "--sensor", "]:1.40", "--sensor-set", "address=3", "--image",
            kImageFile, "--link", port_,      "--replug", "--fault",    rule};
  }

  void ExpectUpdatedDevice(const nlohmann::json& report, const std::string& when) const override {
    const nlohmann::json& s = report["sensor"];
    ASSERT_TRUE(s.is_object()) << when << ": " << report.dump();
    EXPECT_TRUE(s["imageMatches"].get<bool>()) << when;
    EXPECT_EQ(s["version"], kImageVersion) << when;
    EXPECT_EQ(s["mode"], "firmware") << when;
    const nlohmann::json settings = {s["address"], s["serialNumber"], s["calibrationX4"],
                                     s["calibrationXa"], s["calibrationXO"], s["type"]};
    const nlohmann::json before = {kAddress, kSerial, kX4, kXa, kXO, kSkyra61};
    EXPECT_EQ(settings, before) << when << ": every setting is back";
  }
};

TEST_P(FaultMatrixSensor, FailsSafelyAndASecondRunRecovers) { CheckCell(); }

INSTANTIATE_TEST_SUITE_P(Fast, FaultMatrixSensor, ::testing::ValuesIn(Cells(kSensorStages, kFast, false)), CellName);
// Every cell, when VORN_FULL_MATRIX=1 (tools/fault-matrix); empty otherwise.
INSTANTIATE_TEST_SUITE_P(Full, FaultMatrixSensor,
                         ::testing::ValuesIn(FullMatrix() ? Cells(kSensorStages, kFast, true)
                                                          : std::vector<MatrixCell>{}),
                         CellName);

}  // namespace
