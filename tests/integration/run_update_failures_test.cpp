// The ways an instrument update stops before it changes anything: the port,
// the device's identity and state, its loader. Each run goes through RunFrame
// with a scripted front end against the simulator (or a bare pseudo-terminal)
// and must end with exactly the box or question the person is meant to see,
// the run's code, an untouched device and the settings file left in place.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "devsim_process.h"
#include "pty_pair.h"
#include "serial/serial_port.h"
#include "test_folder.h"
#include "update_run.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kEarlierSettings = "settings an earlier, interrupted run saved\n";
constexpr uid_t kNobody = 65534;

struct Shown {
  std::string title;
  std::string text;
};

std::string WrongDevice(const std::string& found, bool factory) {
  std::string text = "The Pelloran TGX Firmware Updater expected to find a Pelloran TGX;\nhowever, it found a " + found +
                     ".\n\nThis updater can not update a " + found + ".";
  if (factory) text += "\n\n[Factory Mode Override: Click OK to load FW anyway]";
  return text;
}

const Shown kNewerFirmware{"Newer Firmware",
                           "The firmware in your Pelloran TGX\nis newer than the version in this updater.\n\n"
                           "Are you sure you want to load older firmware."};
const Shown kTestRunning{"Test Running Error",
                         "Your TGX is currently running a test.\n\nPlease stop the test and save the measurement\n "
                         "data before updating the TGX firmware."};
const Shown kBatteryLow{"Batteries Too Low",
                        "The battery power is too low!\n\nPlease replace the batteries before running this updater."};
const Shown kRetrieveFailed{"Settings Retrieve Error",
                            "The Pelloran TGX Firmware Updater could not retrieve the settings from your Pelloran TGX.\n"
                            "This can happen when an intrument is new or doesn't have a serial number set yet.\n\n"
                            "Click OK to continue loading new firmware.\nClick CANCEL to try retrieving the settings "
                            "again."};
const Shown kNoLoader{"Firmware Loader Error",
                      "This Pelloran TGX does not have a working firmware loader.\n\nPlease contact Tessaly for help."};

std::string UnableToConnect(const std::string& label) {
  return "The Pelloran TGX Firmware Updater is unable to connect to your Pelloran TGX\n on Comm Port \"" + label +
         "\".\n\nPlease check your serial cable and Comm Port choice.";
}

