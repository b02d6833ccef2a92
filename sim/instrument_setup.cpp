#include "instrument_setup.h"

#include <cctype>
#include <charconv>

namespace {

bool SettingArgument(const std::string& text, InstrumentSetup& setup, std::string& error) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || text.find('\r') != std::string::npos) {
    error = "--setting wants KEY=VALUE, the key as in \"get -KEY\"";
    return false;
  }
  setup.values.emplace_back(text.substr(0, equals), text.substr(equals + 1));
  return true;
}

bool Number(const std::string& text, long& number) {
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && failure == std::errc() && end == text.data() + text.size();
}

}  // namespace

OptionMatch ParseInstrumentOption(const std::string& option, const std::function<bool(std::string&)>& value,
                                  InstrumentSetup& setup, std::string& error) {
  std::string text;
  bool good = true;
  if (option == "--factory-reset") {
    setup.factoryReset = true;
  } else if (option == "--setting") {
    good = value(text) && SettingArgument(text, setup, error);
  } else if (option == "--test-running") {
    good = value(text) && Number(text, setup.testRunning);
  } else {
    return OptionMatch::NotMine;
  }
  if (!good) {
    if (error.empty()) error = "bad or missing value for " + option;
    return OptionMatch::Bad;
  }
  setup.given = true;
  return OptionMatch::Taken;
}

bool IsInstrumentModel(std::string_view model) {
  std::string upper(model);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper == "TGX" || upper == "MQ2" || upper == "LX40";
}

const char* InstrumentUsage() {
  return "Instruments (TGX, MQ2, LX40):\n"
         "  --factory-reset          start with the factory settings and records\n"
         "  --setting KEY=VALUE      a stored value, KEY as in \"get -KEY\"\n"
         "  --test-running N         \"ping -stat\" answers N instead of -1\n";
}
