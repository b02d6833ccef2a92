// vornbsl-sensor-cli, the digital-sensor build of the command line, as scripts see it:
// a whole sensor update through a simulated Fieldrex, and its own options.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/settings_archive.h"
#include "cli_process.h"
#include "devsim_process.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt";

class SensorCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vorn-sensor-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  CliRun Run(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {"--data-dir", DataDir()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(VORN_SENSOR_CLI_PATH, all, dir_ / "stderr.txt");
  }
  std::string DataDir() const { return (dir_ / "data").string(); }

  fs::path dir_;
};

// A data folder that will not take the settings file stops the run before the sensor's
// loader is started, and says which file could not be written.
TEST_F(SensorCli, ASettingsFileThatCannotBeWrittenStopsTheRunAndSaysWhere) {
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--image", kImageFile});
  fs::create_directories(fs::path(DataDir()) / "SKYRA 61 Sensor Suite.settings.capture.txt.tmp");
  const CliRun run = Run({"update", "--port", sim.ptyPath, "--yes"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Settings Error: The SKYRA 61 Sensor Suite Firmware Updater could not write the settings "
                         "file for your SKYRA 61 Sensor Suite: \"" + DataDir() +
                         "/SKYRA 61 Sensor Suite.settings.capture.txt\""),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out.find("Starting the firmware loader"), std::string::npos) << run.out;
  const json report = sim.Stop();
  EXPECT_EQ(report["sensor"]["version"], 140);
}

// Ctrl+C during the sensor's upload: the loader stops between two frames, the run says where
// the sensor is and keeps its settings file, and the next run finishes with the settings back.
TEST_F(SensorCli, CtrlCDuringTheUploadStopsAndTheNextRunFinishes) {
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "address=5", "--sensor-set",
                     "sn=S61-2207", "--image", kImageFile, "--adapter-latency", "3"});
  const std::vector<std::string> args = {"--data-dir", DataDir(), "update", "--port", sim.ptyPath, "--yes"};
  CliProcess first(VORN_SENSOR_CLI_PATH, args, dir_ / "first.err");
  ASSERT_TRUE(first.WaitForLine("stage: Uploading new firmware code...")) << first.seen;
  kill(first.pid, SIGINT);
  EXPECT_EQ(first.Wait(), 130);
  const std::string err = ReadText(dir_ / "first.err");
  EXPECT_NE(err.find("Cancelled: The SKYRA 61 Sensor Suite is in its firmware loader; its settings are kept in"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("Error -40"), std::string::npos) << err;
  const std::vector<ArchiveEntry> kept = ListArchive(DataDir());
  ASSERT_EQ(kept.size(), 1u) << "the sensor's settings are kept in the archive";
  EXPECT_EQ(kept[0].model, "Digital Sensor");
  EXPECT_EQ(kept[0].serial, "S61-2207");
  EXPECT_NE(err.find(kept[0].path), std::string::npos) << "the stop says where: " << err;

  const CliRun second = Run({"update", "--port", sim.ptyPath, "--yes"});
  EXPECT_EQ(second.status, 0) << second.err;
  const json s = sim.Stop()["sensor"];
  EXPECT_TRUE(s["imageMatches"].get<bool>());
  EXPECT_EQ(s["version"], 150);
  EXPECT_EQ(s["address"], "5");
  EXPECT_EQ(s["serialNumber"], "S61-2207");
}

TEST_F(SensorCli, UpdatesASkyra61BehindAFieldrexWithItsSettingsAndType) {
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "address=5", "--sensor-set",
                     "sn=S61-2207", "--sensor-set", "x4=1.5 2.5 3.5", "--image", kImageFile});
  const CliRun run = Run({"update", "--port", sim.ptyPath, "--type", "93", "--yes"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* line : {"stage: Connecting to SKYRA 61 Sensor Suite...\n",
                           "stage: Checking Fieldrex battery power...\n", "stage: Uploading new firmware code...\n", "progress: 21\n", "progress: 92\n",
                           "progress: 100\n", "Successfully updated the SKYRA 61 Sensor Suite on "}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }
  EXPECT_TRUE(fs::exists(fs::path(DataDir()) / "SKYRA 61 Sensor Suite Firmware Updater.errors.txt"));
  EXPECT_FALSE(fs::exists(fs::path(DataDir()) / "SKYRA 61 Sensor Suite.settings.txt"));

  const json report = sim.Stop();
  const json& s = report["sensor"];
  EXPECT_TRUE(s["imageMatches"].get<bool>()) << "the sensor's flash holds the image";
  EXPECT_TRUE(s["firmware"]["intact"].get<bool>());
  EXPECT_EQ(s["version"], 150);
  EXPECT_EQ(s["address"], "5");
  EXPECT_EQ(s["serialNumber"], "S61-2207");
  EXPECT_EQ(s["calibrationX4"], "1.5 2.5 3.5");
  EXPECT_EQ(s["calibrationXa"], "1 1.02 0.98 1.00 1.01");
  EXPECT_EQ(s["calibrationXO"], "0 0 0.25 0.5");
  EXPECT_EQ(s["type"], 93);
  EXPECT_EQ(s["commands"].back(), "?X9 ]");
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
}

TEST_F(SensorCli, NamesItselfAndTakesTheSensorBuildsOptions) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* stderrStart;
  };
  const Case cases[] = {
      {{"update", "--port", "/dev/null", "--type", "999"},
       2,
       "vornbsl-sensor-cli: --type takes one of the codes 122, "},
      {{"update", "--port", "/dev/null", "--type", "9x"}, 2, "vornbsl-sensor-cli: --type takes one of the codes"},
      {{"update", "--port", "/dev/null", "--new-sn", "X1"}, 2, "vornbsl-sensor-cli: unexpected argument --new-sn"},
      {{"update", "--port", "/dev/null", "--no-erase"}, 2, "vornbsl-sensor-cli: unexpected argument --no-erase"},
      {{"update", "--port", "/dev/vorn-no-such-port", "--type", "118"},
       1,
       "Connection Error: Comm Port \"/dev/vorn-no-such-port\" isn't available."},
  };
  for (const Case& c : cases) {
    const CliRun run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.stderrStart;
    EXPECT_EQ(run.err.rfind(c.stderrStart, 0), 0u) << run.err;
  }
  const CliRun version = Run({"--version"});
  EXPECT_EQ(version.out.rfind("vornbsl-sensor-cli ", 0), 0u) << version.out;
  const CliRun help = Run({"--help"});
  EXPECT_NE(help.out.find("update --port PORT [--type CODE]"), std::string::npos) << help.out;
}

}  // namespace
