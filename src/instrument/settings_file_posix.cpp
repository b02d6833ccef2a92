#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "instrument/settings_file_platform.h"

namespace {

constexpr mode_t kFileMode = 0666;  // narrowed by the user's umask
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr size_t kReadChunk = 65536;

int Numbered(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return kFileMissing;
    case EACCES:
    case EPERM:
    case EISDIR: return kFileDenied;
    case EBADF: return kFileBadHandle;
    case EFBIG: return kFileTooLarge;
    default: return error;
  }
}

FileOutcome Failed(FileStage stage) { return FileOutcome{Numbered(errno), stage}; }

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t put = ::write(fd, contents.data(), contents.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    contents.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename itself is durable only once the folder's entry is on the disk.
void SyncFolder(const std::string& path) {
  const int fd = ::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

FileOutcome ReplaceFile(const std::string& path, std::string_view contents, Durability durability) {
  const bool flush = durability == Durability::kOnDisk;
  const std::string temporary = path + std::string(kTemporarySuffix);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
  if (fd < 0) return Failed(FileStage::kOpen);
  if (!WriteAll(fd, contents) || (flush && ::fsync(fd) != 0)) {
    const FileOutcome outcome = Failed(FileStage::kWrite);
    ::close(fd);
    ::unlink(temporary.c_str());
    return outcome;
  }
  if (::close(fd) != 0) {
    const FileOutcome outcome = Failed(FileStage::kWrite);
    ::unlink(temporary.c_str());
    return outcome;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const FileOutcome outcome = Failed(FileStage::kRename);
    ::unlink(temporary.c_str());
    return outcome;
  }
  if (flush) SyncFolder(path);
  return {};
}

FileOutcome ReadWholeFile(const std::string& path, std::string* contents, size_t maxBytes) {
  contents->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed(FileStage::kOpen);
  std::string chunk(kReadChunk, '\0');
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const FileOutcome outcome = Failed(FileStage::kRead);
      ::close(fd);
      return outcome;
    }
    if (got == 0) break;
    if (contents->size() + static_cast<size_t>(got) > maxBytes) {
      ::close(fd);
      contents->clear();
      return FileOutcome{kFileTooLarge, FileStage::kRead};
    }
    contents->append(chunk.data(), static_cast<size_t>(got));
  }
  ::close(fd);
  return {};
}
