// vornbsl-cli.exe and vornbsl-sensor-cli.exe, cross-built for Windows, run under wine with
// the Windows serial driver against the Linux simulator behind a COM port of the wine prefix.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings_archive.h"
#include "devsim_process.h"
#include "network_server.h"
#include "terminal_session.h"
#include "test_folder.h"
#include "web_support/web_server.h"
#include "wine_session.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kTgxImage = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
const std::string kSensorImage = std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt";
const std::string kCli = std::string(VORN_WINDOWS_BUILD_DIR) + "/src/cli/vornbsl-cli.exe";
const std::string kSensorCli = std::string(VORN_WINDOWS_BUILD_DIR) + "/src/cli/vornbsl-sensor-cli.exe";
constexpr const char* kUnusedPort = "COM99";  // no link in the prefix

class WindowsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    // A native build pointed at a cross build that has not built the programs yet has nothing to run.
    for (const std::string& program : {kCli, kSensorCli}) {
      if (!fs::exists(program)) GTEST_SKIP() << program << " was not built";
    }
    const std::string problem = PrepareWine();
    ASSERT_EQ(problem, "");
    dir_ = FreshTestFolder("vorn_win_");
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // One run of a program, in a folder of its own so every run's streams are kept.
  CliRun Run(const std::string& program, std::vector<std::string> args) {
    const fs::path folder = dir_ / ("run" + std::to_string(++runs_));
    fs::create_directories(folder);
    args.insert(args.begin(), {"--data-dir", WindowsPath(dir_ / "data")});
    return RunWindowsProgram(program, args, folder);
  }
  CliRun Update(const std::string& port) { return Run(kCli, {"update", "--port", port, "--yes"}); }

  fs::path dir_;
  int runs_ = 0;
};

std::vector<std::string> TgxArgs(const WinePort& port) {
  return {"--device", "TGX:1.40", "--image", kTgxImage, "--link", port.link};
}

// The simulator's report of a whole update: the image in flash, the new firmware running and
// every setting the device held back in place.
void ExpectUpdated(const json& report) {
  EXPECT_TRUE(report["imageMatches"].get<bool>());
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_TRUE(report["firmware"]["intact"].get<bool>());
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
  EXPECT_NE(report["instrument"]["clockSet"], nullptr);
}

int BytesReceived(const json& report) {
  int received = 0;
  for (const json& rate : report["traffic"]) received += rate["received"].get<int>();
  return received;
}

// The paths in a text that start at a drive ("Z:\...", up to the closing quote or the line's
// end) and have a "/" in them: Windows shows "\" only.
std::vector<std::string> MixedPaths(const std::string& text) {
  std::vector<std::string> mixed;
  for (size_t at = text.find("Z:\\"); at != std::string::npos; at = text.find("Z:\\", at + 1)) {
    const std::string path = text.substr(at, text.find_first_of("\"\r\n", at) - at);
    if (path.find('/') != std::string::npos) mixed.push_back(path);
  }
  return mixed;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(WindowsCli, UpdatesATgxThroughAComPortWithEverySettingBack) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  const CliRun run = Update(port.Name());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Successfully updated the Pelloran TGX on " + port.Name() + " to TGX 1.50."),
            std::string::npos)
      << run.out;
  const json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
}

// A port on a network serial server (ser2net on loopback), through Winsock: the whole update, and
// servers that are not there told with the URL and the reason.
TEST_F(WindowsCli, UpdatesATgxOnANetworkPortAndTellsBadServers) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kTgxImage});
  const Ser2NetServer server({sim.ptyPath}, dir_);
  const CliRun run = Update(server.Url());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Successfully updated the Pelloran TGX on " + server.Url() + " to TGX 1.50."),
            std::string::npos)
      << run.out;
  const json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();

  const struct {
    std::string port;
    int status;
    std::string told;
  } cases[] = {
      {LoopbackUrl(FreeTcpPort()), 1, "the server refused the connection"},
      {"rfc2217://no-such-host.invalid:4001", 1, "does not resolve"},
      {"rfc2217://127.0.0.1", 2, "it has no port number"},
  };
  for (const auto& c : cases) {
    const CliRun bad = Update(c.port);
    EXPECT_EQ(bad.status, c.status) << c.port << "\n" << bad.err;
    EXPECT_NE(bad.err.find(c.port), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find(c.told), std::string::npos) << bad.err;
  }
}

