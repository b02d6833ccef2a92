// Identifying the device: "get -ver" for the current command set, "show" for
// the old one.
#include <cctype>

#include "logger/answer_parsers.h"
#include "logger/device_link.h"
#include "logger/link_helpers.h"

namespace {

constexpr int kVerCableTimeoutMs = 400;
constexpr int kVerRadioTimeoutMs = 800;
constexpr int kVerKeep = 32;
constexpr uint32_t kVerExtraPasses = 3;
constexpr int kMaxBareAnswers = 3;
constexpr int kVerRetryPauseMs = 400;
constexpr int kLoaderPromptPauseMs = 3000;
constexpr size_t kLoaderAnswerMin = 4;
constexpr int kShowTimeoutMs = 1500;
constexpr int kShowKeep = 180;
constexpr int32_t kOldestShowVersion = 110;

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

void StoreIdentity(DeviceLink& link, const VersionLine& line, uint32_t start) {
  LoggerSettings& settings = link.settings;
  StoreText(settings.versionText, line.text, kVersionTextMax);
  settings.versionNumber = line.number;
  settings.newFirmware = true;
  settings.deviceClass = FindDeviceClass(UpperCase(line.tag));
  settings.className = DeviceClassRow(settings.deviceClass).name;
  SetClassCapabilities(settings);
  print_message(link.log, kLogProtocol, Tag(link), "VerCommand found \"%s\" ver %d (%d ms)",
                settings.versionText.c_str(), settings.versionNumber, Since(link, start));
}

// The second error answer to "get -ver": a device of the old command set.
int TakeOldLg2(DeviceLink& link, bool loginOnly, uint32_t start) {
  LoggerSettings& settings = link.settings;
  settings.newFirmware = false;
  settings.deviceClass = kClassLg2;
  settings.className = DeviceClassRow(kClassLg2).name;
  print_message(link.log, kLogProtocol, Tag(link), "VerCommand found Lg2 with old firmware (%d ms)",
                Since(link, start));
  int result = kLinkOk;
  // A model too old for "show" must not pass as identified.
  if (!loginOnly && ParseShowCommand(link, nullptr) == kLinkUnsupported) result = kLinkUnsupported;
  SetClassCapabilities(settings);
  return result;
}

void ForgetIdentity(LoggerSettings& settings) {
  settings.newFirmware = false;
  settings.deviceClass = kClassUnknown;
  settings.className = DeviceClassRow(kClassUnknown).name;
  settings.versionText.clear();
  settings.versionNumber = 0;
}

std::string_view SkipReturns(std::string_view text) {
  while (!text.empty() && text.front() == '\r') text.remove_prefix(1);
  return text;
}

// What one pass of VerCommand decided.
enum class VerStep { kNext, kStop, kRestart };

struct VerState {
  int result = kLinkOk;
  int bareAnswers = 0;
  int errorAnswers = 0;
  bool identified = false;
};

VerStep ReadVerAnswer(DeviceLink& link, bool loginOnly, int heard, const std::string& answer, VerState& state,
                      uint32_t start) {
  if (Contains(answer, ".")) {
    const VersionLine line = ParseVersionLine(answer);
    if (line.status == VersionStatus::kOk) {
      StoreIdentity(link, line, start);
      state.result = kLinkOk;
      state.identified = true;
      return VerStep::kStop;
    }
    if (line.status == VersionStatus::kUnreadable) state.result = kLinkNotUnderstood;
    Pause(link, kVerRetryPauseMs);
    return VerStep::kNext;
  }
  if (Contains(answer, "+")) {
    const std::string_view text = SkipReturns(answer);
    if (text.starts_with('+') && text.size() >= kLoaderAnswerMin) {
      state.result = kLinkLoader;
      return VerStep::kStop;
    }
    return VerStep::kNext;
  }
  if (Contains(answer, "$")) {
    if (state.result == kLinkLoaderPrompt) return VerStep::kStop;
    state.result = kLinkLoaderPrompt;
    Pause(link, kLoaderPromptPauseMs);
    return VerStep::kNext;
  }
  if (heard == kLinkErrorAnswer) {
    if (++state.errorAnswers == 1) {
      state.result = kLinkNotUnderstood;
      Pause(link, kVerRetryPauseMs);
      return VerStep::kNext;
    }
    state.result = TakeOldLg2(link, loginOnly, start);
    state.identified = state.result == kLinkOk;
    return VerStep::kStop;
  }
  state.result = kLinkNotUnderstood;
  print_message(link.log, kLogProtocol, Tag(link), "VerCommand couldn't decipher \"%s\" (%d ms)", answer.c_str(),
                Since(link, start));
  return VerStep::kNext;
}

VerStep VerPass(DeviceLink& link, bool loginOnly, int timeoutMs, VerState& state, uint32_t start) {
  std::string answer;
  const int heard = DeviceCommand(link, "get -ver\r", '>', timeoutMs, &answer, kVerKeep, nullptr);
  if (link.currentTries == 1 && heard == kLinkNoAnswer) {
    state.result = kLinkNoAnswer;
    return VerStep::kNext;
  }
  if (heard >= 0 && answer.size() >= 2 && answer[1] == '>' && answer[0] != '\0') {
    state.result = kLinkEcho;
    return VerStep::kNext;
  }
  if (heard >= 0 && (answer == "\r" || answer == ">")) {
    state.result = kLinkNotUnderstood;
    if (++state.bareAnswers >= kMaxBareAnswers) return VerStep::kStop;
    Pause(link, timeoutMs);
    return VerStep::kRestart;
  }
  if (heard >= 0 || heard == kLinkErrorAnswer) return ReadVerAnswer(link, loginOnly, heard, answer, state, start);
  state.result = heard;
  return heard == kLinkNoAnswer ? VerStep::kStop : VerStep::kNext;
}

void StoreShowValues(DeviceLink& link, const ShowAnswer& show) {
  LoggerSettings& settings = link.settings;
  if (show.rmode) settings.rmode = *show.rmode;
  if (show.wake) settings.wake = *show.wake;
  if (show.resets) link.resets = static_cast<uint32_t>(*show.resets);
}

int ShowFailed(DeviceLink& link, int exchange, uint32_t errorBits, uint32_t start) {
  print_message(link.log, kLogFailure, Tag(link), "ParseShowCommand failed with errors %d and %d (%d ms)", exchange,
                static_cast<int>(errorBits), Since(link, start));
  return kLinkNotUnderstood;
}

}  // namespace

