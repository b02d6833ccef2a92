#include "passthrough_setup.h"

#include <cctype>
#include <charconv>

#include "options.h"
#include "sdi_sensor_model.h"

namespace {

constexpr int kMaxBattery = 100;
constexpr std::string_view kSensorKeys[] = {"address", "sn", "x4", "xa", "xo"};

bool SensorArgument(const std::string& text, SensorSetup& sensor, std::string& error) {
  if (text == "none") {
    sensor.present = false;
    return true;
  }
  // The type may itself be ':' only in theory; the version follows the first colon after it.
  const size_t colon = text.find(':', 1);
  const std::string type = text.substr(0, colon);
  const SensorKind* kind = FindSensorKind(type);
  if (!kind) {
    error = "unknown sensor type \"" + type + "\" (] z w ^ u, SKYRA61 K7W HB7 PL3 DG7, or none)";
    return false;
  }
  sensor.present = true;
  sensor.type = kind->type;
  if (colon != std::string::npos && !ParseVersion(text.substr(colon + 1), sensor.version)) {
    error = "bad sensor version in \"" + text + "\"";
    return false;
  }
  return true;
}

bool SensorValue(const std::string& text, SensorSetup& sensor, std::string& error) {
  const size_t equals = text.find('=');
  const std::string key = text.substr(0, equals);
  bool known = false;
  for (std::string_view name : kSensorKeys) known = known || name == key;
  if (equals == std::string::npos || !known) {
    error = "--sensor-set wants KEY=VALUE with a key of address, sn, x4, xa, xo";
    return false;
  }
  const std::string value = text.substr(equals + 1);
  // The value travels in SDI-12 commands, which end at "!".
  if (value.find('!') != std::string::npos ||
      (key == "address" && (value.size() != 1 || !std::isalnum(static_cast<unsigned char>(value[0]))))) {
    error = "bad value for sensor " + key + ": \"" + value + "\"";
    return false;
  }
  sensor.values.emplace_back(key, value);
  return true;
}

constexpr int kMostDigits = 9;
constexpr int kExponentDigits = 3;

bool SmallNumber(std::string_view text, int lowest, int& number) {
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && failure == std::errc() && end == text.data() + text.size() && number >= lowest &&
         number <= kMostDigits;
}

// "as-written", "rounded:N" or "exponent[:N]".
bool NumberFormat(const std::string& text, SensorNumberFormat& format) {
  const size_t colon = text.find(':');
  const std::string style = text.substr(0, colon);
  const std::string_view digits =
      colon == std::string::npos ? std::string_view() : std::string_view(text).substr(colon + 1);
  if (style == "as-written") {
    format = {SensorNumbers::AsWritten, 0};
    return colon == std::string::npos;
  }
  if (style == "rounded") {
    format.style = SensorNumbers::Rounded;
    return SmallNumber(digits, 0, format.digits);
  }
  if (style == "exponent") {
    format.style = SensorNumbers::Exponent;
    format.digits = kExponentDigits;
    return colon == std::string::npos || SmallNumber(digits, 1, format.digits);
  }
  return false;
}

// "CMD:N": the command as the sensor hears it, without address and "!".
bool Late(const std::string& text, SensorSetup& sensor) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  LateCommand late;
  late.command = text.substr(0, colon);
  if (late.command.back() == '*') {
    late.prefix = true;
    late.command.pop_back();
  }
  const std::string count = text.substr(colon + 1);
  const auto [end, failure] = std::from_chars(count.data(), count.data() + count.size(), late.attempt);
  if (count.empty() || failure != std::errc() || end != count.data() + count.size() || late.attempt == 0 ||
      late.command.empty() || late.command.find('!') != std::string::npos) {
    return false;
  }
  sensor.late.push_back(std::move(late));
  return true;
}

bool Garble(const std::string& text, SensorGarble& garble) {
  if (text == "high") {
    garble = SensorGarble::High;
  } else if (text == "printable") {
    garble = SensorGarble::Printable;
  } else if (text == "line") {
    garble = SensorGarble::Line;
  } else {
    return false;
  }
  return true;
}

bool Battery(const std::string& text, int& battery) {
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), battery);
  return !text.empty() && failure == std::errc() && end == text.data() + text.size() && battery >= 0 &&
         battery <= kMaxBattery;
}

}  // namespace

OptionMatch ParsePassThroughOption(const std::string& option, const std::function<bool(std::string&)>& value,
                                   PassThroughSetup& setup, std::string& error) {
  std::string text;
  bool good = true;
  if (option == "--sensor") {
    good = value(text) && SensorArgument(text, setup.sensor, error);
  } else if (option == "--sensor-set") {
    good = value(text) && SensorValue(text, setup.sensor, error);
  } else if (option == "--sensor-numeric-type") {
    setup.sensor.numericType = true;
  } else if (option == "--sensor-blank") {
    setup.sensor.blank = true;
  } else if (option == "--sensor-no-loader") {
    setup.sensor.hasLoader = false;
  } else if (option == "--sensor-in-loader") {
    setup.sensor.startInLoader = true;
  } else if (option == "--sensor-number-format") {
    good = value(text) && NumberFormat(text, setup.sensor.numbers);
  } else if (option == "--sensor-late") {
    good = value(text) && Late(text, setup.sensor);
  } else if (option == "--sensor-garble") {
    good = value(text) && Garble(text, setup.sensor.garble);
  } else if (option == "--hardware-revision") {
    good = value(text) && text.size() == 1 && std::isgraph(static_cast<unsigned char>(text[0]));
    if (good) setup.hardwareRevision = text[0];
  } else if (option == "--battery") {
    good = value(text) && Battery(text, setup.battery);
  } else {
    return OptionMatch::NotMine;
  }
  if (!good) {
    if (error.empty()) error = "bad or missing value for " + option;
    return OptionMatch::Bad;
  }
  // Loggers and instruments answer "get -batt" too: the battery is not a pass-through device's alone.
  if (option != "--battery") setup.given = true;
  return OptionMatch::Taken;
}

bool IsPassThroughModel(std::string_view model) {
  std::string upper(model);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper == "FX" || upper == "ACD";
}

const char* PassThroughUsage() {
  return "Pass-through devices (FX, ACD) and the SDI-12 sensor on their bus:\n"
         "  --sensor TYPE[:VERSION]  ] z w ^ u (or SKYRA61 K7W HB7 PL3 DG7, or none); default ]\n"
         "  --sensor-set KEY=VALUE   address, sn, x4, xa, xo\n"
         "  --sensor-numeric-type --sensor-blank --sensor-no-loader --sensor-in-loader\n"
         "  --sensor-number-format as-written|rounded:N|exponent[:N]\n"
         "  --sensor-late CMD:N      silent the first N-1 times CMD (\"I\", \"post\", \"X5*\") is heard\n"
         "  --sensor-garble high|printable|line\n"
         "  --hardware-revision C\n"
         "Any device: --battery PERCENT  its answer to \"get -batt\"\n";
}
