// The instrument link record, connecting and identifying, login, the checks
// the update sequences make, and the single-value exchanges the settings
// capture is built on.
#include "instrument/instrument_link.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <optional>

#include "bsl/device_types.h"
#include "instrument/device_kinds.h"
#include "instrument/instrument_settings.h"
#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "logger/settings_loop.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr int kLoginPauseMs = 1000;
constexpr int kLoginCharacterPauseMs = 250;
constexpr int kLoginAttempts = 3;
constexpr int kLoginTimeoutMs = 6000;
constexpr int kLoginKeep = 32;
constexpr std::string_view kLoginEnd = "\r\n\r";
constexpr int kLogoutTimeoutMs = 2000;
constexpr int kLogoutKeep = 32;
constexpr int kDisconnectPauseMs = 100;
constexpr int kPostAttempts = 3;
constexpr int kPostTimeoutMs = 7000;
constexpr int kPostKeep = 64;
constexpr int kPostRetryPauseMs = 1000;
constexpr int kBatteryTimeoutMs = 2000;
constexpr int kBatteryKeep = 32;
constexpr int kEraseTimeoutMs = 17000;
constexpr int kEraseKeep = 32;
constexpr int kClockTimeoutMs = 20000;
constexpr int kClockKeep = 32;
constexpr int kValueAttempts = 3;
constexpr size_t kValueLineMax = 511;
constexpr int kValueKeep = 512;
constexpr int kCommandAttempts = 3;
constexpr int kCommandTimeoutMs = 9500;
constexpr int kCommandKeep = 128;
constexpr int kCommandRetryPauseMs = 1000;
constexpr const char* kTag = "Vorn_protocol";

// A command line as the log shows it: without its closing carriage return.
std::string Shown(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return std::string(line);
}

int Exchange(InstrumentLink& link, std::string_view command, int timeoutMs, std::string* answer, int keep,
             int* elapsedMs) {
  return DeviceCommand(link.device, command, '>', timeoutMs, answer, keep, elapsedMs);
}

// The ConnectDevice, identity and profile steps of VPConnect; the first failure ends it.
int ConnectAndIdentify(InstrumentLink& link, const std::string& portName, int baudIndex, DeviceProfile* profile,
                       LoggerSettings* identified) {
  ConnectParams params;
  params.portName = portName;
  params.connectionType = kConnectionSerial;
  params.baudIndex = static_cast<uint8_t>(baudIndex);
  int result = ConnectDevice(link.device, &params);
  if (result < 0) return result;
  uint32_t mask = 0;
  result = DeviceSettings(link.device, identified, &mask, 0);
  if (result < 0) return result;
  return ParseIdentity(identified->versionText.c_str(), profile);
}

int ConnectOutcome(InstrumentLink& link, int result, const DeviceProfile& profile, const LoggerSettings& identified) {
  if (result >= 0 && !profile.updatable) {
    print_message(link.log, kLogFailure, kTag, "VPConnect this firmware version is not supported");
    return kVPNotSupported;
  }
  if (result == kLinkNotListening) {
    print_message(link.log, kLogStep, kTag, "VPConnect couldn't connect.");
    return result;
  }
  if (result == kLinkLoader || result == kLinkLoaderPrompt) {
    print_message(link.log, kLogStep, kTag, "VPConnect found the VornBSL listening (%d)", result);
    return result;
  }
  if (result == kLinkNotUnderstood || result == kLinkEcho) {
    print_message(link.log, kLogFailure, kTag, "VPConnect this device must not be supported");
    return kVPNotSupported;
  }
  if (result < 0) {
    print_message(link.log, kLogFailure, kTag, "VPConnect received error %d trying to connect to device", result);
    return result;
  }
  link.settings.deviceClass = identified.deviceClass;
  link.settings.versionNumber = identified.versionNumber;
  link.settings.versionText = identified.versionText;
  link.settings.newFirmware = true;
  link.kind = profile.kind;
  link.profile = profile;
  print_message(link.log, kLogStep, kTag, "VPConnect successfully connected to device");
  return kLinkOk;
}

// One login attempt: the line typed slowly, then the line ends. The answer comes back.
int LoginAttempt(InstrumentLink& link, std::string* answer) {
  VSPurge(link.device.port, kPurgeReceive);
  const std::string line = "login *" + std::string(kVPLoginCode);
  for (char c : line) {
    int written = 0;
    VSWrite(link.device.port, &c, 1, &written);
    Pause(link.device, kLoginCharacterPauseMs);
  }
  Pause(link.device, kLoginCharacterPauseMs);
  return Exchange(link, kLoginEnd, kLoginTimeoutMs, answer, kLoginKeep, nullptr);
}

