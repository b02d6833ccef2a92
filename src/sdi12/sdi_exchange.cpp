// The framed SDI-12 exchange through the pass-through device.
#include <algorithm>
#include <iterator>
#include <string>

#include "logger/device_link.h"
#include "logger/link_helpers.h"
#include "sdi12/sdi_answers.h"
#include "sdi12/sdi_link.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr std::string_view kWake = "|";  // wakes the sensor bus before a command
constexpr int kWakePauseMs = 175;
constexpr int kProbeWakes = 3;
constexpr int kProbeWakePauseMs = 30;
constexpr int kProbeTimeoutMs = 500;
constexpr std::string_view kProbe = "?!";
constexpr char kAnswerEnd = '\r';
constexpr char kLineFeed = '\n';
constexpr int kSecondAttempt = 1;

// A failed step of the port; the code ends the exchange.
int PortFailure(const SDISensor& sensor, const char* step, int code) {
  print_message(sensor.log, kLogProtocol, kSDITag, "SDISendCommand got unexpected response (%d) from %s", code, step);
  return code;
}

int Write(SDISensor& sensor, std::string_view bytes) {
  int written = 0;
  const int result = VSWrite(sensor.port->port, bytes.data(), static_cast<int>(bytes.size()), &written);
  return result < 0 ? PortFailure(sensor, "VCommWrite", result) : result;
}

void ClearInput(SDISensor& sensor) {
  VSPurge(sensor.port->port, kPurgeReceive);
  sensor.reply.clear();
}

// Waits for the answer's carriage return (a time-out is no error) and reads what came.
// `heard` gets the bytes read (at most 256) less the line feed an earlier answer left behind
// (the read stops at a carriage return) and less bytes of 0 (a break on the line reads as one;
// kept, it would end the text early wherever it travels as a C string). The reply keeps at
// most 255 of them. `count` gets the bytes read.
int Receive(SDISensor& sensor, int timeoutMs, int* count, std::string* heard) {
  *count = 0;
  heard->clear();
  sensor.reply.clear();
  int result = VSWait(sensor.port->port, timeoutMs, kAnswerEnd);
  if (result < 0) return PortFailure(sensor, "VCommWait", result);
  std::string buffer(kSDIReplySize, '\0');
  result = VSRead(sensor.port->port, buffer.data(), static_cast<int>(kSDIReplySize), count);
  if (result < 0) return PortFailure(sensor, "VCommRead", result);
  buffer.resize(std::min(static_cast<size_t>(*count), kSDIReplySize));
  std::copy_if(buffer.begin(), buffer.end(), std::back_inserter(*heard), [](char c) { return c != '\0'; });
  heard->erase(0, heard->find_first_not_of(kLineFeed));
  sensor.reply = heard->substr(0, kSDIReplySize - 1);
  return 0;
}

// Asks the bus whether anybody listens; 0 when somebody answered, -21 when nobody did, or a
// port failure. Any bytes count: noise on the bus is somebody there.
int Probe(SDISensor& sensor, int* count) {
  DeviceLink& link = *sensor.port;
  for (int i = 0; i < kProbeWakes; ++i) {
    const int result = Write(sensor, kWake);
    if (result < 0) return result;
    Pause(link, kProbeWakePauseMs);
  }
  ClearInput(sensor);
  int result = Write(sensor, kProbe);
  if (result < 0) return result;
  std::string heard;
  result = Receive(sensor, kProbeTimeoutMs, count, &heard);
  if (result < 0) return result;
  return *count == 0 ? kSDIBusSilent : 0;
}

// One attempt: 1 when the command was answered, 0 when it was not, or a code that ends the exchange.
int Attempt(SDISensor& sensor, std::string_view command, const SDIAnswerShape& shape, bool wake, int* count) {
  if (wake) {
    const int result = Write(sensor, kWake);
    if (result < 0) return result;
    Pause(*sensor.port, kWakePauseMs);
    ClearInput(sensor);
  }
  int result = Write(sensor, command);
  if (result < 0) return result;
  const std::string shown(command);
  print_message(sensor.log, kLogProtocol, kSDITag, "SDISendCommand sent \"%s\"", shown.c_str());
  std::string heard;
  result = Receive(sensor, static_cast<int>(sensor.timeoutMs), count, &heard);
  if (result < 0) return result;
  if (*count == 0) return 0;
  if (!SDIFramed(command, heard) || (shape && !shape(heard))) {
    // Taken as an answer it would become settings that the restore writes back.
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISendCommand received line noise for \"%s\"", shown.c_str());
    return 0;
  }
  print_message(sensor.log, kLogProtocol, kSDITag, "SDISendCommand received \"%s\"", sensor.reply.c_str());
  return 1;
}

