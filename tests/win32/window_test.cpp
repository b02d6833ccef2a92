// vornbsl.exe and vornbsl-sensor.exe, the native Windows window of the cross build, under
// wine on a virtual X server: a driver in the same wine desktop plays the person (picks
// the COM port that leads to the Linux simulator, presses Start, answers the boxes) and
// the window checks its own layout at the prefix's DPI.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/wait.h>

#include "devsim_process.h"
#include "test_folder.h"
#include "web_support/web_server.h"
#include "window_session.h"
#include "windows/wine_session.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kTgxImage = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
const std::string kSensorImage = std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt";
const std::string kWindow = WindowsBuildFile("src/win32/vornbsl.exe");
const std::string kSensorWindow = WindowsBuildFile("src/win32/vornbsl-sensor.exe");
constexpr char kEraseWarning[] = "dismiss:Data Erase Warning";

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& program : {kWindow, kSensorWindow, WindowsBuildFile("tests/win32/window_driver.exe")}) {
      if (!fs::exists(program)) GTEST_SKIP() << program << " was not built";
    }
    dir_ = FreshTestFolder("vorn_w32_");
    session_ = std::make_unique<WindowSession>(dir_, VORN_TEST_DPI);
    ASSERT_EQ(session_->problem, "");
  }
  void TearDown() override {
    session_.reset();
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // Every step of the driver went well.
  static void ExpectDone(const WindowRun& run, const std::vector<std::string>& steps) {
    for (const std::string& step : steps) {
      const auto times = static_cast<size_t>(std::count(steps.begin(), steps.end(), step));
      EXPECT_EQ(run.Starting("ok " + step + " ").size(), times) << step << "\n" << run.Text();
    }
    EXPECT_TRUE(run.Starting("fail").empty()) << run.Text();
    EXPECT_TRUE(run.Has("end")) << run.Text();
    EXPECT_FALSE(run.Has("killed")) << "the window closed by itself\n" << run.Text();
  }

  fs::path dir_;
  std::unique_ptr<WindowSession> session_;
};

#if VORN_TEST_DPI == 96

std::vector<std::string> TgxArgs(const WinePort& port) {
  return {"--device", "TGX:1.40", "--image", kTgxImage, "--link", port.link};
}

// The image in flash, the new firmware running and every setting the device held back in place.
void ExpectUpdated(const json& report) {
  EXPECT_TRUE(report["imageMatches"].get<bool>());
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_TRUE(report["firmware"]["intact"].get<bool>());
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
}


TEST_F(Win32Window, UpdatesATgxThroughThePickedComPortWithEverySettingBack) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  const std::vector<std::string> steps{kEraseWarning, "pick", "start", "finish", "close"};
  const WindowRun run = session_->Drive(kWindow, port.Name(), steps);
  ExpectDone(run, steps);
  // The only box of the run was the start-up's warning; the status line tells the success.
  EXPECT_EQ(run.Starting("box ").size(), 1U) << run.Text();
  EXPECT_EQ(run.Starting("status Successfully updated firmware in ").size(), 1U) << run.Text();
  const json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
}

// Return and Escape on the open port list pick or close the list and do nothing more; with
// the list closed, Escape is the Close button.
TEST_F(Win32Window, EnterAndEscapeOnTheOpenPortListOnlyCloseTheList) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  const std::vector<std::string> steps{kEraseWarning, "pick", "list-escape", "list-enter", "escape"};
  const WindowRun run = session_->Drive(kWindow, port.Name(), steps);
  ExpectDone(run, steps);
  EXPECT_EQ(run.Starting("box ").size(), 1U) << run.Text();
}

TEST_F(Win32Window, ClosingDuringARunIsRefusedAndTheRunFinishes) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  const std::vector<std::string> steps{kEraseWarning, "pick", "start", "close-during-run", "finish", "close"};
  const WindowRun run = session_->Drive(kWindow, port.Name(), steps);
  ExpectDone(run, steps);
  ExpectUpdated(sim.Stop());
}