TEST_F(WindowsCli, AnUploadCutByAHangUpResumesOnTheNextRun) {
  const WinePort port;
  std::vector<std::string> args = TgxArgs(port);
  args.insert(args.end(), {"--replug", "--fault", "hangup@write:200"});
  DevsimProcess sim(args);
  const CliRun first = Update(port.Name());
  EXPECT_EQ(first.status, 1) << first.out << first.err;
  // The hang-up is told at once, as a failed read, not waited out as silence.
  EXPECT_NE(first.err.find("Firmware Upload Error: "), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("[Error -21]"), std::string::npos) << first.err;
  // The settings archive of the Windows program holds what the next run needs, and lists it.
  const std::vector<ArchiveEntry> kept = ListArchive((dir_ / "data").string());
  ASSERT_EQ(kept.size(), 1U);
  EXPECT_EQ(kept[0].state, ArchiveState::kUnfinished);
  EXPECT_EQ(kept[0].serial, "TGX-014577");
  const CliRun listed = Run(kCli, {"settings", "list", "--json"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("\"serialNumber\":\"TGX-014577\""), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\"state\":\"unfinished\""), std::string::npos) << listed.out;

  // Every path shown is a Windows path: in the run's messages, the listing, the archive's answer
  // to an ID it does not hold, and the error file.
  const CliRun unknown = Run(kCli, {"settings", "show", "999"});
  EXPECT_EQ(unknown.status, 1);
  const std::string shown = first.out + first.err + listed.out + unknown.err +
                            ReadText(dir_ / "data" / "Pelloran TGX Firmware Updater.errors.txt");
  EXPECT_GE(Count(shown, "Z:\\"), 4U) << shown;
  EXPECT_EQ(MixedPaths(shown), std::vector<std::string>{}) << shown;

  const CliRun second = Update(port.Name());
  EXPECT_EQ(second.status, 0) << second.out << second.err;
  const json report = sim.Stop();
  ExpectUpdated(report);
  EXPECT_EQ(report["injected"].size(), 1U) << report["injected"].dump();
  const std::vector<ArchiveEntry> after = ListArchive((dir_ / "data").string());
  ASSERT_EQ(after.size(), 1U);
  EXPECT_EQ(after[0].state, ArchiveState::kRestored);
}

TEST_F(WindowsCli, ListsTheMappedComPort) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  const CliRun run = Run(kCli, {"ports"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(port.Name()), std::string::npos) << run.out;
}

TEST_F(WindowsCli, UpdatesASkyra61BehindAFieldrex) {
  const WinePort port;
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "address=5", "--sensor-set",
                     "sn=S61-2207", "--image", kSensorImage, "--link", port.link});
  const CliRun run = Run(kSensorCli, {"update", "--port", port.Name(), "--type", "93", "--yes"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Successfully updated the SKYRA 61 Sensor Suite on "), std::string::npos) << run.out;
  const json report = sim.Stop();
  const json& sensor = report["sensor"];
  EXPECT_TRUE(sensor["imageMatches"].get<bool>());
  EXPECT_EQ(sensor["version"], 150);
  EXPECT_EQ(sensor["address"], "5");
  EXPECT_EQ(sensor["serialNumber"], "S61-2207");
  EXPECT_EQ(sensor["type"], 93);
}

TEST_F(WindowsCli, TakesAPortNameInEveryFormAPersonTypes) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  const std::string number = std::to_string(port.number);
  for (const std::string& name : {"com" + number, "COM" + number, "\\\\.\\COM" + number, "COM" + number + ":"}) {
    const CliRun run = Run(kCli, {"identify", "--port", name});
    EXPECT_EQ(run.status, 0) << name << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find("name: Pelloran TGX"), std::string::npos) << name << "\n" << run.out;
  }
}

// A file the user may not open for writing: what Windows answers for it is the answer of a
// port another program holds.
fs::path ForbiddenFile(const fs::path& folder) {
  const fs::path file = folder / "forbidden";
  std::ofstream(file) << "not a port\n";
  fs::permissions(file, fs::perms::none);
  return file;
}

