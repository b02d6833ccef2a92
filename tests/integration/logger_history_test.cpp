// Histories of logger updates: runs that follow one another against simulated LG20 loggers,
// each through RunFrame with a scripted front end and the engine holding an LG20 release, as
// the window runs them in repair mode after "Open Firmware File...". A simulated logger comes
// back from an INFO erase with its firmware's defaults (or, --after-erase blank, with nothing),
// never with what it was set up with in the field: every history must end with the logger's
// own field settings, and every run's result must tell the truth.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/box_kinds.h"
#include "app/update_session.h"
#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "devsim_process.h"
#include "instrument/instrument_link.h"
#include "scripted_ui.h"
#include "test_folder.h"
#include "update_run.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = VORN_LG20_IMAGE;
constexpr int kSimRestartWaitMs = 1000;  // the simulated logger restarts in 300 ms
constexpr int kOkAnswers = 8;            // questions are answered OK, as a person keen on the update would
// Upload cuts after the INFO erase. A reset mid-upload (a power cut, a watchdog) brings the
// logger up in its waiting loader; a line gone silent leaves the loader attached.
const std::vector<std::string> kUploadReset = {"--fault", "reset@write:10"};
const std::vector<std::string> kUploadSilence = {"--fault", "silence@write:10x3"};  // outlasts the host's tries
// A logger has no actuator: it refuses "set -act 30" and the sequence says so in a box that
// tells nothing about the settings.
const std::string kActuatorBox = "Reset Actuator Error";
const std::string kNoSettingsFile =
    "The Lg20 Firmware Updater couldn't find the settings file for your Lg20.\n\nPlease try again or contact "
    "Tessaly for help.";
const std::string kNotRestored =
    "The Lg20 Firmware Updater did not put settings back into your Lg20: no saved settings were chosen as its own. "
    "Its settings memory was not erased, so it keeps the settings it held.";

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// An LG20 as set up in the field, its name, serial number and site its own.
std::vector<std::string> FieldLg20(const std::string& name, const std::string& serial,
                                   const std::vector<std::string>& more = {}) {
  return Joined({"--device", "LG20", "--image", kImageFile, "--name", name, "--logger-set", "sn=" + serial,
                 "--logger-set", "site=Pier of " + name, "--logger-set", "wake=90", "--logger-set", "ports=2 3 4 5 6"},
                more);
}

std::string Shown(const ScriptedUi& ui) {
  std::string text;
  for (const ScriptedUi::Box& box : ui.boxes) text += "\n[" + box.title + "] " + box.text;
  for (const ScriptedUi::Box& question : ui.questions) text += "\n[asked: " + question.title + "] " + question.text;
  return text;
}

// Titles of the boxes a run showed, beside the logger's refused actuator reset.
std::vector<std::string> Told(const ScriptedUi& ui) {
  std::vector<std::string> titles;
  for (const ScriptedUi::Box& box : ui.boxes) {
    if (box.title != kActuatorBox) titles.push_back(box.title);
  }
  return titles;
}

std::vector<std::string> Asked(const ScriptedUi& ui) {
  std::vector<std::string> titles;
  for (const ScriptedUi::Box& question : ui.questions) titles.push_back(question.title);
  return titles;
}

bool AskedAbout(const ScriptedUi& ui, const std::string& title) {
  const std::vector<std::string> asked = Asked(ui);
  return std::find(asked.begin(), asked.end(), title) != asked.end();
}

bool ToldNoSettingsFile(const ScriptedUi& ui) {
  return std::any_of(ui.boxes.begin(), ui.boxes.end(), [](const ScriptedUi::Box& box) {
    return box.text.rfind(kNoSettingsFile, 0) == 0;
  });
}

// The logger runs the new release with its field settings back and its old data erased.
void ExpectUpdatedWithItsOwnSettings(const json& report, const std::string& who) {
  EXPECT_TRUE(report["imageMatches"].get<bool>()) << who << ": " << report["firstImageMismatch"].dump();
  EXPECT_EQ(report["mode"], "firmware") << who;
  EXPECT_EQ(report["logger"]["version"], "2.10") << who;
  EXPECT_TRUE(report["faults"].empty()) << who << ": " << report["faults"].dump();
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << who << ": every field setting is back";
  EXPECT_TRUE(report["storedData"]["erased"].get<bool>()) << who;
}

class LoggerHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_loggerhistory_");
    data_ = dir_;
    log_ = CreateMessageLog((dir_ / "errors.txt").string(), kLogProtocol, true);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // A data folder of its own for each history a test runs.
  void NewDataFolder(const std::string& name) {
    data_ = dir_ / name;
    fs::create_directories(data_);
  }

  // A port name must fit the driver's 63 characters, which a path in the test's folder may not.
  static std::string ShortLink() {
    return (fs::temp_directory_path() / ("vorn_lg20_" + std::to_string(::getpid()))).string();
  }

  // One run as the window makes it in repair mode with the LG20 release opened.
  int Run(const std::string& port, ScriptedUi& ui) {
    HostBSL engine(&log_, BuiltInFirmware());
    if (BSLLoadTIFile(engine, kImageFile) != 1) {
      ADD_FAILURE() << "cannot load " << kImageFile;
      return 0;
    }
    UpdaterState state;
    state.dataFolder = data_.string();
    state.builtInKind = BuiltInFirmware().deviceType;
    state.portName = port;
    state.portLabel = port;
    state.repairMode = true;
    state.restartWaitMs = kSimRestartWaitMs;
    UpdateRun run{state, ui, engine, &log_};
    InstrumentLink link(&log_);
    UpdateSession session(run, link);
    TargetImage(session, engine.imageVersion);
    settingsFile_ = SettingsFilePath(session);
    ui.answers.assign(kOkAnswers, true);
    return RunFrame(session);
  }

  // The archive's files in one state.
  std::vector<ArchiveEntry> Kept(ArchiveState state) const {
    std::vector<ArchiveEntry> found = ArchiveOf(data_);
    std::erase_if(found, [state](const ArchiveEntry& entry) { return entry.state != state; });
    return found;
  }

  // The first run is cut short after the INFO erase; the second must finish the update from the
  // settings file the first one kept, without asking about the erase (the file names the logger).
  void CutUploadThenFinish(const std::vector<std::string>& cut) {
    DevsimProcess sim(FieldLg20("WEIR-07", "LG20-000123", cut));
    ScriptedUi first;
    EXPECT_LT(Run(sim.ptyPath, first), 0);
    EXPECT_EQ(Told(first), std::vector<std::string>{"Firmware Upload Error"}) << Shown(first);
    const std::vector<ArchiveEntry> unfinished = Kept(ArchiveState::kUnfinished);
    ASSERT_EQ(unfinished.size(), 1u) << "the settings are kept for the next run";
    EXPECT_EQ(unfinished[0].serial, "LG20-000123");
    EXPECT_NE(ArchiveEntryText(unfinished[0]).find("sn=\"LG20-000123\""), std::string::npos);

    ScriptedUi second;
    ASSERT_EQ(Run(sim.ptyPath, second), 1) << Shown(second);
    EXPECT_FALSE(ToldNoSettingsFile(second)) << Shown(second);
    EXPECT_FALSE(AskedAbout(second, "Erase Data")) << "the restore gave the updater the logger's name";
    const json report = sim.Stop();
    ExpectUpdatedWithItsOwnSettings(report, "WEIR-07");
    EXPECT_EQ(report["logger"]["infoResets"], 1);
    EXPECT_FALSE(fs::exists(settingsFile_));
    EXPECT_TRUE(second.choices.empty()) << "the one unfinished update of a logger in its loader is resumed";
    EXPECT_EQ(Kept(ArchiveState::kRestored).size(), 1u);
  }

  // A blank logger: the new firmware finds INFO erased and writes nothing, so a run cut short at
  // the restore leaves a logger without a name or serial number. The next run cannot capture it
  // (an uninitialised logger) and cannot tell whose file the cut run kept: the person picks it.
  void BlankLoggerCutAtTheRestore(const std::string& what, const std::string& fault,
                                  const std::vector<std::string>& field) {
    const std::string link = ShortLink();
    DevsimProcess sim(Joined(FieldLg20("WEIR-07", "LG20-000123", field),
                             {"--after-erase", "blank", "--fault", fault, "--link", link, "--replug"}));
    ScriptedUi first;
    EXPECT_LT(Run(link, first), 0) << what << Shown(first);
    const json cutShort = sim.EndFaults();
    ASSERT_EQ(cutShort["mode"], "firmware") << what;
    EXPECT_EQ(cutShort["settings"]["current"]["name"], "") << what << ": the new firmware left it nameless";
    EXPECT_EQ(cutShort["settings"]["current"]["sn"], "") << what;

    ScriptedUi second;
    second.picks = {0};
    ASSERT_EQ(Run(link, second), 1) << what << Shown(second);
    ASSERT_EQ(second.choices.size(), 1u) << what;
    ASSERT_EQ(second.choices[0].options.size(), 1u) << what;
    EXPECT_NE(second.choices[0].options[0].find("serial number LG20-000123"), std::string::npos)
        << second.choices[0].options[0];
    EXPECT_FALSE(ToldNoSettingsFile(second)) << what << Shown(second);
    ExpectUpdatedWithItsOwnSettings(sim.Stop(), what);
    EXPECT_FALSE(fs::exists(settingsFile_)) << what;
  }

  fs::path dir_;
  fs::path data_;  // the runs' data folder
  MessageLog log_;
  std::string settingsFile_;
};

