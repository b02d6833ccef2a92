// vornbsl-cli as scripts see it: exit codes, messages, the dump and the
// loader upload with plain progress lines against a scripted loader.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <map>

#include "bsl/builtin_image.h"
#include "app/settings_archive.h"
#include "cli_process.h"
#include "bsl/host_bsl.h"
#include "pty_pair.h"
#include "devsim_process.h"
#include "scripted_device.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vorn-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  CliRun Run(const std::vector<std::string>& args) const { return RunProgram(VORN_CLI_PATH, args, dir / "stderr.txt"); }
  std::string DataDir() const { return (dir / "data").string(); }

  fs::path dir;
};

TEST_F(Cli, VersionHelpAndBadUsage) {
  EXPECT_EQ(Run({"--version"}).out, std::string("vornbsl-cli ") + VORN_VERSION_TEXT + "\n");
  const CliRun help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("loader-upload --port PORT"), std::string::npos);
  // Every option the commands take is explained on a line of its own.
  for (const char* option : {"--port PORT ", "--yes ", "--no ", "--factory ", "--repair ", "--firmware FILE ",
                             "--new-sn SN ", "--no-erase ", "ports --all ", "--data-dir DIR ", "--version ",
                             "--help "}) {
    EXPECT_NE(help.out.find(std::string("\n  ") + option), std::string::npos) << option;
  }
  // check-version is explained exactly when this build can run it.
  const bool checks = Run({"check-version", "--host", "http://127.0.0.1:9"}).err.find("not in this build") ==
                      std::string::npos;
  EXPECT_EQ(help.out.find("\n  check-version --host URL\n") != std::string::npos, checks) << help.out;
  EXPECT_EQ(Run({}).status, 2);
  EXPECT_EQ(Run({"frobnicate"}).status, 2);
  EXPECT_EQ(Run({"--data-dir", DataDir(), "dump"}).status, 2);
  EXPECT_EQ(Run({"--data-dir", DataDir(), "dump", "x.txt", "--firmware"}).status, 2);
  EXPECT_EQ(Run({"--data-dir", DataDir(), "loader-upload"}).status, 2);
}

TEST_F(Cli, DumpWritesTheHeldImageAndCreatesTheErrorFile) {
  const std::string builtIn = (dir / "builtin.txt").string();
  ASSERT_EQ(Run({"--data-dir", DataDir(), "dump", builtIn}).status, 0);
  HostBSL engine(nullptr, BuiltInFirmware());
  const std::string expected = (dir / "expected.txt").string();
  ASSERT_EQ(BSLWriteTIFile(engine, expected), 1);
  EXPECT_EQ(ReadFile(builtIn), ReadFile(expected));
  EXPECT_TRUE(fs::exists(dir / "data" / "Pelloran TGX Firmware Updater.errors.txt"));

  const std::string release = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
  const std::string loaded = (dir / "loaded.txt").string();
  ASSERT_EQ(Run({"--data-dir", DataDir(), "dump", loaded, "--firmware", release}).status, 0);
  EXPECT_EQ(ReadFile(loaded), ReadFile(expected));
}

TEST_F(Cli, AFirmwareFileThatCannotBeLoadedFailsWithItsCode) {
  const std::string out = (dir / "out.txt").string();
  std::ofstream(dir / "bad.txt") << "not firmware";
  CliRun run = Run({"--data-dir", DataDir(), "dump", out, "--firmware", (dir / "bad.txt").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "File Error: The file \"bad.txt\" is not a valid firmware file. Please choose a new firmware "
                     "file to open. [Error -100]\n");
  EXPECT_FALSE(fs::exists(out));
}

// A file the system would not open, read or write is told with the system's reason in words
// after the number: a missing file or folder, a full disk.
TEST_F(Cli, AFileTheSystemRefusesIsToldWithItsReason) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"dump", (dir / "out.txt").string(), "--firmware", (dir / "missing.txt").string()},
       "File Error: The Pelloran TGX Firmware Updater could not opening \"missing.txt\". Please try again. Error -2 "
       "No such file or folder.\n"},
      {{"dump", (dir / "no" / "dir.txt").string()}, "Error: Error saving firmware image: -2 No such file or folder.\n"},
      {{"dump", "/dev/full"}, "Error: Error saving firmware image: -28 The disk is full.\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--data-dir", DataDir()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = Run(args);
    EXPECT_EQ(run.status, 1) << c.err;
    EXPECT_EQ(run.err, c.err);
  }
}

