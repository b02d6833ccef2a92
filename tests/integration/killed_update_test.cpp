// The updater's own process dies in the middle of an update (the computer loses power, the
// terminal is closed, SIGKILL): vornbsl-cli is killed at a point of the update, and one
// ordinary run a few seconds later must finish the update with every setting as it was
// before the first run.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_archive.h"
#include "cli_process.h"
#include "devsim_process.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kPauseBeforeNextRunMs = 3000;

struct KillPoint {
  const char* name;
  const char* line;  // the line of vornbsl-cli's output after which it dies
  int delayMs;       // how long after that line
  bool settingsLost;  // the device's settings memory was erased: the next run restores the file
};

// The archive's file of an update that did not finish, or an empty path.
std::string UnfinishedFile(const fs::path& dataFolder) {
  for (const ArchiveEntry& entry : ListArchive(dataFolder.string())) {
    if (entry.state == ArchiveState::kUnfinished) return entry.path;
  }
  return {};
}

void PrintTo(const KillPoint& point, std::ostream* out) { *out << point.name; }

constexpr const char* kKeptFileNote =
    "note: The settings of the Pelloran TGX with serial number TGX-014577, saved on ";

class KilledUpdate : public ::testing::TestWithParam<KillPoint> {
 protected:
  void SetUp() override { dir_ = FreshTestFolder("vorn_kill_"); }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  std::vector<std::string> UpdateArgs(const std::string& port, const std::string& settings = {}) const {
    std::vector<std::string> args = {"--data-dir", dir_.string(), "update", "--port", port, "--yes"};
    if (!settings.empty()) args.insert(args.end(), {"--settings", settings});
    return args;
  }
  fs::path dir_;
};

TEST_P(KilledUpdate, TheNextRunFinishesTheUpdateWithEverySettingBack) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile});
  {
    CliProcess first(VORN_CLI_PATH, UpdateArgs(sim.ptyPath), dir_ / "first.err");
    ASSERT_TRUE(first.WaitForLine(GetParam().line)) << first.seen;
    std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().delayMs));
    // The destructor kills it with SIGKILL.
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kPauseBeforeNextRunMs));
  // Where the device cannot tell which it is (it came up blank) only the person can say whose
  // the kept file is; off a terminal the file is named.
  const std::string unfinished = UnfinishedFile(dir_);
  EXPECT_EQ(!unfinished.empty(), GetParam().settingsLost) << "the archive keeps what the device lost";
  const CliRun second = RunProgram(VORN_CLI_PATH, UpdateArgs(sim.ptyPath, unfinished), dir_ / "second.err");
  EXPECT_EQ(second.status, 0) << second.out << second.err;
  const json report = sim.Stop();
  EXPECT_TRUE(report["imageMatches"].get<bool>());
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << second.out << second.err;
  EXPECT_NE(report["instrument"]["clockSet"], nullptr);
  EXPECT_GE(report["instrument"]["erasures"], 1);
  const bool told = second.out.find(kKeptFileNote) != std::string::npos;
  EXPECT_EQ(told, GetParam().settingsLost) << "the run says when it restores an unfinished update's settings";
}

INSTANTIATE_TEST_SUITE_P(
    Cli, KilledUpdate,
    ::testing::Values(KillPoint{"DuringTheCapture", "stage: Saving settings for this Pelloran TGX...", 0, false},
                      KillPoint{"BeforeTheLoaderStarts", "stage: Starting the firmware loader...", 0, false},
                      // Late enough that the erase was recorded before it began.
                      KillPoint{"DuringTheErase", "stage: Erasing firmware memory...", 300, true},
                      KillPoint{"DuringTheUpload", "progress: 40", 0, true},
                      KillPoint{"DuringTheRestartWait", "stage: Restarting the Pelloran TGX, please wait...", 2000, true},
                      KillPoint{"DuringTheRestore", "stage: Restoring settings...", 0, true},
                      // The settings are back on the device: the next run captures them afresh.
                      KillPoint{"DuringTheDataErase", "stage: Erasing old data...", 0, false}),
    [](const ::testing::TestParamInfo<KillPoint>& point) { return std::string(point.param.name); });

}  // namespace