// Another program holding a port: a child process opens it through the same driver
// (exclusive mode and lock) and keeps it until the holder goes out of scope.
class PortHolder {
 public:
  explicit PortHolder(const std::string& port) {
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("no pipe");
    child_ = fork();
    if (child_ == 0) {
      close(ready[0]);
      close(release[1]);
      SerialPort held;
      const char opened = VSOpen(held, port, kDefaultBaud) > 0 ? 'y' : 'n';
      (void)!write(ready[1], &opened, 1);
      char nothing = 0;
      (void)!read(release[0], &nothing, 1);  // returns at the parent's close
      VSClose(held);
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char opened = 'n';
    held_ = read(ready[0], &opened, 1) == 1 && opened == 'y';
    close(ready[0]);
  }
  ~PortHolder() {
    close(release_);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  bool held() const { return held_; }

 private:
  pid_t child_ = -1;
  int release_ = -1;
  bool held_ = false;
};

// The simulator's verdict on a device the run must not have touched.
void ExpectUntouched(const nlohmann::json& report, int version) {
  ASSERT_TRUE(report["firmware"].is_object()) << report.dump();
  EXPECT_EQ(report["firmware"]["version"], version);
  EXPECT_TRUE(report["firmware"]["intact"].get<bool>());
  EXPECT_EQ(report["mode"], "firmware");
  EXPECT_TRUE(report["frames"].empty()) << "the loader took commands: " << report["frames"].dump();
  EXPECT_FALSE(report["vectorsWritten"].get<bool>());
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
  if (report.contains("instrument")) {
    EXPECT_EQ(report["instrument"]["erasures"], 0);
    EXPECT_EQ(report["instrument"]["clockSet"], nullptr);
  } else {
    EXPECT_FALSE(report["storedData"]["erased"].get<bool>());
  }
}

class RunUpdateFailuresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_fail_");
    log_ = CreateMessageLog((dir_ / "errors.txt").string(), kLogProtocol, true);
    settingsFile_ = (dir_ / "Pelloran TGX.settings.txt").string();
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // One run, as the window's Start button makes it.
  int Run(const std::string& port, const std::string& label, ScriptedUi& ui, bool factory = false) {
    TestUpdate update(dir_.string(), &log_, port);
    update.label = label;
    update.factory = factory;
    return RunTestUpdate(update, ui);
  }

  // A settings file an earlier version left in the data folder: the first run takes it into the
  // settings archive, and nothing may change it there.
  void WriteEarlierSettings() const { std::ofstream(settingsFile_) << kEarlierSettings; }
  std::vector<ArchiveEntry> Unchanged() const {
    std::vector<ArchiveEntry> found = ArchiveOf(dir_);
    std::erase_if(found, [](const ArchiveEntry& entry) { return entry.state != ArchiveState::kUnchanged; });
    return found;
  }
  void ExpectEarlierSettingsKept() const {
    EXPECT_FALSE(fs::exists(settingsFile_));
    size_t earlier = 0;
    for (const ArchiveEntry& entry : ArchiveOf(dir_)) {
      if (entry.state != ArchiveState::kEarlier) continue;
      ++earlier;
      EXPECT_EQ(ArchiveEntryText(entry), kEarlierSettings);
    }
    EXPECT_EQ(earlier, 1u);
  }
  std::string LogText() const { return FileText(dir_ / "errors.txt"); }

  static std::string FileText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // What every failed run leaves in the window, and the box it showed (logged after it closed).
  void ExpectFailedRun(const ScriptedUi& ui, const std::optional<Shown>& box) {
    EXPECT_EQ(ui.bars.back(), 0);
    EXPECT_FALSE(ui.stageVisible);
    EXPECT_EQ(ui.instruction, "Connect Pelloran TGX to computer comm port.");
    EXPECT_EQ(ui.successes, 0);
    if (!box) {
      EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].title << ": " << ui.boxes[0].text;
      return;
    }
    ASSERT_EQ(ui.boxes.size(), 1u) << "exactly one box";
    EXPECT_EQ(ui.boxes[0].title, box->title);
    EXPECT_EQ(ui.boxes[0].text, box->text);
    EXPECT_EQ(ui.boxes[0].kind, kBoxError);
    EXPECT_NE(LogText().find("ErrorOK Told User:: " + box->text.substr(0, box->text.find('\n'))), std::string::npos);
  }

  fs::path dir_;
  MessageLog log_;
  std::string settingsFile_;
};

TEST_F(RunUpdateFailuresTest, PortsThatCannotBeUsedGiveTheirConnectionMessage) {
  DevsimProcess sim({"--device", "TGX:1.40"});
  PortHolder holder(sim.ptyPath);
  ASSERT_TRUE(holder.held());
  PtyPair silent;  // a port with nothing on the other end

  struct Case {
    const char* what;
    std::string port;
    std::string label;
    std::string text;
  };
  const Case cases[] = {
      {"held by another program", sim.ptyPath, "COM4 (busy)",
       "Comm Port \"COM4 (busy)\" is already in use by another application.\n"
       "Please choose a new Comm Port to use or quit the application using this port."},
      {"a port name without a device", "ttyVornGone0", "ttyVornGone0",
       "Comm Port \"ttyVornGone0\" isn't available.\nPlease choose a new Comm Port to use."},
      {"no port found", "", "", UnableToConnect("") + "\nError -10"},
      {"a silent device", silent.slavePath, "COM7", UnableToConnect("COM7")},
  };
  WriteEarlierSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedUi ui;
    EXPECT_EQ(Run(c.port, c.label, ui), kRunConnectionFailed);
    ExpectFailedRun(ui, Shown{"Connection Error", c.text});
    EXPECT_TRUE(ui.questions.empty());
    ExpectEarlierSettingsKept();
    EXPECT_EQ(ArchiveOf(dir_).size(), 1u) << "nothing was captured";
  }
  const nlohmann::json report = sim.Stop();
  ExpectUntouched(report, 140);
  EXPECT_TRUE(report["traffic"].empty() || report["traffic"][0]["received"] == 0) << "nothing reached the device";
}

