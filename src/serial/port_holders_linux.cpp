// Telling busy ports from free ones for the port listing without changing any of them: no
// settings, no modem lines, no flushed input. Holders are looked for from outside first (the
// processes' open descriptors, their locks, UUCP lock files). Opening a tty raises DTR and RTS,
// and closing its last descriptor drops them again when HUPCL is set, so a port is opened only
// when some processes could not be looked at, and then only as far as its lock.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "serial/serial_platform.h"
#include "serial/serial_port.h"

namespace {

constexpr const char* kProcRoot = "/proc";
constexpr const char* kLockPrefix = "/LCK..";
constexpr const char* kDevPrefix = "/dev/";
constexpr size_t kLockFileMax = 64;

struct Candidate {
  std::string path;
  struct stat node {};
  int state = 0;  // 0 free so far, else the system error that marks the port
};

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

bool IsNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// A terminal is known by its device number, whatever name or link it was opened by.
bool SameFile(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) || S_ISCHR(b.st_mode)) {
    return S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev;
  }
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool AnyFree(const std::vector<Candidate>& candidates) {
  for (const Candidate& c : candidates) {
    if (c.state == 0) return true;
  }
  return false;
}

void MarkHeld(std::vector<Candidate>& candidates, const struct stat& open) {
  for (Candidate& c : candidates) {
    if (c.state == 0 && SameFile(c.node, open)) c.state = kSysPortInUse;
  }
}

void MarkDescriptorsOf(const std::string& fdDir, DIR* fds, std::vector<Candidate>& candidates) {
  while (const dirent* fd = readdir(fds)) {
    if (!IsNumber(fd->d_name)) continue;
    const std::string link = fdDir + "/" + fd->d_name;
    // Sockets, pipes and the like name no path: only a path can be a port.
    char first[1];
    if (readlink(link.c_str(), first, sizeof first) <= 0 || first[0] != '/') continue;
    struct stat open {};
    if (::stat(link.c_str(), &open) == 0) MarkHeld(candidates, open);
  }
}

// Marks the ports some process has open. False when some processes could not be looked at.
bool MarkOpenDescriptors(std::vector<Candidate>& candidates) {
  const Dir proc(opendir(kProcRoot));
  if (!proc) return false;
  bool sawAll = true;
  while (const dirent* process = readdir(proc.get())) {
    if (!IsNumber(process->d_name)) continue;
    const std::string fdDir = std::string(kProcRoot) + "/" + process->d_name + "/fd";
    const Dir fds(opendir(fdDir.c_str()));
    if (!fds) {
      if (errno != ENOENT) sawAll = false;  // another user's process; a vanished one holds nothing
      continue;
    }
    MarkDescriptorsOf(fdDir, fds.get(), candidates);
  }
  return sawAll;
}

// Locks taken on the device files (flock, as this driver takes them, or record locks), as
// the kernel lists them: "... MAJOR:MINOR:INODE ..." of the locked file, in hex, hex, decimal.
void MarkLocked(std::vector<Candidate>& candidates) {
  std::ifstream locks(std::string(kProcRoot) + "/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream words(line);
    std::string word;
    unsigned fsMajor = 0;
    unsigned fsMinor = 0;
    unsigned long long inode = 0;
    while (words >> word && std::sscanf(word.c_str(), "%x:%x:%llu", &fsMajor, &fsMinor, &inode) != 3) {
    }
    if (!words) continue;
    for (Candidate& c : candidates) {
      if (c.state == 0 && major(c.node.st_dev) == fsMajor && minor(c.node.st_dev) == fsMinor &&
          static_cast<unsigned long long>(c.node.st_ino) == inode) {
        c.state = kSysPortInUse;
      }
    }
  }
}

// The process a UUCP lock file names: ten ASCII columns, or a binary number in older files.
// 0 when the file names none that can be asked after.
long LockHolder(const std::string& file, bool* present) {
  std::ifstream in(file, std::ios::binary);
  *present = static_cast<bool>(in);
  if (!in) return 0;
  char bytes[kLockFileMax + 1] = {};
  in.read(bytes, kLockFileMax);
  const std::string text(bytes, static_cast<size_t>(in.gcount()));
  char* end = nullptr;
  const long pid = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str()) return pid;
  int32_t binary = 0;
  if (text.size() == sizeof binary) std::memcpy(&binary, text.data(), sizeof binary);
  return binary;
}

// A lock file counts while its process lives; one whose process cannot be named is taken as held.
bool LockFileHeld(const std::string& file) {
  bool present = false;
  const long pid = LockHolder(file, &present);
  if (!present) return false;
  if (pid <= 0) return true;
  if (pid > INT_MAX) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The names a lock file may go by: the port's own name, and its device under /dev with
// "/" written as "_" (pts_7).
std::vector<std::string> LockNames(const std::string& path) {
  std::vector<std::string> names{path.substr(path.rfind('/') + 1)};
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr && std::strncmp(resolved, kDevPrefix, std::strlen(kDevPrefix)) == 0) {
    std::string name = resolved + std::strlen(kDevPrefix);
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    if (name != names.front()) names.push_back(name);
  }
  return names;
}

void MarkLockFiles(std::vector<Candidate>& candidates, const std::vector<std::string>& lockDirs) {
  for (Candidate& c : candidates) {
    if (c.state != 0) continue;
    for (const std::string& name : LockNames(c.path)) {
      for (const std::string& dir : lockDirs) {
        if (LockFileHeld(dir + kLockPrefix + name)) c.state = kSysPortInUse;
      }
    }
  }
}

// Open, meet the lock, close: no settings, no flush. Only TIOCEXCL or a lock of a holder
// that could not be seen shows up here.
int ProbeByOpening(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PlatformErrorNumber(errno);
  const int locked = flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
  ::close(fd);  // the lock, if it was had, goes with it
  return locked == 0 ? 0 : PlatformErrorNumber(locked);
}

}  // namespace

std::vector<int> PlatformPortStates(const std::vector<std::string>& paths, const std::vector<std::string>& lockDirs) {
  std::vector<Candidate> candidates(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    Candidate& c = candidates[i];
    c.path = paths[i];
    if (::stat(c.path.c_str(), &c.node) != 0 || access(c.path.c_str(), R_OK | W_OK) != 0) {
      c.state = PlatformErrorNumber(errno);
    }
  }
  if (AnyFree(candidates)) {
    const bool sawAll = MarkOpenDescriptors(candidates);
    MarkLocked(candidates);
    MarkLockFiles(candidates, lockDirs);
    for (Candidate& c : candidates) {
      if (c.state == 0 && !sawAll) c.state = ProbeByOpening(c.path);
    }
  }
  std::vector<int> states;
  for (const Candidate& c : candidates) states.push_back(c.state);
  return states;
}
