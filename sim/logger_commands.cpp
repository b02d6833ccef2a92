// The logger's command lines: the current set ("get -X", "set -X value", answered with the
// value or "OK" and the prompt) and the old set of the LG2 ("show", "time", "hertz" and a few
// "set" commands acknowledged with the bare prompt). A command the firmware version does not
// know is answered "ERROR".
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "device.h"
#include "logger_device.h"

namespace {

const std::string kOk = "\rOK\r>";
const std::string kError = "ERROR\r>";
const std::string kEmpty = "\r\r>";
const std::string kPrompt = "\r>";  // the old set's acknowledgement

constexpr uint32_t kBaudRates[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800};
constexpr uint32_t kFirstAuthKeyVersion = 200;  // older cellular firmware calls it the teakey
constexpr uint32_t kByteMax = 255;
constexpr int32_t kTimeZoneMin = -48;  // quarter hours
constexpr int32_t kTimeZoneMax = 56;
constexpr uint32_t kIpPortMax = 65535;
constexpr double kLatitudeMax = 90.0;
constexpr double kLongitudeMax = 180.0;
constexpr size_t kNameMax = 8;
constexpr size_t kSerialNumberMax = 15;
constexpr size_t kDeviceIdMax = 8;
constexpr size_t kSiteMax = 31;
constexpr size_t kBuildMax = 19;
constexpr size_t kApnMax = 35;
constexpr size_t kAuthKeyLength = 32;
constexpr size_t kHostMax = 65;
constexpr int kCalibrationNumbers = 2 * kPorts + 1;

std::string Answer(const std::string& value) { return "\r" + value + "\r>"; }
std::string TextAnswer(const std::string& value) { return value.empty() ? kEmpty : Answer(value); }

template <typename T>
bool ReadNumber(std::string_view text, T min, T max, T& value, int base = 10) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

// Numbers split by single spaces.
bool ReadList(std::string_view text, uint32_t max, std::vector<uint32_t>& values) {
  values.clear();
  while (!text.empty()) {
    const size_t space = text.find(' ');
    uint32_t value = 0;
    if (!ReadNumber<uint32_t>(text.substr(0, space), 0, max, value)) return false;
    values.push_back(value);
    text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
  }
  return true;
}

std::string ListText(const uint32_t* values, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += (i ? " " : "") + std::to_string(values[i]);
  return text;
}

bool ValidName(std::string_view name) {
  return !name.empty() && name.size() <= kNameMax && name.find(' ') == std::string_view::npos;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string StoreText(std::string& field, std::string_view value, size_t max) {
  if (value.size() > max) return kError;
  field = std::string(value);
  return kOk;
}

template <typename T>
std::string StoreNumber(T& field, std::string_view value, T min, T max) {
  T number{};
  if (!ReadNumber(value, min, max, number)) return kError;
  field = number;
  return kOk;
}

std::string StorePorts(PortValues& field, std::string_view value) {
  std::vector<uint32_t> values;
  if (!ReadList(value, kByteMax, values) || values.size() != kPorts) return kError;
  std::copy(values.begin(), values.end(), field.begin());
  return kOk;
}

std::string PortsAnswer(const PortValues& values) { return Answer(ListText(values.data(), values.size())); }

// An empty value clears the position.
std::string StorePosition(std::optional<double>& field, std::string_view value, double limit) {
  if (value.empty()) {
    field.reset();
    return kOk;
  }
  double number = 0;
  if (!value.empty() && value.front() == '+') value.remove_prefix(1);
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size() || number < -limit || number > limit) return kError;
  field = number;
  return kOk;
}

std::string PositionAnswer(const std::optional<double>& value) {
  if (!value) return kEmpty;
  char text[24];
  std::snprintf(text, sizeof text, "%+.5f", *value);
  return Answer(text);
}

uint32_t CalibrationCheck(const Calibration& c) {
  uint32_t sum = 0;
  for (int i = 0; i < kPorts; ++i) sum += c.slopes[static_cast<size_t>(i)] + c.offsets[static_cast<size_t>(i)];
  return sum % 256;
}

// Five slope and offset pairs and their check byte; a wrong check byte is refused.
std::string StoreCalibration(Calibration& field, std::string_view value) {
  std::vector<uint32_t> numbers;
  if (!ReadList(value, kByteMax, numbers) || numbers.size() != kCalibrationNumbers) return kError;
  Calibration read;
  for (size_t i = 0; i < kPorts; ++i) {
    read.slopes[i] = numbers[2 * i];
    read.offsets[i] = numbers[2 * i + 1];
  }
  if (CalibrationCheck(read) != numbers.back()) return kError;
  field = read;
  return kOk;
}

std::string CalibrationAnswer(const Calibration& c) {
  std::vector<uint32_t> numbers;
  for (size_t i = 0; i < kPorts; ++i) {
    numbers.push_back(c.slopes[i]);
    numbers.push_back(c.offsets[i]);
  }
  numbers.push_back(CalibrationCheck(c));
  return Answer(ListText(numbers.data(), numbers.size()));
}

std::string HexText(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

// The logger's own radio answers "OK" and its value, or that none is fitted.
std::string RadioNumberAnswer(const Logger& logger, uint32_t RadioModem::*field) {
  if (!logger.radio) return Answer("No Radio");
  return Answer("OK\r" + HexText((*logger.radio).*field));
}

std::string RadioVersionAnswer(const Logger& logger) {
  if (!logger.radio) return Answer("No Radio");
  return Answer("OK\r" + logger.radio->version);
}

std::string StoreRadio(Logger& logger, std::string_view value, uint32_t max, uint32_t RadioModem::*field) {
  if (!logger.radio) return Answer("No Radio");
  uint32_t number = 0;
  if (!ReadNumber<uint32_t>(value, 0, max, number, 16)) return kError;
  (*logger.radio).*field = number;
  return kOk;
}

std::string StoreAuthKey(Logger& logger, std::string_view value) {
  if (value.size() != kAuthKeyLength) return kError;
  for (char c : value) {
    if (!IsHexDigit(c)) return kError;
  }
  logger.store.authKey = std::string(value);
  return kOk;
}

using Getter = std::string (*)(const Logger&);
using Setter = std::string (*)(Logger&, std::string_view);

struct Setting {
  std::string_view option;
  uint32_t needs;  // features the firmware must have
  Getter get;      // null: cannot be read
  Setter set;      // null: cannot be written
};

const Setting kSettings[] = {
    {"-ver", 0, [](const Logger& l) { return Answer(std::string(l.kind->tag) + " " + VersionText(l.version)); },
     nullptr},
    {"-i", 0, [](const Logger& l) { return TextAnswer(l.store.name); },
     [](Logger& l, std::string_view v) { return ValidName(v) ? StoreText(l.store.name, v, kNameMax) : kError; }},
    {"-sn", 0, [](const Logger& l) { return TextAnswer(l.store.serialNumber); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.serialNumber, v, kSerialNumberMax); }},
    {"-devid", kKnowsSite, [](const Logger& l) { return TextAnswer(l.store.deviceId); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.deviceId, v, kDeviceIdMax); }},
    {"-report", kKnowsSite, [](const Logger& l) { return Answer(std::to_string(l.store.report)); },
     [](Logger& l, std::string_view v) { return StoreNumber<uint32_t>(l.store.report, v, 0, UINT32_MAX); }},
    {"-depth", kKnowsSite, [](const Logger& l) { return PortsAnswer(l.store.depths); },
     [](Logger& l, std::string_view v) { return StorePorts(l.store.depths, v); }},
    {"-site", kKnowsSite, [](const Logger& l) { return TextAnswer(l.store.site); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.site, v, kSiteMax); }},
    {"-tz", kKnowsSite, [](const Logger& l) { return Answer(std::to_string(l.store.timeZone)); },
     [](Logger& l, std::string_view v) { return StoreNumber(l.store.timeZone, v, kTimeZoneMin, kTimeZoneMax); }},
    {"-lat", kKnowsPosition, [](const Logger& l) { return PositionAnswer(l.store.latitude); },
     [](Logger& l, std::string_view v) { return StorePosition(l.store.latitude, v, kLatitudeMax); }},
    {"-long", kKnowsPosition, [](const Logger& l) { return PositionAnswer(l.store.longitude); },
     [](Logger& l, std::string_view v) { return StorePosition(l.store.longitude, v, kLongitudeMax); }},
    {"-w", kKnowsWake, [](const Logger& l) { return Answer(std::to_string(l.store.wake)); },
     [](Logger& l, std::string_view v) { return StoreNumber(l.store.wake, v, 0, INT32_MAX); }},
    {"-padc", kKnowsWake, [](const Logger& l) { return Answer(std::to_string(l.store.padc)); },
     [](Logger& l, std::string_view v) { return StoreNumber(l.store.padc, v, 0, INT32_MAX); }},
    {"-ports", kKnowsPorts, [](const Logger& l) { return PortsAnswer(l.store.ports); },
     [](Logger& l, std::string_view v) { return StorePorts(l.store.ports, v); }},
    // The logger keeps the trait byte inverted.
    {"-trait", kKnowsTrait,
     [](const Logger& l) { return Answer(std::to_string(kByteMax - (l.store.trait & kByteMax))); },
     [](Logger& l, std::string_view v) {
       uint32_t stored = 0;
       if (!ReadNumber<uint32_t>(v, 0, kByteMax, stored)) return kError;
       l.store.trait = kByteMax - stored;
       return kOk;
     }},
    {"-r", kKnowsRmode, [](const Logger& l) { return Answer(std::to_string(l.store.rmode)); },
     [](Logger& l, std::string_view v) {
       if (l.kind->fixedRadioMode) return v == std::to_string(kFixedRadioMode) ? kOk : kError;
       return StoreNumber(l.store.rmode, v, 0, INT32_MAX);
     }},
    {"-data", kKnowsDataParameter, [](const Logger& l) { return Answer(std::to_string(l.store.dataParameter)); },
     [](Logger& l, std::string_view v) { return StoreNumber(l.store.dataParameter, v, INT32_MIN, INT32_MAX); }},
    {"-build", kKnowsBuild, [](const Logger& l) { return TextAnswer(l.store.build); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.build, v, kBuildMax); }},
    {"-adc30", kKnowsCalibration, [](const Logger& l) { return CalibrationAnswer(l.store.adc30); },
     [](Logger& l, std::string_view v) { return StoreCalibration(l.store.adc30, v); }},
    {"-adc15", kKnowsCalibration, [](const Logger& l) { return CalibrationAnswer(l.store.adc15); },
     [](Logger& l, std::string_view v) { return StoreCalibration(l.store.adc15, v); }},
    {"-rch", kKnowsRadio, [](const Logger& l) { return RadioNumberAnswer(l, &RadioModem::channel); },
     [](Logger& l, std::string_view v) { return StoreRadio(l, v, kRadioChannelMax, &RadioModem::channel); }},
    {"-rsch", kKnowsRadio, [](const Logger& l) { return RadioNumberAnswer(l, &RadioModem::subChannel); },
     [](Logger& l, std::string_view v) { return StoreRadio(l, v, kRadioSubChannelMax, &RadioModem::subChannel); }},
    {"-rver", kKnowsRadio, RadioVersionAnswer, nullptr},
    {"-apn", kHasCellular, [](const Logger& l) { return TextAnswer(l.store.apn); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.apn, v, kApnMax); }},
    {"-user", kHasCellular, [](const Logger& l) { return TextAnswer(l.store.apnUser); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.apnUser, v, kApnMax); }},
    {"-passwd", kHasCellular, [](const Logger& l) { return TextAnswer(l.store.apnPassword); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.apnPassword, v, kApnMax); }},
    {"-authkey", kHasCellular,
     [](const Logger& l) { return l.version >= kFirstAuthKeyVersion ? TextAnswer(l.store.authKey) : kError; },
     [](Logger& l, std::string_view v) { return l.version >= kFirstAuthKeyVersion ? StoreAuthKey(l, v) : kError; }},
    {"-teakey", kHasCellular, [](const Logger& l) { return TextAnswer(l.store.authKey); }, StoreAuthKey},
    {"-host", kHasCellular, [](const Logger& l) { return TextAnswer(l.store.host); },
     [](Logger& l, std::string_view v) { return StoreText(l.store.host, v, kHostMax); }},
    {"-ipport", kHasCellular, [](const Logger& l) { return Answer(std::to_string(l.store.ipPort)); },
     [](Logger& l, std::string_view v) { return StoreNumber<uint32_t>(l.store.ipPort, v, 0, kIpPortMax); }},
    {"-t", kKnowsClock, [](const Logger& l) { return Answer(LoggerClockText(l)); },
     [](Logger& l, std::string_view v) { return SetLoggerTimeOfDay(l, v) ? kOk : kError; }},
    {"-d", kKnowsClock, nullptr, [](Logger& l, std::string_view v) { return SetLoggerDate(l, v) ? kOk : kError; }},
    {"-batt", 0, [](const Logger& l) { return Answer(std::to_string(l.battery)); }, nullptr},
};

