#include <algorithm>
#include <memory>

#include "log/win32_text.h"
#include "web/computer_information.h"
#include "web/web_platform.h"
#include "web/web_text.h"

namespace {

constexpr DWORD kReadChunk = 64 * 1024;
constexpr DWORD kMaxPathChars = 32768;  // the longest path Windows names

using NtVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);

struct CloseHandleDeleter {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, CloseHandleDeleter>;

// The feedback form tells a file in use and a missing file by Windows' own words for them,
// which wine words otherwise ("Sharing violation.").
std::string FileErrorText(DWORD error) {
  switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "The process cannot access the file because it is being used by another process.";
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
    default: return {};
  }
}

// The system's own words for an error number.
std::string SystemMessage(DWORD error) {
  if (std::string known = FileErrorText(error); !known.empty()) return known;
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Trimmed(Utf8FromWide(std::wstring_view(buffer, length))) : std::string();
  LocalFree(buffer);
  return text.empty() ? "Windows error " + std::to_string(error) + "." : text;
}

}  // namespace

std::string ComputerInformation() {
  // GetVersionEx tells a program without a manifest an older version; the kernel's own call does not.
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  const auto rtlGetVersion =
      reinterpret_cast<NtVersion>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (rtlGetVersion == nullptr || rtlGetVersion(&version) != 0) return WindowsComputerInformation(0, 0, 0, 0, {});
  return WindowsComputerInformation(static_cast<int>(version.dwPlatformId), static_cast<int>(version.dwMajorVersion),
                                    static_cast<int>(version.dwMinorVersion), static_cast<int>(version.dwBuildNumber),
                                    Utf8FromWide(version.szCSDVersion));
}

std::string ProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got == 0) return {};
    if (got < path.size()) return Utf8FromWide(std::wstring_view(path.data(), got));
    if (path.size() >= kMaxPathChars) return {};
    path.resize(path.size() * 2);
  }
}

bool ReadFileBytes(const std::string& path, int64_t maxBytes, std::string& bytes, std::string& failure) {
  // Others may go on writing the file (the error file of a running update); it is read as it stands.
  const HANDLE opened = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    failure = SystemMessage(GetLastError());
    return false;
  }
  const FileHandle file(opened);
  bytes.clear();
  std::string chunk(kReadChunk, '\0');
  while (static_cast<int64_t>(bytes.size()) <= maxBytes) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk.data(), kReadChunk, &got, nullptr)) {
      failure = SystemMessage(GetLastError());
      return false;
    }
    if (got == 0) break;
    bytes.append(chunk.data(), got);
  }
  if (static_cast<int64_t>(bytes.size()) > maxBytes + 1) bytes.resize(static_cast<size_t>(maxBytes + 1));
  return true;
}
