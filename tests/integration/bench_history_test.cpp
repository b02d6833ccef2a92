// A bench with several TGX instruments of one model (simulator units with their own serial
// numbers, calibrations and user records) and one data folder: failed runs, devices left in
// their loaders or blank, changes made by hand, then the next runs. Whose settings go into a
// device is never guessed: a file goes in only when the device shows its serial number, or
// when the person chose it by name. Every history ends with each device holding its own
// settings, or, where the person chose none, with its settings kept in the archive.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/folder_lock.h"
#include "app/kept_settings.h"
#include "device_console.h"
#include "devsim_process.h"
#include "update_run.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kSimRestartWaitMs = 300;
constexpr int kStartMs = 1500;  // a simulated TGX runs its new firmware this long after its vectors
constexpr const char* kUntilEnded = "x100000";
// The upload goes silent after the INFO erase: the device stays in its loader.
constexpr const char* kUploadCut = "silence@write:300x3";
// The new firmware does not answer in time: the device comes up blank, without a serial number.
const std::string kRestartSilent = std::string("silence@restart") + kUntilEnded;
const std::string kSerial1 = "TGX-015578";
const std::string kSerial2 = "TGX-015579";

std::vector<std::string> Unit(int unit, const std::vector<std::string>& more = {}) {
  std::vector<std::string> args = {"--device", "TGX:1.40", "--image", kImageFile, "--unit", std::to_string(unit)};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

json Settings(const json& report, const char* which) { return report["settings"][which]; }

void ExpectOwnSettings(const json& report, const std::string& who) {
  EXPECT_TRUE(report["imageMatches"].get<bool>()) << who;
  EXPECT_EQ(report["firmware"]["version"], 150) << who;
  EXPECT_EQ(Settings(report, "current"), Settings(report, "before")) << who << ": its own settings";
}

// The person picks the file of this serial number; none when no option names it.
std::function<int(const ScriptedUi::Choice&)> PickSerial(const std::string& serial) {
  return [serial](const ScriptedUi::Choice& choice) {
    for (size_t i = 0; i < choice.options.size(); ++i) {
      if (choice.options[i].find("serial number " + serial + ",") != std::string::npos) return static_cast<int>(i);
    }
    return kChoseNone;
  };
}

class BenchHistory : public UpdateRunTest {
 protected:
  void SetUp() override {
    UpdateRunTest::SetUp();
    restartWaitMs_ = kSimRestartWaitMs;
  }

  // Whether the device's settings from before the first run are on it or in the archive.
  bool HeldOrArchived(const json& report) const {
    const json before = Settings(report, "before");
    if (Settings(report, "current") == before) return true;
    const std::string serial = "sn=\"" + before["sn"].get<std::string>() + "\"";
    const std::string tadj = "tadj=\"" + before["tadj"].get<std::string>() + "\"";
    const std::string c76 = "calprefs=\"" + before["c76"].get<std::string>() + "\"";
    for (const ArchiveEntry& entry : Archive()) {
      const std::string text = ArchiveEntryText(entry);
      if (text.find(serial) != std::string::npos && text.find(tadj) != std::string::npos &&
          text.find(c76) != std::string::npos) {
        return true;
      }
    }
    return false;
  }

  std::vector<ArchiveEntry> WaitingFor(const std::string& serial) const {
    std::vector<ArchiveEntry> found = ArchiveIn(ArchiveState::kUnfinished);
    std::erase_if(found, [&](const ArchiveEntry& entry) { return entry.serial != serial; });
    return found;
  }
};

// 1. Two devices each left in their loaders by a cut upload. In its loader neither can say which
// it is: the person is asked, with both files named by serial number and date, and "none of
// these" keeps everything. Chosen by name, each device gets its own settings.
TEST_F(BenchHistory, TwoDevicesLeftInTheirLoadersGetTheSettingsThePersonChoosesByName) {
  DevsimProcess a(Unit(1, {"--fault", kUploadCut}));
  DevsimProcess b(Unit(2, {"--fault", kUploadCut}));
  for (DevsimProcess* sim : {&a, &b}) {
    ScriptedUi cut;
    EXPECT_LT(Run(sim->ptyPath, cut), 0) << sim->ptyPath;
    EXPECT_TRUE(cut.choices.empty()) << "each showed its serial number before the cut";
  }
  ASSERT_EQ(WaitingFor(kSerial1).size(), 1u);
  ASSERT_EQ(WaitingFor(kSerial2).size(), 1u);
  a.EndFaults();
  b.EndFaults();

  // Nobody answers: nothing is put into A, and both files still wait.
  ScriptedUi unanswered;
  ASSERT_EQ(Run(a.ptyPath, unanswered), 1) << BoxesText(unanswered);
  ASSERT_EQ(unanswered.choices.size(), 1u);
  const ScriptedUi::Choice& asked = unanswered.choices[0];
  ASSERT_EQ(asked.options.size(), 2u);
  EXPECT_EQ(asked.none, "None of these: keep the settings this Pelloran TGX holds");
  for (const std::string& serial : {kSerial1, kSerial2}) {
    const bool named = asked.options[0].find(serial) != std::string::npos ||
                       asked.options[1].find(serial) != std::string::npos;
    EXPECT_TRUE(named) << serial;
  }
  EXPECT_NE(asked.options[0].find(", saved 20"), std::string::npos) << asked.options[0];
  EXPECT_NE(asked.text.find(ArchiveFolder(dir_.string())), std::string::npos) << "the question names the archive";
  EXPECT_EQ(WaitingFor(kSerial1).size(), 1u);
  EXPECT_EQ(WaitingFor(kSerial2).size(), 1u);

  // Asked again (A now runs the new firmware, blank), the person picks A's file by its serial number.
  ScriptedUi onA;
  onA.chooser = PickSerial(kSerial1);
  ASSERT_EQ(Run(a.ptyPath, onA), 1) << BoxesText(onA);
  ASSERT_EQ(onA.choices.size(), 1u);
  ExpectOwnSettings(a.Stop(), "A");

  // B's file is now the only one waiting, and B in its loader resumes with it, told by name.
  ScriptedUi onB;
  ASSERT_EQ(Run(b.ptyPath, onB), 1) << BoxesText(onB);
  EXPECT_TRUE(onB.choices.empty());
  ASSERT_EQ(onB.notes.size(), 1u);
  EXPECT_EQ(onB.notes[0].rfind("The settings of the Pelloran TGX with serial number " + kSerial2 + ", saved on ", 0), 0u)
      << onB.notes[0];
  ExpectOwnSettings(b.Stop(), "B");
  EXPECT_FALSE(UnfinishedKept());
}

// 2 and 9. A run that stopped before the flash was touched keeps a file of a device that lost
// nothing: nothing announces it as waiting, and no other device gets it. Another device found
// in its loader (left there by an update elsewhere) keeps its own settings in its memory.
TEST_F(BenchHistory, AFileOfAnUntouchedDeviceIsNobodyElsesAndNotAnnounced) {
  DevsimProcess a(Unit(1, {"--fault", std::string("silence@boot") + kUntilEnded}));
  DevsimProcess b(Unit(2, {"--start-in-loader"}));
  ScriptedUi stopped;
  EXPECT_EQ(Run(a.ptyPath, stopped), kRunNoLoader) << BoxesText(stopped);
  EXPECT_TRUE(stopped.notes.empty()) << "nothing waits for A";
  ASSERT_EQ(ArchiveIn(ArchiveState::kUnchanged).size(), 1u);

  ScriptedUi onB;
  ASSERT_EQ(Run(b.ptyPath, onB), 1) << BoxesText(onB);
  EXPECT_TRUE(onB.choices.empty()) << "no file could be B's";
  ASSERT_EQ(onB.boxes.size(), 1u) << BoxesText(onB);
  EXPECT_EQ(onB.boxes[0].title, "Settings Not Restored");
  ExpectOwnSettings(b.Stop(), "B keeps what its memory held");

  a.EndFaults();
  ScriptedUi onA;
  ASSERT_EQ(Run(a.ptyPath, onA), 1) << BoxesText(onA);
  EXPECT_TRUE(onA.choices.empty());
  EXPECT_TRUE(onA.boxes.empty()) << BoxesText(onA);
  ExpectOwnSettings(a.Stop(), "A");
  EXPECT_EQ(ArchiveIn(ArchiveState::kUnchanged).size(), 1u) << "the untouched run's file stays as history";
  EXPECT_EQ(ArchiveIn(ArchiveState::kRestored).size(), 1u);
}

struct BlankDevice {
  const char* name;
  std::string newSerial;  // --factory --new-sn
};

void PrintTo(const BlankDevice& device, std::ostream* out) { *out << device.name; }

class BlankDeviceHistory : public BenchHistory, public ::testing::WithParamInterface<BlankDevice> {};

// 3 and 11. A's update fails after its INFO erase; then a blank device from stock that already
// runs the image (no serial number) is updated: it cannot say whose A's file is, the question's
// default keeps its own settings, and it gets nothing of A's. A, come up blank, is then given its
// own file by the person.
TEST_P(BlankDeviceHistory, ABlankDeviceGetsNothingOfAnotherAndThePersonGivesTheFailedOneItsOwn) {
  DevsimProcess a(Unit(1, {"--fault", kRestartSilent}));
  DevsimProcess c({"--device", "TGX:1.50", "--image", kImageFile, "--factory-reset"});
  ScriptedUi failed;
  EXPECT_LT(Run(a.ptyPath, failed), 0);
  ASSERT_EQ(WaitingFor(kSerial1).size(), 1u);

  TestUpdate onC = NewUpdate(c.ptyPath);
  onC.factory = !GetParam().newSerial.empty();
  onC.newSerialNumber = GetParam().newSerial;
  ScriptedUi blank;
  blank.answers.assign(4, true);
  ASSERT_EQ(Run(onC, blank), 1) << BoxesText(blank);
  ASSERT_EQ(blank.choices.size(), 1u);
  ASSERT_EQ(blank.choices[0].options.size(), 1u);
  EXPECT_NE(blank.choices[0].options[0].find(kSerial1), std::string::npos);
  const json reportC = c.Stop();
  json expected = Settings(reportC, "before");
  if (!GetParam().newSerial.empty()) expected["sn"] = GetParam().newSerial;
  EXPECT_EQ(Settings(reportC, "current"), expected) << "C got nothing of A's";
  EXPECT_EQ(WaitingFor(kSerial1).size(), 1u) << "A's file still waits for it";

  a.EndFaults();
  std::this_thread::sleep_for(std::chrono::milliseconds(kStartMs));
  ScriptedUi onA;
  onA.chooser = PickSerial(kSerial1);
  ASSERT_EQ(Run(a.ptyPath, onA), 1) << BoxesText(onA);
  ASSERT_EQ(onA.choices.size(), 1u);
  ExpectOwnSettings(a.Stop(), "A");
  EXPECT_FALSE(UnfinishedKept());
}

INSTANTIATE_TEST_SUITE_P(Stock, BlankDeviceHistory,
                         ::testing::Values(BlankDevice{"AsItCame", ""}, BlankDevice{"FactoryNewSerial", "TGX-090001"}),
                         [](const ::testing::TestParamInfo<BlankDevice>& device) { return device.param.name; });

// 4. A restore cut short half-way (sn, config, tadj and p went back, pv did not), then a person
// sets tadj by hand. The next run puts back the rest from the file and keeps the hand-set value; what the
// device held before it is kept in the archive too.
TEST_F(BenchHistory, AValueSetByHandAfterAHalfRestoreIsKeptAndTheRestPutBack) {
  // The restore's "set" lines: sn, config, tadj, p, pv ...
  DevsimProcess a(Unit(1, {"--fault", std::string("silence@set:5") + kUntilEnded}));
  ScriptedUi cut;
  EXPECT_LT(Run(a.ptyPath, cut), 0) << BoxesText(cut);
  const json between = a.EndFaults();
  ASSERT_EQ(Settings(between, "current")["tadj"], Settings(between, "before")["tadj"]) << "tadj went back";
  ASSERT_NE(Settings(between, "current")["pv"], Settings(between, "before")["pv"]) << "pv did not";
  SetOnDevice(a.ptyPath, "set -tadj 1.11");

  ScriptedUi again;
  ASSERT_EQ(Run(a.ptyPath, again), 1) << BoxesText(again);
  EXPECT_TRUE(again.choices.empty()) << "the device showed its serial number";
  EXPECT_TRUE(again.boxes.empty()) << BoxesText(again);
  const json report = a.Stop();
  json expected = Settings(report, "before");
  expected["tadj"] = "1.11";
  EXPECT_EQ(Settings(report, "current"), expected);
  bool handValueKept = false;
  for (const ArchiveEntry& entry : Archive()) {
    handValueKept = handValueKept || ArchiveEntryText(entry).find("tadj=\"1.11\"") != std::string::npos;
  }
  EXPECT_TRUE(handValueKept) << "the capture that held the hand-set value is in the archive";
  EXPECT_FALSE(UnfinishedKept());
}

// 5. Another updater holds the data folder (another process, here one that only holds the
// lock): the run says so and on which port, and sends nothing to its device. When that process
// dies, its lock goes with it and the next run updates the device.
TEST_F(BenchHistory, ASecondUpdaterOnTheDataFolderWaitsItsTurnAndTheLockDiesWithItsProcess) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    DataFolderLock lock;
    std::string who;
    const bool taken = lock.Take(dir_.string(), "/dev/ttyUSB7", &who, nullptr) == FolderLockResult::kTaken;
    (void)!write(ready[1], taken ? "1" : "0", 1);
    pause();
    _exit(0);
  }
  char taken = 0;
  ASSERT_EQ(read(ready[0], &taken, 1), 1);
  ASSERT_EQ(taken, '1');

  DevsimProcess a(Unit(1));
  ScriptedUi busy;
  EXPECT_EQ(Run(a.ptyPath, busy), kRunFolderBusy);
  ASSERT_EQ(busy.boxes.size(), 1u);
  EXPECT_EQ(busy.boxes[0].title, "Updater Busy");
  EXPECT_NE(busy.boxes[0].text.find("on /dev/ttyUSB7"), std::string::npos) << busy.boxes[0].text;
  EXPECT_NE(busy.boxes[0].text.find("(process " + std::to_string(holder) + ")"), std::string::npos);
  EXPECT_TRUE(Archive().empty());
  const json idle = a.EndFaults();
  EXPECT_TRUE(idle["traffic"].empty() || idle["traffic"][0]["received"] == 0) << "the busy run sent nothing";

  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  ScriptedUi after;
  ASSERT_EQ(Run(a.ptyPath, after), 1) << BoxesText(after);
  ExpectOwnSettings(a.Stop(), "A");
  close(ready[0]);
  close(ready[1]);
}

