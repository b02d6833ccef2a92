// How a simulated instrument (TGX, MQ2, LX40) starts, from the command line:
//
//   --factory-reset           the instrument holds its factory settings and records instead of
//                             the ones it has been set up with in the field
//   --setting KEY=VALUE       a stored value, by the name of its get/set option ("sn", "tadj")
//   --test-running N          "ping -stat" answers N (a test is running) instead of -1
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "passthrough_setup.h"

struct InstrumentSetup {
  bool given = false;  // an option of this group was used
  bool factoryReset = false;
  long testRunning = -1;
  std::vector<std::pair<std::string, std::string>> values;  // --setting, in order
};

OptionMatch ParseInstrumentOption(const std::string& option, const std::function<bool(std::string&)>& value,
                                  InstrumentSetup& setup, std::string& error);
bool IsInstrumentModel(std::string_view model);
const char* InstrumentUsage();
