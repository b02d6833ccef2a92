// Exchange shapes the sensor operations share.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sdi12/sdi_sensor.h"

// One exchange whose whole reply (at most 255 characters) the caller reads.
int SDIExchange(SDISensor& sensor, std::string_view command, std::string* reply);

// The read that shows what a write set, and the test of its reply.
struct SDIReadBack {
  std::string_view command;
  std::function<bool(std::string_view reply)> matches;
};

// A set command repeated up to the sensor's tries until an answer carries "OK".
// With a read-back the "OK" counts only when the value read back matches: a byte
// lost on the bus leaves the sensor confirming a value nobody sent. A read-back
// that is refused or not answered leaves the "OK" standing.
// result: 1, -34 ("ERROR" heard), -30 (read back different), -22 (no "OK");
// exchange: the last exchange's code.
struct SDIWriteOutcome {
  int result = 0;
  int exchange = 0;
};
SDIWriteOutcome SDIConfirmedWrite(SDISensor& sensor, std::string_view command, const SDIReadBack* readBack = nullptr);

// A single raw byte for the pass-through device, and a pause on the link's clock.
int SDIWriteByte(SDISensor& sensor, char byte);
void SDIPause(SDISensor& sensor, int milliseconds);
