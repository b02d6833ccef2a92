// Windows side of the shared system calls: wide paths at the system boundary.
#include "log/win32_text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "log/platform.h"

namespace {

constexpr int32_t kSecondsPerMinute = 60;

}  // namespace

// Windows refuses to open a folder as "access denied"; callers tell a folder apart as POSIX does.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
  const std::wstring wide = WideFromUtf8(path);
  std::FILE* file = _wfopen(wide.c_str(), WideFromUtf8(mode).c_str());
  if (file == nullptr && errno == EACCES) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) errno = EISDIR;
  }
  return file;
}

std::filesystem::path PathFromUtf8(const std::string& path) { return std::filesystem::path(WideFromUtf8(path)); }

std::string Utf8FromPath(const std::filesystem::path& path) { return Utf8FromWide(path.wstring()); }

std::string ShownPath(const std::string& path) {
  std::string shown = path;
  std::replace(shown.begin(), shown.end(), '/', '\\');
  return shown;
}

bool RemoveFileUtf8(const std::string& path) {
  std::error_code error;
  std::filesystem::remove(PathFromUtf8(path), error);
  return !error;
}

int RenameReplacing(const std::string& from, const std::string& to) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), flags) ? 0
                                                                                   : static_cast<int>(GetLastError());
}

int ShapeOfOpenFile(std::FILE* file, OpenFileShape* shape) {
  struct _stat64 info {};
  if (_fstat64(_fileno(file), &info) != 0) return errno;
  shape->directory = (info.st_mode & _S_IFMT) == _S_IFDIR;
  shape->regular = (info.st_mode & _S_IFMT) == _S_IFREG;
  shape->length = shape->regular ? static_cast<uint64_t>(info.st_size) : 0;
  return 0;
}

bool LocalTimeFields(std::time_t when, std::tm* fields) { return localtime_s(fields, &when) == 0; }

bool UtcTimeFields(std::time_t when, std::tm* fields) { return gmtime_s(fields, &when) == 0; }

// The bias is minutes UTC is ahead of local time; daylight time adds its own bias.
int32_t LocalUtcOffsetSeconds() {
  DYNAMIC_TIME_ZONE_INFORMATION zone{};
  const DWORD state = GetDynamicTimeZoneInformation(&zone);
  if (state == TIME_ZONE_ID_INVALID) return 0;
  LONG bias = zone.Bias;
  if (state == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (state == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  return -static_cast<int32_t>(bias) * kSecondsPerMinute;
}

