// Getting the loader running and attached: the boot word to the device's
// firmware, the "\r"/"P" handshake, the probe, and lending a port.
#include <array>
#include <cstdlib>

#include "bsl/host_bsl.h"

namespace {

constexpr int kRetryPauseMs = 175;
constexpr int kOpenSettleMs = 1000;
constexpr int kBootReplyMs = 750;
constexpr int kHandshakeReplyMs = 100;
constexpr int kPromptReplyMs = 200;
constexpr int kAttachReplyMs = 175;
constexpr int kProbeSettleMs = 1000;
constexpr int kDisconnectPauseMs = 100;
constexpr int kProbeReplyMax = 31;
constexpr uint32_t kDefaultTries = 3;
constexpr std::string_view kBootCommand = "boot ZEPH\r";  // the loader's fixed entry word

bool Contains(std::string_view reply, std::string_view what) { return reply.find(what) != std::string_view::npos; }

// The 175 ms pause between failed tries; none after the last one.
void PauseBeforeNextTry(const HostBSL& engine, uint32_t attempt) {
  if (attempt < engine.tryCount) SleepPumping(kRetryPauseMs);
}

// Sends unframed text, lets the device answer, reads what came. Returns the
// byte count or the serial driver's code.
int Ask(HostBSL& engine, std::string_view text, int replyMs, std::string* reply) {
  reply->clear();
  int written = 0;
  int result = VSWrite(engine.port, text.data(), static_cast<int>(text.size()), &written);
  if (result < 0) return result;
  SleepPumping(replyMs);
  std::array<char, kProbeReplyMax> got{};
  int count = 0;
  result = VSRead(engine.port, got.data(), kProbeReplyMax, &count);
  if (result < 0) return result;
  reply->assign(got.data(), static_cast<size_t>(count));
  return count;
}

// First stage: the device's firmware is asked to start its loader, at 9600 baud.
int SendBootWord(HostBSL& engine, uint32_t baud) {
  int result = kBslNoTry;
  for (uint32_t attempt = 1; attempt <= engine.tryCount; ++attempt) {
    VSPurge(engine.port, kPurgeReceive);
    if (baud != kBootBaud) VSHostBaud(engine.port, kBootBaud);
    std::string reply;
    const int asked = Ask(engine, kBootCommand, kBootReplyMs, &reply);
    if (asked < 0) return asked;
    if (Contains(reply, "ERROR")) {
      result = kBslUnexpected;
      PauseBeforeNextTry(engine, attempt);
      continue;
    }
    if (Contains(reply, "VornBSL MISSING")) return kBslNoLoader;
    if (Contains(reply, "?")) return kBslAlreadyActive;
    if (reply.empty()) {
      result = kBslNoLoader;
      PauseBeforeNextTry(engine, attempt);
      continue;
    }
    if (Contains(reply, "OK") || Contains(reply, "$")) return 1;
    return result;
  }
  return result;
}

// Second stage: at the requested baud, the waiting loader answers "\r" with "$" and "P" with "#".
int Handshake(HostBSL& engine, uint32_t baud, uint32_t* succeededTry) {
  if (baud != kBootBaud) VSHostBaud(engine.port, baud);
  int result = kBslNoTry;
  for (uint32_t attempt = 1; attempt <= engine.tryCount; ++attempt) {
    std::string reply;
    int asked = Ask(engine, "\r", kHandshakeReplyMs, &reply);
    if (asked < 0) return asked;
    if (reply.empty() || reply[0] != '$') {
      result = kBslNoLoader;
      continue;
    }
    VSPurge(engine.port, kPurgeReceive);
    asked = Ask(engine, "P", kHandshakeReplyMs, &reply);
    if (asked < 0) return asked;
    if (Contains(reply, "#")) {
      *succeededTry = attempt;
      return 1;
    }
    result = kBslUnexpected;
    PauseBeforeNextTry(engine, attempt);
  }
  return result;
}

int OpenFailed(HostBSL& engine, const char* operation, int result) {
  print_message(engine.log, kLogFailure, kBslTag, "%s received error while opening serial port (%d)", operation, result);
  return result;
}

// One try of BSLConnect after the loader is up: the version request. True
// when a version was read; a reply without a number leaves the result as it was.
bool AskVersion(HostBSL& engine, uint32_t attempt, int* result) {
  std::string reply;
  const int asked = BSLCommand(engine, 'g', nullptr, 0, '\r', &reply, nullptr);
  if (asked < 0 || Contains(reply, "ERROR")) {
    *result = Contains(reply, "ERROR") ? kBslUnexpected : asked;
    PauseBeforeNextTry(engine, attempt);
    return false;
  }
  long version = 0;
  if (!BSLReadVersion(reply, &version)) return false;
  engine.bslVersion = static_cast<uint32_t>(version);
  *result = static_cast<int>(version);
  return true;
}

}  // namespace

bool BSLReadVersion(const std::string& reply, long* version) {
  if (reply.empty() || reply[0] != '+') return false;
  const char* digits = reply.c_str() + 1;
  char* end = nullptr;
  *version = std::strtol(digits, &end, 10);
  return end != digits;
}

