#include "web/web_settings_win32.h"

#include "log/win32_text.h"
#include "web/web_host.h"

namespace {

std::wstring KeyPath(const std::string& group) {
  return WideFromUtf8(std::string("Software\\") + kSettingsOrganisation + "\\" + group);
}

}  // namespace

std::optional<std::string> RegistryWebSettings::read(const std::string& group, const std::string& name) const {
  const std::wstring key = KeyPath(group);
  const std::wstring value = WideFromUtf8(name);
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return Utf8FromWide(text);
}

void RegistryWebSettings::write(const std::string& group, const std::string& name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(group).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::wstring text = WideFromUtf8(value);
  RegSetValueExW(key, WideFromUtf8(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}
