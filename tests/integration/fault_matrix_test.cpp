// The fault matrix: every stage of the instrument update crossed with every kind of fault the
// simulated device can make. Each cell runs the whole update through RunFrame against a fresh
// vornbsl-devsim with one fault plan, ends the faults, and runs again on the same device, as a
// person would after an error box. For every cell:
//   - a run that reports success has left the image in flash and every setting back;
//   - a failed run shows exactly one error box and, once the settings were captured, keeps the
//     settings file (the only copy once the device's settings memory is erased);
//   - the second run completes the update and restores the settings.
// A few cells run with every test run; VORN_FULL_MATRIX=1 adds the whole matrix, and
// VORN_MATRIX_RESULTS=FILE collects one line per cell for tools/fault-matrix's table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/update_session.h"
#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "devsim_process.h"
#include "instrument/instrument_link.h"
#include "scripted_ui.h"

namespace fs = std::filesystem;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kSimRestartWaitMs = 1000;  // the simulated TGX restarts in 300 ms
constexpr int kOkAnswers = 8;            // questions are answered OK, as a person keen on the update would
constexpr uint32_t kBlockBytes = 256;    // image bytes in one "W" frame
constexpr const char* kLoaderStage = "Starting the firmware loader...";

enum class Block { None, First, Middle, Last };

// One row of the matrix: a stage of an update sequence and where its faults go in the simulator.
struct MatrixStage {
  const char* sequence;  // "instrument"; the digital-sensor rows join with their own sequence
  const char* name;
  const char* where;     // the fault's STAGE[:N][xCOUNT] without the kind; for blocks, the stage only
  Block block = Block::None;
  const char* quietKinds = "";  // kinds this stage cannot meet, with the reason after ": "
};

struct FaultKindColumn {
  const char* kind;   // as --fault spells it
  const char* title;  // as the table heads it
};

constexpr FaultKindColumn kKinds[] = {
    {"silence", "silence"}, {"garble", "garbled answer"}, {"nak", "\"-\" answer"},
    {"drop", "dropped bytes"}, {"reset", "reset into the loader"}, {"hangup", "hang-up"},
};

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

struct MatrixCell {
  const MatrixStage* stage;
  const FaultKindColumn* kind;
};

// "W" frames of the image: each segment of the image text ("@" + five address digits + four
// digits a word) in 256-byte blocks.
uint32_t UploadBlocks() {
  constexpr size_t kAddressDigits = 5;
  constexpr size_t kDigitsPerByte = 2;
  const std::string_view text = BuiltInFirmware().text;
  uint32_t blocks = 0;
  for (size_t at = text.find('@'); at != std::string_view::npos;) {
    const size_t next = text.find('@', at + 1);
    const size_t digits = (next == std::string_view::npos ? text.size() : next) - at - 1 - kAddressDigits;
    const auto bytes = static_cast<uint32_t>(digits / kDigitsPerByte);
    blocks += (bytes + kBlockBytes - 1) / kBlockBytes;
    at = next;
  }
  return blocks;
}

std::string FaultRuleText(const MatrixCell& cell) {
  std::string where = cell.stage->where;
  if (cell.stage->block != Block::None) {
    const uint32_t last = UploadBlocks();
    const uint32_t block = cell.stage->block == Block::First ? 1 : cell.stage->block == Block::Middle ? last / 2 : last;
    where += ":" + std::to_string(block) + "x3";
  }
  // A reset and a pulled cable happen once: a count would carry them on to the next events of
  // the stage after the update (the reconnect's "get -ver"), which belong to no fault of this cell.
  const std::string kind = cell.kind->kind;
  const size_t times = where.rfind('x');
  if ((kind == "reset" || kind == "hangup") && times != std::string::npos && times > where.find(':')) {
    where.erase(times);
  }
  return kind + "@" + where;
}

// The reason a cell cannot happen, or empty.
std::string NotApplicable(const MatrixCell& cell) {
  const std::string quiet = cell.stage->quietKinds;
  const size_t colon = quiet.find(": ");
  if (colon == std::string::npos) return {};
  std::istringstream kinds(quiet.substr(0, colon));
  std::string kind;
  while (kinds >> kind) {
    if (kind == cell.kind->kind) return quiet.substr(colon + 2);
  }
  return {};
}

std::vector<MatrixCell> Cells(bool everyCell) {
  // The fast cells: one of each kind, at stages where a fault costs the host no long time-out.
  const std::vector<std::pair<std::string, std::string>> fast = {
      {"settings capture", "garble"}, {"INFO erase", "drop"}, {"upload, middle block", "reset"},
      {"vectors", "nak"},            {"restart", "silence"},  {"restore", "hangup"},
  };
  std::vector<MatrixCell> cells;
  for (const MatrixStage& stage : kInstrumentStages) {
    for (const FaultKindColumn& kind : kKinds) {
      const bool isFast = std::find(fast.begin(), fast.end(), std::pair<std::string, std::string>(stage.name, kind.kind)) != fast.end();
      if (everyCell || isFast) cells.push_back({&stage, &kind});
    }
  }
  return cells;
}

