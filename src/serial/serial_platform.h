// The system calls of the serial driver, one small file per platform. Errors are
// returned as positive system error numbers in the driver's numbering
// (kSysPortMissing, kSysPortInUse, kSysPermission, ...).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FoundPort;

struct PlatformResult {
  int value = 0;  // bytes moved, or 0
  int error = 0;  // 0 on success, else a system error number
};

// Opens a device exclusively for reading and writing, raw 8N1 without flow control,
// at the given baud, DTR and RTS raised.
PlatformResult PlatformOpen(const std::string& path, uint32_t baud, int* handle);
int PlatformClose(int handle);  // drops DTR; returns 0 or a system error
// Reads what is waiting, or waits at most waitMs for the first byte.
PlatformResult PlatformRead(int handle, char* destination, int maximum, int waitMs);
// Writes everything within timeoutMs.
PlatformResult PlatformWrite(int handle, const char* source, int length, int timeoutMs);
int PlatformSetBaud(int handle, uint32_t baud);
void PlatformPurgeInput(int handle);
// Whether a device can be opened right now: 0, or the system error of the attempt.
int PlatformProbe(const std::string& path);
// Sleeps without dispatching anything.
void PlatformSleep(int milliseconds);

// Port discovery (port_scan_linux.cpp): the present serial ports with their friendly
// names and instance IDs, then the user's extra ports, in the system's order.
std::vector<FoundPort> PlatformListPorts(const std::string& sysfsRoot, const std::string& devRoot,
                                         const std::vector<std::string>& extraPorts);
// Opens a numbered native port ("ttyS3") to see whether it exists: 0, or a system error.
int PlatformProbeNative(const std::string& sysfsRoot, const std::string& devRoot, const std::string& name);
