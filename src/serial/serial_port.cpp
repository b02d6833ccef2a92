#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>

#include "serial/network_port.h"
#include "serial/network_port_name.h"
#include "serial/serial_platform.h"

namespace {

constexpr int kReadWaitMs = 100;          // a read waits at most this long for its first byte
constexpr int kWriteMsPerByte = 10;
constexpr int kWriteBaseMs = 100;
constexpr int kReopenPauseMs = 100;
constexpr int kEmptyReadsBeforeRest = 5;  // from the sixth empty read on, long waits rest
constexpr int kRestAfterMs = 400;
constexpr int kRestMs = 200;
constexpr const char* kSerialTag = "VornSerial";
constexpr const char* kDeviceRoot = "/dev";  // where a bare port name is looked for on Linux

const char* Tag(const SerialPort& port) { return port.portName.c_str(); }

void AttachBuffer(SerialPort& port) {
  if (port.readBuffer == nullptr) {
    port.ownedBuffer = std::make_unique<char[]>(kReadBufferSize);
    port.readBuffer = port.ownedBuffer.get();
    port.bufferOwned = true;
  } else {
    port.bufferOwned = false;
  }
  std::memset(port.readBuffer, 0, kReadBufferSize);
  port.bufferLength = 0;
  port.pending = false;
}

void EmptyBuffer(SerialPort& port) {
  if (port.readBuffer != nullptr) port.readBuffer[0] = '\0';
  port.bufferLength = 0;
}

// The set-up steps after the open, each failure logged as its own: 0, or the system error
// of the step that ends the open.
int SetUpPort(const SerialPort& port, int fd) {
  int error = PlatformSetQueues(fd);
  if (error != 0) {
    print_message(port.log, kLogBytes, Tag(port), "VSOpen failed to set buffer size on comm port (error %d)", error);
  }
  if ((error = PlatformReadSettings(fd)) != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to retreive DCB on comm port (error %d)", error);
    return error;
  }
  if ((error = PlatformApplySettings(fd, port.hostBaud)) != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to apply DCB on comm port (error %d)", error);
    return error;
  }
  if ((error = PlatformSetTimeouts(fd)) != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to set timeouts on comm port (error %d)", error);
    return error;
  }
  return 0;
}

// The backend a handle belongs to: a network serial server's port, or the system's own.
bool OnNetwork(const SerialPort& port) { return NetworkPortOwns(port.handle); }

// A read of either backend; a network port's failure keeps its reason in words.
PlatformResult ReadPort(SerialPort& port, char* destination, int maximum, int waitMs) {
  if (!OnNetwork(port)) return PlatformRead(port.handle, destination, maximum, waitMs);
  const PlatformResult got = NetworkPortRead(port.handle, destination, maximum, waitMs);
  if (got.error != 0) {
    port.failure = NetworkPortFailure(port.handle);
    print_message(port.log, kLogFailure, Tag(port), "Network port: %s", port.failure.c_str());
  }
  return got;
}

// Answers over a network come a round trip later: every read time-out allows for it.
int RoundTripSlack(const SerialPort& port) { return OnNetwork(port) ? NetworkPortRoundTripMs(port.handle) : 0; }

int OpenNetworkPort(SerialPort& port) {
  int handle = -1;
  const int error = NetworkPortOpen(port.portName, port.hostBaud, &handle, &port.failure);
  if (error != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to open comm port (error %d): %s", error,
                  port.failure.c_str());
    return -error;
  }
  port.handle = handle;
  AttachBuffer(port);
  print_message(port.log, kLogProtocol, Tag(port),
                "VSOpen successfully opened and configured comm port at %d baud", static_cast<int>(port.hostBaud));
  print_message(port.log, kLogProtocol, Tag(port), "VSOpen measured a network round trip of %d ms",
                NetworkPortRoundTripMs(handle));
  return 1;
}

}  // namespace

std::string PortRecordName(const std::string& name) {
  return LooksLikeUrl(name) ? name : name.substr(0, kPortNameMax);
}

