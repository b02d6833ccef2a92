// The settings archive at the command line: listing it (as a table, by serial number, as JSON
// lines), showing one capture, writing an archived configuration into a device, and how fast
// a large archive lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <memory>
#include <sstream>

#include "app/settings_archive.h"
#include "cli_process.h"
#include "devsim_process.h"
#include "pty_pair.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
const std::string kSensorImage = std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt";
constexpr int kLargeArchiveDevices = 200;
constexpr int kCapturesPerDevice = 50;
// The bound holds for the optimised program; checked builds (sanitizers, no optimisation) are slower.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr double kListBoundSeconds = 1.0;
#else
constexpr double kListBoundSeconds = 10.0;
#endif
constexpr int kPromptTries = 1000;
constexpr useconds_t kPromptPollMicroseconds = 20000;

class SettingsCli : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = FreshTestFolder("vorn_settings_"); }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  std::string Data() const { return (dir_ / "data").string(); }
  CliRun Cli(const std::vector<std::string>& args, const char* program = VORN_CLI_PATH) {
    std::vector<std::string> all = {"--data-dir", Data()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(program, all, dir_ / "err.txt");
  }
  ArchiveEntry Add(const std::string& serial, ArchiveState state, const std::string& text) {
    ArchiveEntry entry;
    entry.model = "Pelloran TGX";
    entry.serial = serial;
    entry.before = "1.40";
    entry.after = "1.50";
    entry.state = state;
    EXPECT_EQ(AddToArchive(Data(), &entry, text), 0);
    return entry;
  }
  std::vector<ArchiveEntry> In(ArchiveState state) const {
    std::vector<ArchiveEntry> found = ListArchive(Data());
    std::erase_if(found, [state](const ArchiveEntry& entry) { return entry.state != state; });
    return found;
  }
  fs::path dir_;
};

std::vector<json> JsonLines(const std::string& out) {
  std::vector<json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

TEST_F(SettingsCli, ListShowAndJsonTellEveryCaptureByDeviceDateAndWhatHappened) {
  const ArchiveEntry a = Add("TGX-000001", ArchiveState::kRestored, "type=\"TGX\"\r\nsn=\"TGX-000001\"\r\n");
  Add("TGX-000002", ArchiveState::kUnfinished, "type=\"TGX\"\r\nsn=\"TGX-000002\"\r\n");
  Add("", ArchiveState::kNotUsed, "type=\"TGX\"\r\nsn=\"\"\r\n");
  Add("TGX-\xC4\xD6-7", ArchiveState::kUnchanged, "type=\"TGX\"\r\n");  // Latin-1 bytes people typed

  const CliRun table = Cli({"settings", "list"});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.out.rfind("ID       DEVICE", 0), 0u) << table.out;
  for (const std::string& part : {EntryId(a), std::string("Pelloran TGX TGX-000001"), std::string("1.40 -> 1.50"),
                                  std::string("restored"), std::string("unfinished"),
                                  std::string("Pelloran TGX (no serial number)"), std::string("device unchanged")}) {
    EXPECT_NE(table.out.find(part), std::string::npos) << part << "\n" << table.out;
  }

  const CliRun one = Cli({"settings", "list", "--sn", "TGX-000002"});
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 2) << one.out;

  const CliRun lines = Cli({"settings", "list", "--json"});
  ASSERT_EQ(lines.status, 0) << lines.err;
  const std::vector<json> entries = JsonLines(lines.out);
  ASSERT_EQ(entries.size(), 4u);
  for (const json& entry : entries) {
    for (const char* key : {"id", "model", "serialNumber", "date", "firmwareBefore", "firmwareAfter", "state",
                            "stateText", "file"}) {
      EXPECT_TRUE(entry.contains(key)) << key << " " << entry.dump();
    }
  }
  const auto latin = std::find_if(entries.begin(), entries.end(),
                                  [](const json& entry) { return entry["state"] == "device unchanged"; });
  ASSERT_NE(latin, entries.end());
  EXPECT_EQ((*latin)["serialNumber"], "TGX-\u00C4\u00D6-7") << "bytes that are not UTF-8 read as Latin-1";

  const CliRun shown = Cli({"settings", "show", EntryId(a)});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("device: Pelloran TGX, serial number TGX-000001\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("what happened: put back by an update that finished\n"), std::string::npos);
  EXPECT_NE(shown.out.find("sn=\"TGX-000001\"\r\n"), std::string::npos);

  const CliRun missing = Cli({"settings", "show", "0badc0de"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("holds no settings 0badc0de"), std::string::npos) << missing.err;
  EXPECT_EQ(Cli({"settings", "frobnicate"}).status, 2);
  EXPECT_EQ(Cli({"settings", "restore", EntryId(a)}).status, 2) << "restore needs a port";
}

// A factory's records can read a large archive quickly: 10,000 captures list in under a second.
TEST_F(SettingsCli, TenThousandCapturesListInUnderASecond) {
  const std::string text = "type=\"TGX\"\r\n";
  for (int device = 0; device < kLargeArchiveDevices; ++device) {
    const fs::path folder = DeviceArchiveFolder(Data(), "Pelloran TGX", "TGX-" + std::to_string(100000 + device));
    fs::create_directories(folder);
    for (int capture = 0; capture < kCapturesPerDevice; ++capture) {
      char name[96];
      std::snprintf(name, sizeof name, "2026-%02d-%02d 10.00.%02d restored (1.40 to 1.50).txt", 1 + capture / 28,
                    1 + capture % 28, device % 60);
      std::ofstream(folder / name) << text;
    }
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"settings", "list"},
                                               std::vector<std::string>{"settings", "list", "--json"}}) {
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = Cli(args);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'),
              kLargeArchiveDevices * kCapturesPerDevice + (args.size() == 2 ? 1 : 0));
    EXPECT_LT(seconds, kListBoundSeconds) << args.back();
    std::printf("[ measured ] %s of %d captures: %.3f s\n", args.back().c_str(),
                kLargeArchiveDevices * kCapturesPerDevice, seconds);
  }
}