TEST_F(LoggerHistory, ANormalUpdateKeepsEverySetting) {
  DevsimProcess sim(FieldLg20("WEIR-07", "LG20-000123"));
  ScriptedUi ui;
  ASSERT_EQ(Run(sim.ptyPath, ui), 1) << Shown(ui);
  EXPECT_TRUE(Told(ui).empty()) << Shown(ui);
  EXPECT_FALSE(AskedAbout(ui, "Erase Data")) << "the updater knows the logger's name";
  const json report = sim.Stop();
  EXPECT_EQ(report["logger"]["infoResets"], 1) << "the new firmware found INFO erased and wrote its defaults";
  ExpectUpdatedWithItsOwnSettings(report, "WEIR-07");
  EXPECT_FALSE(fs::exists(settingsFile_)) << "the settings file goes after a successful run";
}

TEST_F(LoggerHistory, AnUploadCutByAResetIsFinishedFromTheSettingsFile) { CutUploadThenFinish(kUploadReset); }

// The upload goes silent and the loader stays attached, at the logger's command-line rate: the
// next run's connect hears the loader's "?" answers (not a logger it knows), and the loader is
// probed at the logger's loader rate.
TEST_F(LoggerHistory, AnUploadGoneSilentIsFinishedFromTheSettingsFile) { CutUploadThenFinish(kUploadSilence); }

TEST_F(LoggerHistory, AnotherLoggerUpdatedMeanwhileKeepsItsOwnAndTheFirstGetsItsFileBack) {
  DevsimProcess a(FieldLg20("LOGGER-A", "LG20-0000A1", kUploadReset));
  DevsimProcess b(FieldLg20("LOGGER-B", "LG20-0000B2"));
  ScriptedUi firstA;
  EXPECT_LT(Run(a.ptyPath, firstA), 0);
  ASSERT_EQ(Kept(ArchiveState::kUnfinished).size(), 1u);

  // B shows its serial number: only its own files could stand for its settings, and it has none.
  ScriptedUi onB;
  ASSERT_EQ(Run(b.ptyPath, onB), 1) << Shown(onB);
  EXPECT_TRUE(Told(onB).empty()) << Shown(onB);
  EXPECT_TRUE(onB.choices.empty());
  ExpectUpdatedWithItsOwnSettings(b.Stop(), "LOGGER-B");
  const std::vector<ArchiveEntry> waiting = Kept(ArchiveState::kUnfinished);
  ASSERT_EQ(waiting.size(), 1u) << "logger A's settings still wait for it";
  EXPECT_EQ(waiting[0].serial, "LG20-0000A1");

  ScriptedUi secondA;
  ASSERT_EQ(Run(a.ptyPath, secondA), 1) << Shown(secondA);
  EXPECT_FALSE(ToldNoSettingsFile(secondA)) << Shown(secondA);
  ExpectUpdatedWithItsOwnSettings(a.Stop(), "LOGGER-A");
  EXPECT_TRUE(Kept(ArchiveState::kUnfinished).empty()) << "logger A's file was used";
  EXPECT_EQ(Kept(ArchiveState::kRestored).size(), 2u);
  EXPECT_FALSE(fs::exists(settingsFile_));
}

