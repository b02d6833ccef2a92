#include "wine_session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int kFirstPort = 10;  // two digits: the device namespace path is needed from COM10 on
constexpr int kLastPort = 16;   // the ports a probe of COM1..COM16 finds
constexpr auto kClaimRetry = std::chrono::milliseconds(200);
constexpr int kClaimTries = 3000;        // ten minutes of waiting for a free number
constexpr const char* kRunLimit = "600";  // seconds: a hung wine ends the run, not the suite

const fs::path& Prefix() {
  static const fs::path prefix = VORN_WINE_PREFIX;
  return prefix;
}

// Runs wine's programs as a user without root's overrides would: a root wineserver opens a
// terminal another program holds exclusively, and files whatever their modes.
std::string AsUser(const std::string& program) {
  if (::geteuid() != 0) return program;
  return "setpriv --bounding-set -sys_admin,-dac_override,-dac_read_search " + program;
}

std::string Quoted(const fs::path& path) { return ::Quoted(path.string()); }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Status(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

}  // namespace

std::string PrepareWine() {
  setenv("WINEPREFIX", Prefix().c_str(), 1);
  setenv("WINEARCH", "win64", 1);  // the programs are 64-bit; no 32-bit part is needed
  setenv("WINEDEBUG", "-all", 1);
  setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no installer prompts for Mono or Gecko
  const fs::path lockPath = Prefix().string() + ".lock";
  const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) return "cannot lock " + lockPath.string();
  std::string error;
  if (!fs::exists(Prefix() / "system.reg")) {
    const fs::path log = Prefix().string() + ".log";
    // wineboot's status tells nothing (a missing 32-bit part fails it); the registry the
    // wineserver writes when it ends says the prefix is whole.
    const std::string boot = "(" + AsUser("wineboot -i") + "; wineserver -w) >" + Quoted(log) + " 2>&1 </dev/null";
    (void)std::system(boot.c_str());
    if (!fs::exists(Prefix() / "system.reg")) {
      error = "wineboot failed:\n" + ReadFile(log);
    }
  }
  fs::create_directories(Prefix() / "vorn-claims");
  ::close(lock);
  return error;
}

WinePort::WinePort() {
  for (int tries = 0; tries < kClaimTries; ++tries) {
    for (int n = kFirstPort; n <= kLastPort; ++n) {
      const fs::path claimPath = Prefix() / "vorn-claims" / ("com" + std::to_string(n));
      const int fd = ::open(claimPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0) continue;
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        continue;
      }
      number = n;
      claim = fd;
      link = WineDeviceLink(n);
      ::unlink(link.c_str());  // what a test that died left behind
      return;
    }
    std::this_thread::sleep_for(kClaimRetry);
  }
  throw std::runtime_error("no free COM port number in the wine prefix");
}

WinePort::~WinePort() {
  if (!link.empty()) ::unlink(link.c_str());
  if (claim >= 0) ::close(claim);
}

std::string WineDeviceLink(int number) {
  return (Prefix() / "dosdevices" / ("com" + std::to_string(number))).string();
}

std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + fs::absolute(path).string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

std::string WineCommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string command = AsUser("wine") + " " + ::Quoted(program);
  for (const std::string& arg : args) command += " " + ::Quoted(arg);
  return command;
}

CliRun RunWindowsProgram(const std::string& program, const std::vector<std::string>& args,
                         const fs::path& folder) {
  const fs::path out = folder / "stdout.txt";
  const fs::path err = folder / "stderr.txt";
  std::string command = std::string("timeout -k 10 ") + kRunLimit + " " + WineCommandLine(program, args);
  // Files, not a pipe: wine's helper processes outlive the program and would hold a pipe open.
  command += " >" + Quoted(out) + " 2>" + Quoted(err) + " </dev/null";
  CliRun run;
  run.status = Status(std::system(command.c_str()));
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  return run;
}