int EraseByConfirmation(InstrumentLink& link) {
  std::string answer;
  int elapsed = 0;
  int result = Exchange(link, "yes\r", kEraseTimeoutMs, &answer, kEraseKeep, &elapsed);
  if (result >= 0 && Contains(answer, "OK")) {
    print_message(link.log, kLogStep, kTag, "VPEraseData erased device data (%d ms)", elapsed);
    return kLinkOk;
  }
  if (result >= 0 && Contains(answer, "DataFlash FAIL")) {
    print_message(link.log, kLogFailure, kTag, "VPEraseData failed due to a broken DataFlash (%d ms)", elapsed);
    return kVPBrokenDataFlash;
  }
  if (result >= 0) result = kLinkNotUnderstood;
  print_message(link.log, kLogFailure, kTag, "VPEraseData failed with error %d (%d ms)", result, elapsed);
  return result;
}

int SetClockInSeconds(InstrumentLink& link, int64_t* vornSeconds, int* elapsed) {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) {
    print_message(link.log, kLogFailure, kTag, "VPSetTime failed to get system time with error %d", errno);
    return kLinkNotUnderstood;
  }
  *vornSeconds = VornSeconds(static_cast<int64_t>(now), LocalUtcOffset());
  std::string answer;
  const std::string line = Format("set -sec %ld\r", static_cast<long>(*vornSeconds));
  const int result = Exchange(link, line, kClockTimeoutMs, &answer, kClockKeep, elapsed);
  if (result < 0) return result;
  return Contains(answer, "OK") ? kLinkOk : kLinkNotUnderstood;
}

// Where a value starts in an answer: after one carriage return and one line feed.
std::string_view ValueStart(std::string_view answer) {
  if (!answer.empty() && answer.front() == '\r') answer.remove_prefix(1);
  if (!answer.empty() && answer.front() == '\n') answer.remove_prefix(1);
  return answer;
}

// A number setting's line holds the number and nothing else.
std::optional<long> NumberLine(std::string_view line) {
  AnswerScan scan{line};
  int64_t number = 0;
  if (!ScanInteger(scan, &number)) return std::nullopt;
  if (!IsBlank(line.substr(scan.position))) return std::nullopt;
  return static_cast<long>(number);
}

// A value counts only once the prompt has come: bytes that end in a time-out are a cut-off
// answer, noise, or a device that no longer runs its command line (a reset into its loader
// answers "$"), and reading on would only take more time-outs.
bool Prompted(InstrumentLink& link, const std::string& answer, const std::string& command, int elapsed, int* result) {
  if (answer.find('>') != std::string::npos) return true;
  print_message(link.log, kLogStep, kTag, "GetValue found no prompt executing command \"%s\" (%d ms)", command.c_str(),
                elapsed);
  *result = kLinkNoAnswer;
  return false;
}

std::string ValueLine(std::string_view command) {
  std::string line(command.substr(0, kValueLineMax - 1));
  line.push_back('\r');
  return line;
}

}  // namespace

InstrumentLink::InstrumentLink(MessageLog* messageLog)
    : log(messageLog),
      device(messageLog),
      sdi(std::make_unique<SDISensor>(messageLog, &device)),
      info(std::make_unique<InstrumentSettings>()),
      userRecords(std::make_unique<RecordSet>()),
      eqnRecords(std::make_unique<RecordSet>()) {}

InstrumentLink::~InstrumentLink() = default;

int VPConnect(InstrumentLink& link, const std::string& portName, int baudIndex, int tries, DeviceProfile* profile) {
  if (portName.empty() || profile == nullptr) return kLinkMissing;
  LinkConfig config;
  config.keepPortOpen = false;
  config.serialTries = static_cast<uint32_t>(tries < 0 ? 0 : tries);
  config.radioTries = 0;  // the default
  config.progress = false;
  config.traceLevel = 0;
  config.extraWaitMs = 0;
  const int configured = ConfigureLink(link.device, &config, 1);
  if (configured < 0) {
    print_message(link.log, kLogFailure, kTag, "VPConnect received error %d trying to configure AQUIN_Prototcol",
                  configured);
    return configured;
  }
  LoggerSettings identified;
  const int result = ConnectAndIdentify(link, portName, baudIndex, profile, &identified);
  return ConnectOutcome(link, result, *profile, identified);
}

int VPLogin(InstrumentLink& link) {
  const uint32_t start = Now(link.device);
  Pause(link.device, kLoginPauseMs);
  int result = kLinkNoAnswer;
  std::string answer;
  bool accepted = false;
  for (int attempt = 0; attempt < kLoginAttempts && !accepted; ++attempt) {
    result = LoginAttempt(link, &answer);
    accepted = result >= 0 && (Contains(answer, "OK") || Contains(answer, kVPLoginCode));
  }
  if (result < 0) {
    print_message(link.log, kLogFailure, kTag, "VPConnect couldn't log into the device (%d ms): heard \"%s\"",
                  Since(link.device, start), answer.c_str());
    result = kVPLoginFailed;
  } else {
    print_message(link.log, kLogFailure, kTag, "VPConnect successfully logged into the device (%d ms)",
                  Since(link.device, start));
    if (accepted) result = kLinkOk;
  }
  Pause(link.device, kLoginPauseMs);
  return result;
}

