// The link record, its configuration and the exchange primitive.
#include "logger/device_link.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"

namespace {

constexpr uint32_t kDefaultSerialTries = 3;
constexpr uint32_t kDefaultRadioTries = 5;
constexpr uint32_t kMaxTries = 12;
constexpr int kMaxTraceLevel = 3;
constexpr uint32_t kMaxExtraWaitMs = 30000;
constexpr int kSilentTryPauseMs = 50;
constexpr std::string_view kEmptyAnswerStart = "\r\r>";

constexpr uint32_t kBaudTable[kBaudTableSize] = {0, 1200, 9600, 19200, 38400, 57600, 115200, 230400, 460800};

enum class TryOutcome { kAnswered, kSilent, kErrorAnswer, kEnd };

bool IsErrorAnswer(std::string_view text) {
  return Contains(text, "ERROR") || Contains(text, "?") || Contains(text, "Unsupported");
}

// One try of an exchange: write, wait, read, classify. On kEnd *code holds the
// code that ends the exchange; otherwise *heard and *text hold the answer.
TryOutcome TryOnce(DeviceLink& link, std::string_view command, char waitFor, int timeoutMs, int* code, int* heard,
                   std::string* text) {
  VSPurge(link.port, kPurgeReceive);
  link.answerLength = 0;
  link.answerBuffer[0] = '\0';
  int written = 0;
  int result = VSWrite(link.port, command.data(), static_cast<int>(command.size()), &written);
  TraceCommand(link, command);
  if (result < 0) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceCommand got unexpected response (%d) from VCommWrite",
                  result);
    *code = result;
    return TryOutcome::kEnd;
  }
  result = VSWait(link.port, timeoutMs, waitFor);
  if (result < 0) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceCommand got unexpected response (%d) from VCommWait",
                  result);
    *code = result;
    return TryOutcome::kEnd;
  }
  int count = 0;
  result = VSRead(link.port, link.answerBuffer.data(), kMaxAnswerBytes, &count);
  if (result < 0) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceCommand got unexpected response (%d) from VCommRead",
                  result);
    *code = result;
    return TryOutcome::kEnd;
  }
  if (count <= 0) return TryOutcome::kSilent;
  link.answerLength = count;
  link.answerBuffer[static_cast<size_t>(count)] = '\0';
  *heard = count;
  // Every byte heard is kept, a NUL too: what is noise and what is text is for the
  // prompt and the line ends to tell, never a byte's value.
  text->assign(link.answerBuffer.data(), static_cast<size_t>(count));
  TraceAnswer(link, *text);
  if (!command.empty() && Contains(*text, command)) {
    print_message(link.log, kLogFailure, Tag(link),
                  "DeviceCommand is hearing echoed commands -- device is broken? Relay active?");
    *code = kLinkEcho;
    return TryOutcome::kEnd;
  }
  return IsErrorAnswer(*text) ? TryOutcome::kErrorAnswer : TryOutcome::kAnswered;
}

}  // namespace

DeviceLink::DeviceLink(MessageLog* messageLog) : port(messageLog), log(messageLog) {
  try {
    answerBuffer.assign(kAnswerBufferSize, '\0');
    readBuffer.assign(kReadBufferSize, '\0');
    port.readBuffer = readBuffer.data();
  } catch (const std::bad_alloc&) {
    status = kLinkNoMemory;
  }
}

DeviceLink::~DeviceLink() {
  if (IsConnected(*this)) {
    config.keepPortOpen = false;
    DisconnectDevice(*this);
  }
}

uint32_t BaudOfIndex(int index) { return index >= 0 && index < kBaudTableSize ? kBaudTable[index] : 0; }

bool IsConnected(const DeviceLink& link) { return link.params.connectionType != kConnectionNone; }

std::string_view LastAnswer(const DeviceLink& link) {
  if (link.answerBuffer.empty()) return {};
  return std::string_view(link.answerBuffer.data(), static_cast<size_t>(link.answerLength));
}

int ConfigureLink(DeviceLink& link, LinkConfig* config, int set) {
  if (config == nullptr) return kLinkMissing;
  if (set == 0) {
    *config = link.config;
    return kLinkOk;
  }
  if (config->serialTries > kMaxTries || config->radioTries > kMaxTries) return kLinkInvalid;
  if (config->serialTries == 0) config->serialTries = kDefaultSerialTries;
  if (config->radioTries == 0) config->radioTries = kDefaultRadioTries;
  const int trace = config->traceLevel;
  if (trace < 0 || trace > kMaxTraceLevel || config->extraWaitMs > kMaxExtraWaitMs) return kLinkInvalid;
  link.config = *config;
  link.currentTries = IsRadio(link) ? link.config.radioTries : link.config.serialTries;
  return kLinkOk;
}

int DeviceCommand(DeviceLink& link, std::string_view command, char waitFor, int timeoutMs, std::string* answer,
                  int capacity, int* elapsedMs) {
  const uint32_t start = Now(link);
  if (answer != nullptr) answer->clear();
  if (link.status != kLinkOk) return kLinkNoMemory;
  const int waitMs = timeoutMs + static_cast<int>(link.config.extraWaitMs);
  uint32_t silentTries = 0;
  int result = kLinkOk;
  int heard = 0;
  std::string text;
  for (uint32_t attempt = 0; attempt < link.currentTries; ++attempt) {
    int code = 0;
    const TryOutcome outcome = TryOnce(link, command, waitFor, waitMs, &code, &heard, &text);
    if (outcome == TryOutcome::kEnd) {
      result = code;
      break;
    }
    if (outcome == TryOutcome::kSilent) {
      ++silentTries;
      Pause(link, kSilentTryPauseMs);
      result = kLinkLastSilent;
      continue;
    }
    result = outcome == TryOutcome::kErrorAnswer ? kLinkErrorAnswer : kLinkOk;
    if (result == kLinkOk) break;
  }
  if (elapsedMs != nullptr) *elapsedMs = Since(link, start);
  if (silentTries == link.currentTries) result = kLinkNoAnswer;
  if (result < 0) return result;
  if (answer != nullptr && capacity > 0) {
    answer->assign(text, 0, static_cast<size_t>(capacity - 1));
    if (answer->size() < text.size()) {
      const std::string shown(command);
      print_message(link.log, kLogProtocol, Tag(link), "DeviceCommand got %d more bytes than expected (%s)",
                    static_cast<int>(text.size() - answer->size()), shown.c_str());
    }
  }
  if (text.starts_with(kEmptyAnswerStart)) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceCommand: device returned empty answer");
    return kLinkEmptyAnswer;
  }
  return heard;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<size_t>(length));
  }
  va_end(again);
  return text;
}

void TraceCommand(const DeviceLink& link, std::string_view text) {
  if (link.config.traceLevel >= 2 && link.hooks.trace) link.hooks.trace(std::string(text).c_str());
}

void TraceAnswer(const DeviceLink& link, std::string_view text) {
  if ((link.config.traceLevel == 1 || link.config.traceLevel == 3) && link.hooks.trace) {
    link.hooks.trace(std::string(text).c_str());
  }
}

int WriteRaw(DeviceLink& link, std::string_view text) {
  int written = 0;
  const int result = VSWrite(link.port, text.data(), static_cast<int>(text.size()), &written);
  TraceCommand(link, text);
  return result;
}