TEST_F(WindowsCli, APortItCannotUseIsToldPlainlyAndNothingIsSent) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  // Another program holds the device's terminal exclusively.
  const int holder = ::open(port.link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
  const WinePort forbidden;
  fs::create_symlink(ForbiddenFile(dir_), forbidden.link);

  const std::string inUse = "\" is already in use by another application.";
  struct Case {
    std::string port;
    std::string message;
  };
  const Case cases[] = {
      {port.Name(), "Comm Port \"" + port.Name() + inUse},
      {forbidden.Name(), "Comm Port \"" + forbidden.Name() + inUse},
      {kUnusedPort, "Comm Port \"" + std::string(kUnusedPort) + "\" isn't available."},
      {"\\\\.\\" + std::string(kUnusedPort), "isn't available."},
      {"no such port", "Comm Port \"no such port\" isn't available."},
  };
  // Every command that opens a port tells why it could not, in the same words.
  for (const Case& c : cases) {
    for (const std::string command : {"update", "identify", "loader-upload"}) {
      std::vector<std::string> args = {command, "--port", c.port};
      if (command == "update") args.push_back("--yes");
      const CliRun run = Run(kCli, args);
      EXPECT_EQ(run.status, 1) << command << " " << c.port << "\n" << run.out << run.err;
      EXPECT_NE(run.err.find(c.message), std::string::npos) << command << " " << c.port << "\n" << run.err;
    }
  }
  ::close(holder);
  const json report = sim.Stop();
  EXPECT_EQ(BytesReceived(report), 0) << report["traffic"].dump();
}

// Two names of one COM port are refused before anything starts: the device hears nothing, and
// no update runs beside another on it to fail as "in use".
TEST_F(WindowsCli, TwoNamesOfOnePortAreRefusedBeforeAnythingStarts) {
  const WinePort port;
  DevsimProcess sim(TgxArgs(port));
  const std::string number = std::to_string(port.number);
  const std::vector<std::vector<std::string>> pairs = {{"com" + number, "COM" + number},
                                                       {"\\\\.\\COM" + number, "COM" + number + ":"}};
  for (const std::vector<std::string>& names : pairs) {
    const CliRun run = Run(kCli, {"update", "--port", names[0], "--port", names[1], "--yes"});
    EXPECT_EQ(run.status, 2) << names[0] << " " << names[1] << "\n" << run.out << run.err;
    EXPECT_NE(run.err.find("name the same port"), std::string::npos) << run.err;
  }
  EXPECT_EQ(BytesReceived(sim.Stop()), 0);
}

// In a console (wine's, in a real terminal) the bar is redrawn in place through the console's
// own calls: no escape shows as text, no earlier stage's words stay on the line; Ctrl+C's answer
// stands whole on a line of its own, never mixed with the other lines written at that moment.
TEST_F(WindowsCli, AConsoleRedrawsTheBarInPlaceAndCtrlCAnswersOnALineOfItsOwn) {
  const WinePort port;
  std::vector<std::string> args = TgxArgs(port);
  args.insert(args.end(), {"--adapter-latency", "3"});  // an upload long enough to be interrupted
  DevsimProcess sim(args);
  constexpr int kColumns = 100;
  constexpr int kWaitSeconds = 120;
  const TerminalSession console(
      WineCommandLine(kCli, {"--data-dir", WindowsPath(dir_ / "data"), "update", "--port", port.Name(), "--yes"}),
      dir_, kColumns);
  ASSERT_TRUE(console.WaitFor("%  Uploading new firmware code...", kWaitSeconds)) << console.Screen();
  console.Keys("C-c");
  EXPECT_EQ(console.WaitExit(kWaitSeconds), 130);
  const std::string screen = console.Screen();
  EXPECT_EQ(screen.find("[K"), std::string::npos) << screen;
  // A bar line: the bar, its percentage and one stage text (each ends in "..."), perhaps the
  // terminal's echo of the key.
  const std::regex bar(R"(\[[#-]{30}\] +(\d+)%  [A-Z][^\[\]]*\.\.\.(\^C)?)");
  std::istringstream lines(screen);
  int bars = 0, lastPercent = -1;
  bool notice = false;
  for (std::string line; std::getline(lines, line) && line.rfind("Cancelled: ", 0) != 0;) {
    notice = notice || line == "Stopping at the next point where the update can stop safely...";
    if (line.find("%  ") == std::string::npos) continue;
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, bar)) << line;
    if (!match.empty()) lastPercent = std::stoi(match[1]);
    ++bars;
  }
  EXPECT_GT(bars, 0) << screen;
  EXPECT_TRUE(notice) << screen;
  EXPECT_GT(lastPercent, 0) << "the bar stays where the upload stood\n" << screen;
  EXPECT_NE(screen.find("\nCancelled: The Pelloran TGX is in its firmware loader"), std::string::npos) << screen;
}

