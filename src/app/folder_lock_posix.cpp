#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "app/folder_lock_platform.h"

namespace {

constexpr mode_t kLockFileMode = 0666;  // narrowed by the user's umask
constexpr size_t kLockTextMax = 4096;

}  // namespace

LockTry LockFileExclusive(const std::string& path, LockHandle* handle, int* error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode);
  if (fd < 0) {
    *error = errno;
    return LockTry::kFailed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int failed = errno;
    ::close(fd);
    if (failed == EWOULDBLOCK) return LockTry::kHeldElsewhere;
    *error = failed;
    return LockTry::kFailed;
  }
  *handle = fd;
  return LockTry::kTaken;
}

void WriteLockText(LockHandle handle, const std::string& text) {
  const int fd = static_cast<int>(handle);
  if (::ftruncate(fd, 0) != 0) return;
  if (::pwrite(fd, text.data(), text.size(), 0) < 0) return;
}

std::string ReadLockText(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text(kLockTextMax, '\0');
  const ssize_t got = ::pread(fd, text.data(), text.size(), 0);
  ::close(fd);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

void UnlockFile(LockHandle handle) {
  const int fd = static_cast<int>(handle);
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

std::string ProcessName() {
  char path[PATH_MAX];
  const ssize_t got = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (got <= 0) return "VornBSL";
  const std::string whole(path, static_cast<size_t>(got));
  return whole.substr(whole.rfind('/') + 1);
}

long ProcessNumber() { return static_cast<long>(::getpid()); }
