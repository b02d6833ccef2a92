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

// Opening runs in the steps the driver reports on; each returns 0 or a system error.
// Opens a device for reading and writing, kept from other programs (TIOCEXCL and a lock).
int PlatformOpen(const std::string& path, int* handle);
// The queue step: the adapter's shortest delivery of received bytes. Ports without such a
// setting (a pseudo-terminal, a native UART) are no failure.
int PlatformSetQueues(int handle);
// Reads the port's current settings: fails on anything that is not a serial port.
int PlatformReadSettings(int handle);
// Raw 8N1 at the baud without flow control; the rest of the settings as the port had them.
int PlatformApplySettings(int handle, uint32_t baud);
// Reads return at once with what has arrived; the driver's waits are its own.
int PlatformSetTimeouts(int handle);
// Raises DTR and RTS and discards input from before the open.
void PlatformStartLines(int handle);
// Lets go of a handle whose set-up failed, touching nothing else.
void PlatformRelease(int handle);
int PlatformClose(int handle);  // drops DTR; returns 0 or a system error
// Reads what is waiting, or waits at most waitMs for the first byte. A port whose device
// has gone (hung up) is an error at once, never an empty read.
PlatformResult PlatformRead(int handle, char* destination, int maximum, int waitMs);
// Writes everything within timeoutMs.
PlatformResult PlatformWrite(int handle, const char* source, int length, int timeoutMs);
int PlatformSetBaud(int handle, uint32_t baud);
void PlatformPurgeInput(int handle);
// A system error (errno) in the driver's numbering.
int PlatformErrorNumber(int error);
// Sleeps without dispatching anything.
void PlatformSleep(int milliseconds);

// Port discovery (port_scan_linux.cpp, port_scan_win32.cpp): the present serial ports with their friendly
// names and instance IDs, then the user's extra ports, in the system's order.
std::vector<FoundPort> PlatformListPorts(const std::string& sysfsRoot, const std::string& devRoot,
                                         const std::vector<std::string>& extraPorts);
// The device path that opens a port name ("/dev/ttyUSB0", "\\\\.\\COM12"); a path is kept as it is.
std::string PlatformPortPath(const std::string& devRoot, const std::string& name);
// What a device path leads to, the same text for every name of one device: Linux follows links
// (/dev/serial/by-id/..., a link to a pseudo-terminal), Windows asks which device a COM name is
// defined as, whatever its letters' case. A path that leads nowhere is its own identity.
std::string PlatformPortIdentity(const std::string& path);
// The name of numbered native port 1..16: "ttyS0".."ttyS15", "COM1".."COM16".
std::string PlatformNativePortName(int number);
// Whether a numbered native port ("ttyS3") has a UART behind it.
bool PlatformNativePortPresent(const std::string& sysfsRoot, const std::string& name);
// How each device stands for the port listing, found without changing any of them (port_holders_linux.cpp):
// 0 free, kSysPortInUse when another program holds it (an open descriptor, a lock, a UUCP lock file
// in one of lockDirs), or the system error that keeps it from use.
std::vector<int> PlatformPortStates(const std::vector<std::string>& paths, const std::vector<std::string>& lockDirs);
