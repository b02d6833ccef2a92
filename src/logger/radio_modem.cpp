// The radio path: asking a device its name, waking sleeping radio loggers and
// configuring the radio modem with AT commands.
#include <algorithm>
#include <optional>

#include "logger/answer_parsers.h"
#include "logger/device_link.h"
#include "logger/link_helpers.h"

namespace {

constexpr int kQueryTimeoutMs = 3000;
constexpr int kQueryKeep = 180;
constexpr int kQueryProgressPhase = 4;
constexpr int kQuerySettleMs = 2500;

constexpr int kWakePackets = 909;
constexpr int kWakeIntervalMs = 55;
constexpr int kWakeSlowMs = 54;
constexpr int kWakeProgressEvery = 18;
constexpr int kWakeProgressPhase = 1;
constexpr int kProgressDonePhase = 2;

constexpr int kAtTimeoutMs = 1500;
constexpr int kAtSaveTimeoutMs = 2000;
constexpr int kAtKeep = 32;
constexpr int kAtModeAttempts = 2;
constexpr int kAtSettleMs = 100;
constexpr int kMissChannel = 1;
constexpr int kMissSubChannel = 2;
constexpr int kMissVersion = 4;
constexpr int kMissSave = 8;

std::string NameOfQueryAnswer(const std::string& answer) {
  const size_t end = answer.find('\r');
  return answer.substr(0, std::min(end, kDeviceNameMax));
}

// One AT exchange that must be acknowledged with "OK": 1, -1 without it, or the exchange's code.
int AtCommand(DeviceLink& link, const std::string& command, int timeoutMs) {
  std::string answer;
  const int heard = DeviceCommand(link, command, 'K', timeoutMs, &answer, kAtKeep, nullptr);
  if (heard < 0) return heard;
  return Contains(answer, "OK") ? kLinkOk : kLinkNothing;
}

int EnterAtMode(DeviceLink& link) {
  int result = kLinkRadioConfig;
  for (int attempt = 0; attempt < kAtModeAttempts; ++attempt) {
    result = AtCommand(link, "+++", kAtTimeoutMs);
    if (result == kLinkOk) return result;
    if (result == kLinkNothing) result = kLinkRadioConfig;
  }
  return result;
}

struct AtProgress {
  int result = kLinkOk;
  uint32_t done = 0;
  int miss = 0;
};

void SetAtItem(DeviceLink& link, const std::string& command, const char* item, int32_t value, uint32_t bit, int miss,
               AtProgress& progress, uint32_t start) {
  const int result = AtCommand(link, command, kAtTimeoutMs);
  if (result == kLinkOk) {
    print_message(link.log, kLogProtocol, Tag(link), "Rq4Config set %s to %d (%d ms)", item, value, Since(link, start));
    progress.done |= bit;
    return;
  }
  progress.miss += miss;
  if (result < 0 && result != kLinkNothing) progress.result = result;
}

void SetAtItems(DeviceLink& link, const int32_t* channel, const int32_t* subChannel, uint32_t want,
                AtProgress& progress, uint32_t start) {
  if ((want & kBitRadioChannel) != 0 && channel != nullptr) {
    SetAtItem(link, Format("ATHP%X\r", static_cast<unsigned>(*channel)), "rch", *channel, kBitRadioChannel,
              kMissChannel, progress, start);
  }
  if ((want & kBitRadioSubChannel) != 0 && subChannel != nullptr) {
    SetAtItem(link, Format("ATDT%X\r", static_cast<unsigned>(*subChannel)), "rsch", *subChannel, kBitRadioSubChannel,
              kMissSubChannel, progress, start);
  }
  if (AtCommand(link, "ATWR\r", kAtSaveTimeoutMs) == kLinkOk) {
    print_message(link.log, kLogProtocol, Tag(link), "Rq4Config saved configuration (%d ms)", Since(link, start));
    progress.result = kLinkOk;
  } else {
    progress.miss += kMissSave;
  }
}

std::optional<std::string> AtQuery(DeviceLink& link, const char* command) {
  std::string answer;
  if (DeviceCommand(link, command, '\r', kAtTimeoutMs, &answer, kAtKeep, nullptr) < 0) return std::nullopt;
  return answer;
}

void ReadAtNumber(DeviceLink& link, const char* command, const char* item, int32_t* value, uint32_t bit, int miss,
                  AtProgress& progress, uint32_t start) {
  const auto answer = AtQuery(link, command);
  const auto number = answer ? ReadHexAnswer(*answer) : std::nullopt;
  if (number) {
    *value = static_cast<int32_t>(*number);
    progress.done |= bit;
    print_message(link.log, kLogProtocol, Tag(link), "Rq4Config found %s %d (%d ms)", item, *value, Since(link, start));
    return;
  }
  print_message(link.log, kLogProtocol, Tag(link), "Rq4Config could not find %s (%d ms)", item, Since(link, start));
  progress.miss += miss;
}

void ReadAtItems(DeviceLink& link, int32_t* channel, int32_t* subChannel, std::string* version, uint32_t want,
                 AtProgress& progress, uint32_t start) {
  if ((want & kBitRadioChannel) != 0 && channel != nullptr) {
    ReadAtNumber(link, "ATHP\r", "rch", channel, kBitRadioChannel, kMissChannel, progress, start);
  }
  if ((want & kBitRadioSubChannel) != 0 && subChannel != nullptr) {
    ReadAtNumber(link, "ATDT\r", "rsch", subChannel, kBitRadioSubChannel, kMissSubChannel, progress, start);
  }
  if ((want & kBitRadioVersion) != 0 && version != nullptr) {
    const auto answer = AtQuery(link, "ATVR\r");
    const auto word = answer ? ReadWordAnswer(*answer, kRadioVersionMax) : std::nullopt;
    if (word) {
      *version = *word;
      progress.done |= kBitRadioVersion;
      print_message(link.log, kLogProtocol, Tag(link), "Rq4Config found rver %s (%d ms)", version->c_str(),
                    Since(link, start));
    } else {
      print_message(link.log, kLogProtocol, Tag(link), "Rq4Config could not find rver (%d ms)", Since(link, start));
      progress.miss += kMissVersion;
    }
  }
}

}  // namespace