// 6. A run on several ports names its settings file after the port; a later run on one port (a
// replugged adapter, another name) finds the device's settings by model and serial number.
TEST_F(BenchHistory, ASeveralPortRunsFileIsFoundByTheDeviceOnAnyPort) {
  DevsimProcess a(Unit(1, {"--fault", kUploadCut}));
  TestUpdate tagged = NewUpdate(a.ptyPath);
  tagged.adjust = [](UpdaterState& state) { state.settingsFileTag = "ttyUSB3"; };
  ScriptedUi cut;
  EXPECT_LT(Run(tagged, cut), 0);
  a.EndFaults();

  TestUpdate replugged = NewUpdate(a.ptyPath);
  replugged.label = "ttyUSB9";
  ScriptedUi again;
  ASSERT_EQ(Run(replugged, again), 1) << BoxesText(again);
  EXPECT_TRUE(again.choices.empty());
  ExpectOwnSettings(a.Stop(), "A");
  EXPECT_TRUE(LooseSettingsFiles().empty());
}

// 7. The record of the INFO erase cannot be written (the archive's folder is gone, as on a failed
// disk): the run stops before the erase, and the device keeps its settings. The next run finds
// it in its loader with no file of an unfinished update, keeps its INFO and finishes.
TEST_F(BenchHistory, AnEraseThatCannotBeRecordedDoesNotHappen) {
  DevsimProcess a(Unit(1));
  const fs::path folder = DeviceArchiveFolder(dir_.string(), "Pelloran TGX", kSerial1);
  const fs::path aside = dir_ / "archive folder aside";
  ScriptedUi refused;
  refused.onStage = [&](const std::string& stage) {
    if (stage != "Starting the firmware loader...") return;
    fs::rename(folder, aside);
    std::ofstream(folder) << "not a folder";
  };
  EXPECT_LT(Run(a.ptyPath, refused), 0);
  ASSERT_EQ(refused.boxes.size(), 1u) << BoxesText(refused);
  EXPECT_EQ(refused.boxes[0].title, "Settings Error");
  EXPECT_NE(refused.boxes[0].text.find("Nothing on your Pelloran TGX was changed"), std::string::npos);
  const json between = a.EndFaults();
  EXPECT_EQ(Settings(between, "current"), Settings(between, "before")) << "INFO was not erased";
  EXPECT_FALSE(between["imageMatches"].get<bool>());

  fs::remove(folder);
  fs::rename(aside, folder);
  ScriptedUi again;
  ASSERT_EQ(Run(a.ptyPath, again), 1) << BoxesText(again);
  EXPECT_TRUE(again.choices.empty()) << "the file of a device that lost nothing waits for nobody";
  ExpectOwnSettings(a.Stop(), "A");
}

