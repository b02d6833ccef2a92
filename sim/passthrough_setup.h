// How a pass-through device (Fieldrex, AQUIN Comm Device) and the SDI-12 sensor on its bus
// start, from the command line:
//
//   --sensor TYPE[:VERSION]   the sensor on the bus: a type character (] z w ^ u), its name
//                             (SKYRA61 K7W HB7 PL3 DG7) or decimal code, or "none" for an empty bus
//   --sensor-set KEY=VALUE    a stored value: address, sn, x4, xa, xo
//   --sensor-numeric-type     the sensor reports its type in decimal digits ("?X8!")
//   --sensor-blank            the sensor starts as after its settings memory was erased
//   --sensor-no-loader        the sensor has no resident loader ("?B!" is answered "No BSL")
//   --sensor-in-loader        the sensor starts in its waiting loader, as after a lost attach
//   --hardware-revision C     the Fieldrex's answer to "get -hver"
//   --battery PERCENT         the answer to "get -batt" (of a logger or an instrument too)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ti_text.h"

struct SensorSetup {
  bool present = true;  // false: nothing answers on the bus
  uint8_t type = ']';
  uint32_t version = 0;  // 0: the type's factory version
  bool numericType = false;
  bool blank = false;
  bool hasLoader = true;
  bool startInLoader = false;
  std::vector<std::pair<std::string, std::string>> values;  // --sensor-set, in order
};

struct PassThroughSetup {
  bool given = false;  // an option of this group was used
  SensorSetup sensor;
  char hardwareRevision = 0;           // 0: the model's own
  int battery = -1;                    // percent; -1: the model's own (any model, not only these)
  std::vector<TiSegment> sensorImage;  // the --image file: the report compares the sensor's flash with it
};

enum class OptionMatch { NotMine, Taken, Bad };

// Reads one option of this group; `value` fetches the option's argument (false when missing).
OptionMatch ParsePassThroughOption(const std::string& option, const std::function<bool(std::string&)>& value,
                                   PassThroughSetup& setup, std::string& error);
bool IsPassThroughModel(std::string_view model);
const char* PassThroughUsage();