int VerCommand(DeviceLink& link, bool loginOnly) {
  const uint32_t start = Now(link);
  if (link.settings.deviceClass == kClassLg2 && !link.settings.newFirmware) return ParseShowCommand(link, nullptr);
  const int timeoutMs = IsRadio(link) ? kVerRadioTimeoutMs : kVerCableTimeoutMs;
  VerState state;
  const uint32_t passes = link.currentTries + kVerExtraPasses;
  for (uint32_t pass = 0; pass < passes; ++pass) {
    const VerStep step = VerPass(link, loginOnly, timeoutMs, state, start);
    if (step == VerStep::kStop) break;
    if (step == VerStep::kRestart) pass = static_cast<uint32_t>(-1);  // the loop's increment makes it 0
  }
  // Passes that ran out on answers that were neither a version nor an error are no identification.
  if (state.result == kLinkOk && !state.identified) state.result = kLinkNotUnderstood;
  if (state.result < 0) {
    print_message(link.log, kLogFailure, Tag(link), "VerCommand failed with error %d (%d ms)", state.result,
                  Since(link, start));
    ForgetIdentity(link.settings);
  }
  return state.result;
}

int ParseShowCommand(DeviceLink& link, std::string* name) {
  const uint32_t start = Now(link);
  LoggerSettings& settings = link.settings;
  if (settings.deviceClass != kClassLg2 || settings.newFirmware) {
    print_message(link.log, kLogFailure, Tag(link),
                  "ParseShowCommand doesn't work with devices running \"new\" firmware.");
    return kLinkInvalid;
  }
  std::string answer;
  const int exchange = DeviceCommand(link, "show\r", '>', kShowTimeoutMs, &answer, kShowKeep, nullptr);
  const ShowAnswer show = exchange >= 0 ? ParseShowAnswer(answer) : ShowAnswer{};
  if (name != nullptr) {
    // Asking only for the name leaves the record as it is, whatever the answer.
    if (exchange >= 0 && show.name) {
      *name = *show.name;
      return kLinkOk;
    }
    return ShowFailed(link, exchange, show.errorBits | kShowErrorName, start);
  }
  if (exchange >= 0) {
    if (show.name) StoreText(settings.deviceName, *show.name, kDeviceNameMax);
    if (show.versionText) StoreText(settings.versionText, *show.versionText, kVersionTextMax);
    if (show.versionNumber) settings.versionNumber = *show.versionNumber;
    if (settings.versionNumber < kOldestShowVersion) return kLinkUnsupported;
    StoreShowValues(link, show);
  }
  settings.serialNumber.clear();
  if (exchange < 0 || show.errorBits != 0) {
    settings.deviceName.clear();
    settings.versionText.clear();
    settings.versionNumber = -1;
    settings.wake = -1;
    settings.rmode = 0;
    return ShowFailed(link, exchange, show.errorBits, start);
  }
  print_message(link.log, kLogFailure, Tag(link), "ParseShowCommand found %s:%s:%d:%d:%d (%d ms)",
                settings.deviceName.c_str(), settings.versionText.c_str(), settings.rmode, settings.wake,
                static_cast<int>(link.resets), Since(link, start));
  return kLinkOk;
}
