// The device trait word and the radio settings (channel, sub-channel, radio
// version) of loggers with a radio modem.
#include <cctype>

#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "logger/setting_commands.h"
#include "logger/setting_shape.h"

namespace {

constexpr uint32_t kFieldHubTrait = kTraitValid | kTraitRadio;
constexpr int32_t kTraitByteMax = 255;
constexpr int kRadioTimeoutMs = 2000;
constexpr int kTermPauseMs = 500;
constexpr uint32_t kRadioChannelMax = 6;
constexpr uint32_t kRadioSubChannelMax = 0xFFFF;
constexpr size_t kRadioVersionDigits = 4;

int TraitEmulated(DeviceLink& link, uint32_t* trait) {
  if (!HasCapability(link, kCapRadio)) {
    *trait = kTraitValid;
    return kLinkOk;
  }
  if (IsRadio(link)) {
    *trait = kTraitValid | kTraitRadio;
    print_message(link.log, kLogProtocol, Tag(link), "TraitCommand (emulated): knows %d", static_cast<int>(*trait));
    return kLinkOk;
  }
  std::string version;
  uint32_t mask = kBitRadioVersion;
  const int result = MSRadioCommand(link, nullptr, nullptr, &version, &mask, kRead);
  *trait = (mask & kBitRadioVersion) != 0 ? kTraitValid | kTraitRadio : kTraitValid;
  if (result < 0) return 0;
  print_message(link.log, kLogProtocol, Tag(link), "TraitCommand (emulated): found %d", static_cast<int>(*trait));
  return kLinkOk;
}

int TraitRead(DeviceLink& link, uint32_t* trait, uint32_t start) {
  if (link.settings.deviceClass == kClassFieldHub) {
    *trait = kFieldHubTrait;
    print_message(link.log, kLogProtocol, Tag(link), "TraitCommand: set trait to %d for FieldHub",
                  static_cast<int>(*trait));
    return kLinkOk;
  }
  if (!HasCapability(link, kCapTraitRead)) return TraitEmulated(link, trait);
  std::string answer;
  const int heard = AskSetting(link, "get -trait\r", kSettingKeep, &answer);
  if (heard < 0) return SettingFailed(link, "TraitCommand", heard, start);
  // The device keeps the trait byte inverted.
  const std::optional<std::string> line = ValueLine(link, ValuePlace::kAnswer);
  const std::optional<int32_t> stored = line ? WholeInteger(*line) : std::nullopt;
  if (!stored || *stored < 0 || *stored > kTraitByteMax) {
    return SettingFailed(link, "TraitCommand", kLinkNotUnderstood, start);
  }
  *trait = static_cast<uint32_t>(kTraitByteMax - *stored) | kTraitValid;
  print_message(link.log, kLogProtocol, Tag(link), "TraitCommand: found %d (%d ms)", static_cast<int>(*trait),
                Since(link, start));
  return kLinkOk;
}

// How one radio item ended.
enum class ItemStatus { kDone, kFailed, kNoRadio, kEmpty };

struct RadioOutcome {
  int result = kLinkOk;
  uint32_t done = 0;
  uint32_t failed = 0;
};

void Settle(RadioOutcome& outcome, uint32_t bit, ItemStatus status) {
  if (status == ItemStatus::kDone) outcome.done |= bit;
  if (status == ItemStatus::kFailed || status == ItemStatus::kNoRadio) outcome.failed |= bit;
}

int RadioExchange(DeviceLink& link, const std::string& command, std::string* answer) {
  return DeviceCommand(link, command, '>', kRadioTimeoutMs, answer, kSettingKeep, nullptr);
}

void WriteRadioItem(DeviceLink& link, const char* item, const std::string& command, int32_t value, uint32_t bit,
                    RadioOutcome& outcome, uint32_t start) {
  const char* acknowledgement = link.settings.deviceClass == kClassLg2 ? "OK\r\rOK" : "OK";
  ItemStatus status = ItemStatus::kFailed;
  for (uint32_t attempt = 0; attempt < link.currentTries; ++attempt) {
    std::string answer;
    const int heard = RadioExchange(link, command, &answer);
    if (heard < 0) {
      outcome.result = heard;
      continue;
    }
    if (Contains(answer, "No Radio")) {
      outcome.result = kLinkNoRadio;
      status = ItemStatus::kNoRadio;
      break;
    }
    if (Contains(answer, acknowledgement)) {
      print_message(link.log, kLogProtocol, Tag(link), "MSRadioCommand set %s to %d (%d ms)", item, value,
                    Since(link, start));
      status = ItemStatus::kDone;
      break;
    }
  }
  Settle(outcome, bit, status);
}

bool IsRadioVersion(const std::string& word) {
  if (word.size() != kRadioVersionDigits) return false;
  for (const char c : word) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

void ReadRadioVersion(DeviceLink& link, std::string* version, RadioOutcome& outcome, uint32_t start) {
  ItemStatus status = ItemStatus::kFailed;
  for (uint32_t attempt = 0; attempt < link.currentTries; ++attempt) {
    std::string answer;
    const int heard = RadioExchange(link, "get -rver\r", &answer);
    if (heard == kLinkEmptyAnswer) {
      outcome.result = 0;
      status = ItemStatus::kEmpty;
      break;
    }
    if (heard < 0) {
      outcome.result = heard;
      continue;
    }
    if (Contains(answer, "No Radio")) {
      outcome.result = kLinkNoRadio;
      status = ItemStatus::kNoRadio;
      break;
    }
    const auto word = ReadWordAnswer(RadioValueText(answer), kRadioVersionMax);
    if (!word) break;
    if (word->starts_with("00")) {  // a modem that is not fitted reports version zero
      outcome.result = kLinkNoRadio;
      version->clear();
      status = ItemStatus::kNoRadio;
      break;
    }
    if (IsRadioVersion(*word)) {
      *version = *word;
      print_message(link.log, kLogProtocol, Tag(link), "MSRadioCommand found rver %s (%d ms)", version->c_str(),
                    Since(link, start));
      status = ItemStatus::kDone;
      break;
    }
  }
  if (status == ItemStatus::kFailed) {
    print_message(link.log, kLogProtocol, Tag(link), "MSRadioCommand could not find rver (%d ms)", Since(link, start));
  }
  Settle(outcome, kBitRadioVersion, status);
}

void ReadRadioNumber(DeviceLink& link, const char* item, const char* command, uint32_t limit, int32_t* value,
                     uint32_t bit, RadioOutcome& outcome, uint32_t start) {
  ItemStatus status = ItemStatus::kFailed;
  for (uint32_t attempt = 0; attempt < link.currentTries; ++attempt) {
    std::string answer;
    const int heard = RadioExchange(link, command, &answer);
    if (heard == kLinkEmptyAnswer) {
      outcome.result = 0;
      break;
    }
    if (heard < 0) {
      outcome.result = heard;
      continue;
    }
    if (Contains(answer, "No Radio")) {
      outcome.result = kLinkNoRadio;
      status = ItemStatus::kNoRadio;
      break;
    }
    const auto number = ReadHexAnswer(RadioValueText(answer));
    if (!number) break;
    if (*number <= limit) {
      *value = static_cast<int32_t>(*number);
      print_message(link.log, kLogProtocol, Tag(link), "MSRadioCommand found %s %d (%d ms)", item, *value,
                    Since(link, start));
      status = ItemStatus::kDone;
      break;
    }
  }
  if (status == ItemStatus::kFailed) {
    print_message(link.log, kLogProtocol, Tag(link), "MSRadioCommand could not find %s (%d ms)", item,
                  Since(link, start));
  }
  Settle(outcome, bit, status);
}

// Over the radio the logger's own modem cannot be asked: the connection's
// parameters or the local modem tell the channel.
int RadioOverRadio(DeviceLink& link, int32_t* channel, int32_t* subChannel, std::string* version, uint32_t* mask,
                   int direction) {
  if (direction == kWrite) {
    print_message(link.log, kLogFailure, Tag(link),
                  "MSRadioCommand can't set radio parameters while connected over the radio");
    *mask = 0;
    return kLinkRefused;
  }
  if (version != nullptr) version->clear();
  int32_t heardChannel = link.params.radioChannel;
  int32_t heardSubChannel = link.params.radioSubChannel;
  int result = kLinkOk;
  uint32_t found = kBitRadioChannel | kBitRadioSubChannel;
  if (link.params.configureRadio) {
    print_message(link.log, kLogProtocol, Tag(link),
                  "MSRadioCommand knows the RCH is %d and RSCH is %d (can't get RVER)", heardChannel, heardSubChannel);
  } else {
    result = Rq4Config(link, &heardChannel, &heardSubChannel, nullptr, false, &found);
    print_message(link.log, kLogProtocol, Tag(link),
                  "MSRadioCommand asked the Rq4 and found the RCH is %d and RSCH is %d (can't get RVER)", heardChannel,
                  heardSubChannel);
  }
  if (channel != nullptr && (found & kBitRadioChannel) != 0) *channel = heardChannel;
  if (subChannel != nullptr && (found & kBitRadioSubChannel) != 0) *subChannel = heardSubChannel;
  *mask = found;
  return result;
}

// The old command set reaches the modem through the logger's terminal mode.
int RadioThroughTerminal(DeviceLink& link, int32_t* channel, int32_t* subChannel, std::string* version, uint32_t* mask,
                         int direction) {
  if (link.settings.deviceClass != kClassLg2) {
    *mask = 0;
    return kLinkNoAnswer;
  }
  WriteRaw(link, "term\r");
  Pause(link, kTermPauseMs);
  const int result = Rq4Config(link, channel, subChannel, version, direction == kWrite, mask);
  Pause(link, kTermPauseMs);
  DeviceCommand(link, "term\r", '>', kSettingTimeoutMs, nullptr, 0, nullptr);
  return result;
}

}  // namespace

int TraitCommand(DeviceLink& link, uint32_t* trait, int direction) {
  const uint32_t start = Now(link);
  if (trait == nullptr) return kLinkMissing;
  if (direction != kWrite) return TraitRead(link, trait, start);
  if ((*trait & kTraitValid) == 0) return kLinkInvalid;
  if (!HasCapability(link, kCapSiteGroup)) return kLinkRefused;
  const int stored = static_cast<int>(~*trait & 0xFFu);
  const int result = SendSetting(link, Format("set -trait %d\r", stored), SetAck::kOk, kSettingKeep);
  if (result != kLinkOk) return SettingFailed(link, "TraitCommand", result, start);
  print_message(link.log, kLogProtocol, Tag(link), "TraitCommand set trait to %d (%d ms)", static_cast<int>(*trait),
                Since(link, start));
  return kLinkOk;
}

int MSRadioCommand(DeviceLink& link, int32_t* channel, int32_t* subChannel, std::string* version, uint32_t* mask,
                   int direction) {
  const uint32_t start = Now(link);
  if (mask == nullptr) return kLinkMissing;
  if (!HasCapability(link, kCapRadio)) {
    *mask = 0;
    return kLinkNothing;
  }
  if (IsRadio(link)) return RadioOverRadio(link, channel, subChannel, version, mask, direction);
  if (!link.settings.newFirmware) return RadioThroughTerminal(link, channel, subChannel, version, mask, direction);
  const uint32_t want = *mask;
  RadioOutcome outcome;
  if (direction == kWrite) {
    if ((want & kBitRadioChannel) != 0 && channel != nullptr) {
      WriteRadioItem(link, "rch", Format("set -rch %X\r", static_cast<unsigned>(*channel)), *channel, kBitRadioChannel,
                     outcome, start);
    }
    if ((want & kBitRadioSubChannel) != 0 && subChannel != nullptr) {
      WriteRadioItem(link, "rsch", Format("set -rsch %X\r", static_cast<unsigned>(*subChannel)), *subChannel,
                     kBitRadioSubChannel, outcome, start);
    }
  } else {
    if ((want & kBitRadioVersion) != 0 && version != nullptr) ReadRadioVersion(link, version, outcome, start);
    if ((want & kBitRadioChannel) != 0 && channel != nullptr && outcome.result != kLinkNoRadio) {
      ReadRadioNumber(link, "rch", "get -rch\r", kRadioChannelMax, channel, kBitRadioChannel, outcome, start);
    }
    if ((want & kBitRadioSubChannel) != 0 && subChannel != nullptr && outcome.result != kLinkNoRadio) {
      ReadRadioNumber(link, "rsch", "get -rsch\r", kRadioSubChannelMax, subChannel, kBitRadioSubChannel, outcome,
                      start);
    }
  }
  if ((outcome.result == 0 || outcome.result == kLinkNoRadio) && outcome.done == 0) {
    print_message(link.log, kLogProtocol, Tag(link), "MSRadioCommand couldn't find a radio (%d ms)",
                  Since(link, start));
  } else if (outcome.result < 0 || outcome.failed != 0) {
    // Failed items with nothing obtained must not read as success.
    if (outcome.done != 0) {
      outcome.result = kLinkPartial;
    } else if (outcome.result >= 0) {
      outcome.result = kLinkNotUnderstood;
    }
    print_message(link.log, kLogFailure, Tag(link), "MSRadioCommand failed with error %d setting %d (%d ms)",
                  outcome.result, static_cast<int>(outcome.failed), Since(link, start));
  }
  *mask = outcome.done;
  return outcome.result;
}
