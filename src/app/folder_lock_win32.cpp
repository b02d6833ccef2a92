#include "log/win32_text.h"

#include "app/folder_lock_platform.h"

namespace {

// The lock covers one byte far past the text, so others can read who holds it.
constexpr DWORD kLockOffsetHigh = 1;
constexpr DWORD kLockTextMax = 4096;

HANDLE Handle(LockHandle handle) { return reinterpret_cast<HANDLE>(handle); }

OVERLAPPED LockRange() {
  OVERLAPPED range{};
  range.OffsetHigh = kLockOffsetHigh;
  return range;
}

}  // namespace

LockTry LockFileExclusive(const std::string& path, LockHandle* handle, int* error) {
  const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = static_cast<int>(GetLastError());
    return LockTry::kFailed;
  }
  OVERLAPPED range = LockRange();
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
    const DWORD failed = GetLastError();
    CloseHandle(file);
    if (failed == ERROR_LOCK_VIOLATION || failed == ERROR_IO_PENDING) return LockTry::kHeldElsewhere;
    *error = static_cast<int>(failed);
    return LockTry::kFailed;
  }
  *handle = reinterpret_cast<LockHandle>(file);
  return LockTry::kTaken;
}

void WriteLockText(LockHandle handle, const std::string& text) {
  const HANDLE file = Handle(handle);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  SetEndOfFile(file);
}

std::string ReadLockText(const std::string& path) {
  const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string text(kLockTextMax, '\0');
  DWORD got = 0;
  if (!ReadFile(file, text.data(), kLockTextMax, &got, nullptr)) got = 0;
  CloseHandle(file);
  text.resize(got);
  return text;
}

void UnlockFile(LockHandle handle) {
  const HANDLE file = Handle(handle);
  OVERLAPPED range = LockRange();
  UnlockFileEx(file, 0, 1, 0, &range);
  CloseHandle(file);
}

std::string ProcessName() {
  wchar_t path[MAX_PATH];
  const DWORD got = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (got == 0 || got >= MAX_PATH) return "VornBSL";
  const std::string whole = Utf8FromWide(std::wstring(path, got));
  return whole.substr(whole.find_last_of("\\/") + 1);
}

long ProcessNumber() { return static_cast<long>(GetCurrentProcessId()); }
