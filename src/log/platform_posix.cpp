// POSIX side of the shared system calls.
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "log/platform.h"

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::filesystem::path PathFromUtf8(const std::string& path) { return std::filesystem::path(path); }

std::string Utf8FromPath(const std::filesystem::path& path) { return path.string(); }

std::string ShownPath(const std::string& path) { return path; }

bool RemoveFileUtf8(const std::string& path) {
  std::error_code error;
  std::filesystem::remove(PathFromUtf8(path), error);
  return !error;
}

int RenameReplacing(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int ShapeOfOpenFile(std::FILE* file, OpenFileShape* shape) {
  struct stat info {};
  if (fstat(fileno(file), &info) != 0) return errno;
  shape->directory = S_ISDIR(info.st_mode);
  shape->regular = S_ISREG(info.st_mode);
  shape->length = shape->regular ? static_cast<uint64_t>(info.st_size) : 0;
  return 0;
}

bool LocalTimeFields(std::time_t when, std::tm* fields) { return localtime_r(&when, fields) != nullptr; }

bool UtcTimeFields(std::time_t when, std::tm* fields) { return gmtime_r(&when, fields) != nullptr; }

int32_t LocalUtcOffsetSeconds() {
  std::tm local{};
  if (!LocalTimeFields(std::time(nullptr), &local)) return 0;
  return static_cast<int32_t>(local.tm_gmtoff);
}

