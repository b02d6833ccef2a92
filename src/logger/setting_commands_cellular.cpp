// The cellular settings of an Lg20 with a modem: access point, its user and
// password, the authentication key, the remote host and its port.
#include <cctype>

#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "logger/setting_commands.h"
#include "logger/setting_shape.h"

namespace {

constexpr size_t kHostReadMax = 63;

constexpr TextSetting kApnSetting{"APNCommand", Gate::kCellular, 0, "set -apn", "get -apn\r", "APN", "APN",
                                  kApnMax, kApnMax, ValuePlace::kAnswer, kCellularKeep};
constexpr TextSetting kApnUserSetting{"APNUserCommand", Gate::kCellular, 0, "set -user", "get -user\r",
                                      "APN user name", "APN user name", kApnMax, kApnMax, ValuePlace::kAnswer,
                                      kCellularKeep};
constexpr TextSetting kApnPasswordSetting{"APNPasswdCommand", Gate::kCellular, 0, "set -passwd", "get -passwd\r",
                                          "APN password", "APN password", kApnMax, kApnMax, ValuePlace::kAnswer,
                                          kCellularKeep};
constexpr TextSetting kHostSetting{"HostCommand", Gate::kCellular, 0, "set -host", "get -host\r",
                                   "remote host name", "the remote host name", kHostMax, kHostReadMax,
                                   ValuePlace::kAnswer, kHostKeep};
constexpr TextSetting kAuthKeySetting{"AuthKeyCommand", Gate::kCellular, 0, "set -authkey", "get -authkey\r",
                                      "authkey", "authkey", kAuthKeyMax, kAuthKeyMax, ValuePlace::kAnswer,
                                      kCellularKeep};
constexpr TextSetting kTeaKeySetting{"AuthKeyCommand", Gate::kCellular, 0, "set -authkey", "get -teakey\r",
                                     "authkey", "authkey (as teakey)", kAuthKeyMax, kAuthKeyMax,
                                     ValuePlace::kAnswer, kCellularKeep};
constexpr NumberSetting kIpPortSetting{"IPPortCommand", Gate::kCellular, 0, "set -ipport", "get -ipport\r",
                                       "set ipport to", "found device ipport", "could not find device ipport", "",
                                       ValuePlace::kAnswer, kLinkEmptyAnswer, SetAck::kOk, false};

bool IsHexKey(const std::string& key) {
  if (key.size() < kAuthKeyMax) return false;
  for (size_t i = 0; i < kAuthKeyMax; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(key[i]))) return false;
  }
  return true;
}

}  // namespace

int APNCommand(DeviceLink& link, std::string* apn, int direction) {
  return TextSettingCommand(link, kApnSetting, apn, direction);
}

int APNUserCommand(DeviceLink& link, std::string* user, int direction) {
  return TextSettingCommand(link, kApnUserSetting, user, direction);
}

int APNPasswdCommand(DeviceLink& link, std::string* password, int direction) {
  return TextSettingCommand(link, kApnPasswordSetting, password, direction);
}

int HostCommand(DeviceLink& link, std::string* host, int direction) {
  return TextSettingCommand(link, kHostSetting, host, direction);
}

int AuthKeyCommand(DeviceLink& link, std::string* key, int direction) {
  if (!PassesGate(link, Gate::kCellular, 0)) return kLinkNothing;
  if (key == nullptr) return kLinkMissing;
  if (direction == kWrite) {
    if (!IsHexKey(*key)) return kLinkInvalid;
    return TextSettingCommand(link, kAuthKeySetting, key, direction);  // cut to 32 there
  }
  // Older firmware knows the key as "teakey" and answers "get -authkey" with an error.
  const uint32_t start = Now(link);
  std::string answer;
  const int heard = AskSetting(link, kAuthKeySetting.getCommand, kCellularKeep, &answer);
  if (heard == kLinkErrorAnswer) return TextSettingCommand(link, kTeaKeySetting, key, direction);
  if (heard < 0) return SettingFailed(link, "AuthKeyCommand", heard, start);
  TextAnswer read = ReadTextAnswer(answer, kAuthKeyMax);
  if (read.result == kLinkOk && !ValueLine(link, ValuePlace::kAnswer)) read.result = kLinkNotUnderstood;
  if (read.result != kLinkOk) return SettingFailed(link, "AuthKeyCommand", read.result, start);
  *key = read.text;
  print_message(link.log, kLogProtocol, Tag(link), "AuthKeyCommand found authkey \"%s\" (%d ms)", key->c_str(),
                Since(link, start));
  return kLinkOk;
}

int IPPortCommand(DeviceLink& link, uint32_t* ipPort, int direction) {
  if (ipPort == nullptr) return PassesGate(link, Gate::kCellular, 0) ? kLinkMissing : kLinkNothing;
  auto value = static_cast<int32_t>(*ipPort);
  const int result = NumberSettingCommand(link, kIpPortSetting, &value, direction);
  if (result == kLinkOk) *ipPort = static_cast<uint32_t>(value);
  return result;
}
