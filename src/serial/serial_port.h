// The serial port driver: one port record and the operations on it, plus the
// millisecond clock, the message-pumping sleep and the local UTC offset that
// every layer uses. Reception is "wait for a character, then read": VSWait
// gathers text into the receive buffer until a character shows up, VSRead
// hands it over together with whatever else is waiting on the port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "log/message_log.h"

// A port may also be a network serial server's port, named by its URL ("rfc2217://HOST:PORT",
// network_port_name.h); the operations behave the same on it (port_backend.h).

// Result codes of the driver. Open failures are the negated system error in the
// numbering below, so the layers above can tell a missing port from a busy one.
constexpr int kSerialNoBuffer = -60;   // no receive buffer
constexpr int kSerialFailed = -21;     // port closed, or the read or write failed
constexpr int kSerialNoName = -6;      // VSHostBaud on a record without a name
constexpr int kSysPortMissing = 2;     // no such device
constexpr int kSysPortInUse = 5;       // another program holds the port
constexpr int kSysPermission = 1013;   // the user may not open the device (dialout group): 1000 + EACCES
constexpr int kSysDeviceFailed = 31;   // the device does not work; other system errors are 1000 + errno

constexpr int kReadBufferSize = 2048;  // receive buffer, NUL-terminated: at most 2047 characters
constexpr int kPortNameMax = 63;
constexpr uint32_t kDefaultBaud = 9600;
constexpr int kPurgeReceive = 1;

struct PortBackend;  // port_backend.h

struct SerialPort {
  MessageLog* log = nullptr;
  PortBackend* handle = nullptr;  // the open port: its own backend, or one lent by another link; null when closed
  uint32_t hostBaud = 0;
  std::string portName;          // the log tag of the driver's messages
  char* readBuffer = nullptr;    // gReadBuffer: kReadBufferSize bytes, owned or lent
  int bufferLength = 0;          // bytes VSWait gathered there: a NUL among them is data too
  bool pending = false;          // VSWait found its character; VSRead hands over the buffer only
  bool bufferOwned = false;      // VSOpen allocated the buffer; VSClose releases it
  bool borrowed = false;         // handle and buffer are lent by another link: never closed here
  std::string failure;           // why a network port's open, read or write failed, in words
  std::unique_ptr<char[]> ownedBuffer;
  std::unique_ptr<PortBackend> backend;  // the transport VSOpen opened, chosen by the port's name

  // Out of line, where PortBackend is whole.
  SerialPort();
  explicit SerialPort(MessageLog* messageLog);
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort();
};

int VSOpen(SerialPort& port, const std::string& name, uint32_t baud);
int VSClose(SerialPort& port);
int VSRead(SerialPort& port, char* destination, int maximum, int* count);
int VSWrite(SerialPort& port, const char* source, int length, int* written);
int VSWait(SerialPort& port, int timeoutMs, char character);
int VSHostBaud(SerialPort& port, uint32_t baud);
int VSPurge(SerialPort& port, int mode);

// Convenience for callers that write text.
int VSWriteText(SerialPort& port, const std::string& text);

uint32_t MillisecondTick();
// Waits of 170 ms or more dispatch the front end's pending events through the pump hook.
void SleepPumping(int milliseconds);
int32_t LocalUtcOffset();

// The front end's event pump: waits at most maxWaitMs for events and dispatches them.
// Installed for the calling thread only; other threads' waits stay plain sleeps.
using PumpHook = void (*)(int maxWaitMs);
void SetPumpHook(PumpHook hook);

// What a port record keeps of a name: a device name cut to kPortNameMax characters, a network
// port's URL whole (it is what opens the port).
std::string PortRecordName(const std::string& name);

// A device path for a port name: on Linux a name without "/" opens "/dev/" + name,
// on Windows "\\\\.\\" + name.
std::string PortDevicePath(const std::string& name);
// The device a port name leads to: two names of one port (a link and its target, "COM3" and
// "com3:") give the same text.
std::string PortDeviceIdentity(const std::string& name);
