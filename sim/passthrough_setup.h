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
//   --sensor-number-format F  how the sensor stores and prints calibration numbers: as-written,
//                             rounded:N (N decimals, a sign always), exponent[:N] ("9.810e-01")
//   --sensor-late CMD:N       the sensor stays silent the first N-1 times it hears CMD (the command
//                             without address and "!"; "X5*" for every command starting "X5")
//   --sensor-garble STYLE     what a garble fault at the sdi stages makes of an answer: high (bytes
//                             with the high bit), printable (7-bit characters, line end lost too),
//                             line (printable characters, the line end kept)
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

// How a sensor keeps the numbers of its calibrations: the text as written, or numbers it prints
// its own way.
enum class SensorNumbers { AsWritten, Rounded, Exponent };
struct SensorNumberFormat {
  SensorNumbers style = SensorNumbers::AsWritten;
  int digits = 0;  // decimals (rounded) or digits after the point (exponent)
};

// A command the sensor answers only from the N-th time it hears it.
struct LateCommand {
  std::string command;  // without address and "!"
  bool prefix = false;  // "X5*": every command that starts so
  uint32_t attempt = 1;
};

// What a garble fault at the sdi stages makes of a sensor's answer.
enum class SensorGarble { High, Printable, Line };

struct SensorSetup {
  bool present = true;  // false: nothing answers on the bus
  uint8_t type = ']';
  uint32_t version = 0;  // 0: the type's factory version
  bool numericType = false;
  bool blank = false;
  bool hasLoader = true;
  bool startInLoader = false;
  std::vector<std::pair<std::string, std::string>> values;  // --sensor-set, in order
  SensorNumberFormat numbers;
  std::vector<LateCommand> late;
  SensorGarble garble = SensorGarble::High;
  uint32_t unit = 0;  // which unit of its type on the bench (--unit): its own settings; 0 for none
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
