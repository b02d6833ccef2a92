#include "options.h"

#include <charconv>
#include <cctype>

#include "bench_unit.h"
#include "device_models.h"

namespace {

constexpr uint32_t kMaxVersion = 65535;
constexpr int kMaxRestartMs = 600000;
constexpr uint32_t kMaxAdapterLatencyMs = 1000;
constexpr uint32_t kSerialRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};

bool ParseNumber(const std::string& text, uint32_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// The rates a serial port is set to: a loader built for one of them, or "auto" (0) for one that
// measures the host's rate from its "\r".
bool LoaderBaudArgument(const std::string& text, std::optional<uint32_t>& baud) {
  if (text == "auto") {
    baud = 0;
    return true;
  }
  uint32_t rate = 0;
  if (!ParseNumber(text, rate)) return false;
  for (uint32_t known : kSerialRates) {
    if (rate == known) {
      baud = rate;
      return true;
    }
  }
  return false;
}

bool Digits(const std::string& text) {
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return !text.empty();
}

bool DeviceArgument(const std::string& text, SimOptions& options, std::string& error) {
  const size_t colon = text.find(':');
  options.model = text.substr(0, colon);
  if (!FindDeviceModel(options.model)) {
    error = "unknown device model \"" + options.model + "\"";
    return false;
  }
  return colon == std::string::npos || ParseVersion(text.substr(colon + 1), options.firmwareVersion);
}

}  // namespace

bool ParseVersion(const std::string& text, uint32_t& version) {
  const size_t point = text.find('.');
  if (point == std::string::npos) return ParseNumber(text, version) && version <= kMaxVersion;
  const std::string major = text.substr(0, point);
  const std::string minor = text.substr(point + 1);
  uint32_t whole = 0;
  if (!Digits(major) || !Digits(minor) || minor.size() > 2 || !ParseNumber(major, whole)) return false;
  const uint32_t hundredths = static_cast<uint32_t>((minor[0] - '0') * 10 + (minor.size() > 1 ? minor[1] - '0' : 0));
  version = whole * 100 + hundredths;
  return version <= kMaxVersion;
}

bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    bool good = true;
    if (option == "--device") {
      good = value(text) && DeviceArgument(text, options, error);
      if (!good && !error.empty()) return false;
    } else if (option == "--link") {
      good = value(options.linkPath);
    } else if (option == "--report") {
      good = value(options.reportPath);
    } else if (option == "--image") {
      good = value(options.imagePath);
    } else if (option == "--fault") {
      FaultRule rule;
      good = value(text) && ParseFaultRule(text, rule, error);
      if (!good && !error.empty()) return false;
      options.faults.push_back(rule);
    } else if (option == "--restart-ms") {
      uint32_t ms = 0;
      good = value(text) && ParseNumber(text, ms) && ms <= kMaxRestartMs;
      options.restartMs = static_cast<int>(ms);
    } else if (option == "--adapter-latency") {
      uint32_t ms = 0;
      good = value(text) && ParseNumber(text, ms) && ms <= kMaxAdapterLatencyMs;
      options.adapterLatencyMs = static_cast<int>(ms);
    } else if (option == "--loader-version") {
      good = value(text) && ParseNumber(text, options.loaderVersion) && options.loaderVersion <= kMaxVersion;
    } else if (option == "--loader-baud") {
      good = value(text) && LoaderBaudArgument(text, options.loaderBaud);
    } else if (option == "--seed") {
      good = value(text) && ParseNumber(text, options.seed);
    } else if (option == "--unit") {
      good = value(text) && ParseBenchUnit(text, options.unit);
    } else if (option == "--baud-timing") {
      options.baudTiming = true;
    } else if (option == "--exit-after-update") {
      options.exitAfterUpdate = true;
    } else if (option == "--replug") {
      options.replug = true;
    } else if (option == "--start-in-loader") {
      options.startInLoader = true;
    } else if (option == "--no-loader") {
      options.noLoader = true;
    } else if (option == "--help" || option == "-h") {
      options.help = true;
    } else if (const int taken = ParseModelOption(argc, argv, i, options.modelOptions, error); taken != 0) {
      if (taken < 0) return false;
    } else if (const OptionMatch match = ParsePassThroughOption(option, value, options.passThrough, error);
               match != OptionMatch::NotMine) {
      if (match == OptionMatch::Bad) return false;
    } else if (const OptionMatch instrument = ParseInstrumentOption(option, value, options.instrument, error);
               instrument != OptionMatch::NotMine) {
      if (instrument == OptionMatch::Bad) return false;
    } else {
      error = "unknown option " + option;
      return false;
    }
    if (!good) {
      error = "bad or missing value for " + option;
      return false;
    }
  }
  if (options.passThrough.given && !IsPassThroughModel(options.model)) {
    error = "sensor and pass-through options need a pass-through device (--device FX or ACD)";
    return false;
  }
  if (options.instrument.given && !IsInstrumentModel(options.model)) {
    error = "instrument options need an instrument (--device TGX, MQ2 or LX40)";
    return false;
  }
  if (options.replug && options.linkPath.empty()) {
    error = "--replug needs --link: the host finds the plugged-in device by that path";
    return false;
  }
  if (options.startInLoader && options.noLoader) {
    error = "--start-in-loader and --no-loader exclude each other";
    return false;
  }
  return CheckModelOptions(options.model, options.modelOptions, error);
}

const char* SimUsage() {
  return "usage: vornbsl-devsim [--device MODEL[:VERSION]] [--link PATH] [--report FILE] [--image FILE]\n"
         "                      [--baud-timing] [--fault KIND@STAGE[:N|:first][xCOUNT]]...\n"
         "                      [--start-in-loader | --no-loader] [--exit-after-update] [--replug]\n"
         "                      [--restart-ms MS] [--loader-version N] [--loader-baud RATE|auto]\n"
         "                      [--seed N] [--adapter-latency MS] [--unit N]\n"
         "                      [--name NAME] [--logger-set KEY=VALUE]... [--after-erase defaults|blank]\n"
         "                      [--radio CH:SUB] [--modem CH:SUB] [--asleep] [--cellular] [--broken-dataflash]\n"
         "Prints the pseudo-terminal's path on the first line, then plays the device until killed.\n"
         "SIGUSR1 ends the injected faults and writes the --report of the state so far.\n"
         "--unit N (1-999) plays unit N of its model on a bench of several: its own serial number,\n"
         "calibrations and records (instruments), name, serial number, device ID, site, position and\n"
         "ADC calibration (loggers), serial number, address and calibrations (the sensor behind FX or\n"
         "ACD). --setting, --logger-set, --name and --sensor-set still win. Without it: the field unit.\n"
         "Models: TGX (default, firmware 1.40), MQ2 (2.10), LX40 (2.10); loggers LG20 (2.02), LG2 (old\n"
         "command set, 1.70), VQ7 (1.20), QRL (2.05), FH (1.09); pass-through devices FX (1.30) and ACD (1.05);\n"
         "AQUIN_CAL (1.00).\n"
         "Fault kinds: silence garble nak drop reset hangup echo error.\n"
         "Stages: boot attach probe version erase-info erase address write vectors frame command batt sdi\n"
         "get set login post erase-data ver clock restart.\n";
}
