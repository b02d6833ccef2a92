// "--unit N": the simulated device is unit N (1-999) of its model on a bench that holds several,
// one of a production run. What tells real units apart (the serial number, the calibrations,
// the records and names people gave them) follows from N, so two simulators of one model are
// plainly two devices and the same N is the same device in every run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t kNoUnit = 0;  // no --unit: the one device of its model the simulator has always played
constexpr uint32_t kMaxUnit = 999;

// "1" to "999".
bool ParseBenchUnit(std::string_view text, uint32_t& unit);

// Unit N's serial number in the shape of the field unit's: its trailing number plus 1000 + N, as
// many digits wide ("TGX-014577" is "TGX-015578" for unit 1). No two units share one, and none
// is the field unit's.
std::string UnitSerialNumber(std::string_view field, uint32_t unit);

// An integer calibration of unit N: `value` moved by up to 9 either way. Consecutive units never
// move it alike; `salt` gives each value of a unit its own move.
long UnitShift(long value, uint32_t unit, uint32_t salt);

// A calibration number of unit N in the shape of `number` ("-0.35", "512", "1.0034"): moved by up
// to 9 in its last digit, after it has gained decimals until it has three significant digits, so
// no number moves by more than 9 %. Zero, and a word that is no number, stay as they are.
std::string UnitNumber(std::string_view number, uint32_t unit, uint32_t salt);
// Every number of a text of numbers and words moved as UnitNumber moves it, each its own way.
std::string UnitNumbers(std::string_view text, uint32_t unit, uint32_t salt);

// A spread of the units over 0-999: for one salt every unit has its own place.
uint32_t UnitSpread(uint32_t unit, uint32_t salt);

// N in `width` digits, zeros in front.
std::string UnitDigits(uint32_t value, int width);
