// Runs that follow one another on simulated TGX instruments sharing one data folder, as they do
// over days on a bench: a failed run, a change made on the device or another device updated in
// between, then the next run. Each history ends with every device holding its own current
// settings, and each run's result telling the truth.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "device_console.h"
#include "devsim_process.h"
#include "update_run.h"

namespace fs = std::filesystem;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kSimRestartWaitMs = 300;
constexpr int kStartMs = 1500;
// A rule that lasts until the test ends the faults.
constexpr const char* kUntilEnded = "x100000";

class RunHistory : public UpdateRunTest {
 protected:
  void SetUp() override {
    UpdateRunTest::SetUp();
    restartWaitMs_ = kSimRestartWaitMs;
  }
};

nlohmann::json Settings(const nlohmann::json& report, const char* which) { return report["settings"][which]; }

void ExpectUpdated(const nlohmann::json& report) {
  EXPECT_TRUE(report["imageMatches"].get<bool>());
  EXPECT_EQ(report["firmware"]["version"], 150);
}

// A run that stopped before the INFO erase left a settings file; the device still holds its
// settings, and a change made afterwards is what the next update keeps.
TEST_F(RunHistory, AChangeMadeAfterARunThatStoppedBeforeTheEraseIsKept) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--fault", std::string("silence@boot") + kUntilEnded});
  ScriptedUi first;
  EXPECT_EQ(Run(sim.ptyPath, first), kRunNoLoader) << BoxesText(first);
  ASSERT_EQ(ArchiveIn(ArchiveState::kUnchanged).size(), 1u) << "the capture is kept as the device's untouched";
  EXPECT_TRUE(first.notes.empty()) << "nothing waits for this device";
  sim.EndFaults();
  SetOnDevice(sim.ptyPath, "set -tadj 1.11");

  ScriptedUi second;
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  const nlohmann::json report = sim.Stop();
  ExpectUpdated(report);
  nlohmann::json expected = Settings(report, "before");
  expected["tadj"] = "1.11";
  EXPECT_EQ(Settings(report, "current"), expected);
  EXPECT_TRUE(second.notes.empty()) << "no kept file stands in for the device's own settings";
}

// The new firmware did not come up in the first run: the device now runs it with the settings
// it shows after an erase and no serial number. The next run cannot tell whose the kept file
// is and asks; the person picks it, and it is restored.
TEST_F(RunHistory, ADeviceThatLostItsSettingsToAnEarlierRunGetsTheFileBack) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--fault", std::string("silence@restart") + kUntilEnded});
  ScriptedUi first;
  EXPECT_LT(Run(sim.ptyPath, first), 0);
  ASSERT_EQ(first.boxes.size(), 1u) << BoxesText(first);
  EXPECT_EQ(first.boxes[0].title, "Connection Error");
  sim.EndFaults();
  std::this_thread::sleep_for(std::chrono::milliseconds(kStartMs));  // the new firmware starts
  const nlohmann::json between = sim.EndFaults();
  EXPECT_EQ(Settings(between, "current")["sn"], "") << "the erase took the device's settings";

  ScriptedUi second;
  second.picks = {0};
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  ASSERT_EQ(second.choices.size(), 1u);
  EXPECT_EQ(second.choices[0].none, "None of these: keep the settings this Pelloran TGX holds");
  ASSERT_EQ(second.notes.size(), 1u);
  EXPECT_EQ(second.notes[0].rfind("The settings of the Pelloran TGX with serial number TGX-014577, saved on ", 0), 0u)
      << second.notes[0];
  const nlohmann::json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_EQ(Settings(report, "current"), Settings(report, "before"));
  EXPECT_TRUE(LooseSettingsFiles().empty()) << "nothing is left in the data folder";
  EXPECT_FALSE(UnfinishedKept()) << "nothing waits once the update has finished";
}

// Values the device refuses do not hold the update back: it finishes (clock set, data erased)
// as a success with the box already shown, and the settings are kept in the archive as partly
// restored, which the next run does not read.
TEST_F(RunHistory, ARestoreThatSomeValuesRefuseFinishesTheUpdateAndKeepsThemForThePerson) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--fault", "nak@set:2x3"});
  ScriptedUi first;
  ASSERT_EQ(Run(sim.ptyPath, first), 1) << BoxesText(first);
  ASSERT_EQ(first.boxes.size(), 1u) << BoxesText(first);
  EXPECT_EQ(first.boxes[0].title, "Settings Error");
  const std::vector<ArchiveEntry> unrestored = ArchiveIn(ArchiveState::kPartlyRestored);
  ASSERT_EQ(unrestored.size(), 1u);
  EXPECT_NE(first.boxes[0].text.find("failed to restore some of the settings"), std::string::npos);
  EXPECT_NE(first.boxes[0].text.find(unrestored[0].path), std::string::npos) << "the box says where they are";
  EXPECT_TRUE(LooseSettingsFiles().empty());
  const nlohmann::json afterFirst = sim.EndFaults();
  EXPECT_NE(afterFirst["instrument"]["clockSet"], nullptr);
  EXPECT_EQ(afterFirst["instrument"]["erasures"], 1);
  const std::string kept = FileText(unrestored[0].path);

  ScriptedUi second;
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  EXPECT_TRUE(second.notes.empty()) << "the next run captures afresh";
  EXPECT_EQ(FileText(unrestored[0].path), kept) << "the person's file is left alone";
  ExpectUpdated(sim.Stop());
}

// Text people typed into the device, in bytes above 0x7E: a degree sign in Latin-1 and a name in
// UTF-8. A run that fails after the erase writes them to the file byte for byte, and the next run
// puts them back on the device unchanged.
TEST_F(RunHistory, ValuesWithBytesAboveAsciiComeBackThroughTheFile) {
  const std::string serial = "TGX-\xC4\xD6-7";
  const std::string tadj = "-0.35 \xB0" "C";
  const std::string c76 = "M\xC3\xBCller 1 0";
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--setting", "sn=" + serial, "--setting",
                     "tadj=" + tadj, "--setting", "c76=" + c76, "--fault", "silence@write:300x3"});
  ScriptedUi first;
  EXPECT_LT(Run(sim.ptyPath, first), 0);
  const std::vector<ArchiveEntry> kept = ArchiveIn(ArchiveState::kUnfinished);
  ASSERT_EQ(kept.size(), 1u);
  const std::string file = FileText(kept[0].path);
  for (const std::string& line : {"sn=\"" + serial + "\"", "tadj=\"" + tadj + "\"", "calprefs=\"" + c76 + "\""}) {
    EXPECT_NE(file.find(line + "\r\n"), std::string::npos) << line;
  }
  sim.EndFaults();

  ScriptedUi second;
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  const nlohmann::json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_EQ(Settings(report, "current"), Settings(report, "before"));
  EXPECT_EQ(ReportBytes(Settings(report, "current")["sn"]), serial);
  EXPECT_EQ(ReportBytes(Settings(report, "current")["tadj"]), tadj);
  EXPECT_EQ(ReportBytes(Settings(report, "current")["c76"]), c76);
}

}  // namespace