int BSLConnect(HostBSL& engine, const std::string& portName, uint32_t baud, bool showProgress, uint32_t tries) {
  if (portName.empty()) return kBslMissingArgument;
  engine.showProgress = showProgress;
  engine.tryCount = tries;
  const int opened = VSOpen(engine.port, portName, kBootBaud);
  if (opened < 0) return OpenFailed(engine, "BSLConnect", opened);
  engine.connected = true;
  SleepPumping(kOpenSettleMs);
  // Without a single try nothing was connected: that must not read as success.
  int result = tries == 0 ? kBslNoTry : 1;
  for (uint32_t attempt = 1; attempt <= tries; ++attempt) {
    const int invoked = BSLInvocation(engine, baud);
    if (invoked < 0 && BSLCheck(engine, portName, baud) != kBslAlreadyActive) {
      result = invoked;
      break;
    }
    if (AskVersion(engine, attempt, &result)) break;
  }
  if (result < 0) {
    BSLDisconnect(engine);
    print_message(engine.log, kLogFailure, kBslTag, "BSLConnect failed to connect to device (error %d)", result);
  } else {
    print_message(engine.log, kLogStep, kBslTag, "BSLConnect connected to device running VornBSL version %d",
                  static_cast<int>(engine.bslVersion));
  }
  return result;
}

int BSLInvocation(HostBSL& engine, uint32_t baud) {
  uint32_t succeededTry = 0;
  int result = SendBootWord(engine, baud);
  if (result == 1) result = Handshake(engine, baud, &succeededTry);
  if (result == 1) {
    print_message(engine.log, kLogStep, kBslTag, "BSLInvocation successful (%d tries)", static_cast<int>(succeededTry));
  } else if (result == kBslAlreadyActive) {
    print_message(engine.log, kLogStep, kBslTag, "BSLInvocation found the VornBSL already active");
    result = 1;
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLInvocation failed with error %d", result);
  }
  return result;
}

int BSLAttach(HostBSL& engine) {
  int result = kBslNoTry;
  uint32_t attempt = 1;
  for (; attempt <= engine.tryCount; ++attempt) {
    VSPurge(engine.port, kPurgeReceive);
    std::string reply;
    int asked = Ask(engine, "\r", kPromptReplyMs, &reply);
    if (asked < 0) {
      result = asked;
      break;
    }
    if (Contains(reply, "?\r")) {
      result = kBslAlreadyActive;
      break;
    }
    VSPurge(engine.port, kPurgeReceive);
    asked = Ask(engine, "P", kAttachReplyMs, &reply);
    if (asked < 0) {
      result = asked;
      break;
    }
    if (!reply.empty() && reply[0] == '#') {
      result = 1;
      break;
    }
    result = kBslUnexpected;
    PauseBeforeNextTry(engine, attempt);
  }
  if (result == 1) {
    print_message(engine.log, kLogStep, kBslTag, "BSLAttach successful (%d tries)", static_cast<int>(attempt));
  } else if (result == kBslAlreadyActive) {
    print_message(engine.log, kLogStep, kBslTag, "BSLAttach found the VornBSL already active");
    result = 1;
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLAttach failed with error %d", result);
  }
  return result;
}

int BSLCheck(HostBSL& engine, const std::string& portName, uint32_t baud) {
  if (engine.connected) {
    VSHostBaud(engine.port, baud);
  } else {
    const int opened = VSOpen(engine.port, portName, baud);
    if (opened < 0) return OpenFailed(engine, "BSLCheck", opened);
    engine.connected = true;
  }
  SleepPumping(kProbeSettleMs);
  VSPurge(engine.port, kPurgeReceive);
  std::string reply;
  const int asked = Ask(engine, "\r", kPromptReplyMs, &reply);
  if (asked < 0) return asked;
  if (Contains(reply, "?")) {
    print_message(engine.log, kLogStep, kBslTag, "BSLCheck found the VornBSL already active");
    return kBslAlreadyActive;
  }
  if (Contains(reply, "$")) {
    print_message(engine.log, kLogStep, kBslTag, "BSLCheck found the VornBSL waiting for a connection");
    return kBslWaiting;
  }
  print_message(engine.log, kLogProtocol, kBslTag, "BSLCheck didn't get a response from the VornBSL");
  return kBslNotConnected;
}

int BSLHandOff(HostBSL& engine, PortBackend* handle, char* readBuffer, const std::string& portName, bool showProgress,
               uint32_t tries) {
  if (readBuffer == nullptr || portName.empty()) {
    print_message(engine.log, kLogFailure, kBslTag, "BSLHandOff called with some NULL parameters");
    return kBslBadArgument;
  }
  // A port of the engine's own is closed first rather than lost behind the lent one.
  BSLDisconnect(engine);
  engine.port.handle = handle;
  engine.port.readBuffer = readBuffer;
  engine.port.bufferOwned = false;
  engine.port.borrowed = true;
  engine.port.pending = false;
  engine.port.bufferLength = 0;
  engine.port.hostBaud = kBootBaud;
  engine.port.portName = PortRecordName(portName);
  engine.showProgress = showProgress;
  engine.tryCount = tries == 0 ? kDefaultTries : tries;
  engine.connected = true;
  return 1;
}

int BSLHandBack(HostBSL& engine) {
  engine.port.handle = nullptr;
  engine.port.readBuffer = nullptr;
  engine.port.borrowed = false;
  engine.port.pending = false;
  engine.port.bufferLength = 0;
  engine.connected = false;
  return 1;
}

int BSLDisconnect(HostBSL& engine) {
  if (!engine.connected) return 0;
  // A lent port belongs to the link that opened it: it is given back, never closed here.
  if (engine.port.borrowed) return BSLHandBack(engine);
  const int closed = VSClose(engine.port);
  engine.connected = false;
  SleepPumping(kDisconnectPauseMs);
  return closed;
}
