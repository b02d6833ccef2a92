// Exchange shapes the sensor operations share.
#pragma once

#include <string>
#include <string_view>

#include "sdi12/sdi_sensor.h"

// One exchange whose whole reply (at most 255 characters) the caller reads.
int SDIExchange(SDISensor& sensor, std::string_view command, std::string* reply);

// A set command repeated up to the sensor's tries until an answer carries "OK".
// result: 1, -34 ("ERROR" heard), -22 (neither); exchange: the last exchange's code.
struct SDIWriteOutcome {
  int result = 0;
  int exchange = 0;
};
SDIWriteOutcome SDIConfirmedWrite(SDISensor& sensor, std::string_view command);

// A single raw byte for the pass-through device, and a pause on the link's clock.
int SDIWriteByte(SDISensor& sensor, char byte);
void SDIPause(SDISensor& sensor, int milliseconds);
