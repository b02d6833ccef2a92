// The fault matrix of the instrument update: every stage crossed with every kind of fault the
// simulated device can make (the cells and their check: fault_matrix_cells.h).
#include <gtest/gtest.h>

#include "fault_matrix_cells.h"
#include "update_run.h"

using namespace fault_matrix;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kSimRestartWaitMs = 1000;  // the simulated TGX restarts in 300 ms
constexpr int kOkAnswers = 8;            // questions are answered OK, as a person keen on the update would

// Counts of 3 outlast the host's tries of one exchange; the reconnect makes 3 attempts of 3.
const MatrixStage kInstrumentStages[] = {
    {"instrument", "connect", "command:1"},
    {"instrument", "identify", "ver:1x3"},
    {"instrument", "settings capture", "get:1x3"},
    {"instrument", "loader start", "boot:1x3"},
    {"instrument", "INFO erase", "erase-info:1x3"},
    {"instrument", "flash erase", "erase:1x3"},
    {"instrument", "upload, first block", "write", Block::First},
    {"instrument", "upload, middle block", "write", Block::Middle},
    {"instrument", "upload, last block", "write", Block::Last},
    {"instrument", "vectors", "vectors:1x3"},
    {"instrument", "restart", "restart:1x200", Block::None,
     "nak drop: a starting device has no answer to refuse and receives nothing to lose"},
    {"instrument", "reconnect", "ver:2x9"},
    {"instrument", "firmware check", "post:1x3"},
    {"instrument", "restore", "set:1x3"},
    {"instrument", "clock", "clock:1x3"},
    {"instrument", "data erase", "erase-data:1x3"},
};

// The fast cells: one of each kind, at stages where a fault costs the host no long time-out.
const FastCells kFast = {
    {"settings capture", "garble"}, {"INFO erase", "drop"}, {"upload, middle block", "reset"},
    {"vectors", "nak"},            {"restart", "silence"},  {"restore", "hangup"},
};

class FaultMatrix : public FaultMatrixCell {
 protected:
  int Run(ScriptedUi& ui) override {
    TestUpdate update(dir_.string(), &log_, port_);
    update.restartWaitMs = kSimRestartWaitMs;
    ui.answers.assign(kOkAnswers, true);
    const int result = RunTestUpdate(update, ui);
    settingsFile_ = update.settingsFile;
    return result;
  }

  std::vector<std::string> SimArguments(const std::string& rule) const override {
    return {"--device", "TGX:1.40", "--image", kImageFile, "--link", port_, "--replug", "--fault", rule};
  }

  void ExpectUpdatedDevice(const nlohmann::json& report, const std::string& when) const override {
    EXPECT_TRUE(report["imageMatches"].get<bool>()) << when << ": " << report["firstImageMismatch"].dump();
    EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << when << ": every setting is back";
  }
};

TEST_P(FaultMatrix, FailsSafelyAndASecondRunRecovers) { CheckCell(); }

INSTANTIATE_TEST_SUITE_P(Fast, FaultMatrix, ::testing::ValuesIn(Cells(kInstrumentStages, kFast, false)), CellName);
// Every cell, when VORN_FULL_MATRIX=1 (tools/fault-matrix); empty otherwise.
INSTANTIATE_TEST_SUITE_P(Full, FaultMatrix,
                         ::testing::ValuesIn(FullMatrix() ? Cells(kInstrumentStages, kFast, true)
                                                          : std::vector<MatrixCell>{}),
                         CellName);

}  // namespace
