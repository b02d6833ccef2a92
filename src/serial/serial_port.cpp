#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>

#include "serial/network_port_name.h"
#include "serial/port_backend.h"
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
constexpr const char* kNetworkLead = "Network port";  // how a transport's reason for a failed transfer is logged

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

// A transport that can tell why an operation failed keeps the reason in words.
void NoteFailure(SerialPort& port, const char* lead) {
  const std::string why = port.handle->failure();
  if (why.empty()) return;
  port.failure = why;
  print_message(port.log, kLogFailure, Tag(port), "%s: %s", lead, port.failure.c_str());
}

PlatformResult ReadPort(SerialPort& port, char* destination, int maximum, int waitMs) {
  const PlatformResult got = port.handle->read(destination, maximum, waitMs);
  if (got.error != 0) NoteFailure(port, kNetworkLead);
  return got;
}

// Answers over a network come a round trip later: every read time-out allows for it.
int RoundTripSlack(const SerialPort& port) { return port.handle->roundTripMs(); }

}  // namespace

std::string PortRecordName(const std::string& name) {
  return LooksLikeUrl(name) ? name : name.substr(0, kPortNameMax);
}

SerialPort::SerialPort() = default;
SerialPort::SerialPort(MessageLog* messageLog) : log(messageLog) {}

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
  if (port.handle != nullptr) {
    print_message(port.log, kLogBytes, kSerialTag, "VSOpen found port \"%d\" already open", port.handle->descriptor());
    VSClose(port);
    PlatformSleep(kReopenPauseMs);
  }
  port.portName = PortRecordName(name);
  port.hostBaud = baud == 0 ? kDefaultBaud : baud;
  port.borrowed = false;
  port.failure.clear();
  const int error = ChoosePortOpener(port.portName)(port, &port.backend);
  if (error != 0) return -error;
  port.handle = port.backend.get();
  AttachBuffer(port);
  print_message(port.log, kLogProtocol, Tag(port),
                "VSOpen successfully opened and configured comm port at %d baud", static_cast<int>(port.hostBaud));
  if (RoundTripSlack(port) > 0) {
    print_message(port.log, kLogProtocol, Tag(port), "VSOpen measured a network round trip of %d ms",
                  RoundTripSlack(port));
  }
  return 1;
}

int VSClose(SerialPort& port) {
  if (port.handle == nullptr) return 0;
  // A lent port belongs to the link that opened it: forgotten here, never closed.
  const int error = port.backend != nullptr ? port.backend->close() : 0;
  port.backend.reset();
  port.handle = nullptr;
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
  if (port.handle == nullptr) {
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
  if (port.handle == nullptr) {
    print_message(port.log, kLogFailure, kSerialTag, "VSWrite tried to write to a closed port");
    return kSerialFailed;
  }
  const int timeoutMs = kWriteMsPerByte * length + kWriteBaseMs;
  const PlatformResult put = port.handle->write(source, length, timeoutMs);
  *written = put.value;
  if (put.error != 0) {
    NoteFailure(port, kNetworkLead);
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
  if (port.handle == nullptr) {
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
  if (port.handle == nullptr) return kSerialFailed;
  const int error = port.handle->setBaud(baud);
  if (error != 0) {
    print_message(port.log, kLogFailure, Tag(port), "VSHostBaud failed to apply new baud rate \"%d\" (error %d)",
                  static_cast<int>(baud), error);
    NoteFailure(port, "VSHostBaud");
    return -error;
  }
  port.hostBaud = baud;
  return 1;
}

int VSPurge(SerialPort& port, int mode) {
  if (mode == kPurgeReceive && port.handle != nullptr) port.handle->purgeInput();
  EmptyBuffer(port);
  return 0;
}