// An archived configuration goes into another device of the model only when the person says so;
// what that device held goes into the archive first, and puts it back again.
TEST_F(SettingsCli, RestoreWritesAnArchivedConfigurationIntoADeviceAndKeepsWhatItHeld) {
  DevsimProcess one({"--device", "TGX:1.40", "--image", kImageFile, "--unit", "1"});
  ASSERT_EQ(Cli({"update", "--port", one.ptyPath, "--yes"}).status, 0);
  const json first = one.Stop();
  ASSERT_EQ(In(ArchiveState::kRestored).size(), 1u);
  const std::string idOne = EntryId(In(ArchiveState::kRestored)[0]);

  DevsimProcess two({"--device", "TGX:1.50", "--image", kImageFile, "--unit", "2"});
  const CliRun refused = Cli({"settings", "restore", "--port", two.ptyPath, idOne});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Another Device's Settings: "), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("[Cancel"), std::string::npos) << "off a terminal, nobody said yes";
  EXPECT_EQ(two.EndFaults()["settings"]["current"], two.EndFaults()["settings"]["before"]);

  const CliRun written = Cli({"settings", "restore", "--port", two.ptyPath, idOne, "--yes"});
  ASSERT_EQ(written.status, 0) << written.err;
  EXPECT_NE(written.out.find("Restored the settings of the Pelloran TGX with serial number TGX-015578"),
            std::string::npos)
      << written.out;
  const json moved = two.EndFaults();
  EXPECT_EQ(moved["settings"]["current"], first["settings"]["before"]) << "two holds one's configuration";
  const std::vector<ArchiveEntry> replaced = In(ArchiveState::kReplaced);
  ASSERT_EQ(replaced.size(), 2u) << "what two held, each time";

  ArchiveEntry ownOfTwo;
  for (const ArchiveEntry& entry : replaced) {
    if (entry.serial == "TGX-015579") ownOfTwo = entry;
  }
  ASSERT_FALSE(ownOfTwo.path.empty());
  ASSERT_EQ(Cli({"settings", "restore", "--port", two.ptyPath, EntryId(ownOfTwo), "--yes"}).status, 0);
  const json back = two.Stop();
  EXPECT_EQ(back["settings"]["current"], back["settings"]["before"]) << "two has its own back";
}

