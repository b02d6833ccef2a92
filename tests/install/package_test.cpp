// The Debian package as a person gets it: what its control file declares, what it unpacks,
// its windows starting and its command line updating a simulated device from the unpacked tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "devsim_process.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
const std::vector<std::string> kPrograms = {"vornbsl", "vornbsl-sensor", "vornbsl-cli", "vornbsl-sensor-cli"};
const std::vector<std::string> kWindows = {"vornbsl", "vornbsl-sensor"};
const std::vector<std::string> kIconSizes = {"48x48", "64x64", "128x128", "256x256"};
constexpr int kFirmwareVersion = 150;
constexpr const char* kWindowUpSeconds = "2";
constexpr int kTimeoutEnded = 124;  // timeout's status when it had to end the program

// The command line's manual pages and completion, in their places under /usr.
const std::vector<std::string> kCliDocuments = {
    "share/man/man1/vornbsl-cli.1.gz", "share/man/man1/vornbsl-sensor-cli.1.gz",
    "share/bash-completion/completions/vornbsl-cli", "share/bash-completion/completions/vornbsl-sensor-cli"};

// The one package the fixture made.
fs::path PackageFile() {
  std::vector<fs::path> found;
  std::error_code missing;
  for (const fs::directory_entry& entry : fs::directory_iterator(VORN_PACKAGE_DIR, missing)) {
    if (entry.path().extension() == ".deb") found.push_back(entry.path());
  }
  if (found.size() != 1) return {};
  return found.front();
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value of `key=` in a desktop entry, empty when there is none.
std::string EntryValue(const std::string& entry, const std::string& key) {
  std::istringstream lines(entry);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_package_");
    package_ = PackageFile();
    ASSERT_FALSE(package_.empty()) << "no single package in " << VORN_PACKAGE_DIR << " (ctest runs PackageBuild first)";
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  CliRun Run(const std::string& program, const std::vector<std::string>& args) const {
    return RunProgram(program, args, dir_ / "stderr.txt");
  }
  // Unpacks the package as dpkg would install it, under a scratch root.
  fs::path Unpack() const {
    const fs::path root = dir_ / "root";
    const CliRun run = Run("dpkg-deb", {"-x", package_.string(), root.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    return root;
  }

  fs::path dir_;
  fs::path package_;
};

TEST_F(Package, ControlFileNamesThePackageAndTheQtLibrariesItLinks) {
  const CliRun fields = Run("dpkg-deb", {"-f", package_.string(), "Package", "Version", "Maintainer", "Depends"});
  ASSERT_EQ(fields.status, 0) << fields.err;
  EXPECT_NE(fields.out.find("Package: vornbsl\n"), std::string::npos) << fields.out;
  EXPECT_NE(fields.out.find(std::string("Version: ") + VORN_VERSION + "\n"), std::string::npos) << fields.out;
  EXPECT_NE(fields.out.find("Maintainer: Tessaly Devices Inc <"), std::string::npos) << fields.out;
  for (const char* library : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6network6", "qt6-qpa-plugins"}) {
    EXPECT_NE(fields.out.find(library), std::string::npos) << library << " missing from\n" << fields.out;
  }

  // Joining dialout is the person's own step: the package runs no script that could change groups.
  const fs::path control = dir_ / "control";
  ASSERT_EQ(Run("dpkg-deb", {"-e", package_.string(), control.string()}).status, 0);
  for (const char* script : {"preinst", "postinst", "prerm", "postrm"}) {
    EXPECT_FALSE(fs::exists(control / script)) << script;
  }
}

TEST_F(Package, UnpacksTheProgramsWithTheirManualsCompletionDesktopEntriesAndIcons) {
  const fs::path root = Unpack();
  const fs::path usr = root / "usr";
  for (const std::string& program : kPrograms) {
    const fs::path path = usr / "bin" / program;
    EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_NE(fs::status(path).permissions() & fs::perms::others_exec, fs::perms::none) << path;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(usr / "bin"), fs::directory_iterator()),
            static_cast<std::ptrdiff_t>(kPrograms.size()))
      << "the simulator and the tests stay out of the package";

  for (const std::string& window : kWindows) {
    SCOPED_TRACE(window);
    const fs::path entry = usr / "share/applications" / (window + ".desktop");
    ASSERT_TRUE(fs::exists(entry));
    const std::string text = FileText(entry);
    EXPECT_EQ(EntryValue(text, "Exec"), window);
    EXPECT_EQ(EntryValue(text, "Icon"), window);
    EXPECT_TRUE(fs::exists(usr / "share/icons/hicolor/scalable/apps" / (window + ".svg")));
    for (const std::string& size : kIconSizes) {
      EXPECT_TRUE(fs::exists(usr / "share/icons/hicolor" / size / "apps" / (window + ".png"))) << size;
    }
    const CliRun valid = Run("desktop-file-validate", {entry.string()});
    EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    EXPECT_EQ(valid.out, "") << "desktop-file-validate warns";
  }
  for (const std::string& document : kCliDocuments) {
    EXPECT_TRUE(fs::exists(usr / document)) << document;
  }
  // The copyright file names the licence the README states.
  const std::string copyright = FileText(usr / "share/doc/vornbsl/copyright");
  EXPECT_NE(copyright.find("\nLicense: Expat\n"), std::string::npos) << copyright;
  EXPECT_NE(FileText(fs::path(VORN_SOURCE_DIR) / "README.md").find("MIT License"), std::string::npos);
  EXPECT_EQ(EntryValue(FileText(usr / "share/applications/vornbsl.desktop"), "Name"), "Pelloran TGX Firmware Updater");
  EXPECT_EQ(EntryValue(FileText(usr / "share/applications/vornbsl-sensor.desktop"), "Name"),
            "SKYRA 61 Sensor Suite Firmware Updater");
}

// lintian, Debian's own check of a package (policy, copyright file, changelog, manual pages and
// their compression, the control file), finds no error and no warning.
TEST_F(Package, LintianFindsNoErrorOrWarning) {
  const CliRun lint = Run("lintian", {"--fail-on", "error,warning", "--tag-display-limit", "0", package_.string()});
  EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
  std::istringstream tags(lint.out);
  for (std::string tag; std::getline(tags, tag);) {
    EXPECT_TRUE(tag.rfind("E: ", 0) != 0 && tag.rfind("W: ", 0) != 0) << tag;
  }
}

// Each installed window loads its Qt libraries and platform plugin and stays up: still running
// when `timeout` ends it (status 124), where a missing library or a crash at start ends it earlier.
TEST_F(Package, InstalledWindowsStartAndStayUp) {
  const fs::path bin = Unpack() / "usr/bin";
  const std::string home = (dir_ / "home").string();
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "VORNBSL_DATA_DIR"}) setenv(variable, home.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  for (const std::string& window : kWindows) {
    const CliRun run = Run("timeout", {kWindowUpSeconds, (bin / window).string()});
    EXPECT_EQ(run.status, kTimeoutEnded) << window << ": " << run.err;
  }
}

TEST_F(Package, InstalledCliUpdatesASimulatedTgxWithItsSettingsBack) {
  const fs::path bin = Unpack() / "usr/bin";
  for (const char* program : {"vornbsl-cli", "vornbsl-sensor-cli"}) {
    const CliRun version = Run((bin / program).string(), {"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, std::string(program) + " " + VORN_VERSION + "\n");
  }

  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile});
  const CliRun update = Run((bin / "vornbsl-cli").string(),
                            {"--data-dir", (dir_ / "data").string(), "update", "--port", sim.ptyPath, "--yes"});
  EXPECT_EQ(update.status, 0) << update.out << update.err;

  const json report = sim.Stop();
  EXPECT_TRUE(report["imageMatches"].get<bool>()) << report.value("firstImageMismatch", json()).dump();
  EXPECT_TRUE(report["vectorsWritten"].get<bool>());
  EXPECT_EQ(report["firmware"]["version"], kFirmwareVersion);
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
  ASSERT_TRUE(report["settings"].contains("before"));
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
}

}  // namespace