// A logger never set up (no name: it cannot be read) cannot say whose another logger's kept
// file is: the person is asked, and the default gives it nothing of that logger's.
TEST_F(LoggerHistory, ALoggerNeverSetUpGetsNothingOfAnotherLoggersFile) {
  DevsimProcess a(FieldLg20("LOGGER-A", "LG20-0000A1", kUploadReset));
  DevsimProcess c({"--device", "LG20", "--image", kImageFile, "--logger-set", "name="});
  ScriptedUi firstA;
  EXPECT_LT(Run(a.ptyPath, firstA), 0);
  ASSERT_EQ(Kept(ArchiveState::kUnfinished).size(), 1u);

  ScriptedUi onC;
  ASSERT_EQ(Run(c.ptyPath, onC), 1) << Shown(onC);
  ASSERT_EQ(onC.choices.size(), 1u) << Shown(onC);
  ASSERT_EQ(onC.choices[0].options.size(), 1u);
  EXPECT_NE(onC.choices[0].options[0].find("LG20-0000A1"), std::string::npos);
  const json reportC = c.Stop();
  EXPECT_NE(reportC["settings"]["current"]["site"], "Pier of LOGGER-A") << "nothing of A's";
  EXPECT_NE(reportC["settings"]["current"]["sn"], "LG20-0000A1");
  EXPECT_NE(reportC["settings"]["current"]["name"], "LOGGER-A");

  ScriptedUi secondA;
  ASSERT_EQ(Run(a.ptyPath, secondA), 1) << Shown(secondA);
  ExpectUpdatedWithItsOwnSettings(a.Stop(), "LOGGER-A");
}

// In its loader the logger's INFO still holds its settings, as far as anyone knows: it is kept,
// so the logger comes back with them; the updater does not learn its name and asks before the
// data erase.
TEST_F(LoggerHistory, ALoggerFoundInItsLoaderWithoutAFileKeepsItsSettingsAndThePersonConfirmsTheErase) {
  DevsimProcess sim(FieldLg20("WEIR-07", "LG20-000123", {"--start-in-loader"}));
  ScriptedUi ui;
  ASSERT_EQ(Run(sim.ptyPath, ui), 1) << Shown(ui);
  ASSERT_EQ(Told(ui), std::vector<std::string>{"Settings Not Restored"}) << Shown(ui);
  EXPECT_EQ(ui.boxes.back().text, kNotRestored);
  EXPECT_EQ(Asked(ui), std::vector<std::string>{"Erase Data"}) << Shown(ui);
  const json report = sim.Stop();
  EXPECT_EQ(report["logger"]["infoResets"], 0) << "INFO was not erased";
  ExpectUpdatedWithItsOwnSettings(report, "WEIR-07");
}

// A file from an earlier run carries every key of the layout, the cellular ones too; a logger
// without the cellular modem must still be restored without a partial-restore box.
TEST_F(LoggerHistory, ARestoreFromAFileFinishesWithoutAPartialRestoreBox) {
  for (const bool cellular : {false, true}) {
    const std::string who = cellular ? "with its cellular modem" : "without a cellular modem";
    NewDataFolder(cellular ? "cellular" : "plain");
    std::vector<std::string> more = kUploadReset;
    if (cellular) more.push_back("--cellular");
    DevsimProcess sim(FieldLg20("WEIR-07", "LG20-000123", more));
    ScriptedUi first;
    EXPECT_LT(Run(sim.ptyPath, first), 0) << who;
    ScriptedUi second;
    ASSERT_EQ(Run(sim.ptyPath, second), 1) << who << Shown(second);
    EXPECT_TRUE(Told(second).empty()) << who << Shown(second);
    EXPECT_TRUE(Kept(ArchiveState::kPartlyRestored).empty()) << who;
    ExpectUpdatedWithItsOwnSettings(sim.Stop(), who);
  }
}

TEST_F(LoggerHistory, ABlankLoggerLeftNamelessByACutRestoreGetsItsNameAndSettingsBack) {
  // Without a device ID in the field: the restore writes the serial number (see below). The
  // faults count "set" lines: the first is the actuator reset, the restore's writes follow.
  const std::vector<std::string> noDeviceId = {"--logger-set", "deviceid="};
  BlankLoggerCutAtTheRestore("a silent logger", "silence@set:2x1000", noDeviceId);
  BlankLoggerCutAtTheRestore("a pulled cable", "hangup@set:2", noDeviceId);
}

}  // namespace
