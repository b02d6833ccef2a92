// Runs that follow one another on simulated TGX instruments sharing one data folder, as they do
// over days on a bench: a failed run, a change made on the device or another device updated in
// between, then the next run. Each history ends with every device holding its own current
// settings, and each run's result telling the truth.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "devsim_process.h"
#include "serial/serial_port.h"
#include "update_run.h"

namespace fs = std::filesystem;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kSimRestartWaitMs = 300;
constexpr int kPromptWaitMs = 2000;
constexpr int kStartMs = 1500;
// A rule that lasts until the test ends the faults.
constexpr const char* kUntilEnded = "x100000";

// A person changing a setting at the device's own command line between two runs.
void SetOnDevice(const std::string& port, const std::string& line) {
  SerialPort serial;
  ASSERT_EQ(VSOpen(serial, port, 9600), 1);
  ASSERT_GT(VSWriteText(serial, line + "\r"), 0);
  ASSERT_EQ(VSWait(serial, kPromptWaitMs, '>'), '>');
  char answer[256];
  int count = 0;
  VSRead(serial, answer, sizeof answer, &count);
  EXPECT_NE(std::string(answer, static_cast<size_t>(count)).find("OK"), std::string::npos);
  VSClose(serial);
}

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
  ASSERT_TRUE(fs::exists(settingsFile_));
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
// it shows after an erase and no serial number. The next run restores the file.
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
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  ASSERT_EQ(second.notes.size(), 1u);
  EXPECT_EQ(second.notes[0], "The settings saved by an unfinished update will be restored.");
  const nlohmann::json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_EQ(Settings(report, "current"), Settings(report, "before"));
  EXPECT_FALSE(fs::exists(settingsFile_));
  EXPECT_TRUE(FilesNamed(".settings.").empty()) << "nothing is left once the update has finished";
}

// Values the device refuses do not hold the update back: it finishes (clock set, data erased)
// as a success with the box already shown, and what was not restored is kept for the person
// under a name the next run does not read.
TEST_F(RunHistory, ARestoreThatSomeValuesRefuseFinishesTheUpdateAndKeepsThemForThePerson) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--fault", "nak@set:2x3"});
  ScriptedUi first;
  ASSERT_EQ(Run(sim.ptyPath, first), 1) << BoxesText(first);
  ASSERT_EQ(first.boxes.size(), 1u) << BoxesText(first);
  EXPECT_EQ(first.boxes[0].title, "Settings Error");
  const std::vector<fs::path> unrestored = FilesNamed(".settings.unrestored ");
  ASSERT_EQ(unrestored.size(), 1u);
  EXPECT_NE(first.boxes[0].text.find("failed to restore some of the settings"), std::string::npos);
  EXPECT_NE(first.boxes[0].text.find(unrestored[0].string()), std::string::npos) << "the box says where they are";
  EXPECT_FALSE(fs::exists(settingsFile_));
  const nlohmann::json afterFirst = sim.EndFaults();
  EXPECT_NE(afterFirst["instrument"]["clockSet"], nullptr);
  EXPECT_EQ(afterFirst["instrument"]["erasures"], 1);
  const std::string kept = FileText(unrestored[0]);

  ScriptedUi second;
  ASSERT_EQ(Run(sim.ptyPath, second), 1) << BoxesText(second);
  EXPECT_TRUE(second.boxes.empty()) << BoxesText(second);
  EXPECT_TRUE(second.notes.empty()) << "the next run captures afresh";
  EXPECT_EQ(FileText(unrestored[0]), kept) << "the person's file is left alone";
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
  const std::string file = FileText(settingsFile_);
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

struct OtherDevice {
  const char* name;
  std::vector<std::string> settings;  // the second device's simulator options
};

void PrintTo(const OtherDevice& device, std::ostream* out) { *out << device.name; }

class TwoDevices : public RunHistory, public ::testing::WithParamInterface<OtherDevice> {};

// A's update fails after its INFO erase; B, updated next in the same folder, keeps its own
// settings (even a B that has none but its defaults, as A after the erase) and A's file is kept
// aside; A comes back and gets its settings from its file.
TEST_P(TwoDevices, EachKeepsItsOwnSettingsAcrossTheOthersUpdate) {
  DevsimProcess a({"--device", "TGX:1.40", "--image", kImageFile, "--fault", "silence@write:300x3"});
  std::vector<std::string> argsB = {"--device", "TGX:1.40", "--image", kImageFile};
  argsB.insert(argsB.end(), GetParam().settings.begin(), GetParam().settings.end());
  DevsimProcess b(argsB);
  ScriptedUi first;
  EXPECT_LT(Run(a.ptyPath, first), 0);
  ASSERT_TRUE(fs::exists(settingsFile_));

  ScriptedUi other;
  ASSERT_EQ(Run(b.ptyPath, other), 1) << BoxesText(other);
  ASSERT_EQ(other.boxes.size(), 1u) << BoxesText(other);
  EXPECT_EQ(other.boxes[0].title, "Unfinished Update");
  EXPECT_EQ(other.boxes[0].kind, kBoxInformation);
  const nlohmann::json reportB = b.Stop();
  ExpectUpdated(reportB);
  EXPECT_EQ(Settings(reportB, "current"), Settings(reportB, "before")) << "B keeps its own settings";
  const std::vector<fs::path> waiting = FilesNamed(".settings.unfinished ");
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_NE(other.boxes[0].text.find(waiting[0].string()), std::string::npos);
  EXPECT_NE(waiting[0].filename().string().find("TGX-014577"), std::string::npos) << "named so one can tell whose";

  a.EndFaults();
  ScriptedUi back;
  ASSERT_EQ(Run(a.ptyPath, back), 1) << BoxesText(back);
  EXPECT_TRUE(back.boxes.empty()) << BoxesText(back);
  const nlohmann::json reportA = a.Stop();
  ExpectUpdated(reportA);
  EXPECT_EQ(Settings(reportA, "current"), Settings(reportA, "before")) << "A gets its settings from its file";
  EXPECT_TRUE(FilesNamed(".settings.").empty());
}

INSTANTIATE_TEST_SUITE_P(Instruments, TwoDevices,
                         ::testing::Values(OtherDevice{"WithoutASerialNumber",
                                                       {"--setting", "sn=", "--setting", "tadj=0.77"}},
                                           OtherDevice{"WithItsOwnSerialNumber",
                                                       {"--setting", "sn=TGX-020001", "--setting", "c76=9 9 9 9"}},
                                           // Never set up: no serial number and its defaults, like a
                                           // device after an erase, but running its own firmware.
                                           OtherDevice{"NewAtItsDefaults", {"--factory-reset"}}),
                         [](const ::testing::TestParamInfo<OtherDevice>& device) { return device.param.name; });

}  // namespace
