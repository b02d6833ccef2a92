// Windows backend of the serial driver: a placeholder until the Win32 driver is in
// place. Every port reads as missing, so nothing is ever sent.
#include "log/win32_text.h"

#include "serial/serial_platform.h"
#include "serial/serial_port.h"

int PlatformOpen(const std::string&, int* handle) {
  *handle = -1;
  return kSysPortMissing;
}
int PlatformSetQueues(int) { return 0; }
int PlatformReadSettings(int) { return kSysPortMissing; }
int PlatformApplySettings(int, uint32_t) { return kSysPortMissing; }
int PlatformSetTimeouts(int) { return kSysPortMissing; }
void PlatformStartLines(int) {}
void PlatformRelease(int) {}
int PlatformClose(int) { return 0; }
PlatformResult PlatformRead(int, char*, int, int) { return PlatformResult{0, kSysPortMissing}; }
PlatformResult PlatformWrite(int, const char*, int, int) { return PlatformResult{0, kSysPortMissing}; }
int PlatformSetBaud(int, uint32_t) { return kSysPortMissing; }
void PlatformPurgeInput(int) {}
int PlatformErrorNumber(int error) { return error; }
void PlatformSleep(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds)); }
