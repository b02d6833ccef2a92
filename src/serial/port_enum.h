// Listing the computer's serial ports for the port selector: every present port
// with its adapter's name, sorted by port number, busy ports marked, and the 16
// numbered native ports probed on request.
#pragma once

#include <string>
#include <vector>

#include "serial/serial_port.h"

constexpr int kPortTableCapacity = 16;
constexpr size_t kEntryNameMax = 24;
constexpr size_t kEntryDescriptionMax = 63;
constexpr int kProbePortCount = 16;

constexpr int kEnumNoTable = -10;
constexpr int kEnumNoCapacity = -11;

struct CommPortEntry {
  std::string name;         // what VSOpen takes: "ttyUSB0", or a path such as /dev/pts/7
  std::string description;  // the text shown in the selector
  int portNumber = 0;       // sort key
  bool notRadio = true;     // false on a radio-modem USB adapter
  bool notCableAdapter = true;  // false on the maker's USB cable adapter
  bool busy = false;
};

// One port as the system reports it, before labelling.
struct FoundPort {
  std::string name;
  int portNumber = 0;
  std::string friendlyName;  // empty when the system has none
  std::string instanceId;    // "USB\\VID_xxxx&PID_xxxx\\serial" for USB adapters
};

// Where ports are looked for. The defaults read the running system; tests point
// them at a tree of their own.
struct PortSources {
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  std::vector<std::string> extraPorts;  // named by the user: VORNBSL_EXTRA_PORTS (SplitExtraPorts)
  std::vector<std::string> lockDirs = {"/var/lock", "/run/lock"};  // UUCP-style LCK..name files
};
PortSources DefaultPortSources();
// The ports of a VORNBSL_EXTRA_PORTS list: colon-separated, a network port's URL kept whole
// ("/dev/pts/7:rfc2217://192.168.1.20:4001").
std::vector<std::string> SplitExtraPorts(const std::string& list);

// Fills the table with at most *count entries (the capacity on entry) and stores
// the number filled. Returns the number of ports the system reported, 1 when the
// probe found one, or a negative code.
int CommPortEnum(const SerialPort& record, std::vector<CommPortEntry>* table, int* count, bool force,
                 const PortSources& sources = DefaultPortSources());

// The system walk used by CommPortEnum: present ports with their labels, unsorted.
int ScanPortsRegistry(const PortSources& sources, std::vector<CommPortEntry>* work, int* count);

// Applies the adapter rules to a description built from a friendly name.
std::string DescribePort(const FoundPort& port);
void ApplyAdapterRules(CommPortEntry& entry);
// The friendly name the system's own device lists get for the maker's cable adapter
// ("VANTO USB Adapter [..] (COM7)"); empty for any other port.
std::string AdapterFriendlyName(const FoundPort& port);
