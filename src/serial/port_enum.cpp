#include "serial/port_enum.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "serial/network_port_name.h"
#include "serial/serial_platform.h"

namespace {

constexpr const char* kCableAdapterLabel = "VANTO USB Adapter";
constexpr const char* kRadioAdapterLabel = "Tessaly USB Rq4";
constexpr const char* kBusySuffix = " (busy)";

bool Contains(const std::string& text, const char* piece) { return text.find(piece) != std::string::npos; }

std::string Cut(const std::string& text, size_t max) { return text.substr(0, max); }

// The maker's cable adapter: "PID_8414\" in the instance ID with "TESSALY_UXA" after it.
bool IsCableAdapter(const std::string& instanceId, std::string* after) {
  const size_t pid = instanceId.find("PID_8414\\");
  if (pid == std::string::npos) return false;
  *after = instanceId.substr(pid + 9);
  return Contains(*after, "TESSALY_UXA");
}

void MarkBusy(CommPortEntry& entry) {
  entry.description = Cut(entry.description + kBusySuffix, kEntryDescriptionMax);
  entry.busy = true;
}

bool HasPortNumber(const std::vector<CommPortEntry>& table, int number) {
  return std::any_of(table.begin(), table.end(), [number](const CommPortEntry& e) { return e.portNumber == number; });
}

std::string DevicePath(const PortSources& sources, const std::string& name) {
  return PlatformPortPath(sources.devRoot, name);
}

// Every listed port that cannot be had right now is marked busy; the look changes no port.
// A network port is not asked: only a connection would tell, and it would take the port.
void MarkBusyPorts(const PortSources& sources, std::vector<CommPortEntry>* table) {
  std::vector<std::string> paths;
  std::vector<CommPortEntry*> local;
  for (CommPortEntry& entry : *table) {
    if (IsNetworkPortName(entry.name)) continue;
    paths.push_back(DevicePath(sources, entry.name));
    local.push_back(&entry);
  }
  const std::vector<int> states = PlatformPortStates(paths, sources.lockDirs);
  for (size_t i = 0; i < local.size(); ++i) {
    if (states[i] != 0) MarkBusy(*local[i]);
  }
}

// Where the extra port starting at `start` ends: at the next colon, except that a network port's
// URL keeps the colons of its scheme, of an IPv6 host and before its port number.
size_t ExtraPortEnd(const std::string& list, size_t start) {
  if (!IsNetworkPortName(list.substr(start))) return list.find(':', start);
  size_t host = start + std::string_view(kNetworkPortScheme).size();
  if (host < list.size() && list[host] == '[') host = std::min(list.find(']', host), list.size());
  const size_t portColon = list.find(':', host);
  return portColon == std::string::npos ? portColon : list.find(':', portColon + 1);
}

// The numbered native ports 1..16: ttyS0..ttyS15 on Linux, COM1..COM16 on Windows.
void ProbeNativePorts(const PortSources& sources, std::vector<CommPortEntry>* table, size_t capacity, int* result) {
  std::vector<int> numbers;
  std::vector<std::string> paths;
  for (int n = 1; n <= kProbePortCount; ++n) {
    const std::string name = PlatformNativePortName(n);
    if (HasPortNumber(*table, n) || !PlatformNativePortPresent(sources.sysfsRoot, name)) continue;
    numbers.push_back(n);
    paths.push_back(DevicePath(sources, name));
  }
  const std::vector<int> states = PlatformPortStates(paths, sources.lockDirs);
  for (size_t i = 0; i < numbers.size() && table->size() < capacity; ++i) {
    const int error = states[i];
    const bool busy = error == kSysPortInUse || error == kSysPermission || error == kSysDeviceFailed;
    if (error != 0 && !busy) continue;
    const std::string name = PlatformNativePortName(numbers[i]);
    CommPortEntry entry;
    entry.name = name;
    entry.portNumber = numbers[i];
    entry.description = name + " Communications Port" + (busy ? kBusySuffix : "");
    entry.busy = busy;
    table->push_back(entry);
    *result = 1;
  }
}

}  // namespace

PortSources DefaultPortSources() {
  PortSources sources;
  if (const char* extra = std::getenv("VORNBSL_EXTRA_PORTS")) sources.extraPorts = SplitExtraPorts(extra);
  return sources;
}