int QueryCommand(DeviceLink& link, std::string* name) {
  if (name == nullptr) return kLinkMissing;
  const uint32_t start = Now(link);
  const uint32_t passes = link.currentTries;
  link.currentTries = 1;
  int result = kLinkNoAnswer;
  for (uint32_t pass = 0; pass < passes; ++pass) {
    if (!Progress(link, static_cast<int>(passes), static_cast<int>(pass), kQueryProgressPhase)) {
      result = kLinkCancelled;
      break;
    }
    std::string answer;
    result = DeviceCommand(link, "\rquery\r", '\r', kQueryTimeoutMs, &answer, kQueryKeep, nullptr);
    if (result >= 0) {
      *name = NameOfQueryAnswer(answer);
      result = kLinkOk;
      if (ValidateDeviceName(name) == kLinkOk) break;
      continue;
    }
    if (result == kLinkEcho) break;
  }
  link.currentTries = passes;
  if (result >= 0) {
    print_message(link.log, kLogProtocol, Tag(link), "QueryCommand heard from: %s (%d ms)", name->c_str(),
                  Since(link, start));
    Pause(link, kQuerySettleMs);
    return kLinkOk;
  }
  if (result == kLinkCancelled) {
    print_message(link.log, kLogProtocol, Tag(link), "QueryCommand canceled by user");
  } else if (result == kLinkEcho) {
    print_message(link.log, kLogFailure, Tag(link),
                  "QueryCommand is hearing \"query\" -- a relay must be active (%d ms)", Since(link, start));
    result = kLinkRelay;
  } else if (result == kLinkNoAnswer) {
    print_message(link.log, kLogProtocol, Tag(link), "QueryCommand didn't get any answers after %d tries (%d ms)",
                  static_cast<int>(passes), Since(link, start));
    result = kLinkLastSilent;
  } else {
    print_message(link.log, kLogFailure, Tag(link), "QueryCommand failed with error %d (%d ms)", result,
                  Since(link, start));
  }
  return result;
}

int SendWake(DeviceLink& link) {
  TraceCommand(link, "\r<Sending Query Mode wake sequence...>\r");
  bool tooSlow = false;
  for (int packet = 0; packet < kWakePackets; ++packet) {
    int written = 0;
    const int sent = VSWrite(link.port, "\r", 1, &written);
    if (sent < 0) return sent;
    const uint32_t writtenAt = Now(link);
    int pause = kWakeIntervalMs;
    if (link.config.progress && !tooSlow) {
      if (packet % kWakeProgressEvery == 0 && !Progress(link, kWakePackets, packet, kWakeProgressPhase)) {
        print_message(link.log, kLogProtocol, Tag(link), "SendWake canceled by user after sending %d of %d packets",
                      packet + 1, kWakePackets);
        return kLinkCancelled;
      }
      // The hook's own time comes off the pause so the packets keep their pace.
      const int taken = Since(link, writtenAt);
      if (taken > kWakeSlowMs) {
        tooSlow = true;
        pause = 0;
      } else {
        pause = kWakeIntervalMs - taken;
      }
    }
    Pause(link, pause);
  }
  if (tooSlow)
    print_message(link.log, kLogProtocol, Tag(link), "SendWake executing too slow to send status (PIG status)!");
  print_message(link.log, kLogProtocol, Tag(link), "SendWake sent %d packets", kWakePackets);
  Progress(link, kWakePackets, kWakePackets, kProgressDonePhase);
  return kLinkOk;
}

int Rq4Config(DeviceLink& link, int32_t* channel, int32_t* subChannel, std::string* version, bool set, uint32_t* mask) {
  if (mask == nullptr) return kLinkMissing;
  const uint32_t start = Now(link);
  const int entered = EnterAtMode(link);
  if (entered != kLinkOk) {
    print_message(link.log, kLogFailure, Tag(link), "Rq4Config failed to get into AT command mode: %d (%d ms)", entered,
                  Since(link, start));
    *mask = 0;
    return kLinkRadioConfig;
  }
  AtProgress progress;
  if (set) {
    SetAtItems(link, channel, subChannel, *mask, progress, start);
  } else {
    ReadAtItems(link, channel, subChannel, version, *mask, progress, start);
  }
  const int left = AtCommand(link, "ATCN\r", kAtTimeoutMs);
  if (left != kLinkOk) {
    print_message(link.log, kLogFailure, Tag(link), "Rq4Config failed to get out of AT command mode: %d (%d ms)", left,
                  Since(link, start));
    return left;
  }
  if (progress.result < 0 || progress.miss != 0) {
    // Items missed with nothing done is a failure, not a success with an empty mask.
    if (progress.done != 0) {
      progress.result = kLinkPartial;
    } else if (progress.result >= 0) {
      progress.result = kLinkNothing;
    }
    print_message(link.log, kLogFailure, Tag(link), "Rq4Config failed with error %d and %d (%d ms)", progress.result,
                  progress.miss, Since(link, start));
  }
  *mask = progress.done;
  Pause(link, kAtSettleMs);
  return progress.result;
}
