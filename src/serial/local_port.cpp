// The transport for a device of this computer: the driver's open steps over the platform's
// system calls (serial_platform_posix.cpp, serial_platform_win32.cpp).
#include "serial/port_backend.h"

#include <utility>

#include "serial/serial_port.h"

namespace {

constexpr int kNoHandle = -1;

struct LocalPortBackend final : PortBackend {
  int handle = kNoHandle;

  ~LocalPortBackend() override {
    if (handle != kNoHandle) PlatformRelease(handle);
  }
  int descriptor() const override { return handle; }
  int close() override {
    const int error = PlatformClose(handle);
    handle = kNoHandle;
    return error;
  }
  PlatformResult read(char* destination, int maximum, int waitMs) override {
    return PlatformRead(handle, destination, maximum, waitMs);
  }
  PlatformResult write(const char* source, int length, int timeoutMs) override {
    return PlatformWrite(handle, source, length, timeoutMs);
  }
  int setBaud(uint32_t baud) override { return PlatformSetBaud(handle, baud); }
  void purgeInput() override { PlatformPurgeInput(handle); }
};

const char* Tag(const SerialPort& port) { return port.portName.c_str(); }

// The set-up steps after the open, each failure logged as its own: 0, or the system error
// of the step that ends the open.
int SetUpPort(const SerialPort& port, int handle) {
  int error = PlatformSetQueues(handle);
  if (error != 0) {
    print_message(port.log, kLogBytes, Tag(port), "VSOpen failed to set buffer size on comm port (error %d)", error);
  }
  if ((error = PlatformReadSettings(handle)) != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to retreive DCB on comm port (error %d)", error);
    return error;
  }
  if ((error = PlatformApplySettings(handle, port.hostBaud)) != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to apply DCB on comm port (error %d)", error);
    return error;
  }
  if ((error = PlatformSetTimeouts(handle)) != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to set timeouts on comm port (error %d)", error);
    return error;
  }
  return 0;
}

}  // namespace

int OpenLocalPort(SerialPort& port, std::unique_ptr<PortBackend>* opened) {
  auto backend = std::make_unique<LocalPortBackend>();
  int error = PlatformOpen(PortDevicePath(port.portName), &backend->handle);
  if (error != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to open comm port (error %d)", error);
    return error;
  }
  // A port that could not be set up is let go at once rather than held half configured.
  if ((error = SetUpPort(port, backend->handle)) != 0) return error;
  PlatformStartLines(backend->handle);
  *opened = std::move(backend);
  return 0;
}