// A port the user may not open: the message says how to get access, not an error number.
// Root opens any device, so the run is made by a child process without privileges.
TEST_F(RunUpdateFailuresTest, APortTheUserMayNotOpenTellsHowToGetAccess) {
  PtyPair pty;
  ASSERT_EQ(chmod(pty.slavePath.c_str(), 0), 0);
  // The data folder is the user's own; only the port is not.
  fs::permissions(dir_, fs::perms::all);
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(channel[0]);
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                           setresuid(kNobody, kNobody, kNobody) != 0)) {
      _exit(3);
    }
    ScriptedUi ui;
    const int result = Run(pty.slavePath, "COM2", ui);
    std::string message = std::to_string(result) + "\n" + std::to_string(ui.boxes.size()) + "\n";
    if (!ui.boxes.empty()) message += ui.boxes[0].title + "\n" + ui.boxes[0].text;
    (void)!write(channel[1], message.data(), message.size());
    _exit(0);
  }
  close(channel[1]);
  std::string message;
  char chunk[512];
  for (ssize_t n; (n = read(channel[0], chunk, sizeof chunk)) > 0;) message.append(chunk, static_cast<size_t>(n));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop root's privileges here";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;

  std::istringstream lines(message);
  std::string result;
  std::string boxes;
  std::string title;
  std::getline(lines, result);
  std::getline(lines, boxes);
  std::getline(lines, title);
  const std::string text = lines ? message.substr(static_cast<size_t>(lines.tellg())) : "";
  EXPECT_EQ(result, std::to_string(kRunConnectionFailed));
  EXPECT_EQ(boxes, "1");
  EXPECT_EQ(title, "Connection Error");
  EXPECT_EQ(text,
            "Comm Port \"COM2\" can't be opened: your user account is not allowed to use serial ports.\n"
            "Add it to the dialout group (sudo usermod -aG dialout $USER), log out and in again,\n"
            "then start the update again.");
  EXPECT_TRUE(pty.Receive(0).empty()) << "nothing was sent";
}