TEST_F(Win32Window, AFailedUploadLeavesTheUnfinishedLineAndTheNextStartFinishes) {
  const WinePort port;
  std::vector<std::string> args = TgxArgs(port);
  args.insert(args.end(), {"--replug", "--fault", "hangup@write:200"});
  DevsimProcess sim(args);
  const std::vector<std::string> steps{kEraseWarning, "pick", "start", "fail", "unfinished-shown",
                                       "start", "finish", "unfinished-hidden", "close"};
  const WindowRun run = session_->Drive(kWindow, port.Name(), steps);
  ExpectDone(run, steps);
  EXPECT_EQ(run.Starting("box Firmware Upload Error: ").size(), 1U) << run.Text();
  const json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_EQ(report["injected"].size(), 1U) << report["injected"].dump();
}

TEST_F(Win32Window, UpdatesASkyra61BehindAFieldrex) {
  const WinePort port;
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "address=5", "--sensor-set",
                     "sn=S61-2207", "--image", kSensorImage, "--link", port.link});
  const std::vector<std::string> steps{"pick", "start", "finish", "close"};
  const WindowRun run = session_->Drive(kSensorWindow, port.Name(), steps);
  ExpectDone(run, steps);
  const json sensor = sim.Stop()["sensor"];
  EXPECT_TRUE(sensor["imageMatches"].get<bool>());
  EXPECT_EQ(sensor["version"], 150);
  EXPECT_EQ(sensor["address"], "5");
  EXPECT_EQ(sensor["serialNumber"], "S61-2207");
  EXPECT_EQ(sensor["type"], 93);
}

