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
         "  --hardware-revision C\n"
         "Any device: --battery PERCENT  its answer to \"get -batt\"\n";
}
