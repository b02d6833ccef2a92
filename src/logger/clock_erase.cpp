// The device clock, read and set in the form the device class understands,
// and the confirmation of a data erase after an identity check.
#include <cerrno>
#include <ctime>
#include <limits>

#include "log/platform.h"
#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "logger/setting_commands.h"
#include "logger/settings_loop.h"

namespace {

constexpr int kClockSetTimeoutMs = 1500;
constexpr int kClockReadTimeoutMs = 3000;
constexpr int kClockKeep = 48;
constexpr int kEraseTimeoutMs = 17000;
constexpr int kEraseKeep = 32;
constexpr int kDateFields = 6;
constexpr int64_t kClockMax = std::numeric_limits<int32_t>::max();  // the device counts in a signed 32-bit word

int ClockExchange(DeviceLink& link, const std::string& command, int timeoutMs, std::string* answer) {
  return DeviceCommand(link, command, '>', timeoutMs, answer, kClockKeep, nullptr);
}

// The time to set and its wall-clock fields: the caller's, or now.
int TimeToSet(DeviceLink& link, int64_t* vornSeconds, int64_t* value, struct tm* fields) {
  if (vornSeconds != nullptr && *vornSeconds != 0) {
    if (*vornSeconds < 0 || *vornSeconds > kClockMax) return kLinkInvalid;
    *value = *vornSeconds;
    *fields = VornCalendar(*value);
    return kLinkOk;
  }
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) {
    print_message(link.log, kLogFailure, Tag(link), "DeviceTime failed to get system time with error %d", errno);
    return kLinkNotUnderstood;
  }
  *value = VornSeconds(now, LocalUtcOffset());
  if (vornSeconds != nullptr) *vornSeconds = *value;
  LocalTimeFields(now, fields);
  return kLinkOk;
}

int SetClock(DeviceLink& link, int64_t* vornSeconds, uint32_t start) {
  int64_t value = 0;
  struct tm fields {};
  const int prepared = TimeToSet(link, vornSeconds, &value, &fields);
  if (prepared != kLinkOk) return prepared;
  const LoggerSettings& s = link.settings;
  std::string answer;
  if (!HasCapability(link, kCapClockSeconds)) {
    const int heard = ClockExchange(link, Format("set -t %d:%d:%d\r", fields.tm_hour, fields.tm_min, fields.tm_sec),
                                    kClockSetTimeoutMs, &answer);
    if (heard >= 0 && Contains(answer, s.newFirmware ? "OK" : "\r>")) {
      print_message(link.log, kLogProtocol, Tag(link), "DeviceTime set device time to %d:%02d:%02d (%d ms)",
                    fields.tm_hour, fields.tm_min, fields.tm_sec, Since(link, start));
    }
  }
  const bool inSeconds = HasCapability(link, kCapClockSeconds);
  const int year = fields.tm_year + 1900;
  const int month = fields.tm_mon + 1;
  const std::string command = inSeconds ? Format("set -sec %ld\r", static_cast<long>(value))
                                        : Format("set -d %d-%d-%d\r", year, month, fields.tm_mday);
  const int heard = ClockExchange(link, command, kClockSetTimeoutMs, &answer);
  if (heard < 0) return heard;
  if (!Contains(answer, "OK") && (s.newFirmware || !Contains(answer, ">"))) return kLinkNotUnderstood;
  if (inSeconds) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceTime set device vornseconds to %d (%d ms)",
                  static_cast<int>(value), Since(link, start));
  } else {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceTime set device date to %d-%d-%d (%d ms)", year, month,
                  fields.tm_mday, Since(link, start));
  }
  return kLinkOk;
}

int ReadClockSeconds(DeviceLink& link, const std::string& answer, int64_t* vornSeconds, uint32_t start) {
  AnswerScan scan{answer};
  int64_t value = 0;
  if (!ScanInteger(scan, &value)) return kLinkNotUnderstood;
  const bool valid = value >= 0 && value <= kClockMax;
  *vornSeconds = valid ? value : 0;
  print_message(link.log, kLogProtocol, Tag(link), "DeviceTime found device date/timr %ld VornSeconds (%d ms)",
                static_cast<long>(*vornSeconds), Since(link, start));
  return valid ? kLinkOk : kLinkNotUnderstood;
}

bool IsPlausibleDate(const DeviceDate& d) {
  return d.year >= 1900 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31 &&
         d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59 && d.second >= 0 && d.second <= 60;
}