// The Help menu's web commands against the loopback web host: the version check offers a newer
// release (at start-up too, answered No so no browser opens) or says the one running is the
// latest; the feedback form sends what was typed in it, with plain line ends.
TEST_F(Win32Window, HelpMenuCommandsReachTheWebHost) {
  const WebServer server;
  server.Put("index.html", "<html>Tessaly</html>");
  setenv("VORNBSL_WEB_HOST", server.Url().c_str(), 1);
  constexpr char kNewer[] = "box New Version Available: There is information about a newer version of Pelloran TGX "
                            "Firmware Updater\\navailable at https://www.tessaly.example/tgx/news.html";
  constexpr char kLatest[] = "box Version Finder: You are using the latest version of Pelloran TGX Firmware Updater.";
  const struct {
    std::string versionFile;
    std::vector<std::string> steps;
    std::vector<std::string> boxes;  // the starts of the boxes seen after the start-up's warning, in order
    bool posts;
  } cases[] = {
      {"151\nhttps://www.tessaly.example/tgx/news.html\n",
       {kEraseWarning, "no:New Version Available", "menu:CheckforUpdates1", "no:New Version Available", "close"},
       {kNewer, kNewer}, false},
      {"1.50 https://software.tessaly.example/VornTGX-150.exe",
       {kEraseWarning, "menu:CheckforUpdates1", "dismiss:Version Finder", "close"}, {kLatest}, false},
      {"1.50 https://software.tessaly.example/VornTGX-150.exe",
       {kEraseWarning, "menu:SendFeedbacktoTessaly1", "feedback", "dismiss:Feedback Successfully Sent", "close"},
       {"box Feedback Successfully Sent: Thank you for submitting your General Feedback."}, true},
  };
  for (const auto& each : cases) {
    server.Put("versionfinder/TGXFirmware.txt", each.versionFile);
    const WindowRun run = session_->Drive(kWindow, "COM1", each.steps);
    ExpectDone(run, each.steps);
    std::vector<std::string> boxes = run.Starting("box ");
    ASSERT_FALSE(boxes.empty()) << run.Text();
    boxes.erase(boxes.begin());
    ASSERT_EQ(boxes.size(), each.boxes.size()) << run.Text();
    for (size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(boxes[i].rfind(each.boxes[i], 0), 0U) << run.Text();
    if (!each.posts) continue;
    const PostedForm posted = server.Posted();
    EXPECT_EQ(posted.path, "/php-bin/app_feedback.php");
    std::map<std::string, std::string> fields;
    for (const PostedPart& part : posted.parts) fields[part.name] = part.data;
    EXPECT_EQ(fields["Name"], "Ada Tester");
    EXPECT_EQ(fields["Email"], "ada@example.com");
    EXPECT_EQ(fields["Feedback"], "The window\nworks.");
    EXPECT_EQ(fields["Respond Via"], "Email");
  }
}

// What the installer leaves in the prefix's drive C: its folder's files, the shortcuts found
// under the Start menus (the machine's, or the user's where wine puts them).
std::vector<fs::path> Installed(const fs::path& driveC, const std::string& pattern) {
  std::vector<fs::path> found;
  std::error_code error;
  for (auto each = fs::recursive_directory_iterator(driveC, fs::directory_options::skip_permission_denied, error);
       each != fs::recursive_directory_iterator(); each.increment(error)) {
    const std::string path = each->path().string();
    if (path.find(pattern) != std::string::npos && each->is_regular_file(error)) found.push_back(each->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string WindowsPathOnC(const fs::path& driveC, const fs::path& file) {
  std::string text = "C:\\" + fs::relative(file, driveC).string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

std::string UninstallEntries() {
  const std::string query = WineCommandLine("reg", {"query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s"});
  std::string text;
  if (FILE* pipe = popen((query + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
    pclose(pipe);
  }
  return text;
}

int Msiexec(const std::string& action, const std::string& msi) {
  const std::string line = WineCommandLine("msiexec", {action, WindowsPath(msi), "/qn"}) + " >/dev/null 2>&1";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The installer as a person runs it silently: both windows and both command-line programs in
// Program Files, a Start-menu shortcut for each window that opens it, an uninstall entry; and
// uninstalled, nothing of it is left.
TEST_F(Win32Window, InstallerInstallsStartsAndUninstallsCleanly) {
  const std::string msi = WindowsBuildFile("VornBSL-" VORN_TEST_VERSION "-windows-x64.msi");
  if (!fs::exists(msi)) GTEST_SKIP() << msi << " was not built (wixl missing)";
  const fs::path driveC = fs::path(std::getenv("WINEPREFIX")) / "drive_c";
  (void)Msiexec("/x", msi);  // what a run that died left behind
  ASSERT_EQ(Msiexec("/i", msi), 0);

  const std::vector<fs::path> programs = Installed(driveC / "Program Files", "VornBSL/");
  std::vector<std::string> names;
  for (const fs::path& program : programs) names.push_back(program.filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"LICENSE.txt", "README.txt", "vornbsl-cli.exe", "vornbsl-sensor-cli.exe",
                                             "vornbsl-sensor.exe", "vornbsl.exe"}));
  const std::vector<fs::path> shortcuts = Installed(driveC, "Start Menu/Programs/VornBSL/");
  ASSERT_EQ(shortcuts.size(), 2U);
  EXPECT_EQ(shortcuts[0].filename(), "Pelloran TGX Firmware Updater.lnk");
  EXPECT_EQ(shortcuts[1].filename(), "SKYRA 61 Sensor Suite Firmware Updater.lnk");
  EXPECT_NE(UninstallEntries().find("VornBSL " VORN_TEST_VERSION), std::string::npos);

  // The instrument window's shortcut opens the installed window, whole.
  const WindowRun run = session_->CheckLayoutOf({"start", "/wait", WindowsPathOnC(driveC, shortcuts[0])}, {});
  EXPECT_TRUE(run.Has("end")) << run.Text();
  EXPECT_EQ(run.Starting("cut:").size(), 0U) << run.Text();

  ASSERT_EQ(Msiexec("/x", msi), 0);
  EXPECT_EQ(Installed(driveC / "Program Files", "VornBSL/").size(), 0U);
  EXPECT_EQ(Installed(driveC, "Start Menu/Programs/VornBSL/").size(), 0U);
  EXPECT_EQ(UninstallEntries().find("VornBSL " VORN_TEST_VERSION), std::string::npos);
}

#endif

// Every text of the window and every box fits whole at the prefix's DPI, measured by the
// window itself with the system's measures; with VORNBSL_SCREENSHOT_DIR its idle and
// mid-update pictures are kept there as PNG.
void ExpectLayoutFits(WindowSession& session, const std::string& program, const fs::path& dir) {
  const char* shots = std::getenv("VORNBSL_SCREENSHOT_DIR");
  const fs::path pictures = dir / "pictures";
  fs::create_directories(pictures);
  const WindowRun run = session.CheckLayout(program, pictures);
  EXPECT_TRUE(run.Has("end")) << run.Text();
  EXPECT_EQ(run.Starting("cut:").size(), 0U) << run.Text();
  for (const char* part : {"measured: idle", "measured: mid-update", "measured: with the unfinished-update line",
                           "measured: box Help", "measured: box Whose Settings", "measured: box Internet Access Error",
                           "measured: the feedback window"}) {
    EXPECT_TRUE(run.Has(part)) << part << "\n" << run.Text();
  }
  EXPECT_EQ(run.Starting("picture: ").size(), 2U) << run.Text();
  if (shots == nullptr) return;
  for (const fs::directory_entry& bmp : fs::directory_iterator(pictures)) {
    const fs::path png = fs::path(shots) / ("windows-" + bmp.path().stem().string() + ".png");
    const std::string convert = "python3 " + Quoted(std::string(VORN_SOURCE_DIR) + "/tests/win32/bmp_to_png.py") +
                                " " + Quoted(bmp.path().string()) + " " + Quoted(png.string());
    EXPECT_EQ(std::system(convert.c_str()), 0) << convert;
  }
}

#if VORN_TEST_DPI == 96
// The menus as the window shows them: a hidden item is not in its menu, a shown one in its
// place; factory mode puts the hidden Settings items back where they belong.
TEST_F(Win32Window, MenusShowOnlyWhatTheModeShowsInTableOrder) {
  const struct {
    std::string program;
    std::vector<std::string> arguments;
    std::vector<std::string> settings;  // the Settings menu, in order (its start, for the sensor menu)
    std::string alsoShown;               // a line further down
  } cases[] = {
      {kWindow, {}, {"VerboseErrorFile1 checked disabled", "ForceFindAllCommPorts1"}, ""},
      {kWindow, {"-factory"},
       {"VerboseErrorFile1 checked disabled", "ForceFindAllCommPorts1", "DontEraseData1", "ReplaceSerialNumber1"}, ""},
      {kSensorWindow, {"-factory"},
       {"VerboseErrorFile1 checked disabled", "ForceFindAllCommPorts1", "DontEraseData1", "ReplaceSerialNumber1",
        "SensorSeparator", "SetDigitalSensorto1 disabled", "SensorType122"},
       "menu: 1 SensorType93 checked"},
  };
  for (const auto& each : cases) {
    std::vector<std::string> command{each.program};
    command.insert(command.end(), each.arguments.begin(), each.arguments.end());
    const WindowRun run = session_->CheckLayoutOf(command, {});
    std::vector<std::string> settings;
    for (const std::string& line : run.Starting("menu: 1 ")) settings.push_back(line.substr(8));
    if (!each.alsoShown.empty()) {
      EXPECT_TRUE(run.Has(each.alsoShown)) << run.Text();
      settings.resize(std::min(settings.size(), each.settings.size()));
    }
    EXPECT_EQ(settings, each.settings) << each.program << "\n" << run.Text();
    const std::vector<std::string> file = run.Starting("menu: 0 ");
    EXPECT_EQ(file.size(), 3U) << "the dump is never shown\n" << run.Text();
    EXPECT_EQ(run.Starting("cut:").size(), 0U) << run.Text();
  }
}
#endif

TEST_F(Win32Window, InstrumentWindowFitsEveryTextAndBox) { ExpectLayoutFits(*session_, kWindow, dir_); }

TEST_F(Win32Window, SensorWindowFitsEveryTextAndBox) { ExpectLayoutFits(*session_, kSensorWindow, dir_); }

}  // namespace