int VPDisconnect(InstrumentLink& link, bool sendLogout) {
  if (sendLogout && link.profile.login) Exchange(link, "logout\r", kLogoutTimeoutMs, nullptr, kLogoutKeep, nullptr);
  const int result = DisconnectDevice(link.device);
  Pause(link.device, kDisconnectPauseMs);
  return result;
}

int VPCheckFirmware(InstrumentLink& link, bool initialise) {
  const std::string_view command = initialise ? "post -init\r" : "post\r";
  int result = kLinkNotUnderstood;
  for (int attempt = 0; attempt < kPostAttempts; ++attempt) {
    std::string answer;
    result = Exchange(link, command, kPostTimeoutMs, &answer, kPostKeep, nullptr);
    if (result < 0) {
      print_message(link.log, kLogFailure, kTag, "VPCheckFirmware can't determine firmware code status (error %d)",
                    result);
    } else if (Contains(answer, "Code Good!")) {
      print_message(link.log, kLogStep, kTag, "VPCheckFirmware: Device reports good firmware code!");
      return kLinkOk;
    } else if (Contains(answer, "Code Corrupt!")) {
      print_message(link.log, kLogFailure, kTag, "VPCheckFirmware: Device reports corrupt firmware code!");
      return kVPCorrupt;
    } else {
      result = kLinkNotUnderstood;
      print_message(link.log, kLogFailure, kTag, "VPCheckFirmware can't determine firmware code status");
    }
    Pause(link.device, kPostRetryPauseMs);
  }
  return result;
}

int VPCheckBattery(InstrumentLink& link, int* percent) {
  if (percent == nullptr) return kLinkMissing;
  std::string answer;
  int elapsed = 0;
  const int result = Exchange(link, "get -batt\r", kBatteryTimeoutMs, &answer, kBatteryKeep, &elapsed);
  if (result < 0) {
    *percent = -1;
    return result;
  }
  AnswerScan scan{answer};
  int32_t value = 0;
  if (!ScanInteger(scan, &value)) {
    print_message(link.log, kLogFailure, kTag, "VPCheckBattery failed to parse battery power (%d ms)", elapsed);
    return kLinkNotUnderstood;
  }
  *percent = value;
  print_message(link.log, kLogStep, kTag, "VPCheckBattery: %d%% battery (%d ms)", value, elapsed);
  return kLinkOk;
}

int VPEraseData(InstrumentLink& link) {
  if (IsLoggerKind(link.kind)) return EraseData(link.device);
  if (IsKindOneOf(link.kind, {7, 8, 9, 11, 14, 15, 16, 22, 23})) return EraseByConfirmation(link);
  return kLinkUnsupported;
}

int VPSetTime(InstrumentLink& link) {
  if (!link.profile.setTime) return kLinkUnsupported;
  int64_t vornSeconds = 0;
  int elapsed = 0;
  int result = kLinkOk;
  if (IsKindOneOf(link.kind, {8, 11, 15, 16, 21, 22, 23})) {
    result = SetClockInSeconds(link, &vornSeconds, &elapsed);
  } else {
    const uint32_t start = Now(link.device);
    result = DeviceTime(link.device, &vornSeconds, 1);
    elapsed = Since(link.device, start);
  }
  if (result >= 0) {
    print_message(link.log, kLogProtocol, kTag, "VPSetTime set the time to: %ld", static_cast<long>(vornSeconds));
  } else {
    print_message(link.log, kLogProtocol, kTag, "VPSetTime got error %d (%d ms)", result, elapsed);
  }
  return result;
}

