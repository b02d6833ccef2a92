// Windows port discovery: the device manager's "Ports" class (port name, friendly name,
// instance ID), then the ports of HARDWARE\DEVICEMAP\SERIALCOMM it does not list, then
// COM1..COM16 where they open (wine lists a port mapped in its dosdevices folder in
// neither place); the busy probe is an exclusive open.
#include "log/win32_text.h"

#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

#include "serial/port_enum.h"
#include "serial/serial_platform.h"

namespace {

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr DWORD kPortNameBytes = 32;
constexpr DWORD kFriendlyNameChars = 65;
constexpr DWORD kInstanceIdChars = 65;
constexpr DWORD kValueNameChars = 256;
constexpr DWORD kDeviceTargetChars = 1024;  // QueryDosDevice's answer: the targets of one name
constexpr int kExtraPortBase = 1000;  // after every numbered port
constexpr int kOtherErrorBase = 1000;  // system errors the listing does not tell apart

// Closes the device list when the scope ends.
struct DeviceList {
  HDEVINFO value = INVALID_HANDLE_VALUE;
  ~DeviceList() {
    if (value != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(value);
  }
};

struct RegistryKey {
  HKEY value = nullptr;
  ~RegistryKey() {
    if (value != nullptr) RegCloseKey(value);
  }
};

// A name counts as a port when it reads "COM" and a digit: the number follows "COM".
bool PortNumberOf(const std::string& name, int* number) {
  if (name.size() <= 3 || name.compare(0, 3, "COM") != 0 || name[3] < '0' || name[3] > '9') return false;
  *number = std::atoi(name.c_str() + 3);
  return true;
}

std::string TextOf(const std::wstring& buffer) { return Utf8FromWide(buffer.c_str()); }

std::string DevicePortName(HDEVINFO list, SP_DEVINFO_DATA& device) {
  RegistryKey key;
  key.value = SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key.value == INVALID_HANDLE_VALUE) {
    key.value = nullptr;
    return "";
  }
  std::wstring value(kPortNameBytes / sizeof(wchar_t) + 1, L'\0');
  DWORD size = kPortNameBytes;
  DWORD type = 0;
  if (RegQueryValueExW(key.value, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return "";
  }
  return TextOf(value);
}

std::string FriendlyName(HDEVINFO list, SP_DEVINFO_DATA& device) {
  std::wstring value(kFriendlyNameChars + 1, L'\0');
  const DWORD bytes = kFriendlyNameChars * sizeof(wchar_t);
  if (!SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_FRIENDLYNAME, nullptr,
                                         reinterpret_cast<BYTE*>(value.data()), bytes, nullptr)) {
    return "";
  }
  return TextOf(value);
}

std::string InstanceId(HDEVINFO list, SP_DEVINFO_DATA& device) {
  std::wstring value(kInstanceIdChars + 1, L'\0');
  if (!SetupDiGetDeviceInstanceIdW(list, &device, value.data(), kInstanceIdChars, nullptr)) return "";
  return TextOf(value);
}

// The maker's cable adapter gets its label in the system's own device lists too. Without
// administrator rights the system refuses, which changes nothing else.
void WriteBackFriendlyName(HDEVINFO list, SP_DEVINFO_DATA& device, const FoundPort& port) {
  const std::string renamed = AdapterFriendlyName(port);
  if (renamed.empty()) return;
  const std::wstring wide = WideFromUtf8(renamed);
  const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
  SetupDiSetDeviceRegistryPropertyW(list, &device, SPDRP_FRIENDLYNAME,
                                    reinterpret_cast<const BYTE*>(wide.c_str()), bytes);
}

// The present devices of the "Ports" class, in the order the system gives.
void ListDeviceManagerPorts(std::vector<FoundPort>* ports) {
  GUID guid{};
  DWORD guids = 0;
  if (!SetupDiClassGuidsFromNameW(L"Ports", &guid, 1, &guids) || guids == 0) return;
  DeviceList list;
  list.value = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT);
  if (list.value == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(list.value, index, &device); ++index) {
    FoundPort port;
    port.name = DevicePortName(list.value, device).substr(0, kEntryNameMax);
    if (!PortNumberOf(port.name, &port.portNumber)) continue;
    port.friendlyName = FriendlyName(list.value, device);
    port.instanceId = InstanceId(list.value, device);
    WriteBackFriendlyName(list.value, device, port);
    ports->push_back(port);
  }
}

