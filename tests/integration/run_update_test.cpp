// The whole instrument update through RunFrame with a scripted front end,
// against the simulated TGX over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "devsim_process.h"
#include "update_run.h"

namespace fs = std::filesystem;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";

using RunUpdateTest = UpdateRunTest;

void ExpectUpdated(const nlohmann::json& report) {
  EXPECT_TRUE(report["imageMatches"].get<bool>());
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << "every setting is back";
  EXPECT_NE(report["instrument"]["clockSet"], nullptr);
  EXPECT_EQ(report["instrument"]["erasures"], 1);
}

TEST_F(RunUpdateTest, UpdatesTheTgxAndKeepsItsSettings) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile});
  ScriptedUi ui;
  ASSERT_EQ(Run(sim.ptyPath, ui), 1) << (ui.boxes.empty() ? "" : ui.boxes[0].title + ": " + ui.boxes[0].text);
  const nlohmann::json report = sim.Stop();
  ExpectUpdated(report);
  // The simulator's bound knows each mandated wait of the sequence: two command line sessions,
  // one loader start with its handshake, the vectors and the TGX's 9.5 s restart wait.
  const nlohmann::json& waits = report["hostWaits"];
  EXPECT_EQ(waits["commandLineOpen"], 2);
  EXPECT_EQ(waits["bootWord"], 1);
  EXPECT_EQ(waits["loaderAttach"], 1);
  EXPECT_EQ(waits["vectorsAndRestart"], 1);
  EXPECT_NEAR(report["updateBoundSeconds"].get<double>(),
              report["wireBoundSeconds"].get<double>() + report["hostWaitSeconds"].get<double>(), 1e-9);
  EXPECT_GE(report["hostWaitSeconds"].get<double>(), 11.9);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(fs::exists(settingsFile_)) << "the settings file goes after a successful run";
  ASSERT_EQ(ArchiveIn(ArchiveState::kRestored).size(), 1u) << "the archive keeps what was put back";
  EXPECT_EQ(Archive().size(), 1u);
  EXPECT_NE(LogText().find("VornBSL Host: Finished updating device in"), std::string::npos);
  EXPECT_EQ(ui.instruction, "You may disconnect your Pelloran TGX now.");

  // 0, 2 after connecting, 4 after the checks, 6 and 8 for the loader, one per erase call, 21 at the
  // upload's start, rising to about 90, then 92, 94, 96, 98 and 100.
  const std::vector<int> start = {0, 2, 4, 6, 8, 9};
  ASSERT_GT(ui.bars.size(), 20u);
  EXPECT_TRUE(std::equal(start.begin(), start.end(), ui.bars.begin()));
  EXPECT_NE(std::find(ui.bars.begin(), ui.bars.end(), 21), ui.bars.end());
  const std::vector<int> end = {92, 94, 96, 98, 100};
  EXPECT_TRUE(std::equal(end.begin(), end.end(), ui.bars.end() - 5));
  EXPECT_EQ(ui.stages.back().rfind("Successfully updated firmware in ", 0), 0u);
}

TEST_F(RunUpdateTest, AFailedUploadKeepsTheSettingsAndASecondRunFinishesIt) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--fault", "silence@write:300x3"});
  ScriptedUi first;
  EXPECT_LT(Run(sim.ptyPath, first), 0);
  ASSERT_EQ(first.boxes.size(), 1u) << "exactly one error box";
  EXPECT_EQ(first.boxes[0].title, "Firmware Upload Error");
  EXPECT_EQ(first.bars.back(), 0);
  EXPECT_TRUE(UnfinishedKept()) << "the settings are kept for the next run";
  EXPECT_TRUE(LooseSettingsFiles().empty());

  ScriptedUi second;
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << (second.boxes.empty() ? "" : second.boxes[0].text);
  EXPECT_TRUE(second.boxes.empty());
  EXPECT_TRUE(second.choices.empty()) << "the one unfinished update of a device in its loader is resumed";
  ExpectUpdated(sim.Stop());
  EXPECT_FALSE(fs::exists(settingsFile_));
  EXPECT_FALSE(UnfinishedKept());
  EXPECT_EQ(ArchiveIn(ArchiveState::kRestored).size(), 1u);
}

TEST_F(RunUpdateTest, ConnectionFailuresAreExplained) {
  ScriptedUi ui;
  EXPECT_EQ(Run("/dev/vorn-no-such-port", ui), kRunConnectionFailed);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Connection Error");
  EXPECT_EQ(ui.boxes[0].text,
            "Comm Port \"/dev/vorn-no-such-port\" isn't available.\nPlease choose a new Comm Port to use.");
  EXPECT_NE(LogText().find("ErrorOK Told User:: Comm Port"), std::string::npos);
  EXPECT_EQ(ui.instruction, "Connect Pelloran TGX to computer comm port.");
}

}  // namespace