int GetValueString(InstrumentLink& link, const std::string& command, int timeoutMs, std::string* value,
                   size_t maximum) {
  if (value == nullptr) return kLinkMissing;
  const std::string line = ValueLine(command);
  int result = kLinkNotUnderstood;
  int elapsed = 0;
  std::string found;
  for (int attempt = 0; attempt < kValueAttempts; ++attempt) {
    std::string answer;
    result = Exchange(link, line, timeoutMs, &answer, kValueKeep, &elapsed);
    if (result < 0) continue;
    if (!Prompted(link, answer, command, elapsed, &result)) continue;
    if (Contains(answer, "Error")) {
      result = kLinkNotUnderstood;
      continue;
    }
    const std::string_view start = ValueStart(answer);
    if (!start.empty() && start.front() == '>') {
      print_message(link.log, kLogStep, kTag,
                    "GetValueString found a leading prompt character executing command \"%s\" (%d ms)",
                    command.c_str(), elapsed);
      result = kLinkNotUnderstood;
      continue;
    }
    // Values are kept as the device sends them, whatever bytes they hold (users type text with
    // any characters into their instruments): noise is told from a value by the answer's shape.
    const std::optional<std::string_view> closed = ClosedLine(start);
    if (!closed) {
      print_message(link.log, kLogStep, kTag, "GetValueString found line noise executing command \"%s\" (%d ms)",
                    command.c_str(), elapsed);
      result = kLinkNotUnderstood;
      continue;
    }
    found.assign(closed->substr(0, maximum));
    result = found.empty() ? kLinkNotUnderstood : kLinkOk;
    if (result == kLinkOk) break;
  }
  if (result == kLinkOk) {
    *value = found;
    print_message(link.log, kLogStep, kTag, "GetValueString found %s \"%s\" (%d ms)", command.c_str(), value->c_str(),
                  elapsed);
    return kLinkOk;
  }
  print_message(link.log, kLogStep, kTag, "GetValueString received error %d executing command \"%s\" (%d ms)", result,
                command.c_str(), elapsed);
  return result;
}

int GetValueLong(InstrumentLink& link, const std::string& command, int timeoutMs, long* value) {
  if (value == nullptr) return kLinkMissing;
  const std::string line = ValueLine(command);
  int result = kLinkNotUnderstood;
  int elapsed = 0;
  for (int attempt = 0; attempt < kValueAttempts; ++attempt) {
    std::string answer;
    result = Exchange(link, line, timeoutMs, &answer, kValueKeep, &elapsed);
    if (result < 0) continue;
    if (!Prompted(link, answer, command, elapsed, &result)) continue;
    if (Contains(answer, "Error")) {
      result = kLinkNotUnderstood;
      continue;
    }
    const size_t lineEnd = answer.find('\r');
    std::string_view rest(answer);
    if (lineEnd != std::string::npos) rest.remove_prefix(lineEnd + 1);
    if (!rest.empty() && rest.front() == '\n') rest.remove_prefix(1);
    // The number is the whole of a closed line; anything else is noise or another answer.
    const std::optional<std::string_view> closed = ClosedLine(rest);
    const std::optional<long> number = closed ? NumberLine(*closed) : std::nullopt;
    if (number) {
      *value = *number;
      result = kLinkOk;
      break;
    }
    result = kLinkNotUnderstood;
  }
  if (result == kLinkOk) {
    print_message(link.log, kLogStep, kTag, "GetValueLong found %s \"%ld\" (%d ms)", command.c_str(), *value, elapsed);
    return kLinkOk;
  }
  print_message(link.log, kLogStep, kTag, "GetValueLong received error %d executing command \"%s\" (%d ms)", result,
                command.c_str(), elapsed);
  return result;
}

int VPCommand(InstrumentLink& link, const std::string& commandLine) {
  int result = kLinkNotUnderstood;
  const std::string shown = Shown(commandLine);
  for (int attempt = 0; attempt < kCommandAttempts; ++attempt) {
    std::string answer;
    int elapsed = 0;
    result = Exchange(link, commandLine, kCommandTimeoutMs, &answer, kCommandKeep, &elapsed);
    if (Contains(commandLine, "user")) {
      // The record commands answer without "OK".
      print_message(link.log, kLogFailure, kTag, "\"%s\" returned %d (%d ms)", shown.c_str(), result, elapsed);
      return result;
    }
    if (result >= 0 && Contains(answer, "OK")) return kLinkOk;
    print_message(link.log, kLogFailure, kTag, "\"%s\" failed with error %d (%d ms)", shown.c_str(), result, elapsed);
    Pause(link.device, kCommandRetryPauseMs);
  }
  return result;
}

void ClearCapturedSettings(InstrumentLink& link) {
  link.settings = LoggerSettings{};
  *link.info = InstrumentSettings{};
  link.userRecords->records.clear();
  link.eqnRecords->records.clear();
  link.settingsSaved = false;
  link.savedMask = 0;
}

std::string CapturedAdc(const InstrumentLink& link) {
  return (link.info->present & kInstAdc) != 0 ? link.info->adc : std::string();
}

std::string CapturedSerialNumber(const InstrumentLink& link) {
  if (link.kind == kDeviceTypeDigitalSensor) return link.sdi->serialNumber;
  if (IsLoggerKind(link.kind)) {
    return (link.settings.present & kBitSerialNumber) != 0 ? link.settings.serialNumber : std::string();
  }
  return (link.info->present & kInstSerialNumber) != 0 ? link.info->serialNumber : std::string();
}
