// The shared shape of the setting commands and the plain text and number
// settings: name, device ID, report, depths, site, position, time zone,
// serial number, wake, PADC, ports, data parameter, build and radio mode.
#include "logger/setting_commands.h"

#include <array>
#include <cmath>

#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "logger/setting_shape.h"

namespace {

constexpr int kSecondsPerQuarterHour = 900;
constexpr int32_t kLastVersionWithoutPadc = 164;
constexpr int32_t kVq7RadioMode = 16;
constexpr size_t kSerialNumberReadMax = 15;
constexpr size_t kVornBuildReadMax = 16;
constexpr size_t kSiteReadMax = 25;
constexpr uint8_t kByteOutOfRange = 255;

constexpr TextSetting kDeviceIdSetting{"DeviceIDCommand", Gate::kCapability, kCapSiteGroup, "set -devid",
                                       "get -devid\r", "DeviceID", "DeviceID", kDeviceIdMax, kDeviceIdMax,
                                       ValuePlace::kAnswer, kSettingKeep};
constexpr TextSetting kSiteSetting{"SiteCommand", Gate::kCapability, kCapSiteGroup, "set -site", "get -site\r",
                                   "site", "site name", kSiteMax, kSiteReadMax, ValuePlace::kAnswer, kSettingKeep};
constexpr TextSetting kVornBuildSetting{"VornBuildCommand", Gate::kCapability, kCapVornBuild, "set -build",
                                        "get -build\r", "VornBuild number", "VornBuild info", kVornBuildMax,
                                        kVornBuildReadMax, ValuePlace::kAfterReturn, kSettingKeep};
constexpr TextSetting kSerialNumberSetting{"SNCommand", Gate::kNone, 0, "set -sn", "get -sn\r",
                                           "device serial number", "device serial number", kSerialNumberMax,
                                           kSerialNumberReadMax, ValuePlace::kAfterReturn, kSettingKeep};

constexpr NumberSetting kReportSetting{"ReportCommand", Gate::kCapability, kCapSiteGroup, "set -report",
                                       "get -report\r", "set report mode to", "found device report mode",
                                       "could not find device report mode", "", ValuePlace::kAnswer,
                                       kLinkNotUnderstood, SetAck::kOk, false};
constexpr NumberSetting kTimeZoneSetting{"TimeZoneCommand", Gate::kCapability, kCapSiteGroup, "set -tz", "get -tz\r",
                                         "set time zone to", "found device time zone",
                                         "could not find device time zone", "", ValuePlace::kAnswer,
                                         kLinkNotUnderstood, SetAck::kOk, false};
constexpr NumberSetting kWakeSetting{"WakeCommand", Gate::kCapability, kCapWake, "set -w", "get -w\r",
                                     "set device measurement interval to", "found device measurement interval",
                                     "could not find device measurement interval", "", ValuePlace::kAfterReturn,
                                     kLinkNotUnderstood, SetAck::kOkOrPrompt, true};
constexpr NumberSetting kPadcSetting{"PADCCommand", Gate::kCapability, kCapWake, "set -padc", "get -padc\r",
                                     "set device PADC", "found device PADC", "could not find device PADC value",
                                     " Hz", ValuePlace::kAfterReturn, kLinkNotUnderstood, SetAck::kOkOrPrompt, true};
constexpr NumberSetting kOldPadcSetting{"PADCCommand", Gate::kCapability, kCapWake, "set -p", "hertz\r",
                                        "set device PADC", "found device PADC", "could not find device PADC value",
                                        " Hz", ValuePlace::kAfterReturn, kLinkNotUnderstood, SetAck::kOkOrPrompt,
                                        true};
constexpr NumberSetting kDataParameterSetting{"DataParameterCommand", Gate::kCapability, kCapDataParameter,
                                              "set -data", "get -data\r", "set data parameter to",
                                              "found data parameter", "could not find device data parameter", "",
                                              ValuePlace::kAnswer, kLinkNotUnderstood, SetAck::kOk, false};
constexpr NumberSetting kRmodeSetting{"RmodeCommand", Gate::kCapability, kCapRmode, "set -r", "get -r\r",
                                      "set rmode to", "found rmode", "could not find device rmode", "",
                                      ValuePlace::kAnswer, kLinkNotUnderstood, SetAck::kOkOrPrompt, false};

struct FiveSetting {
  const char* name;
  uint32_t capability;
  const char* setCommand;
  const char* getCommand;
  const char* what;         // "<name> set <what> to ...", "<name>: <what> are ..."
  const char* missingWhat;  // "<name> only found %d of %d <missingWhat>"
  bool zeroWhenMissing;     // a read without the capability clears the values
};
constexpr FiveSetting kDepthSetting{"DepthCommand", kCapSiteGroup, "set -depth", "get -depth\r", "depths",
                                    "port depths", false};
constexpr FiveSetting kPortsSetting{"PortsCommand", kCapPorts, "set -ports", "get -ports\r", "ports", "ports", true};

struct RealSetting {
  const char* name;
  const char* setCommand;
  const char* getCommand;
  const char* setWhat;    // "latitude"
  const char* foundWhat;  // "device latitude"
};
constexpr RealSetting kLatitudeSetting{"LatitudeCommand", "set -lat", "get -lat\r", "latitude", "device latitude"};
constexpr RealSetting kLongitudeSetting{"LongitudeCommand", "set -long", "get -long\r", "longitude",
                                        "device longitude"};

// Five numbers and nothing more on the answer's value line; returns how many were read (0 for an
// answer that is not closed, or that has more on the line: noise that begins with digits).
int FiveOnALine(const DeviceLink& link, std::array<int32_t, kSensorPorts>& values) {
  const std::optional<std::string> line = ValueLine(link, ValuePlace::kAnswer);
  if (!line) return 0;
  AnswerScan scan{*line};
  int count = 0;
  for (int32_t& value : values) {
    if (!ScanInteger(scan, &value)) break;
    ++count;
  }
  return count == kSensorPorts && !IsBlank(line->substr(scan.position)) ? 0 : count;
}

uint8_t PortByte(int32_t value) {
  return value < 0 || value > kByteOutOfRange ? kByteOutOfRange : static_cast<uint8_t>(value);
}

int FiveSettingCommand(DeviceLink& link, const FiveSetting& setting, PortBytes* values, int direction) {
  const uint32_t start = Now(link);
  if (!HasCapability(link, setting.capability)) {
    if (direction != kWrite && setting.zeroWhenMissing && values != nullptr) values->fill(0);
    return kLinkNothing;
  }
  if (values == nullptr) return kLinkMissing;
  const PortBytes& v = *values;
  if (direction == kWrite) {
    const int result = SendSetting(
        link, Format("%s %d %d %d %d %d\r", setting.setCommand, v[0], v[1], v[2], v[3], v[4]), SetAck::kOk,
        kSettingKeep);
    if (result != kLinkOk) return SettingFailed(link, setting.name, result, start);
    print_message(link.log, kLogProtocol, Tag(link), "%s set %s to %d %d %d %d %d (%d ms)", setting.name,
                  setting.what, v[0], v[1], v[2], v[3], v[4], Since(link, start));
    return kLinkOk;
  }
  std::string answer;
  const int heard = AskSetting(link, setting.getCommand, kSettingKeep, &answer);
  if (heard < 0) return SettingFailed(link, setting.name, heard, start);
  std::array<int32_t, kSensorPorts> read{};
  const int count = FiveOnALine(link, read);
  if (count < kSensorPorts) {
    print_message(link.log, kLogProtocol, Tag(link), "%s only found %d of %d %s (%d ms)", setting.name, count,
                  kSensorPorts, setting.missingWhat, Since(link, start));
    return SettingFailed(link, setting.name, kLinkNotUnderstood, start);
  }
  for (size_t i = 0; i < read.size(); ++i) (*values)[i] = PortByte(read[i]);
  print_message(link.log, kLogProtocol, Tag(link), "%s: %s are %d %d %d %d %d (%d ms)", setting.name, setting.what,
                v[0], v[1], v[2], v[3], v[4], Since(link, start));
  return kLinkOk;
}

int RealSettingCommand(DeviceLink& link, const RealSetting& setting, double* value, int direction) {
  const uint32_t start = Now(link);
  if (!HasCapability(link, kCapPosition)) return kLinkNothing;
  if (value == nullptr) return kLinkMissing;
  if (direction == kWrite) {
    if (!std::isfinite(*value)) return kLinkInvalid;
    // Zero clears the value on the device.
    const std::string command = *value == 0.0 ? Format("%s \r", setting.setCommand)
                                              : Format("%s %+.5f\r", setting.setCommand, *value);
    const int result = SendSetting(link, command, SetAck::kOk, kSettingKeep);
    if (result != kLinkOk) return SettingFailed(link, setting.name, result, start);
    print_message(link.log, kLogProtocol, Tag(link), "%s set %s to %+.5f (%d ms)", setting.name, setting.setWhat,
                  *value, Since(link, start));
    return kLinkOk;
  }
  std::string answer;
  const int heard = AskSetting(link, setting.getCommand, kSettingKeep, &answer);
  if (heard < 0) return SettingFailed(link, setting.name, heard, start);
  const std::optional<std::string> line = ValueLine(link, ValuePlace::kAnswer);
  std::optional<double> read;
  if (line) {
    AnswerScan scan{*line};
    double number = 0.0;
    if (ScanReal(scan, &number) && IsBlank(line->substr(scan.position))) read = number;
  }
  if (!read) {
    print_message(link.log, kLogProtocol, Tag(link), "%s could not find %s (%d ms)", setting.name,
                  setting.foundWhat, Since(link, start));
    return SettingFailed(link, setting.name, kLinkEmptyAnswer, start);
  }
  *value = *read;
  print_message(link.log, kLogProtocol, Tag(link), "%s found %s %+.5f (%d ms)", setting.name, setting.foundWhat,
                *value, Since(link, start));
  return kLinkOk;
}

}  // namespace