const Setting* FindSetting(std::string_view option) {
  for (const Setting& setting : kSettings) {
    if (setting.option == option) return &setting;
  }
  return nullptr;
}

// The settings file's names for the stored values and the command option that writes each.
struct FileKey {
  std::string_view key;
  std::string_view option;
};

const FileKey kFileKeys[] = {
    {"name", "-i"},        {"sn", "-sn"},           {"deviceid", "-devid"}, {"report", "-report"},
    {"depth", "-depth"},   {"site", "-site"},       {"timezone", "-tz"},    {"lat", "-lat"},
    {"lon", "-long"},      {"wake", "-w"},          {"padc", "-padc"},      {"ports", "-ports"},
    {"rmode", "-r"},       {"data", "-data"},       {"VornBuild", "-build"}, {"apn", "-apn"},
    {"user", "-user"},     {"passwd", "-passwd"},   {"authkey", "-teakey"}, {"host", "-host"},
    {"ipport", "-ipport"},
};

// The calibration lines of the settings file hold five numbers each.
PortValues* CalibrationValues(LoggerStore& s, std::string_view key) {
  if (key == "ADC30 slopes") return &s.adc30.slopes;
  if (key == "ADC30 offsets") return &s.adc30.offsets;
  if (key == "ADC15 slopes") return &s.adc15.slopes;
  if (key == "ADC15 offsets") return &s.adc15.offsets;
  return nullptr;
}

