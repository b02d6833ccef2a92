// The settings archive's files on their own: names that carry a device, a time and what
// happened for any serial number, the pruning that never takes what a device may need, and the
// settings a cut restore is finished with.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "app/kept_settings.h"
#include "app/settings_archive.h"
#include "app/settings_merge.h"
#include "instrument/instrument_settings.h"
#include "instrument/settings_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTgxKind = 16;

class SettingsArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = fs::temp_directory_path() / ("vorn_archive_" + name + "_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  std::string Data() const { return dir_.string(); }
  ArchiveEntry Add(const std::string& serial, ArchiveState state, const std::string& stamp = {}) {
    ArchiveEntry entry;
    entry.model = "Pelloran TGX";
    entry.serial = serial;
    entry.before = "1.40";
    entry.after = "1.50";
    entry.state = state;
    entry.stamp = stamp;
    EXPECT_EQ(AddToArchive(Data(), &entry, "sn=\"" + serial + "\"\r\n"), 0) << serial;
    return entry;
  }
  fs::path dir_;
};

TEST_F(SettingsArchive, EverySerialNumberHasAFolderOfItsOwnAndComesBackAsItWas) {
  const std::vector<std::string> serials = {"TGX-014577", "", "A/B C.%", "no serial number", "TGX-\xC4\xD6-7", "..",
                                            "CON"};
  std::set<std::string> ids;
  for (const std::string& serial : serials) ids.insert(EntryId(Add(serial, ArchiveState::kInUse)));
  EXPECT_EQ(ids.size(), serials.size()) << "every capture has its own ID";
  const std::vector<ArchiveEntry> listed = ListArchive(Data());
  ASSERT_EQ(listed.size(), serials.size());
  std::set<std::string> found;
  for (const ArchiveEntry& entry : listed) {
    found.insert(entry.serial);
    EXPECT_EQ(entry.model, "Pelloran TGX");
    EXPECT_EQ(entry.before, "1.40");
    EXPECT_EQ(entry.after, "1.50");
    std::string text;
    ASSERT_TRUE(ReadEntry(entry, &text));
    EXPECT_EQ(text, "sn=\"" + entry.serial + "\"\r\n");
  }
  EXPECT_EQ(found, std::set<std::string>(serials.begin(), serials.end()));
}

TEST_F(SettingsArchive, AnEntryKeepsItsIdAcrossWhatHappensToIt) {
  ArchiveEntry entry = Add("TGX-1", ArchiveState::kInUse);
  const std::string id = EntryId(entry);
  ASSERT_EQ(SetEntryState(&entry, ArchiveState::kUnfinished), 0);
  EXPECT_NE(entry.path.find(" unfinished (1.40 to 1.50).txt"), std::string::npos) << entry.path;
  EXPECT_EQ(EntryId(entry), id);
  EXPECT_EQ(FindEntry(Data(), id).path, entry.path);
  EXPECT_EQ(FindEntry(Data(), entry.path).path, entry.path) << "found by its file too";
  EXPECT_TRUE(FindEntry(Data(), "00000000").path.empty());
  ASSERT_EQ(SetEntrySerial(Data(), &entry, "TGX-2"), 0) << "the serial number a device will carry";
  EXPECT_EQ(ListDeviceArchive(Data(), "Pelloran TGX", "TGX-2").size(), 1u);
  EXPECT_TRUE(ListDeviceArchive(Data(), "Pelloran TGX", "TGX-1").empty());
}

TEST_F(SettingsArchive, CapturesInOneSecondGetNamesOfTheirOwnInOrder) {
  const ArchiveEntry first = Add("TGX-1", ArchiveState::kRestored, "2026-12-10 14.03.11");
  const ArchiveEntry second = Add("TGX-1", ArchiveState::kUnfinished, "2026-12-10 14.03.11");
  EXPECT_NE(first.path, second.path);
  EXPECT_NE(EntryId(first), EntryId(second));
  const std::vector<ArchiveEntry> listed = ListDeviceArchive(Data(), "Pelloran TGX", "TGX-1");
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].path, first.path) << "oldest first";
  EXPECT_EQ(StampShown(listed[1]), "2026-12-10 14:03:11");
}