void PrintTo(const MatrixCell& cell, std::ostream* out) {
  *out << cell.stage->sequence << " / " << cell.stage->name << " / " << cell.kind->kind;
}

bool FullMatrix() {
  const char* full = std::getenv("VORN_FULL_MATRIX");
  return full && std::string(full) == "1";
}

std::string CellName(const ::testing::TestParamInfo<MatrixCell>& info) {
  std::string name = std::string(info.param.stage->sequence) + "_" + info.param.stage->name + "_" + info.param.kind->kind;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

class FaultMatrix : public ::testing::TestWithParam<MatrixCell> {
 protected:
  void SetUp() override {
    // Short: the port's path must fit the serial layer's name limit.
    const MatrixCell& cell = GetParam();
    dir_ = fs::temp_directory_path() / ("vmx" + std::to_string(::getpid()) + "-" +
                                        std::to_string(cell.stage - kInstrumentStages) + "-" +
                                        std::to_string(cell.kind - kKinds));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    port_ = (dir_ / "port").string();
    log_ = CreateMessageLog((dir_ / "errors.txt").string(), kLogProtocol, true);
  }

  void TearDown() override {
    RecordCell(HasFailure() ? "fail" : verdict_, detail_);
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // One run, as the window's Start button makes it.
  int Run(ScriptedUi& ui) {
    HostBSL engine(&log_, BuiltInFirmware());
    UpdaterState state;
    state.dataFolder = dir_.string();
    state.builtInKind = BuiltInFirmware().deviceType;
    state.portName = port_;
    state.portLabel = port_;
    state.restartWaitMs = kSimRestartWaitMs;
    UpdateRun run{state, ui, engine, &log_};
    InstrumentLink link(&log_);
    UpdateSession session(run, link);
    TargetImage(session, BuiltInFirmware().imageVersion);
    settingsFile_ = SettingsFilePath(session);
    ui.answers.assign(kOkAnswers, true);
    return RunFrame(session);
  }

  // One line for tools/fault-matrix: sequence, stage, kind, verdict, what the first run ended in.
  void RecordCell(const std::string& verdict, const std::string& detail) const {
    const char* path = std::getenv("VORN_MATRIX_RESULTS");
    if (!path || !*path) return;
    std::ofstream out(path, std::ios::app);
    out << GetParam().stage->sequence << '\t' << GetParam().stage->name << '\t' << GetParam().kind->kind << '\t'
        << verdict << '\t' << detail << '\n';
  }

  fs::path dir_;
  std::string port_;
  MessageLog log_;
  std::string settingsFile_;
  std::string verdict_ = "pass";
  std::string detail_;
};

std::string BoxesText(const ScriptedUi& ui) {
  std::string text;
  for (const ScriptedUi::Box& box : ui.boxes) text += "[" + box.title + ": " + box.text + "] ";
  return text;
}

// What the device holds is the new image and the settings it had before the update.
void ExpectUpdatedDevice(const nlohmann::json& report, const std::string& when) {
  EXPECT_TRUE(report["imageMatches"].get<bool>()) << when << ": " << report["firstImageMismatch"].dump();
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << when << ": every setting is back";
}

TEST_P(FaultMatrix, FailsSafelyAndASecondRunRecovers) {
  const std::string reason = NotApplicable(GetParam());
  if (!reason.empty()) {
    verdict_ = "n/a";
    detail_ = reason;
    GTEST_SKIP() << reason;
  }
  const std::string rule = FaultRuleText(GetParam());
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--link", port_, "--replug", "--fault", rule});

  ScriptedUi first;
  const int firstResult = Run(first);
  const nlohmann::json afterFirst = sim.EndFaults();
  SCOPED_TRACE(rule + ", first run " + std::to_string(firstResult) + " " + BoxesText(first) +
               "injected: " + afterFirst["injected"].dump());
  if (firstResult >= 0) {
    detail_ = "recovered";
    ExpectUpdatedDevice(afterFirst, "a run that reports success");
    EXPECT_TRUE(first.boxes.empty()) << "a success with an error box";
  } else {
    detail_ = first.boxes.empty() ? "no box" : first.boxes.front().title;
    EXPECT_EQ(first.boxes.size(), 1u) << "a failure shows exactly one error box";
    const bool pastCapture = std::find(first.stages.begin(), first.stages.end(), kLoaderStage) != first.stages.end();
    if (pastCapture) {
      EXPECT_TRUE(fs::exists(settingsFile_)) << "a failed run keeps the settings file";
    }
  }

  ScriptedUi second;
  EXPECT_EQ(Run(second), 1) << "the second run completes the update: " << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  ExpectUpdatedDevice(sim.Stop(), "after the second run");
  EXPECT_FALSE(fs::exists(settingsFile_)) << "the settings file goes after the successful run";
}

INSTANTIATE_TEST_SUITE_P(Fast, FaultMatrix, ::testing::ValuesIn(Cells(false)), CellName);
// Every cell, when VORN_FULL_MATRIX=1 (tools/fault-matrix); empty otherwise.
INSTANTIATE_TEST_SUITE_P(Full, FaultMatrix, ::testing::ValuesIn(FullMatrix() ? Cells(true) : std::vector<MatrixCell>{}),
                         CellName);

}  // namespace