// A path that names no regular file is refused at once: a pipe would otherwise hold the
// program for ever, waiting for a writer. A link to a firmware file loads as the file.
TEST_F(Cli, AFirmwarePathThatIsNoFileIsRefusedAtOnce) {
  const fs::path fifo = dir / "pipe.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(dir / "folder.txt");
  fs::create_symlink(std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt", dir / "TGX 1.50.txt");
  struct Case {
    fs::path path;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {fifo, 1, "The file \"pipe.txt\" is not a valid firmware file. Please choose a new firmware file to open. It "
                "is a named pipe, not a file. [Error -100]"},
      {"/dev/null", 1, "It is a device, not a file. [Error -100]"},
      {dir / "folder.txt", 1, "Error -21 It is a folder, not a file."},
      {dir / "TGX 1.50.txt", 0, ""},
  };
  for (const Case& c : cases) {
    const CliRun run = Run({"--data-dir", DataDir(), "dump", (dir / "out.txt").string(), "--firmware", c.path.string()});
    EXPECT_EQ(run.status, c.status) << c.path;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

// At a terminal the erase warning asks; "y" goes on (to a port that is not there), anything
// else declines, and Ctrl+C at the question cancels with nothing changed.
TEST_F(Cli, AtATerminalTheEraseWarningAsksWhetherToGoOn) {
  struct Case {
    const char* reply;  // typed at the question; null: Ctrl+C instead
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"y\n", 1, "Connection Error: "},
      {"\n", 1, "vornbsl-cli: the update was not started: the erase of the measurement data was declined."},
      {"no\n", 1, "the erase of the measurement data was declined."},
      {nullptr, 130, "Cancelled: the Pelloran TGX was not changed."},
  };
  const std::string prompt = "Go on and erase the measurement data? [y/N] ";
  for (const Case& c : cases) {
    PtyPair terminal;
    CliProcess cli(VORN_CLI_PATH, {"--data-dir", DataDir(), "update", "--port", "/dev/vorn-no-such-port"},
                   dir / "prompt.err", terminal.slavePath);
    std::string err;
    for (int i = 0; i < 200 && err.find(prompt) == std::string::npos; ++i) {
      usleep(20000);
      err = ReadText(dir / "prompt.err");
    }
    ASSERT_NE(err.find("Data Erase Warning: WARNING: The Pelloran TGX Firmware Updater will erase all measurement "
                       "data stored in your Pelloran TGX. Please download any data you want to save before "
                       "continuing.\n" + prompt),
              std::string::npos)
        << err;
    if (c.reply != nullptr) {
      terminal.Send(c.reply);
    } else {
      kill(cli.pid, SIGINT);
    }
    EXPECT_EQ(cli.Wait(), c.status) << (c.reply ? c.reply : "Ctrl+C");
    err = ReadText(dir / "prompt.err");
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

// The settings were read from the device but the data folder would not take them: the run
// stops before the device is changed and names the file, not the device, as the trouble.
TEST_F(Cli, ASettingsFileThatCannotBeWrittenStopsTheRunAndSaysWhere) {
  DevsimProcess sim({"--device", "TGX:1.40"});
  // Its temporary file is a folder: no one, root included, can write the settings there.
  fs::create_directories(dir / "data" / "Pelloran TGX.settings.capture.txt.tmp");
  const CliRun run = Run({"--data-dir", DataDir(), "update", "--port", sim.ptyPath, "--yes"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Settings Error: The Pelloran TGX Firmware Updater could not write the settings file for "
                         "your Pelloran TGX: \"" + DataDir() + "/Pelloran TGX.settings.capture.txt\" The folder is "
                         "read-only, or the file may not be written there. Nothing on your Pelloran TGX was changed."),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("could not retrieve"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("Starting the firmware loader"), std::string::npos) << run.out;
  const nlohmann::json report = sim.Stop();
  EXPECT_EQ(report["firmware"]["version"], 140);
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
  EXPECT_EQ(report["instrument"]["erasures"], 0);
}

TEST_F(Cli, AMissingPortIsToldAsSuchByEveryCommand) {
  const CliRun run = Run({"--data-dir", DataDir(), "loader-upload", "--port", "/dev/vorn-no-such-port"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "stage: Starting the firmware loader...\n");
  EXPECT_EQ(run.err, "Connection Error: Comm Port \"/dev/vorn-no-such-port\" isn't available. Please choose a new "
                     "Comm Port to use. [Error -2]\n");
  const CliRun identify = Run({"--data-dir", DataDir(), "identify", "--port", "/dev/vorn-no-such-port"});
  EXPECT_EQ(identify.status, 1);
  EXPECT_EQ(identify.err, run.err);
}

// Rebuilds the image text from the "@" and "W" frames a loader received.
std::string Uploaded(const std::vector<std::string>& frames) {
  std::string text;
  for (const std::string& frame : frames) {
    const std::string body = frame.substr(0, frame.rfind('.'));
    if (body[0] == '@') text += body;
    if (body[0] == 'W') text += body.substr(1);
  }
  return text;
}

TEST_F(Cli, LoaderUploadSendsTheWholeImageWithPlainProgressLines) {
  PtyPair pty;
  ScriptedDevice device(pty, [](const std::string& m) {
    if (m.rfind("boot ", 0) == 0) return std::string("OK\r");
    if (m == "\r") return std::string("$");
    if (m == "P") return std::string("#");
    if (m[0] == 'g') return std::string("+3+\r");
    return std::string(m[0] == 'V' ? "+" : "+\r");
  });
  const CliRun run = Run({"--data-dir", DataDir(), "loader-upload", "--port", pty.slavePath});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::vector<std::string> stages;
  std::string line;
  int lastPercent = -1;
  bool ordered = true;
  while (std::getline(lines, line)) {
    if (line.rfind("stage: ", 0) == 0) {
      stages.push_back(line.substr(7));
      lastPercent = -1;
    } else if (line.rfind("progress: ", 0) == 0) {
      const int percent = std::stoi(line.substr(10));
      ordered = ordered && percent > lastPercent && percent <= 100;
      lastPercent = percent;
    } else {
      ADD_FAILURE() << "unexpected line " << line;
    }
  }
  EXPECT_TRUE(ordered) << run.out;
  EXPECT_EQ(stages, (std::vector<std::string>{"Starting the firmware loader...", "Erasing firmware memory...",
                                              "Uploading new firmware code...",
                                              "Restarting the Pelloran TGX, please wait..."}));
  const std::vector<std::string> frames = device.Texts();
  EXPECT_EQ(Uploaded(frames), BuiltInFirmware().text);
  size_t erases = 0;
  for (const std::string& frame : frames) erases += frame[0] == 'X';
  EXPECT_EQ(erases, 3u + 431u) << "INFO segments, then the flash without the loader's area";
  EXPECT_EQ(frames.back()[0], 'V');
}

TEST_F(Cli, UpdateRunsTheWholeSequenceWithPlainProgressLines) {
  DevsimProcess sim({"--device", "TGX:1.40"});
  const CliRun run = Run({"--data-dir", DataDir(), "update", "--port", sim.ptyPath, "--yes"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* line : {"stage: Connecting to Pelloran TGX...\n", "stage: Uploading new firmware code...\n",
                           "progress: 21\n", "progress: 92\n", "progress: 100\n",
                           "Successfully updated the Pelloran TGX on "}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }
  const nlohmann::json report = sim.Stop();
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
}

TEST_F(Cli, UpdateQuestionsAreAnsweredByTheFlagsAndFailuresGoToStderr) {
  struct Case {
    std::vector<std::string> simArgs;
    std::vector<std::string> flags;
    std::string stderrStart;  // where the run stopped: the warning's answer or a box
    std::string stderrPart;
  };
  const std::string warning = "Data Erase Warning: WARNING: The Pelloran TGX Firmware Updater will erase all "
                              "measurement data stored in your Pelloran TGX. Please download any data you want to "
                              "save before continuing.\n";
  // Repair mode has no erase warning, so the device's own questions come up.
  const Case cases[] = {
      {{"--device", "TGX:1.40"}, {"--no"}, warning, "the update was not started: --no declines the erase"},
      {{"--device", "TGX:1.40"}, {}, warning, "no terminal to ask whether the measurement data may be erased; add --yes"},
      {{"--device", "TGX:1.51"}, {"--repair", "--no"}, "Newer Firmware: The firmware in your Pelloran TGX is newer", ""},
      {{"--device", "TGX:1.51"}, {"--repair"}, "Newer Firmware: ", "[Cancel: no terminal to ask"},
      {{"--device", "MQ2"}, {"--yes"}, warning,
       "Wrong Device: The Pelloran TGX Firmware Updater expected to find a Pelloran TGX;"},
  };
  for (const Case& c : cases) {
    DevsimProcess sim(c.simArgs);
    std::vector<std::string> args = {"--data-dir", DataDir(), "update", "--port", sim.ptyPath};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const CliRun run = Run(args);
    EXPECT_EQ(run.status, 1) << c.stderrStart;
    EXPECT_EQ(run.err.rfind(c.stderrStart, 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.stderrPart), std::string::npos) << run.err;
    EXPECT_EQ(sim.Stop()["firmware"]["version"].get<int>() == 150, false) << "nothing was updated";
  }
}

// Three devices at once, the middle one refusing a block of the upload: it alone fails, the
// others are updated with their settings back, and the shared outputs stay whole and tagged.
TEST_F(Cli, SeveralPortsAreUpdatedAtOnceAndOneFailureFailsOnlyItsPort) {
  const std::string image = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
  DevsimProcess good1({"--device", "TGX:1.40", "--image", image, "--unit", "1"});
  DevsimProcess bad({"--device", "TGX:1.40", "--image", image, "--unit", "2", "--fault", "nak@write:300x3"});
  DevsimProcess good2({"--device", "TGX:1.40", "--image", image, "--unit", "3"});
  const std::vector<std::string> ports = {good1.ptyPath, bad.ptyPath, good2.ptyPath};
  const CliRun run = Run({"--data-dir", DataDir(), "update", "--port", ports[0], "--port", ports[1], "--port",
                          ports[2], "--yes"});
  EXPECT_EQ(run.status, 1) << run.err;

  for (DevsimProcess* sim : {&good1, &good2}) {
    const nlohmann::json report = sim->Stop();
    EXPECT_EQ(report["imageMatches"], true) << sim->ptyPath;
    EXPECT_EQ(report["firmware"]["version"], 150) << sim->ptyPath;
    EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << sim->ptyPath;
    EXPECT_NE(run.out.find(sim->ptyPath + ": Successfully updated the Pelloran TGX on " + sim->ptyPath), std::string::npos)
        << run.out;
  }
  EXPECT_NE(bad.Stop()["firmware"]["version"], 150);
  EXPECT_NE(run.out.find(ports[1] + ": Failed to update the Pelloran TGX on " + ports[1] + ".\n"), std::string::npos)
      << run.out;
  const std::string warning = "Data Erase Warning: WARNING: The Pelloran TGX Firmware Updater will erase all "
                              "measurement data stored in your Pelloran TGX. Please download any data you want to "
                              "save before continuing.\n";
  EXPECT_EQ(run.err.rfind(warning + ports[1] + ": Firmware Upload Error: ", 0), 0u) << run.err;

  // Every stdout line names its port; the failed device's settings wait for it in the archive,
  // under its serial number, and no settings file is left in the data folder.
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    const bool tagged = std::any_of(ports.begin(), ports.end(), [&](const std::string& port) {
      return line.rfind(port + ": ", 0) == 0;
    });
    EXPECT_TRUE(tagged) << line;
  }
  const std::vector<ArchiveEntry> archive = ListArchive(DataDir());
  ASSERT_EQ(archive.size(), 3u);
  std::map<std::string, ArchiveState> states;
  for (const ArchiveEntry& entry : archive) states[entry.serial] = entry.state;
  EXPECT_EQ(states["TGX-015579"], ArchiveState::kUnfinished) << "unit 2's settings wait for it";
  EXPECT_EQ(states["TGX-015578"], ArchiveState::kRestored);
  EXPECT_EQ(states["TGX-015580"], ArchiveState::kRestored);
  for (const fs::directory_entry& file : fs::directory_iterator(dir / "data")) {
    EXPECT_EQ(file.path().filename().string().find(".settings."), std::string::npos) << file.path();
  }

  // The error file: every entry is whole (ends in CR LF, starts with a time stamp) and names its port.
  const std::string errors = ReadFile(dir / "data" / "Pelloran TGX Firmware Updater.errors.txt");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.substr(errors.size() - 2), "\r\n");
  std::map<std::string, int> entries;
  size_t from = 0;
  for (size_t end; (end = errors.find("\r\n", from)) != std::string::npos; from = end + 2) {
    const std::string entry = errors.substr(from, end - from);
    const size_t open = entry.find(" - [");
    const size_t close = entry.find("] ", open);
    ASSERT_TRUE(open != std::string::npos && close != std::string::npos) << entry;
    const std::string port = entry.substr(open + 4, close - open - 4);
    ASSERT_NE(std::find(ports.begin(), ports.end(), port), ports.end()) << entry;
    ++entries[port];
  }
  EXPECT_EQ(entries.size(), ports.size());
  EXPECT_NE(errors.find("[" + ports[1] + "] ErrorOK Told User:: "), std::string::npos);
}

// Two names of one device (a link and the terminal it leads to, a path through "..") are refused
// before anything starts: the device hears nothing, and no second update fails as "in use" beside
// the first.
TEST_F(Cli, TwoNamesOfOneDeviceAreRefusedBeforeAnythingStarts) {
  const std::string link = (dir / "tgx-link").string();
  DevsimProcess sim({"--device", "TGX:1.40", "--link", link});
  const std::vector<std::vector<std::string>> pairs = {{link, sim.ptyPath},
                                                       {sim.ptyPath, "/dev/../dev/" + sim.ptyPath.substr(5)}};
  for (const std::vector<std::string>& names : pairs) {
    const CliRun run =
        Run({"--data-dir", DataDir(), "update", "--port", names[0], "--port", names[1], "--yes"});
    EXPECT_EQ(run.status, 2) << names[0] << " " << names[1];
    EXPECT_NE(run.err.find("--port " + names[0] + " and --port " + names[1] + " name the same port (" + sim.ptyPath +
                           "): each --port must name a different port"),
              std::string::npos)
        << run.err;
  }
  const nlohmann::json report = sim.Stop();
  int received = 0;
  for (const nlohmann::json& rate : report["traffic"]) received += rate["received"].get<int>();
  EXPECT_EQ(received, 0);
}

// Beside other running updates nobody is prompted: a question without --yes or --no is a Cancel.
TEST_F(Cli, SeveralPortsAnswerQuestionsOnlyByTheFlags) {
  DevsimProcess first({"--device", "TGX:1.51"});
  DevsimProcess second({"--device", "TGX:1.51"});
  const CliRun run =
      Run({"--data-dir", DataDir(), "update", "--port", first.ptyPath, "--port", second.ptyPath, "--repair"});
  EXPECT_EQ(run.status, 1);
  for (DevsimProcess* sim : {&first, &second}) {
    EXPECT_NE(run.err.find(sim->ptyPath + ": Newer Firmware: "), std::string::npos) << run.err;
    EXPECT_NE(sim->Stop()["firmware"]["version"], 150) << "nothing was updated";
  }
  EXPECT_NE(run.err.find("[Cancel: several devices at once, use --yes or --no]"), std::string::npos) << run.err;
}

TEST_F(Cli, SeveralPortsRefuseWhatOnlyOneDeviceCanTake) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--port", "ttyUSB0", "--port", "/dev/ttyUSB0"}, "each --port must name a different port"},
      {{"--port", "ttyUSB0", "--port", "ttyUSB1", "--new-sn", "TGX-1"}, "--new-sn takes a single --port"},
      {{"--port", "ttyUSB0", "--port"}, "--port needs a value"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--data-dir", DataDir(), "update"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = Run(args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

}  // namespace
