#include "win32/main_window_platform.h"

#include "log/win32_text.h"

#include <shlobj.h>
#include <shellapi.h>

#include <vector>

#include "log/win32_text.h"
#include "web/web_host.h"

namespace {

constexpr DWORD kPathChars = 32768;
constexpr wchar_t kVersionValue[] = L"\\StringFileInfo\\040904E4\\FileVersion";

std::wstring KeyPath() {
  return WideFromUtf8(std::string("Software\\") + kSettingsOrganisation + "\\" + kSettingsApplication);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The key, created when missing, closed at the end of the scope.
struct PreferencesKey {
  HKEY key = nullptr;
  PreferencesKey() {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath().c_str(), 0, nullptr, 0, KEY_READ | KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      key = nullptr;
    }
  }
  ~PreferencesKey() {
    if (key != nullptr) RegCloseKey(key);
  }
  PreferencesKey(const PreferencesKey&) = delete;
  PreferencesKey& operator=(const PreferencesKey&) = delete;
};

}  // namespace

std::string ProgramPath() {
  std::wstring path(kPathChars, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), kPathChars);
  path.resize(length);
  return Utf8FromWide(path);
}

std::string ProgramFileVersion() {
  const std::wstring path = WideFromUtf8(ProgramPath());
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), kVersionValue, reinterpret_cast<void**>(&value), &length) || value == nullptr) {
    return {};
  }
  return Utf8FromWide(std::wstring(value, wcsnlen(value, length)));
}

std::vector<std::string> Win32WindowPlatform::arguments() const {
  int count = 0;
  wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count && list != nullptr; ++i) arguments.push_back(Utf8FromWide(list[i]));
  LocalFree(list);
  return arguments;
}

std::optional<std::string> Win32WindowPlatform::environment(const std::string& name) const {
  const std::wstring wide = WideFromUtf8(name);
  const DWORD size = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(wide.c_str(), value.data(), size));
  return Utf8FromWide(value);
}

// The local application-data folder, where the command line keeps its data too.
std::string Win32WindowPlatform::userDataFolder() const {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path))) {
    folder = Utf8FromWide(path);
  }
  CoTaskMemFree(path);
  return folder;
}

std::string Win32WindowPlatform::programFolder() const { return FolderOf(ProgramPath()); }

std::string Win32WindowPlatform::currentFolder() const {
  std::wstring folder(kPathChars, L'\0');
  folder.resize(GetCurrentDirectoryW(kPathChars, folder.data()));
  return Utf8FromWide(folder);
}

std::optional<bool> Win32WindowPlatform::readFlag(const std::string& name) const {
  const PreferencesKey open;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (open.key == nullptr || RegGetValueW(open.key, nullptr, WideFromUtf8(name).c_str(), RRF_RT_REG_DWORD, nullptr,
                                          &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value != 0;
}

std::optional<std::string> Win32WindowPlatform::readText(const std::string& name) const {
  const PreferencesKey open;
  const std::wstring value = WideFromUtf8(name);
  DWORD size = 0;
  if (open.key == nullptr ||
      RegGetValueW(open.key, nullptr, value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(open.key, nullptr, value.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return Utf8FromWide(text);
}

void Win32WindowPlatform::writeFlag(const std::string& name, bool on) {
  const PreferencesKey open;
  const DWORD value = on ? 1 : 0;
  if (open.key != nullptr) {
    RegSetValueExW(open.key, WideFromUtf8(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
  }
}

void Win32WindowPlatform::writeText(const std::string& name, const std::string& text) {
  const PreferencesKey open;
  const std::wstring wide = WideFromUtf8(text);
  if (open.key != nullptr) {
    RegSetValueExW(open.key, WideFromUtf8(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  }
}

// About names the version the program's own version resource holds.
std::optional<std::string> Win32WindowPlatform::programVersion() const { return ProgramFileVersion(); }
