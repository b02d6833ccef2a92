#include "model_options.h"

#include <charconv>

#include "logger_model.h"

namespace {

bool ParseNumber(std::string_view text, uint32_t limit, uint32_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() && value <= limit;
}

// KEY=VALUE with the key as the settings file names it; the value may be empty.
bool LoggerValueArgument(std::string_view text, ModelOptions& options) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0 || text.find_first_of("\r\n") != std::string_view::npos) {
    return false;
  }
  options.loggerValues.emplace_back(text.substr(0, equals), text.substr(equals + 1));
  return true;
}

bool AfterEraseArgument(std::string_view text, ModelOptions& options) {
  if (text == "defaults") {
    options.afterErase = AfterErase::Defaults;
  } else if (text == "blank") {
    options.afterErase = AfterErase::Blank;
  } else {
    return false;
  }
  options.afterEraseGiven = true;
  return true;
}

}  // namespace

bool ParseRadioChannel(std::string_view text, RadioChannel& value) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  return ParseNumber(text.substr(0, colon), kRadioChannelMax, value.channel) &&
         ParseNumber(text.substr(colon + 1), kRadioSubChannelMax, value.subChannel);
}

int ParseModelOption(int argc, char** argv, int& i, ModelOptions& options, std::string& error) {
  const std::string_view option = argv[i];
  const bool hasValue = i + 1 < argc;
  if (option == "--asleep") {
    options.asleep = true;
  } else if (option == "--cellular") {
    options.cellular = true;
  } else if (option == "--broken-dataflash") {
    options.brokenDataFlash = true;
  } else if (option == "--name") {
    if (!hasValue) {
      error = "--name needs a NAME";
      return -1;
    }
    options.name = argv[++i];
  } else if (option == "--logger-set") {
    if (!hasValue || !LoggerValueArgument(argv[++i], options)) {
      error = "--logger-set needs KEY=VALUE, the key as the settings file names it (site=North Weir)";
      return -1;
    }
  } else if (option == "--after-erase") {
    if (!hasValue || !AfterEraseArgument(argv[++i], options)) {
      error = "--after-erase needs defaults or blank";
      return -1;
    }
  } else if (option == "--radio" || option == "--modem") {
    RadioChannel channel;
    if (!hasValue || !ParseRadioChannel(argv[i + 1], channel)) {
      error = std::string(option) + " needs CH:SUB with CH 0-6 and SUB 0-0xFFFF";
      return -1;
    }
    ++i;
    (option == "--radio" ? options.radio : options.modem) = channel;
  } else {
    return 0;
  }
  return 1;
}

bool CheckModelOptions(std::string_view model, const ModelOptions& options, std::string& error) {
  const bool any = !options.name.empty() || !options.loggerValues.empty() || options.afterEraseGiven ||
                   options.radio || options.modem || options.asleep || options.cellular || options.brokenDataFlash;
  if (!any) return true;
  if (!IsLoggerModel(model)) {
    error = "--name, --logger-set, --after-erase, --radio, --modem, --asleep, --cellular and --broken-dataflash "
            "are for logger models";
    return false;
  }
  if (options.asleep && !options.modem) {
    error = "--asleep is for a logger reached over the radio (--modem)";
    return false;
  }
  return LoggerAcceptsOptions(model, options, error);
}