// The Windows build's help and the release's README.txt speak Windows (COM names, its folders,
// its exit statuses) and name only programs the build made and commands they can run.
TEST_F(WindowsCli, HelpAndReadmeSpeakWindowsAndNameOnlyWhatTheBuildHolds) {
  const std::string readme = ReadText(std::string(VORN_WINDOWS_BUILD_DIR) + "/README.txt");
  ASSERT_FALSE(readme.empty()) << "the build writes README.txt for the release";
  for (const std::string& program : {kCli, kSensorCli}) {
    const CliRun help = Run(program, {"--help"});
    ASSERT_EQ(help.status, 0) << help.err;
    for (const std::string& text : {help.out, readme}) {
      for (const char* linux : {"/dev", "ttyUSB", "ttyS", "$VORNBSL", "XDG_", "~/", "SIGTERM", "143"}) {
        EXPECT_EQ(text.find(linux), std::string::npos) << linux << " in\n" << text;
      }
      EXPECT_NE(text.find("COM3"), std::string::npos) << text;
    }
    EXPECT_NE(help.out.find("%LOCALAPPDATA%\\Tessaly\\VornBSL"), std::string::npos) << help.out;
    // A command is listed exactly when the program can run it.
    const CliRun check = Run(program, {"check-version", "--host", "http://127.0.0.1:9"});
    const bool runs = check.err.find("not in this build") == std::string::npos;
    EXPECT_EQ(help.out.find("check-version") != std::string::npos, runs) << help.out << check.err;
    EXPECT_EQ(readme.find("check-version") != std::string::npos, runs) << readme;
  }
  // Every program the README names was built.
  std::set<std::string> built;
  const fs::path programs = std::string(VORN_WINDOWS_BUILD_DIR) + "/src";
  for (const fs::directory_entry& file : fs::recursive_directory_iterator(programs)) {
    if (file.path().extension() == ".exe") built.insert(file.path().filename().string());
  }
  const std::regex program(R"([a-z-]+\.exe)");
  for (auto it = std::sregex_iterator(readme.begin(), readme.end(), program); it != std::sregex_iterator(); ++it) {
    EXPECT_EQ(built.count(it->str()), 1U) << it->str() << " is named in README.txt but was not built";
  }
}

// check-version through WinHTTP against the loopback web host (wine programs reach it as
// any program does): each outcome told as the Linux command line tells it.
TEST_F(WindowsCli, ChecksTheVersionWithTheWebHost) {
  const WebServer server;
  const std::string versionFile = "versionfinder/TGXFirmware.txt";
  const std::string refusing = "http://127.0.0.1:" + std::to_string(UnusedPort());
  struct Case {
    std::string answer;  // the version file; empty: none
    std::string host;
    int status;
    std::vector<std::string> told;  // on stdout when it succeeds, else on stderr
  };
  const Case cases[] = {
      {"1.50 https://software.tessaly.example/VornTGX-150.exe", server.Url(), 0,
       {"current: 1.50", "Version Finder: You are using the latest version of Pelloran TGX Firmware Updater.",
        "latest: 1.50"}},
      {"151\nhttps://www.tessaly.example/tgx/news.html\n", server.Url(), 0,
       {"New Version Available: There is information about a newer version of Pelloran TGX Firmware Updater",
        "latest: 1.51", "url: https://www.tessaly.example/tgx/news.html"}},
      // A host that takes the request and never answers; VORNBSL_WEB_TIMEOUT shortens the wait.
      {"", server.Url() + "/stall", 1,
       {"Version Check Error: Error connecting to Tessaly's version check service.",
        "Error: The web host did not answer within 2 seconds."}},
      {"", refusing, 1,
       {"Version Check Error: Error connecting to Tessaly's version check service.", "(WinHTTP error 12029)"}},
  };
  setenv("VORNBSL_WEB_TIMEOUT", "2", 1);
  for (const Case& c : cases) {
    if (!c.answer.empty()) server.Put(versionFile, c.answer);
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = Run(kCli, {"check-version", "--host", c.host});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << c.host;
    EXPECT_EQ(run.status, c.status) << c.host << "\n" << run.out << run.err;
    for (const std::string& text : c.told) {
      const std::string& stream = c.status == 0 ? run.out : run.err;
      EXPECT_NE(stream.find(text), std::string::npos) << text << "\n" << stream;
    }
  }
  unsetenv("VORNBSL_WEB_TIMEOUT");
}

}  // namespace
