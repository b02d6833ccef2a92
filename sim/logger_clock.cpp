// The logger's clock: a wall-clock count of seconds since 2000-01-01 00:00:00, kept as an
// offset from the computer's local time so it runs while the simulator does.
#include <charconv>
#include <cstdio>
#include <ctime>

#include "logger_device.h"

namespace {

constexpr int64_t kEpoch2000 = 946684800;  // 2000-01-01 00:00:00 after the Unix epoch
constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2099;

int64_t ComputerClock() {
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  return static_cast<int64_t>(now) + local.tm_gmtoff - kEpoch2000;
}

// The wall-clock fields of a count (read as UTC, so no zone moves them).
struct tm Fields(int64_t seconds) {
  const std::time_t at = static_cast<std::time_t>(seconds + kEpoch2000);
  struct tm fields {};
  gmtime_r(&at, &fields);
  return fields;
}

void SetFields(Logger& logger, struct tm fields) {
  logger.clockOffset = static_cast<int64_t>(timegm(&fields)) - kEpoch2000 - ComputerClock();
}

// Three numbers split by one separator: "12:34:56" or "2024-5-1".
bool ReadThree(std::string_view text, char separator, int (&values)[3]) {
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (at == end || *at != separator) return false;
      ++at;
    }
    const auto [next, error] = std::from_chars(at, end, values[i]);
    if (error != std::errc()) return false;
    at = next;
  }
  return at == end;
}

}  // namespace

int64_t LoggerClock(const Logger& logger) { return ComputerClock() + logger.clockOffset; }

std::string LoggerClockText(const Logger& logger) {
  const struct tm f = Fields(LoggerClock(logger));
  char text[48];
  std::snprintf(text, sizeof text, "Date\\Time: %04d-%02d-%02d %02d:%02d:%02d", f.tm_year + 1900, f.tm_mon + 1,
                f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
  return text;
}

bool SetLoggerTimeOfDay(Logger& logger, std::string_view text) {
  int hms[3] = {};
  if (!ReadThree(text, ':', hms) || hms[0] < 0 || hms[0] > 23 || hms[1] < 0 || hms[1] > 59 || hms[2] < 0 ||
      hms[2] > 59) {
    return false;
  }
  struct tm fields = Fields(LoggerClock(logger));
  fields.tm_hour = hms[0];
  fields.tm_min = hms[1];
  fields.tm_sec = hms[2];
  SetFields(logger, fields);
  return true;
}

bool SetLoggerDate(Logger& logger, std::string_view text) {
  int ymd[3] = {};
  if (!ReadThree(text, '-', ymd) || ymd[0] < kFirstYear || ymd[0] > kLastYear || ymd[1] < 1 || ymd[1] > 12 ||
      ymd[2] < 1 || ymd[2] > 31) {
    return false;
  }
  struct tm fields = Fields(LoggerClock(logger));
  fields.tm_year = ymd[0] - 1900;
  fields.tm_mon = ymd[1] - 1;
  fields.tm_mday = ymd[2];
  struct tm normalised = fields;
  timegm(&normalised);
  if (normalised.tm_mday != fields.tm_mday) return false;  // no 31st of February
  SetFields(logger, fields);
  return true;
}