SerialPort::~SerialPort() {
  if (!borrowed) VSClose(*this);
}

std::string PortDevicePath(const std::string& name) {
  return LooksLikeUrl(name) ? name : PlatformPortPath(kDeviceRoot, name);
}

// A network port is the server's port: one spelling of its URL (a URL that is none stays as typed).
std::string PortDeviceIdentity(const std::string& name) {
  if (LooksLikeUrl(name)) {
    const std::string canonical = CanonicalNetworkPortName(name);
    return canonical.empty() ? name : canonical;
  }
  return PlatformPortIdentity(PortDevicePath(name));
}

int VSOpen(SerialPort& port, const std::string& name, uint32_t baud) {
  if (port.handle >= 0) {
    print_message(port.log, kLogBytes, kSerialTag, "VSOpen found port \"%d\" already open", port.handle);
    VSClose(port);
    PlatformSleep(kReopenPauseMs);
  }
  port.portName = PortRecordName(name);
  port.hostBaud = baud == 0 ? kDefaultBaud : baud;
  port.borrowed = false;
  port.failure.clear();
  if (LooksLikeUrl(port.portName)) return OpenNetworkPort(port);
  int fd = -1;
  const int error = PlatformOpen(PortDevicePath(port.portName), &fd);
  if (error != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSOpen failed to open comm port (error %d)", error);
    return -error;
  }
  // A port that could not be set up is let go at once rather than held half configured.
  const int setUp = SetUpPort(port, fd);
  if (setUp != 0) {
    PlatformRelease(fd);
    return -setUp;
  }
  PlatformStartLines(fd);
  port.handle = fd;
  AttachBuffer(port);
  print_message(port.log, kLogProtocol, Tag(port),
                "VSOpen successfully opened and configured comm port at %d baud", static_cast<int>(port.hostBaud));
  return 1;
}

int VSClose(SerialPort& port) {
  if (port.handle < 0) return 0;
  const int error = OnNetwork(port) ? NetworkPortClose(port.handle) : PlatformClose(port.handle);
  port.handle = -1;
  port.bufferLength = 0;
  if (port.bufferOwned && port.readBuffer != nullptr) {
    port.ownedBuffer.reset();
    port.readBuffer = nullptr;
    port.bufferOwned = false;
  }
  if (error != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSClose failed to close comm port (error %d)", error);
    return -error;
  }
  print_message(port.log, kLogProtocol, Tag(port), "VSClose closed comm port");
  return 1;
}

int VSRead(SerialPort& port, char* destination, int maximum, int* count) {
  *count = 0;
  if (port.readBuffer == nullptr) return kSerialNoBuffer;
  if (port.bufferLength > 0) {
    int length = std::min(port.bufferLength, kReadBufferSize - 1);
    if (maximum < length) {
      length = maximum;
      port.pending = true;
    }
    std::memcpy(destination, port.readBuffer, static_cast<size_t>(length));
    *count = length;
    EmptyBuffer(port);
    print_message(port.log, kLogBytes, Tag(port), "VSRead read %d bytes from gReadBuffer", length);
  }
  if (port.pending) {
    port.pending = false;
    return *count;
  }
  if (port.handle < 0) {
    print_message(port.log, kLogFailure, kSerialTag, "VSRead tried to read from a closed port");
    return kSerialFailed;
  }
  const PlatformResult got =
      ReadPort(port, destination + *count, maximum - *count, kReadWaitMs + RoundTripSlack(port));
  if (got.error != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSRead ReadFile failed (error %d)", got.error);
    return kSerialFailed;
  }
  *count += got.value;
  print_message(port.log, kLogBytes, Tag(port), "VSRead read %d btyes", *count);
  return *count;
}