// "set -baud N": acknowledged at the old rate, then the line moves to the new one.
void SetBaud(Logger& logger, Device& device, std::string_view value) {
  uint32_t code = 0;
  if (!(logger.features & kKnowsBaud) || !ReadNumber<uint32_t>(value, 0, std::size(kBaudRates) - 1, code)) {
    DeviceSend(device, kError);
    return;
  }
  DeviceSend(device, kOk);
  logger.baud = kBaudRates[code];
}

std::string ShowAnswer(const Logger& logger) {
  const LoggerStore& s = logger.store;
  return "\rID: " + s.name + "\rVersion: " + VersionText(logger.version) + "\rRadio: " + std::to_string(s.rmode) +
         "\rWake: " + std::to_string(s.wake) + "\rResets: " + std::to_string(logger.resets) + "\r>";
}

bool HasOldPadc(const Logger& logger) {
  return (logger.features & kKnowsWake) && logger.version >= kFirstOldPadcVersion;
}

// The old set acknowledges a setting with the bare prompt.
std::string OldSet(Logger& logger, std::string_view option, std::string_view value) {
  LoggerStore& s = logger.store;
  std::string result = kError;
  if (option == "-i") {
    result = ValidName(value) ? StoreText(s.name, value, kNameMax) : kError;
  } else if (option == "-w" && (logger.features & kKnowsWake)) {
    result = StoreNumber(s.wake, value, 0, INT32_MAX);
  } else if (option == "-p" && HasOldPadc(logger)) {
    result = StoreNumber(s.padc, value, 0, INT32_MAX);
  } else if (option == "-r" && (logger.features & kKnowsRmode)) {
    result = StoreNumber(s.rmode, value, 0, INT32_MAX);
  } else if (option == "-t" && (logger.features & kKnowsClock)) {
    result = SetLoggerTimeOfDay(logger, value) ? kOk : kError;
  } else if (option == "-d" && (logger.features & kKnowsClock)) {
    result = SetLoggerDate(logger, value) ? kOk : kError;
  }
  return result == kOk ? kPrompt : result;
}

}  // namespace