// 7. An earlier version erased INFO without a record and left its file in the data folder: the
// file is taken into the archive, offered for the device in its loader, and put back when chosen.
TEST_F(BenchHistory, AnEarlierVersionsFileIsOfferedAndPutBackWhenChosen) {
  DevsimProcess a(Unit(1, {"--fault", kUploadCut}));
  ScriptedUi cut;
  EXPECT_LT(Run(a.ptyPath, cut), 0);
  const std::vector<ArchiveEntry> kept = WaitingFor(kSerial1);
  ASSERT_EQ(kept.size(), 1u);
  std::string text = ArchiveEntryText(kept[0]);
  text.erase(text.find("infoErased="));
  fs::remove_all(ArchiveFolder(dir_.string()));
  std::ofstream(dir_ / "Pelloran TGX.settings.txt", std::ios::binary) << text;
  a.EndFaults();

  ScriptedUi again;
  again.chooser = PickSerial(kSerial1);
  ASSERT_EQ(Run(a.ptyPath, again), 1) << BoxesText(again);
  ASSERT_EQ(again.choices.size(), 1u) << "an unmarked file is not resumed without the person";
  EXPECT_NE(again.choices[0].options[0].find("left by an earlier version"), std::string::npos);
  ExpectOwnSettings(a.Stop(), "A");
  EXPECT_TRUE(LooseSettingsFiles().empty());
  EXPECT_EQ(ArchiveIn(ArchiveState::kRestored).size(), 1u);
}