std::vector<std::string> SplitExtraPorts(const std::string& list) {
  std::vector<std::string> ports;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(ExtraPortEnd(list, start), list.size());
    if (end > start) ports.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return ports;
}

std::string DescribePort(const FoundPort& port) {
  if (IsNetworkPortName(port.name)) return port.name;  // the URL says all there is to say
  if (port.friendlyName.empty()) return Cut(port.name + " Communications Port", kEntryDescriptionMax);
  std::string friendly = port.friendlyName;
  const size_t com = friendly.find("(COM");
  if (com != std::string::npos) friendly = friendly.substr(0, com > 0 ? com - 1 : 0);
  std::string after;
  if ((Contains(friendly, "Tessaly USB") || Contains(friendly, "Tessaly UXA")) &&
      IsCableAdapter(port.instanceId, &after)) {
    const size_t bracket = after.find('[');
    if (bracket != std::string::npos) {
      return Cut(port.name + " " + kCableAdapterLabel + " " + after.substr(bracket), kEntryDescriptionMax);
    }
    return Cut(port.name + " " + kCableAdapterLabel, kEntryDescriptionMax);
  }
  return Cut(port.name + " " + friendly, kEntryDescriptionMax);
}

std::string AdapterFriendlyName(const FoundPort& port) {
  std::string after;
  if (port.friendlyName.empty() || !IsCableAdapter(port.instanceId, &after)) return "";
  if (!Contains(port.friendlyName, "Tessaly USB") && !Contains(port.friendlyName, "Tessaly UXA")) return "";
  const size_t bracket = after.find('[');
  if (bracket != std::string::npos) {
    return Cut(std::string(kCableAdapterLabel) + " " + after.substr(bracket) + " (" + port.name + ")",
               kEntryDescriptionMax);
  }
  return Cut(std::string(kCableAdapterLabel) + " (" + port.name + ")", kEntryDescriptionMax);
}

void ApplyAdapterRules(CommPortEntry& entry) {
  entry.notRadio = true;
  entry.notCableAdapter = true;
  if (Contains(entry.description, "Tessaly UXA") || Contains(entry.description, kCableAdapterLabel)) {
    entry.notCableAdapter = false;
  } else if (Contains(entry.description, "MaxStream PKG-U") || Contains(entry.description, "Digi PKG-U")) {
    entry.description = Cut(entry.name + " " + kRadioAdapterLabel, kEntryDescriptionMax);
    entry.notRadio = false;
  }
}

int ScanPortsRegistry(const PortSources& sources, std::vector<CommPortEntry>* work, int* count) {
  const size_t capacity = static_cast<size_t>(*count);
  work->clear();
  for (const FoundPort& port : PlatformListPorts(sources.sysfsRoot, sources.devRoot, sources.extraPorts)) {
    if (work->size() >= capacity) break;
    CommPortEntry entry;
    entry.name = port.name;
    entry.portNumber = port.portNumber;
    entry.description = DescribePort(port);
    work->push_back(entry);
  }
  *count = static_cast<int>(work->size());
  return *count;
}

int CommPortEnum(const SerialPort& record, std::vector<CommPortEntry>* table, int* count, bool force,
                 const PortSources& sources) {
  if (table == nullptr || count == nullptr) return kEnumNoTable;
  if (*count <= 0) return kEnumNoCapacity;
  const size_t capacity = static_cast<size_t>(*count);
  std::vector<CommPortEntry> work;
  int result = ScanPortsRegistry(sources, &work, count);
  // Ascending port numbers; equal numbers keep the order the system gave.
  std::stable_sort(work.begin(), work.end(),
                   [](const CommPortEntry& a, const CommPortEntry& b) { return a.portNumber < b.portNumber; });
  *table = work;
  MarkBusyPorts(sources, table);
  if (force) ProbeNativePorts(sources, table, capacity, &result);
  for (CommPortEntry& entry : *table) ApplyAdapterRules(entry);
  *count = static_cast<int>(table->size());
  if (result < 0) {
    print_message(record.log, kLogFailure, record.portName.c_str(), "CommPortEnum failed with MSWin error: \"%d\"",
                  -result);
    return -1;
  }
  return result;
}