bool PassesGate(const DeviceLink& link, Gate gate, uint32_t capability) {
  switch (gate) {
    case Gate::kNone: return true;
    case Gate::kCapability: return HasCapability(link, capability);
    case Gate::kCellular: return CellularTrait(link.settings) == 1;
  }
  return false;
}

std::optional<std::string> ValueLine(const DeviceLink& link, ValuePlace place) {
  std::string heard(LastAnswer(link));
  std::erase(heard, '\0');  // line noise at a baud switch, as the exchange leaves it out
  std::optional<std::string_view> line;
  if (place == ValuePlace::kAnswer) {
    line = ClosedLine(SkipSpace(heard));
  } else if (const std::optional<std::string_view> rest = AfterFirstReturn(heard)) {
    line = ClosedLine(*rest);
  }
  if (!line) return std::nullopt;
  return std::string(*line);
}

std::optional<int32_t> WholeInteger(std::string_view line) {
  AnswerScan scan{line};
  int32_t value = 0;
  if (!ScanInteger(scan, &value) || !IsBlank(line.substr(scan.position))) return std::nullopt;
  return value;
}

int SendSetting(DeviceLink& link, const std::string& command, SetAck ack, int keep) {
  std::string answer;
  const int heard = DeviceCommand(link, command, '>', kSettingTimeoutMs, &answer, keep, nullptr);
  if (heard < 0) return heard;
  // Only the loader's "$": the device has fallen into its loader and takes no settings; that is
  // no answer (the settings loop logs in again or ends), not a setting it refused.
  if (!answer.empty() && answer.find_first_not_of("$\r\n") == std::string::npos) return kLinkNoAnswer;
  const bool promptOnly = ack == SetAck::kOkOrPrompt && !link.settings.newFirmware;
  return Contains(answer, promptOnly ? "\r>" : "OK") ? kLinkOk : kLinkNotUnderstood;
}

