// tools/install-deps while another apt holds apt's locks (an unattended upgrade, another
// developer's install): it waits for them and then installs, where it used to fail at once with
// "Could not get lock". Real apt-get and its real locks, on a scratch package database: a copy of
// this machine's with one package missing, which a local repository offers (APT_CONFIG,
// DPKG_ADMINDIR). Unpacking is left out (apt's dpkg is a no-op there): the machine stays as it is.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "cli_process.h"
#include "test_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMissing = "tmux";  // one of the packages install-deps installs, a leaf
constexpr auto kListsHeld = std::chrono::seconds(2);
constexpr auto kDatabaseHeld = std::chrono::seconds(2);

// An fcntl lock on a file, as apt takes and tests its locks; released when it goes.
struct HeldLock {
  int fd = -1;
  explicit HeldLock(const fs::path& path) : fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640)) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_SETLK, &lock) != 0) ADD_FAILURE() << "cannot lock " << path;
  }
  ~HeldLock() { Release(); }
  void Release() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// The machine's package database without the stanza of `package`.
std::string DatabaseWithout(const std::string& package) {
  const std::string status = ReadText("/var/lib/dpkg/status");
  std::string kept;
  size_t from = 0;
  while (from < status.size()) {
    size_t end = status.find("\n\n", from);
    end = end == std::string::npos ? status.size() : end + 2;
    const std::string stanza = status.substr(from, end - from);
    if (stanza.rfind("Package: " + package + "\n", 0) != 0) kept += stanza;
    from = end;
  }
  return kept;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

TEST(InstallDeps, WaitsForAnotherAptAndThenInstalls) {
  // Under sudo the scratch database would not reach apt (its environment is reset).
  if (::geteuid() != 0) GTEST_SKIP() << "install-deps runs apt-get through sudo for other users";
  const fs::path root = FreshTestFolder("vorn_deps_");
  for (const char* dir : {"lists/partial", "cache/archives/partial", "dpkg/updates", "dpkg/info", "repo",
                          "parts", "stand-in/DEBIAN"}) {
    fs::create_directories(root / dir);
  }
  std::ofstream(root / "dpkg/status") << DatabaseWithout(kMissing);
  std::ofstream(root / "stand-in/DEBIAN/control") << "Package: " << kMissing
                                                   << "\nVersion: 99\nArchitecture: all\nMaintainer: Test "
                                                      "<test@localhost>\nDescription: stand-in\n";
  ASSERT_EQ(Shell("dpkg-deb --build " + Quoted((root / "stand-in").string()) + " " +
                  Quoted((root / "repo/stand-in.deb").string()) + " >/dev/null && cd " +
                  Quoted((root / "repo").string()) + " && dpkg-scanpackages . >Packages 2>/dev/null"),
            0);
  std::ofstream(root / "sources.list") << "deb [trusted=yes] copy:" << (root / "repo").string() << " ./\n";
  std::ofstream(root / "apt.conf") << "Dir::State::Lists \"" << (root / "lists").string() << "/\";\n"
                                   << "Dir::State::status \"" << (root / "dpkg/status").string() << "\";\n"
                                   << "Dir::Cache \"" << (root / "cache").string() << "/\";\n"
                                   << "Dir::Etc::SourceList \"" << (root / "sources.list").string() << "\";\n"
                                   << "Dir::Etc::SourceParts \"" << (root / "parts").string() << "/\";\n"
                                   << "Dir::Etc::PreferencesParts \"" << (root / "parts").string() << "/\";\n"
                                   << "Dir::Bin::dpkg \"/bin/true\";\n";
  setenv("APT_CONFIG", (root / "apt.conf").c_str(), 1);
  setenv("DPKG_ADMINDIR", (root / "dpkg").c_str(), 1);

  // Another apt updates the package lists, then installs.
  HeldLock lists(root / "lists/lock");
  HeldLock database(root / "dpkg/lock-frontend");
  const auto start = std::chrono::steady_clock::now();
  CliProcess deps(std::string(VORN_SOURCE_DIR) + "/tools/install-deps", {}, root / "stderr.txt");
  std::this_thread::sleep_for(kListsHeld);
  lists.Release();
  std::this_thread::sleep_for(kDatabaseHeld);
  database.Release();
  const int status = deps.Wait();
  const auto took = std::chrono::steady_clock::now() - start;
  const std::string err = ReadText(root / "stderr.txt");
  EXPECT_EQ(status, 0) << deps.seen << err;
  EXPECT_EQ(err.find("Could not get lock"), std::string::npos) << err;
  EXPECT_GE(took, kListsHeld + kDatabaseHeld);
  EXPECT_TRUE(fs::exists(root / "cache/archives" / (std::string(kMissing) + "_99_all.deb")))
      << "apt fetched the missing package once the locks were free\n" << deps.seen << err;
  if (!::testing::Test::HasFailure()) fs::remove_all(root);
}

}  // namespace
