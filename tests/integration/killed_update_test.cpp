// The updater's own process dies in the middle of an update (the computer loses power, the
// terminal is closed, SIGKILL): vornbsl-cli is killed at a point of the update, and one
// ordinary run a few seconds later must finish the update with every setting as it was
// before the first run.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "devsim_process.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kLineWaitMs = 120000;
constexpr int kPauseBeforeNextRunMs = 3000;

struct KillPoint {
  const char* name;
  const char* line;  // the line of vornbsl-cli's output after which it dies
  int delayMs;       // how long after that line
  bool settingsLost;  // the device's settings memory was erased: the next run restores the file
};

void PrintTo(const KillPoint& point, std::ostream* out) { *out << point.name; }

constexpr const char* kKeptFileNote = "note: The settings saved by an unfinished update will be restored.";

// Starts vornbsl-cli with stdout on a pipe; stderr and stdin are /dev/null.
struct CliChild {
  pid_t pid = -1;
  int out = -1;

  explicit CliChild(const std::vector<std::string>& args) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("no pipe");
    pid = fork();
    if (pid == 0) {
      dup2(pipeEnds[1], STDOUT_FILENO);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDERR_FILENO);
      close(pipeEnds[0]);
      std::vector<char*> argv;
      static std::string program = VORN_CLI_PATH;
      argv.push_back(program.data());
      std::vector<std::string> copies = args;
      for (std::string& arg : copies) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(pipeEnds[1]);
    out = pipeEnds[0];
  }
  ~CliChild() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
  }

  // Reads output lines until one is `line`; false when the program ends or the time is up.
  bool WaitForLine(const std::string& line, std::string* seen) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLineWaitMs);
    std::string pending;
    char chunk[512];
    while (std::chrono::steady_clock::now() < deadline) {
      const ssize_t got = read(out, chunk, sizeof chunk);
      if (got <= 0) return false;
      pending.append(chunk, static_cast<size_t>(got));
      for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        const std::string text = pending.substr(0, end);
        pending.erase(0, end + 1);
        *seen += text + "\n";
        if (text == line) return true;
      }
    }
    return false;
  }

  void Kill() {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
};

class KilledUpdate : public ::testing::TestWithParam<KillPoint> {
 protected:
  void SetUp() override { dir_ = FreshTestFolder("vorn_kill_"); }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  std::vector<std::string> UpdateArgs(const std::string& port) const {
    return {"--data-dir", dir_.string(), "update", "--port", port, "--yes"};
  }
  fs::path dir_;
};

TEST_P(KilledUpdate, TheNextRunFinishesTheUpdateWithEverySettingBack) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile});
  {
    CliChild first(UpdateArgs(sim.ptyPath));
    std::string seen;
    ASSERT_TRUE(first.WaitForLine(GetParam().line, &seen)) << seen;
    std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().delayMs));
    first.Kill();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kPauseBeforeNextRunMs));
  const CliRun second = RunProgram(VORN_CLI_PATH, UpdateArgs(sim.ptyPath), dir_ / "second.err");
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
                      KillPoint{"DuringTheErase", "stage: Erasing firmware memory...", 0, true},
                      KillPoint{"DuringTheUpload", "progress: 40", 0, true},
                      KillPoint{"DuringTheRestartWait", "stage: Restarting the Pelloran TGX, please wait...", 2000, true},
                      KillPoint{"DuringTheRestore", "stage: Restoring settings...", 0, true},
                      KillPoint{"DuringTheDataErase", "stage: Erasing old data...", 0, true}),
    [](const ::testing::TestParamInfo<KillPoint>& point) { return std::string(point.param.name); });

}  // namespace