bool Listed(const std::vector<FoundPort>& ports, const std::string& name) {
  return std::any_of(ports.begin(), ports.end(), [&name](const FoundPort& p) { return p.name == name; });
}

// The serial ports the system has mapped, without names of their own.
void ListSerialCommPorts(std::vector<FoundPort>* ports) {
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key.value) != ERROR_SUCCESS) {
    key.value = nullptr;
    return;
  }
  for (DWORD index = 0;; ++index) {
    std::wstring valueName(kValueNameChars, L'\0');
    std::wstring data(kPortNameBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD nameChars = kValueNameChars;
    DWORD dataBytes = kPortNameBytes;
    DWORD type = 0;
    const LONG status = RegEnumValueW(key.value, index, valueName.data(), &nameChars, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &dataBytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    FoundPort port;
    port.name = TextOf(data).substr(0, kEntryNameMax);
    if (!PortNumberOf(port.name, &port.portNumber) || Listed(*ports, port.name)) continue;
    ports->push_back(port);
  }
}

// 0 when the port opens alone; kSysPortInUse when another program holds it.
int ProbeState(const std::string& path) {
  const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return 0;
  }
  switch (const DWORD error = GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_SEM_TIMEOUT: return kSysPortInUse;
    case ERROR_GEN_FAILURE: return kSysDeviceFailed;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return kSysPortMissing;
    default: return static_cast<int>(error) + kOtherErrorBase;
  }
}

// The numbered ports neither list named: one that opens, or that another program holds, is there.
void ListOpenablePorts(std::vector<FoundPort>* ports) {
  for (int number = 1; number <= kProbePortCount; ++number) {
    const std::string name = "COM" + std::to_string(number);
    if (Listed(*ports, name)) continue;
    const int state = ProbeState(kDevicePrefix + name);
    if (state != 0 && state != kSysPortInUse && state != kSysDeviceFailed) continue;
    FoundPort port;
    port.name = name;
    port.portNumber = number;
    ports->push_back(port);
  }
}

}  // namespace

std::vector<FoundPort> PlatformListPorts(const std::string&, const std::string&,
                                         const std::vector<std::string>& extraPorts) {
  std::vector<FoundPort> ports;
  ListDeviceManagerPorts(&ports);
  ListSerialCommPorts(&ports);
  ListOpenablePorts(&ports);
  int extra = kExtraPortBase;
  for (const std::string& name : extraPorts) {
    FoundPort port;
    port.name = name;
    if (!PortNumberOf(name, &port.portNumber)) port.portNumber = extra++;
    ports.push_back(port);
  }
  return ports;
}

// The probe's open decides whether a numbered port exists.
bool PlatformNativePortPresent(const std::string&, const std::string&) { return true; }

std::vector<int> PlatformPortStates(const std::vector<std::string>& paths, const std::vector<std::string>&) {
  std::vector<int> states;
  states.reserve(paths.size());
  for (const std::string& path : paths) states.push_back(ProbeState(path));
  return states;
}

// "COM3", "com3", "COM3:" and "\\.\COM12" name the same kind of device; every name opens
// through the device namespace so that COM10 and above open too.
std::string PlatformPortPath(const std::string&, const std::string& name) {
  std::string base = name;
  for (const char* prefix : {kDevicePrefix, "\\\\?\\", "//./"}) {
    if (base.rfind(prefix, 0) == 0) {
      base.erase(0, std::char_traits<char>::length(prefix));
      break;
    }
  }
  if (!base.empty() && base.back() == ':') base.pop_back();
  return kDevicePrefix + base;
}

std::string PlatformPortIdentity(const std::string& path) {
  const size_t prefix = path.rfind(kDevicePrefix, 0) == 0 ? std::char_traits<char>::length(kDevicePrefix) : 0;
  std::wstring name = WideFromUtf8(path.substr(prefix));
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
  std::wstring target(kDeviceTargetChars, L'\0');
  if (QueryDosDeviceW(name.c_str(), target.data(), kDeviceTargetChars) == 0) return kDevicePrefix + Utf8FromWide(name);
  return TextOf(target);  // the first target: the one an open reaches
}

std::string PlatformNativePortName(int number) { return "COM" + std::to_string(number); }