int ReadClockDate(DeviceLink& link, const std::string& answer, int64_t* vornSeconds, uint32_t start) {
  DeviceDate date;
  if (ParseDeviceDate(answer, &date) < kDateFields) return kLinkNotUnderstood;
  const std::time_t now = std::time(nullptr);
  struct tm today {};
  LocalTimeFields(now, &today);
  struct tm fields {};
  fields.tm_year = date.year - 1900;
  fields.tm_mon = date.month - 1;
  fields.tm_mday = date.day;
  fields.tm_hour = date.hour;
  fields.tm_min = date.minute;
  fields.tm_sec = date.second;
  fields.tm_isdst = today.tm_isdst;
  const std::time_t converted = IsPlausibleDate(date) ? std::mktime(&fields) : static_cast<std::time_t>(-1);
  if (converted == static_cast<std::time_t>(-1)) {
    *vornSeconds = 0;
    return kLinkNotUnderstood;
  }
  *vornSeconds = VornSeconds(converted, LocalUtcOffset());
  print_message(link.log, kLogProtocol, Tag(link),
                "DeviceTime found device date/time %d-%d-%d %d:%02d:%02d or %ld (%d ms)", date.year, date.month,
                date.day, date.hour, date.minute, date.second, static_cast<long>(*vornSeconds), Since(link, start));
  return kLinkOk;
}

int ReadClock(DeviceLink& link, int64_t* vornSeconds, uint32_t start) {
  if (vornSeconds == nullptr) return kLinkMissing;
  const bool inSeconds = HasCapability(link, kCapClockSeconds);
  const char* command = inSeconds ? "get -sec\r" : (link.settings.newFirmware ? "get -t\r" : "time\r");
  std::string answer;
  if (ClockExchange(link, command, kClockReadTimeoutMs, &answer) < 0) return kLinkNotUnderstood;
  return inSeconds ? ReadClockSeconds(link, answer, vornSeconds, start)
                   : ReadClockDate(link, answer, vornSeconds, start);
}

}  // namespace

int DeviceTime(DeviceLink& link, int64_t* vornSeconds, int set) {
  const uint32_t start = Now(link);
  if (!HasCapability(link, kCapClock)) {
    if (vornSeconds != nullptr) *vornSeconds = -1;
    return kLinkNothing;
  }
  const int result = set == 1 ? SetClock(link, vornSeconds, start) : ReadClock(link, vornSeconds, start);
  if (result < 0) {
    if (set != 1 && vornSeconds != nullptr) *vornSeconds = -1;
    print_message(link.log, kLogFailure, Tag(link), "DeviceTime failed with error %d (%d ms)", result,
                  Since(link, start));
  }
  return result;
}

int EraseData(DeviceLink& link) {
  const uint32_t start = Now(link);
  const bool oldSet = link.settings.deviceClass == kClassLg2 && !link.settings.newFirmware;
  std::string heard;
  const int identified = oldSet ? ParseShowCommand(link, &heard) : NameCommand(link, &heard, kRead);
  if (identified < 0) {
    print_message(link.log, kLogFailure, Tag(link), "EraseData failed checking the identity of device (error %d)",
                  identified);
    return kLinkIdentity;
  }
  const std::string& known = link.settings.deviceName;
  if (heard.substr(0, kDeviceNameMax) != known.substr(0, kDeviceNameMax)) {
    print_message(link.log, kLogFailure, Tag(link), "EraseData: Identity mismatch. Class: %s, Device: %s",
                  known.c_str(), heard.c_str());
    return kLinkIdentity;
  }
  std::string answer;
  const int confirmed = DeviceCommand(link, "yes\r", oldSet ? '!' : '>', kEraseTimeoutMs, &answer, kEraseKeep, nullptr);
  if (confirmed >= 0 && Contains(answer, "OK")) {
    print_message(link.log, kLogProtocol, Tag(link), "InitializeDevice erased device data (%d ms)", Since(link, start));
    return kLinkOk;
  }
  const bool brokenFlash =
      confirmed >= 0 ? Contains(answer, "DataFlash FAIL")
                     : (confirmed == kLinkErrorAnswer || confirmed == kLinkLastSilent || confirmed == kLinkNoAnswer);
  if (brokenFlash) {
    print_message(link.log, kLogFailure, Tag(link), "EraseData failed due to a broken DataFlash (%d ms)",
                  Since(link, start));
    return kLinkDataFlash;
  }
  const int result = confirmed >= 0 ? kLinkNotUnderstood : confirmed;
  print_message(link.log, kLogFailure, Tag(link), "EraseData failed with error %d (%d ms)", result, Since(link, start));
  return result;
}