int AskSetting(DeviceLink& link, const std::string& command, int keep, std::string* answer) {
  return DeviceCommand(link, command, '>', kSettingTimeoutMs, answer, keep, nullptr);
}

int SettingFailed(const DeviceLink& link, const char* name, int result, uint32_t start) {
  print_message(link.log, kLogFailure, Tag(link), "%s failed with error %d (%d ms)", name, result,
                Since(link, start));
  return result;
}

bool IsUnsafeText(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7f') return true;
  }
  return false;
}

int TextSettingCommand(DeviceLink& link, const TextSetting& setting, std::string* value, int direction) {
  const uint32_t start = Now(link);
  if (!PassesGate(link, setting.gate, setting.capability)) return kLinkNothing;
  if (value == nullptr) return kLinkMissing;
  if (direction == kWrite) {
    const std::string text = value->substr(0, setting.fieldMax);
    if (IsUnsafeText(text)) return kLinkInvalid;
    const int result = SendSetting(link, Format("%s %s\r", setting.setCommand, text.c_str()), SetAck::kOk,
                                   setting.keep);
    if (result != kLinkOk) return SettingFailed(link, setting.name, result, start);
    print_message(link.log, kLogProtocol, Tag(link), "%s set %s to \"%s\" (%d ms)", setting.name, setting.setWhat,
                  text.c_str(), Since(link, start));
    return kLinkOk;
  }
  std::string answer;
  const int heard = AskSetting(link, setting.getCommand, setting.keep, &answer);
  if (heard < 0) return SettingFailed(link, setting.name, heard, start);
  TextAnswer read;
  if (setting.place == ValuePlace::kAnswer) {
    read = ReadTextAnswer(answer, setting.readMax);
  } else {
    read.text = ReadLineAfterReturn(answer, setting.readMax);
    read.result = read.text.empty() ? kLinkNotUnderstood : kLinkOk;
  }
  if (read.result == kLinkOk && !ValueLine(link, setting.place)) read.result = kLinkNotUnderstood;
  if (read.result != kLinkOk) return SettingFailed(link, setting.name, read.result, start);
  *value = read.text;
  print_message(link.log, kLogProtocol, Tag(link), "%s found %s \"%s\" (%d ms)", setting.name, setting.foundWhat,
                value->c_str(), Since(link, start));
  return kLinkOk;
}