// Gives the caller its copy of the reply, bounded by its capacity.
void CopyReply(const SDISensor& sensor, std::string_view command, int count, std::string* reply, int* length) {
  if (reply == nullptr || length == nullptr || *length <= 0) return;
  reply->assign(sensor.reply, 0, static_cast<size_t>(*length - 1));
  *length = static_cast<int>(reply->size());
  if (*length < count) {
    const std::string shown(command);
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISendCommand dropped %d bytes of the answer to \"%s\"",
                  count - *length, shown.c_str());
  }
}

// The exchange with retries: a command answered at any attempt is answered, whatever the
// attempts before it met.
int Send(SDISensor& sensor, std::string_view command, const SDIAnswerShape& shape, std::string* reply, int* length,
         int* elapsedMs) {
  if (reply != nullptr) reply->clear();
  if (sensor.port == nullptr) {
    if (length != nullptr) *length = 0;
    return kSerialFailed;
  }
  DeviceLink& link = *sensor.port;
  const uint32_t start = Now(link);
  bool wake = true;
  int result = kSDIOk;
  int count = 0;
  for (uint32_t attempt = 0; attempt < sensor.tries; ++attempt) {
    const int outcome = Attempt(sensor, command, shape, wake, &count);
    if (outcome != 0) {
      result = outcome < 0 ? outcome : kSDIOk;
      break;
    }
    if (attempt == kSecondAttempt) result = kSDINoAnswer;
    const int probe = Probe(sensor, &count);
    if (probe < 0) {
      result = probe;
      break;
    }
    wake = !wake;
  }
  if (elapsedMs != nullptr) *elapsedMs = Since(link, start);
  if (result < 0) {
    if (length != nullptr) *length = 0;
    return result;
  }
  CopyReply(sensor, command, count, reply, length);
  return count;
}

// False only when the sensor that confirmed the write shows another value.
bool ReadBackHolds(SDISensor& sensor, std::string_view command, char address, const SDIReadBack* readBack) {
  if (readBack == nullptr) return true;
  const SDIAnswerShape shape = [address, readBack](std::string_view reply) {
    return SDIFrom(reply, address) && (!readBack->shape || readBack->shape(reply));
  };
  std::string reply;
  const int result = SDIExchange(sensor, readBack->command, &reply, shape);
  if (result < 0 || SDIRefused(reply) || readBack->holds(reply)) return true;
  const std::string shown(command);
  const std::string line(SDIAnswerLine(reply));
  print_message(sensor.log, kLogProtocol, kSDITag, "SDIConfirmedWrite read back \"%s\" after \"%s\": writing again",
                line.c_str(), shown.c_str());
  return false;
}

int Rank(int result) {
  if (result >= 0) return 0;
  return SDIAnswered(result) ? 1 : 2;
}

}  // namespace

int SDISendCommand(SDISensor& sensor, std::string_view command, std::string* reply, int* length, int* elapsedMs) {
  return Send(sensor, command, {}, reply, length, elapsedMs);
}

int SDIExchange(SDISensor& sensor, std::string_view command, std::string* reply, const SDIAnswerShape& shape) {
  int length = static_cast<int>(kSDIReplySize);
  int elapsed = 0;
  return Send(sensor, command, shape, reply, &length, &elapsed);
}

SDIWriteOutcome SDIConfirmedWrite(SDISensor& sensor, std::string_view command, const SDIReadBack* readBack) {
  SDIWriteOutcome outcome;
  for (uint32_t attempt = 0; attempt < sensor.tries; ++attempt) {
    std::string reply;
    outcome.exchange = SDIExchange(sensor, command, &reply);
    if (outcome.exchange < 0) {
      outcome.result = outcome.exchange;
      // The exchange has tried and probed already: a bus that stays silent, or a port that
      // fails, gets no further writes.
      if (outcome.exchange != kSDINoAnswer) break;
      continue;
    }
    if (SDIContains(reply, "OK")) {
      if (ReadBackHolds(sensor, command, reply.empty() ? '\0' : reply.front(), readBack)) {
        outcome.result = kSDIOk;
        break;
      }
      outcome.result = kSDINotConfirmed;
      continue;
    }
    outcome.result = SDIContains(reply, "ERROR") ? kSDIErrorAnswer : kSDINotConfirmed;
  }
  return outcome;
}

bool SDIAnswered(int result) { return result >= 0 || result == kSDINotConfirmed || result == kSDIErrorAnswer; }

int SDIWorse(int sofar, int step) {
  if (step == kSDIOk) return sofar < 0 ? sofar : kSDIOk;
  if (step >= 0) return sofar;
  return Rank(step) >= Rank(sofar) ? step : sofar;
}

int SDIWriteByte(SDISensor& sensor, char byte) {
  if (sensor.port == nullptr) return kSerialFailed;
  return WriteRaw(*sensor.port, std::string_view(&byte, 1));
}

void SDIPause(SDISensor& sensor, int milliseconds) {
  if (sensor.port != nullptr) Pause(*sensor.port, milliseconds);
}