int VSWrite(SerialPort& port, const char* source, int length, int* written) {
  *written = 0;
  if (port.handle < 0) {
    print_message(port.log, kLogFailure, kSerialTag, "VSWrite tried to write to a closed port");
    return kSerialFailed;
  }
  const int timeoutMs = kWriteMsPerByte * length + kWriteBaseMs;
  const PlatformResult put = OnNetwork(port) ? NetworkPortWrite(port.handle, source, length, timeoutMs)
                                             : PlatformWrite(port.handle, source, length, timeoutMs);
  *written = put.value;
  if (put.error != 0) {
    if (OnNetwork(port)) {
      port.failure = NetworkPortFailure(port.handle);
      print_message(port.log, kLogFailure, Tag(port), "Network port: %s", port.failure.c_str());
    }
    print_message(port.log, kLogFailure, Tag(port), "VSWrite WriteFile failed (error %d)", put.error);
    return kSerialFailed;
  }
  print_message(port.log, kLogBytes, Tag(port), "VSWrite wrote %d bytes", put.value);
  return put.value;
}

int VSWriteText(SerialPort& port, const std::string& text) {
  int written = 0;
  return VSWrite(port, text.data(), static_cast<int>(text.size()), &written);
}

int VSWait(SerialPort& port, int timeoutMs, char character) {
  if (port.handle < 0) {
    print_message(port.log, kLogFailure, kSerialTag, "VSWait tried to operate on a closed port");
    return kSerialFailed;
  }
  if (port.readBuffer == nullptr) return kSerialNoBuffer;
  const uint32_t start = MillisecondTick();
  const int slack = RoundTripSlack(port);
  timeoutMs += slack;
  int position = 0;
  int emptyReads = 0;
  int elapsed = 0;
  EmptyBuffer(port);
  for (;;) {
    const int room = kReadBufferSize - 1 - position;
    const PlatformResult got = ReadPort(port, port.readBuffer + position, room, kReadWaitMs + slack);
    if (got.error != 0) {
      print_message(port.log, kLogFailure, Tag(port), "VSWait ReadFile failed (error %d)", got.error);
      return kSerialFailed;
    }
    if (got.value > 0) {
      position += got.value;
      port.bufferLength = position;
      port.readBuffer[position] = '\0';
      if (std::memchr(port.readBuffer, character, static_cast<size_t>(position)) != nullptr) {
        port.pending = true;
        print_message(port.log, kLogBytes, Tag(port), "VSWait found '%c' in %d ms", character, elapsed);
        return static_cast<unsigned char>(character);
      }
      if (room > got.value) continue;
    }
    // Nothing arrived within one read (or the buffer is full): check the clock.
    elapsed = static_cast<int>(MillisecondTick() - start);
    if (elapsed > timeoutMs) {
      print_message(port.log, kLogBytes, Tag(port), "VSWait read %d bytes, but never found '%c' in %d ms",
                    position, character, elapsed);
      return 0;
    }
    if (got.value == 0 && ++emptyReads > kEmptyReadsBeforeRest && timeoutMs > kRestAfterMs) {
      SleepPumping(kRestMs);
    }
    if (room <= got.value) PlatformSleep(kReadWaitMs);  // full buffer: nothing more is read
  }
}

int VSHostBaud(SerialPort& port, uint32_t baud) {
  if (baud == port.hostBaud) return 0;
  if (port.portName.empty()) return kSerialNoName;
  if (port.handle < 0) return kSerialFailed;
  const bool network = OnNetwork(port);
  const int error = network ? NetworkPortSetBaud(port.handle, baud) : PlatformSetBaud(port.handle, baud);
  if (error != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSHostBaud failed to apply new baud rate \"%d\" (error %d)",
                  static_cast<int>(baud), error);
    if (network) {
      port.failure = NetworkPortFailure(port.handle);
      print_message(port.log, kLogFailure, Tag(port), "VSHostBaud: %s", port.failure.c_str());
    }
    return -error;
  }
  port.hostBaud = baud;
  return 1;
}

int VSPurge(SerialPort& port, int mode) {
  if (mode == kPurgeReceive && port.handle >= 0) {
    if (OnNetwork(port)) {
      NetworkPortPurgeInput(port.handle);
    } else {
      PlatformPurgeInput(port.handle);
    }
  }
  EmptyBuffer(port);
  return 0;
}