int NumberSettingCommand(DeviceLink& link, const NumberSetting& setting, int32_t* value, int direction) {
  const uint32_t start = Now(link);
  if (!PassesGate(link, setting.gate, setting.capability)) return kLinkNothing;
  if (value == nullptr) return kLinkMissing;
  if (direction == kWrite) {
    if (setting.refuseNegative && *value < 0) return kLinkInvalid;
    const int result = SendSetting(link, Format("%s %d\r", setting.setCommand, *value), setting.ack, kSettingKeep);
    if (result != kLinkOk) return SettingFailed(link, setting.name, result, start);
    print_message(link.log, kLogProtocol, Tag(link), "%s %s %d%s (%d ms)", setting.name, setting.setWhat, *value,
                  setting.unit, Since(link, start));
    return kLinkOk;
  }
  std::string answer;
  const int heard = AskSetting(link, setting.getCommand, kSettingKeep, &answer);
  if (heard < 0) return SettingFailed(link, setting.name, heard, start);
  const std::optional<std::string> line = ValueLine(link, setting.place);
  const std::optional<int32_t> read = line ? WholeInteger(*line) : std::nullopt;
  if (!read) {
    print_message(link.log, kLogProtocol, Tag(link), "%s %s (%d ms)", setting.name, setting.missingWhat,
                  Since(link, start));
    return SettingFailed(link, setting.name, setting.unreadable, start);
  }
  *value = *read;
  print_message(link.log, kLogProtocol, Tag(link), "%s %s %d%s (%d ms)", setting.name, setting.foundWhat, *value,
                setting.unit, Since(link, start));
  return kLinkOk;
}

int NameCommand(DeviceLink& link, std::string* name, int direction) {
  const uint32_t start = Now(link);
  if (name == nullptr) return kLinkMissing;
  if (direction == kWrite) {
    const int valid = ValidateDeviceName(name);
    if (valid != kLinkOk) {
      print_message(link.log, kLogFailure, Tag(link), "NameCommand: \"%s\" is an illegal device name (error %d)",
                    name->c_str(), valid);
      return valid;
    }
    const int result = SendSetting(link, Format("set -i %s\r", name->c_str()), SetAck::kOkOrPrompt, kSettingKeep);
    if (result != kLinkOk) return SettingFailed(link, "NameCommand", result, start);
    print_message(link.log, kLogProtocol, Tag(link), "NameCommand set device name to \"%s\" (%d ms)", name->c_str(),
                  Since(link, start));
    return kLinkOk;
  }
  std::string answer;
  const int heard = AskSetting(link, "get -i\r", kSettingKeep, &answer);
  if (heard == kLinkEmptyAnswer) return kLinkEmptyName;
  if (heard < 0) return SettingFailed(link, "NameCommand", heard, start);
  const auto word = ValueLine(link, ValuePlace::kAfterReturn) ? ReadWordAfterReturn(answer, kDeviceNameMax)
                                                                 : std::nullopt;
  if (!word) {
    print_message(link.log, kLogProtocol, Tag(link), "NameCommand couldn't find device name (%d ms)",
                  Since(link, start));
    return SettingFailed(link, "NameCommand", kLinkNotUnderstood, start);
  }
  *name = *word;
  print_message(link.log, kLogProtocol, Tag(link), "NameCommand found device named \"%s\" (%d ms)", name->c_str(),
                Since(link, start));
  return kLinkOk;
}

int DeviceIDCommand(DeviceLink& link, std::string* deviceId, int direction) {
  return TextSettingCommand(link, kDeviceIdSetting, deviceId, direction);
}