CommandWords SplitCommand(std::string_view line) {
  CommandWords words;
  const size_t space = line.find(' ');
  words.verb = line.substr(0, space);
  if (space == std::string_view::npos) return words;
  const std::string_view rest = line.substr(space + 1);
  const size_t next = rest.find(' ');
  words.option = rest.substr(0, next);
  if (next != std::string_view::npos) words.value = rest.substr(next + 1);
  return words;
}

bool StoreLoggerValue(Logger& logger, std::string_view key, std::string_view value) {
  if (key == "name" && value.empty()) {
    logger.store.name.clear();
    return true;
  }
  if (PortValues* calibration = CalibrationValues(logger.store, key)) return StorePorts(*calibration, value) == kOk;
  for (const FileKey& fileKey : kFileKeys) {
    if (fileKey.key != key) continue;
    const Setting* setting = FindSetting(fileKey.option);
    return setting && setting->set && setting->set(logger, value) == kOk;
  }
  return false;
}

void NewSetLine(Logger& logger, Device& device, const std::string& line) {
  const CommandWords words = SplitCommand(line);
  if (words.verb == "post" && (words.option.empty() || words.option == "-init")) {
    DeviceSend(device, "\rCode Good!\r>");
    return;
  }
  if (words.verb == "set" && words.option == "-baud") {
    SetBaud(logger, device, words.value);
    return;
  }
  const Setting* setting = FindSetting(words.option);
  const bool known = setting && (logger.features & setting->needs) == setting->needs;
  if (known && words.verb == "get" && setting->get && words.value.empty()) {
    DeviceSend(device, setting->get(logger));
  } else if (known && words.verb == "set" && setting->set) {
    DeviceSend(device, setting->set(logger, words.value));
  } else {
    DeviceSend(device, kError);
  }
}

void OldSetLine(Logger& logger, Device& device, const std::string& line) {
  const CommandWords words = SplitCommand(line);
  if (line == "show") {
    DeviceSend(device, ShowAnswer(logger));
  } else if (line == "time" && (logger.features & kKnowsClock)) {
    DeviceSend(device, Answer(LoggerClockText(logger)));
  } else if (line == "hertz" && HasOldPadc(logger)) {
    DeviceSend(device, Answer(std::to_string(logger.store.padc)));
  } else if (line == "term" && (logger.features & kKnowsRadio)) {
    EnterTerminal(logger, device);
  } else if (words.verb == "set") {
    DeviceSend(device, OldSet(logger, words.option, words.value));
  } else {
    DeviceSend(device, kError);
  }
}
