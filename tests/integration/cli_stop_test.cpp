// Ctrl+C (and SIGTERM) during vornbsl-cli update: the run stops where the device is left in a
// state the next run takes up, says so, keeps the settings file and exits 128 + the signal;
// from the vectors until the settings are back it cannot stop, and each request says so. One
// ordinary run afterwards finishes the update with every setting back.
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
constexpr const char* kHeld =
    "Cannot stop while the Pelloran TGX starts its new firmware and gets its settings back; it will stop after that.\n";

struct StopPoint {
  const char* name;
  std::vector<std::string> simArgs;  // beside the device and its image
  const char* line;                  // the output line after which the signal comes
  int signal;
  int secondAfterMs;  // a second signal this long after the first; -1 for none
  const char* cancelled;  // the start of the "Cancelled: " line
  bool newFirmware;       // the device runs the new firmware after the stop (else it is not written whole)
};

void PrintTo(const StopPoint& point, std::ostream* out) { *out << point.name; }

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class StoppedUpdate : public ::testing::TestWithParam<StopPoint> {
 protected:
  void SetUp() override { dir_ = FreshTestFolder("vorn_stop_"); }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  std::vector<std::string> UpdateArgs(const std::string& port) const {
    return {"--data-dir", (dir_ / "data").string(), "update", "--port", port, "--yes"};
  }
  fs::path SettingsFile() const { return dir_ / "data" / "Pelloran TGX.settings.txt"; }
  fs::path dir_;
};

TEST_P(StoppedUpdate, StopsSafelyAndTheNextRunFinishes) {
  const StopPoint& point = GetParam();
  std::vector<std::string> simArgs = {"--device", "TGX:1.40", "--image", kImageFile};
  simArgs.insert(simArgs.end(), point.simArgs.begin(), point.simArgs.end());
  DevsimProcess sim(simArgs);
  CliProcess first(VORN_CLI_PATH, UpdateArgs(sim.ptyPath), dir_ / "first.err");
  ASSERT_TRUE(first.WaitForLine(point.line)) << first.seen;
  kill(first.pid, point.signal);
  if (point.secondAfterMs >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(point.secondAfterMs));
    kill(first.pid, point.signal);
  }
  EXPECT_EQ(first.Wait(), 128 + point.signal);
  const std::string err = ReadText(dir_ / "first.err");
  EXPECT_NE(err.find(std::string("\nCancelled: ") + point.cancelled), std::string::npos) << err;
  EXPECT_EQ(err.find("Error -40"), std::string::npos) << "a stop is no fault: " << err;
  EXPECT_EQ(Count(err, kHeld), point.secondAfterMs >= 0 ? 2u : 0u) << err;
  EXPECT_FALSE(ListArchive((dir_ / "data").string()).empty()) << "the settings are kept in the archive";

  const json stopped = sim.EndFaults();
  EXPECT_EQ(stopped["imageMatches"], point.newFirmware);
  EXPECT_EQ(stopped["vectorsWritten"], point.newFirmware);
  EXPECT_EQ(stopped["instrument"]["erasures"], 0) << "the data are erased only by a finished update";

  const CliRun second = RunProgram(VORN_CLI_PATH, UpdateArgs(sim.ptyPath), dir_ / "second.err");
  EXPECT_EQ(second.status, 0) << second.err;
  const json report = sim.Stop();
  EXPECT_TRUE(report["imageMatches"].get<bool>());
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << second.out << second.err;
  EXPECT_GE(report["instrument"]["erasures"], 1);
  EXPECT_FALSE(fs::exists(SettingsFile()));
}

// Two devices at once: one Ctrl+C stops each at its own safe point (the loader or the settings
// back, whichever comes first for it), and one run afterwards finishes both.
TEST(StoppedUpdates, EveryPortStopsAtItsSafePointAndTheNextRunFinishesThem) {
  const fs::path dir = FreshTestFolder("vorn_stop_");
  DevsimProcess one({"--device", "TGX:1.40", "--image", kImageFile, "--unit", "1"});
  DevsimProcess two({"--device", "TGX:1.40", "--image", kImageFile, "--unit", "2"});
  const std::vector<std::string> args = {"--data-dir", (dir / "data").string(), "update", "--port", one.ptyPath,
                                         "--port", two.ptyPath, "--yes"};
  CliProcess first(VORN_CLI_PATH, args, dir / "first.err");
  ASSERT_TRUE(first.WaitForLine(one.ptyPath + ": stage: Restarting the Pelloran TGX, please wait...")) << first.seen;
  kill(first.pid, SIGINT);
  EXPECT_EQ(first.Wait(), 130);
  const std::string err = ReadText(dir / "first.err");
  for (DevsimProcess* sim : {&one, &two}) {
    EXPECT_NE(err.find(sim->ptyPath + ": Cancelled: The Pelloran TGX "), std::string::npos) << err;
    EXPECT_NE(first.seen.find(sim->ptyPath + ": Stopped the update of the Pelloran TGX on "), std::string::npos)
        << first.seen;
  }
  const CliRun second = RunProgram(VORN_CLI_PATH, args, dir / "second.err");
  EXPECT_EQ(second.status, 0) << second.err;
  for (DevsimProcess* sim : {&one, &two}) {
    const json report = sim->Stop();
    EXPECT_TRUE(report["imageMatches"].get<bool>()) << sim->ptyPath;
    EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << sim->ptyPath;
  }
  if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, StoppedUpdate,
    ::testing::Values(
        StopPoint{"TermBeforeTheLoader", {}, "stage: Saving settings for this Pelloran TGX...", SIGTERM, -1,
                  "The Pelloran TGX was not changed: it runs its firmware as before and keeps its settings.", false},
        // A device that answers a little late makes the upload last long enough to be interrupted.
        StopPoint{"DuringTheUpload", {"--adapter-latency", "3"}, "stage: Uploading new firmware code...", SIGINT, -1,
                  "The Pelloran TGX is in its firmware loader; its settings are kept in \"", false},
        StopPoint{"TwiceDuringTheRestart", {}, "stage: Restarting the Pelloran TGX, please wait...", SIGINT, 1000,
                  "The Pelloran TGX runs its new firmware with its settings back; its old measurement data were not "
                  "erased. Run the update again to finish it.",
                  true}),
    [](const ::testing::TestParamInfo<StopPoint>& point) { return std::string(point.param.name); });

}  // namespace