int ReportCommand(DeviceLink& link, uint32_t* report, int direction) {
  if (report == nullptr) return PassesGate(link, Gate::kCapability, kCapSiteGroup) ? kLinkMissing : kLinkNothing;
  auto value = static_cast<int32_t>(*report);
  const int result = NumberSettingCommand(link, kReportSetting, &value, direction);
  if (result == kLinkOk) *report = static_cast<uint32_t>(value);
  return result;
}

int DepthCommand(DeviceLink& link, PortBytes* depths, int direction) {
  return FiveSettingCommand(link, kDepthSetting, depths, direction);
}

int SiteCommand(DeviceLink& link, std::string* site, int direction) {
  return TextSettingCommand(link, kSiteSetting, site, direction);
}

int LatitudeCommand(DeviceLink& link, double* latitude, int direction) {
  return RealSettingCommand(link, kLatitudeSetting, latitude, direction);
}

int LongitudeCommand(DeviceLink& link, double* longitude, int direction) {
  return RealSettingCommand(link, kLongitudeSetting, longitude, direction);
}

int TimeZoneCommand(DeviceLink& link, int32_t* timeZone, int direction) {
  if (!HasCapability(link, kCapSiteGroup)) return kLinkNothing;
  if (timeZone == nullptr) return kLinkMissing;
  if (direction == kWrite && *timeZone == kTimeZoneOfComputer) {
    *timeZone = LocalUtcOffset() / kSecondsPerQuarterHour;
  }
  return NumberSettingCommand(link, kTimeZoneSetting, timeZone, direction);
}

int SNCommand(DeviceLink& link, std::string* serialNumber, int direction) {
  const uint32_t start = Now(link);
  if (direction == kWrite) {
    if (!link.settings.newFirmware) return kLinkNothing;
    return TextSettingCommand(link, kSerialNumberSetting, serialNumber, direction);
  }
  if (serialNumber == nullptr) return kLinkMissing;
  int result = kLinkNoAnswer;
  for (uint32_t attempt = 0; attempt < link.currentTries; ++attempt) {
    std::string answer;
    result = AskSetting(link, kSerialNumberSetting.getCommand, kSettingKeep, &answer);
    if (result < 0) continue;
    const std::string number = ValueLine(link, ValuePlace::kAfterReturn)
                                   ? ReadLineAfterReturn(answer, kSerialNumberReadMax)
                                   : std::string();
    if (number.empty()) {
      result = kLinkNotUnderstood;
      continue;
    }
    *serialNumber = number;
    print_message(link.log, kLogProtocol, Tag(link), "SNCommand found device serial number \"%s\" (%d ms)",
                  serialNumber->c_str(), Since(link, start));
    return kLinkOk;
  }
  return SettingFailed(link, "SNCommand", result, start);
}

int WakeCommand(DeviceLink& link, int32_t* wake, int direction) {
  return NumberSettingCommand(link, kWakeSetting, wake, direction);
}

int PADCCommand(DeviceLink& link, int32_t* padc, int direction) {
  if (!HasCapability(link, kCapWake)) return kLinkNothing;
  if (padc == nullptr) return kLinkMissing;
  const LoggerSettings& settings = link.settings;
  if (!settings.newFirmware && settings.versionNumber <= kLastVersionWithoutPadc) {
    *padc = -1;
    return kLinkNothing;
  }
  return NumberSettingCommand(link, settings.newFirmware ? kPadcSetting : kOldPadcSetting, padc, direction);
}

int PortsCommand(DeviceLink& link, PortBytes* ports, int direction) {
  return FiveSettingCommand(link, kPortsSetting, ports, direction);
}

int DataParameterCommand(DeviceLink& link, int32_t* dataParameter, int direction) {
  return NumberSettingCommand(link, kDataParameterSetting, dataParameter, direction);
}

int VornBuildCommand(DeviceLink& link, std::string* build, int direction) {
  return TextSettingCommand(link, kVornBuildSetting, build, direction);
}

int RmodeCommand(DeviceLink& link, int32_t* rmode, int direction) {
  if (!HasCapability(link, kCapRmode)) return kLinkNothing;
  if (rmode == nullptr) return kLinkMissing;
  if (link.settings.deviceClass == kClassVq7) {
    // The radio logger has one radio mode only: nothing to ask or change.
    if (direction != kWrite) *rmode = kVq7RadioMode;
    print_message(link.log, kLogProtocol, Tag(link), "RmodeCommand found an vQ7 that is always mode %d",
                  kVq7RadioMode);
    return kLinkOk;
  }
  return NumberSettingCommand(link, kRmodeSetting, rmode, direction);
}
