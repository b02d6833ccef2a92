// The cells of the fault matrix and the check every cell makes, shared by the matrix of each
// update sequence (a test program links one built-in image, so each sequence has its own).
// A cell runs the whole update through RunFrame against a fresh vornbsl-devsim with one fault
// plan, ends the faults, and runs again on the same device, as a person would after an error box:
//   - a run that reports success has left the image in flash and every setting back;
//   - a failed run shows exactly one error box and, once the settings were captured, keeps the
//     settings file (the only copy once the device's settings memory is erased);
//   - the second run completes the update and restores the settings (a device left in its
//     loader without a settings file keeps them in INFO, and the run says it found no file).
// A few cells run with every test run; VORN_FULL_MATRIX=1 adds the whole matrix, and
// VORN_MATRIX_RESULTS=FILE collects one line per cell for tools/fault-matrix's table.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bsl/builtin_image.h"
#include "devsim_process.h"
#include "scripted_ui.h"
#include "update_run.h"
#include "log/message_log.h"

namespace fault_matrix {

constexpr uint32_t kBlockBytes = 256;  // image bytes in one "W" frame
constexpr const char* kLoaderStage = "Starting the firmware loader...";

enum class Block { None, First, Middle, Last };

// One row of the matrix: a stage of an update sequence and where its faults go in the simulator.
struct MatrixStage {
  const char* sequence;  // "instrument" or "digital sensor"
  const char* name;
  const char* where;     // the fault's STAGE[:N][xCOUNT] without the kind; for blocks, the stage only
  Block block = Block::None;
  const char* quietKinds = "";  // kinds this stage cannot meet, with the reason after ": "
};

struct FaultKindColumn {
  const char* kind;   // as --fault spells it
  const char* title;  // as the table heads it
};

inline constexpr FaultKindColumn kKinds[] = {
    {"silence", "silence"}, {"garble", "garbled answer"}, {"nak", "\"-\" answer"},
    {"drop", "dropped bytes"}, {"reset", "reset into the loader"}, {"hangup", "hang-up"},
};

struct MatrixCell {
  const MatrixStage* stage;
  const FaultKindColumn* kind;
  size_t row;  // in its sequence's table: names the cell's short directory
};

using FastCells = std::vector<std::pair<std::string, std::string>>;  // stage name, kind

// "W" frames of the image: each segment of the image text ("@" + five address digits + four
// digits a word) in 256-byte blocks.
inline uint32_t UploadBlocks() {
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

inline std::string FaultRuleText(const MatrixCell& cell) {
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
inline std::string NotApplicable(const MatrixCell& cell) {
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

// Every cell of the table, or only the fast ones.
inline std::vector<MatrixCell> Cells(std::span<const MatrixStage> stages, const FastCells& fast, bool everyCell) {
  std::vector<MatrixCell> cells;
  for (size_t row = 0; row < stages.size(); ++row) {
    for (const FaultKindColumn& kind : kKinds) {
      const std::pair<std::string, std::string> name(stages[row].name, kind.kind);
      const bool isFast = std::find(fast.begin(), fast.end(), name) != fast.end();
      if (everyCell || isFast) cells.push_back({&stages[row], &kind, row});
    }
  }
  return cells;
}

inline void PrintTo(const MatrixCell& cell, std::ostream* out) {
  *out << cell.stage->sequence << " / " << cell.stage->name << " / " << cell.kind->kind;
}

inline bool FullMatrix() {
  const char* full = std::getenv("VORN_FULL_MATRIX");
  return full && std::string(full) == "1";
}

inline std::string CellName(const ::testing::TestParamInfo<MatrixCell>& info) {
  std::string name = std::string(info.param.stage->sequence) + "_" + info.param.stage->name + "_" + info.param.kind->kind;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}


// The box of a restore that found no settings file (either sequence's wording).
inline bool NoSettingsFileBox(const ScriptedUi::Box& box) {
  if (box.title == "Settings Not Restored") return true;
  return box.title == "Settings Error" && (box.text.find("couldn't find the settings file") != std::string::npos ||
                                           box.text.find("[Error -102]") != std::string::npos);
}

// One cell; a sequence's matrix supplies its run, its simulated device and what an updated
// device reports.
class FaultMatrixCell : public ::testing::TestWithParam<MatrixCell> {
 protected:
  void SetUp() override {
    // Short: the port's path must fit the serial layer's name limit.
    const MatrixCell& cell = GetParam();
    dir_ = std::filesystem::temp_directory_path() /
           ("vmx" + std::to_string(::getpid()) + "-" + std::string(1, cell.stage->sequence[0]) +
            std::to_string(cell.row) + "-" + std::to_string(cell.kind - kKinds));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    port_ = (dir_ / "port").string();
    log_ = CreateMessageLog((dir_ / "errors.txt").string(), kLogProtocol, true);
  }

  void TearDown() override {
    RecordCell(HasFailure() ? "fail" : verdict_, detail_);
    // A failed cell keeps its folder (log, settings file); VORN_KEEP_CELL=1 keeps every cell's.
    if (!HasFailure() && !std::getenv("VORN_KEEP_CELL")) std::filesystem::remove_all(dir_);
  }

  // One run, as the window's Start button makes it; sets settingsFile_.
  virtual int Run(ScriptedUi& ui) = 0;
  // The simulator's arguments for a device with this fault rule, linked at port_.
  virtual std::vector<std::string> SimArguments(const std::string& rule) const = 0;
  // What the device holds is the new image and the settings it had before the update.
  virtual void ExpectUpdatedDevice(const nlohmann::json& report, const std::string& when) const = 0;

  void CheckCell() {
    const std::string reason = NotApplicable(GetParam());
    if (!reason.empty()) {
      verdict_ = "n/a";
      detail_ = reason;
      GTEST_SKIP() << reason;
    }
    const std::string rule = FaultRuleText(GetParam());
    DevsimProcess sim(SimArguments(rule));

    ScriptedUi first;
    const int firstResult = Run(first);
    const nlohmann::json afterFirst = sim.EndFaults();
    SCOPED_TRACE(rule + ", first run " + std::to_string(firstResult) + " " + BoxesText(first) +
                 "injected: " + afterFirst["injected"].dump());
    if (firstResult >= 0) {
      detail_ = "recovered";
      ExpectUpdatedDevice(afterFirst, "a run that reports success");
      // A device that fell into its loader before its settings were saved keeps them in INFO; the
      // run says that it found no settings file.
      const bool toldSettings = first.boxes.size() == 1 && (NoSettingsFileBox(first.boxes.front()) ||
                                                            (successTellsSettings_ &&
                                                             first.boxes.front().title == "Settings Error"));
      EXPECT_TRUE(first.boxes.empty() || toldSettings) << "a success with an error box";
    } else {
      detail_ = first.boxes.empty() ? "no box" : first.boxes.front().title;
      EXPECT_EQ(first.boxes.size(), 1u) << "a failure shows exactly one error box";
      const bool pastCapture = std::find(first.stages.begin(), first.stages.end(), kLoaderStage) != first.stages.end();
      if (pastCapture) EXPECT_FALSE(ArchiveOf(dir_).empty()) << "a failed run keeps its capture";
    }

    // A device the first run left in its loader without a settings file keeps its settings in
    // INFO; the second run says that it put none back, and finishes. Where the device cannot tell
    // which it is, the person is asked: this bench holds one device, and the person picks its file.
    const bool fileLeft = Unfinished();
    ScriptedUi second;
    second.picks = {0};
    EXPECT_EQ(Run(second), 1) << "the second run completes the update: " << BoxesText(second);
    for (const ScriptedUi::Choice& choice : second.choices) EXPECT_EQ(choice.options.size(), 1u) << choice.text;
    const bool toldNoFile = !fileLeft && second.boxes.size() == 1 && NoSettingsFileBox(second.boxes.front());
    EXPECT_TRUE(second.boxes.empty() || toldNoFile) << BoxesText(second);
    ExpectUpdatedDevice(sim.Stop(), "after the second run");
    EXPECT_FALSE(std::filesystem::exists(settingsFile_)) << "no settings file is left in the data folder";
    EXPECT_FALSE(Unfinished()) << "nothing waits once the device is updated";
  }

  bool Unfinished() const {
    for (const ArchiveEntry& entry : ArchiveOf(dir_)) {
      if (entry.state == ArchiveState::kUnfinished) return true;
    }
    return false;
  }

  // One line for tools/fault-matrix: sequence, stage, kind, verdict, what the first run ended in.
  void RecordCell(const std::string& verdict, const std::string& detail) const {
    const char* path = std::getenv("VORN_MATRIX_RESULTS");
    if (!path || !*path) return;
    std::ofstream out(path, std::ios::app);
    out << GetParam().stage->sequence << '\t' << GetParam().stage->name << '\t' << GetParam().kind->kind << '\t'
        << verdict << '\t' << detail << '\n';
  }

  std::filesystem::path dir_;
  std::string port_;
  MessageLog log_;
  std::string settingsFile_;
  // A sequence that tells a failed settings write in one box and still ends in success (the
  // device runs its new firmware); the settings must be back all the same.
  bool successTellsSettings_ = false;
  std::string verdict_ = "pass";
  std::string detail_;
};

}  // namespace fault_matrix