// 8. A new serial number given at an update whose restore was cut after the serial number went
// in: the record names the number the device carries, so the next run finds the file by it and
// finishes with the rest of the settings and the new number.
TEST_F(BenchHistory, ANewSerialNumberCarriesTheFileAcrossAHalfRestore) {
  // The restore's "set" lines: sn and config go in, tadj does not.
  DevsimProcess a(Unit(1, {"--fault", std::string("silence@set:3") + kUntilEnded}));
  TestUpdate renumbered = NewUpdate(a.ptyPath);
  renumbered.newSerialNumber = "TGX-777777";
  ScriptedUi cut;
  EXPECT_LT(Run(renumbered, cut), 0);
  const json between = a.EndFaults();
  ASSERT_EQ(Settings(between, "current")["sn"], "TGX-777777");
  EXPECT_EQ(WaitingFor("TGX-777777").size(), 1u) << "filed under the number the device carries";

  ScriptedUi again;
  ASSERT_EQ(Run(a.ptyPath, again), 1) << BoxesText(again);
  EXPECT_TRUE(again.choices.empty());
  const json report = a.Stop();
  json expected = Settings(report, "before");
  expected["sn"] = "TGX-777777";
  EXPECT_EQ(Settings(report, "current"), expected);
  EXPECT_FALSE(UnfinishedKept());
}

// Every device of a bench keeps its settings, on it or in the archive, whatever the person
// answers: three devices, two cut in their uploads, nobody answering any question.
TEST_F(BenchHistory, NobodyAnsweringLosesNoDevicesSettings) {
  DevsimProcess a(Unit(1, {"--fault", kUploadCut}));
  DevsimProcess b(Unit(2, {"--fault", kUploadCut}));
  DevsimProcess c(Unit(3));
  for (DevsimProcess* sim : {&a, &b}) {
    ScriptedUi cut;
    EXPECT_LT(Run(sim->ptyPath, cut), 0);
    sim->EndFaults();
  }
  for (DevsimProcess* sim : {&a, &b, &c}) {
    ScriptedUi unanswered;
    EXPECT_EQ(Run(sim->ptyPath, unanswered), 1) << BoxesText(unanswered);
  }
  for (DevsimProcess* sim : {&a, &b, &c}) EXPECT_TRUE(HeldOrArchived(sim->Stop())) << sim->ptyPath;
}

}  // namespace