// The checks between connecting and the loader, and the loader missing: each stop is one
// box or question, nothing on the device changes, and the settings file holds what it held
// before the run, or, once the run has captured them, the device's settings.
TEST_F(RunUpdateFailuresTest, ChecksStopTheRunBeforeTheDeviceChanges) {
  struct Case {
    const char* what;
    std::vector<std::string> sim;
    int version;  // the device's firmware, which must stay
    bool factory;
    std::deque<bool> answers;
    std::vector<Shown> questions;
    std::optional<Shown> box;
    int result;
    bool captured;  // the run got as far as saving the device's settings
  };
  const std::string windowText =
      "The Pelloran TGX Firmware Updater doesn't support this Pelloran TGX\nrunning version 2.01.\n\n"
      "This updater only works with firmware version 2.02 (or newer).\n\n"
      "Click OK to force the update anyway.\nClick CANCEL to quit the updater.";
  const Case cases[] = {
      {"another instrument model", {"--device", "MQ2"}, 210, false, {}, {},
       Shown{"Wrong Device", WrongDevice("Pelloran M2", false)}, kRunWrongDevice, false},
      {"a logger", {"--device", "LG20"}, 202, false, {}, {}, Shown{"Wrong Device", WrongDevice("Lg20", false)},
       kRunWrongDevice, false},
      {"factory mode: the override declined", {"--device", "MQ2"}, 210, true, {false},
       {{"Wrong Device", WrongDevice("Pelloran M2", true)}}, std::nullopt, kRunWrongDevice, false},
      // The link refuses a version too old to update before the sequence sees the device.
      {"firmware too old to update", {"--device", "LX40:1.40"}, 140, false, {}, {},
       Shown{"Connection Error",
             "The Pelloran TGX Firmware Updater does not support your Lumeno LX-40\nrunning version 140."},
       kRunConnectionFailed, false},
      {"factory mode: overridden, then outside the supported versions and not forced", {"--device", "MQ2:2.01"}, 201,
       true, {true, false},
       {{"Wrong Device", WrongDevice("Pelloran M2", true)}, {"Wrong Firmware Version", windowText}}, std::nullopt,
       kRunNotSupported, false},
      {"newer firmware on the device, declined", {"--device", "TGX:1.51"}, 151, false, {false}, {kNewerFirmware},
       std::nullopt, kRunDeclined, false},
      {"newer firmware on the device, accepted: on to the loader", {"--device", "TGX:1.51", "--no-loader"}, 151,
       false, {true}, {kNewerFirmware}, kNoLoader, kRunNoLoader, true},
      {"factory mode: newer firmware is not asked about", {"--device", "TGX:1.51", "--no-loader"}, 151, true, {}, {},
       kNoLoader, kRunNoLoader, true},
      {"a test running (status 0)", {"--device", "TGX", "--test-running", "0"}, 140, false, {}, {}, kTestRunning,
       kRunDeclined, false},
      {"a test running (status -2)", {"--device", "TGX", "--test-running", "-2"}, 140, false, {}, {}, kTestRunning,
       kRunDeclined, false},
      {"factory mode: a logger whose batteries are too low", {"--device", "LG20", "--battery", "9"}, 202, true,
       {true}, {{"Wrong Device", WrongDevice("Lg20", true)}}, kBatteryLow, kRunBatteryLow, false},
      // A logger without radio or modem gives only part of the settings asked for, which factory mode asks about.
      {"factory mode: a logger with just enough battery goes on", {"--device", "LG20", "--battery", "10", "--no-loader"},
       202, true, {true, true}, {{"Wrong Device", WrongDevice("Lg20", true)}, kRetrieveFailed}, kNoLoader,
       kRunNoLoader, true},
      {"no loader", {"--device", "TGX", "--no-loader"}, 140, false, {}, {}, kNoLoader, kRunNoLoader, true},
  };
  WriteEarlierSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DevsimProcess sim(c.sim);
    const std::vector<ArchiveEntry> unchangedBefore = Unchanged();
    ScriptedUi ui;
    ui.answers = c.answers;
    EXPECT_EQ(Run(sim.ptyPath, "COM3", ui, c.factory), c.result);
    ExpectFailedRun(ui, c.box);
    EXPECT_EQ(ui.questions.size(), c.questions.size());
    for (size_t i = 0; i < std::min(c.questions.size(), ui.questions.size()); ++i) {
      EXPECT_EQ(ui.questions[i].title, c.questions[i].title);
      EXPECT_EQ(ui.questions[i].text, c.questions[i].text);
    }
    EXPECT_TRUE(ui.answers.empty()) << "a question the run should have asked was not";
    // A run that stops keeps what it captured, as taken from a device it did not change.
    const std::vector<ArchiveEntry> unchanged = Unchanged();
    ASSERT_EQ(unchanged.size(), unchangedBefore.size() + (c.captured ? 1 : 0));
    EXPECT_EQ(ArchiveOf(dir_).size(), unchanged.size() + 1) << "nothing else was kept but the earlier file";
    for (const ArchiveEntry& entry : unchanged) EXPECT_NE(ArchiveEntryText(entry).find("type="), std::string::npos);
    ExpectEarlierSettingsKept();
    ExpectUntouched(sim.Stop(), c.version);
  }
}

}  // namespace