TEST_F(SettingsArchive, PruningTakesOnlySettledCapturesPastTheDevicesShare) {
  constexpr int kSettled = 105;
  for (int i = 0; i < kSettled; ++i) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-%02d-%02d 10.00.00", 1 + i / 28, 1 + i % 28);
    Add("TGX-1", i < 3 ? ArchiveState::kUnfinished : ArchiveState::kRestored, stamp);
  }
  Add("TGX-1", ArchiveState::kEarlier, "2020-01-01 00.00.00");
  PruneDeviceArchive(Data(), "Pelloran TGX", "TGX-1");
  const std::vector<ArchiveEntry> kept = ListDeviceArchive(Data(), "Pelloran TGX", "TGX-1");
  EXPECT_EQ(kept.size(), kArchiveKeepPerDevice);
  EXPECT_EQ(std::count_if(kept.begin(), kept.end(), [](const ArchiveEntry& e) { return EntryWaits(e); }), 4)
      << "an unfinished update's file and an earlier version's are never pruned";
  EXPECT_EQ(StampShown(kept.back()), "2026-04-21 10:00:00") << "the newest stays";
}

TEST_F(SettingsArchive, TheWindowSaysUpdatesAreUnfinishedOnlyWhenOneWaits) {
  EXPECT_FALSE(UnfinishedUpdateWaiting(Data(), "Pelloran TGX"));
  ArchiveEntry entry = Add("TGX-1", ArchiveState::kRestored);
  EXPECT_FALSE(UnfinishedUpdateWaiting(Data(), "Pelloran TGX"));
  ASSERT_EQ(SetEntryState(&entry, ArchiveState::kUnfinished), 0);
  EXPECT_TRUE(UnfinishedUpdateWaiting(Data(), "Pelloran TGX"));
  EXPECT_FALSE(UnfinishedUpdateWaiting(Data(), "Pelloran M2"));
}

std::string TgxFile(const std::string& values) {
  return std::string(kSettingsFileHeader) + "type=\"TGX\"\r\n" + values;
}

// A restore that wrote sn, config and tadj before it was cut: those come from what the device
// holds now (tadj was set by hand since), the rest from the saved file, the records together.
TEST(SettingsMerge, WhatTheCutRestoreWroteComesFromTheDeviceAndTheRestFromTheFile) {
  const std::string saved = TgxFile(
      "config=\"3 1 0\"\r\nsn=\"TGX-1\"\r\ntadj=\"-0.35\"\r\nfvals=\"2.1 0.9\"\r\nuvals=\"0.5 1.0\"\r\n"
      "calprefs=\"1 0 1 2\"\r\nuser00=\"AAA\"\r\nuser01=\"BBB\"\r\n");
  const std::string held = TgxFile(
      "config=\"3 1 0\"\r\nsn=\"TGX-1\"\r\ntadj=\"1.11\"\r\nfvals=\"1.0 1.0\"\r\nuvals=\"0.0 1.0\"\r\n"
      "calprefs=\"\"\r\nuser00=\"CCC\"\r\n");
  const uint32_t taken = kInstSerialNumber | kInstConfig | kInstTadj;
  const std::string merged = MergeRestored(kTgxKind, saved, held, taken);
  for (const char* line : {"tadj=\"1.11\"", "sn=\"TGX-1\"", "fvals=\"2.1 0.9\"", "uvals=\"0.5 1.0\"",
                           "calprefs=\"1 0 1 2\"", "user00=\"AAA\"", "user01=\"BBB\""}) {
    EXPECT_NE(merged.find(std::string(line) + "\r\n"), std::string::npos) << line << "\n" << merged;
  }
  EXPECT_EQ(merged.find("tadj=\"-0.35\""), std::string::npos);

  // Records the restore wrote are the device's as a set.
  const std::string withRecords = MergeRestored(kTgxKind, saved, held, taken | kInstUserRecords);
  EXPECT_NE(withRecords.find("user00=\"CCC\"\r\n"), std::string::npos) << withRecords;
  EXPECT_EQ(withRecords.find("user01="), std::string::npos) << withRecords;
  EXPECT_EQ(MergeRestored(kTgxKind, saved, held, 0), saved) << "nothing written: the file as it was";
}

}  // namespace