// The sensor build writes a sensor's archived calibration, address and serial number through
// the pass-through device.
TEST_F(SettingsCli, TheSensorBuildRestoresASensorsSettings) {
  const auto fieldrex = [](const std::string& unit) {
    return std::vector<std::string>{"--device", "FX", "--sensor", "]:1.40", "--image", kSensorImage, "--unit", unit};
  };
  DevsimProcess a(fieldrex("1"));
  ASSERT_EQ(Cli({"update", "--port", a.ptyPath, "--yes"}, VORN_SENSOR_CLI_PATH).status, 0);
  const json aReport = a.Stop();
  const std::vector<ArchiveEntry> kept = In(ArchiveState::kRestored);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].model, "Digital Sensor");

  DevsimProcess b(fieldrex("2"));
  const CliRun run = Cli({"settings", "restore", "--port", b.ptyPath, EntryId(kept[0]), "--yes"}, VORN_SENSOR_CLI_PATH);
  ASSERT_EQ(run.status, 0) << run.err;
  const json bReport = b.Stop();
  const json& sensor = bReport["sensor"];
  for (const char* key : {"address", "serialNumber", "calibrationX4", "calibrationXa", "calibrationXO"}) {
    EXPECT_EQ(sensor[key], aReport["sensor"][key]) << key;
  }
  EXPECT_EQ(In(ArchiveState::kReplaced).size(), 1u);
}

// Three devices left in their loaders on one bench. At a terminal the person picks A's settings
// by number (a number that is no option is asked again); off a terminal B's are named with
// --settings; C's, the only ones left, are resumed without a question.
TEST_F(SettingsCli, ThePersonPicksByNumberAtATerminalAndNamesTheFileElsewhere) {
  std::vector<std::unique_ptr<DevsimProcess>> sims;
  for (const char* unit : {"1", "2", "3"}) {
    sims.push_back(std::make_unique<DevsimProcess>(std::vector<std::string>{
        "--device", "TGX:1.40", "--image", kImageFile, "--unit", unit, "--fault", "silence@write:300x3"}));
    EXPECT_EQ(Cli({"update", "--port", sims.back()->ptyPath, "--yes"}).status, 1);
    sims.back()->EndFaults();
  }
  ASSERT_EQ(In(ArchiveState::kUnfinished).size(), 3u);

  PtyPair terminal;
  CliProcess a(VORN_CLI_PATH, {"--data-dir", Data(), "update", "--port", sims[0]->ptyPath, "--yes"},
               dir_ / "a.err", terminal.slavePath);
  // What the program wrote to the terminal's error stream once `text` stands there `count` times.
  const auto waitFor = [&](const std::string& text, size_t count) {
    std::string err;
    for (int i = 0; i < kPromptTries; ++i) {
      err = ReadText(dir_ / "a.err");
      size_t seen = 0;
      for (size_t at = err.find(text); at != std::string::npos; at = err.find(text, at + 1)) ++seen;
      if (seen >= count) break;
      usleep(kPromptPollMicroseconds);
    }
    return err;
  };
  std::string err = waitFor("Choose a number [0]: ", 1);
  ASSERT_NE(err.find("  0  None of these: keep the settings this Pelloran TGX holds (the default)\n"),
            std::string::npos)
      << err;
  const size_t line = err.find("serial number TGX-015578,");
  ASSERT_NE(line, std::string::npos) << err;
  const size_t start = err.rfind('\n', line) + 1;
  const std::string number = err.substr(start + 2, err.find(' ', start + 2) - start - 2);
  terminal.Send("7\n");
  err = waitFor("Choose a number [0]: ", 2);
  EXPECT_NE(err.find("Please type a number from 0 to 3."), std::string::npos) << err;
  terminal.Send(number + "\n");
  EXPECT_EQ(a.Wait(), 0) << ReadText(dir_ / "a.err");
  const json reportA = sims[0]->Stop();
  EXPECT_EQ(reportA["settings"]["current"], reportA["settings"]["before"]);

  ArchiveEntry fileB;
  for (const ArchiveEntry& entry : In(ArchiveState::kUnfinished)) {
    if (entry.serial == "TGX-015579") fileB = entry;
  }
  ASSERT_FALSE(fileB.path.empty());
  const CliRun b = Cli({"update", "--port", sims[1]->ptyPath, "--yes", "--settings", EntryId(fileB)});
  EXPECT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.err.find("Whose Settings"), std::string::npos) << "the named file answers: " << b.err;
  const json reportB = sims[1]->Stop();
  EXPECT_EQ(reportB["settings"]["current"], reportB["settings"]["before"]);

  const CliRun c = Cli({"update", "--port", sims[2]->ptyPath, "--yes"});
  EXPECT_EQ(c.status, 0) << c.err;
  EXPECT_NE(c.out.find("note: The settings of the Pelloran TGX with serial number TGX-015580, saved on "),
            std::string::npos)
      << c.out;
  const json reportC = sims[2]->Stop();
  EXPECT_EQ(reportC["settings"]["current"], reportC["settings"]["before"]);
  EXPECT_TRUE(In(ArchiveState::kUnfinished).empty());
}

}  // namespace
