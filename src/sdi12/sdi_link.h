// Exchange shapes the sensor operations share.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sdi12/sdi_sensor.h"

// What an answer must look like beyond its SDI-12 frame (sdi_answers.h); an answer of another
// shape is line noise and the exchange goes on as if nothing had come. Empty: any framed answer.
using SDIAnswerShape = std::function<bool(std::string_view reply)>;

// One exchange whose whole reply (at most 255 characters) the caller reads.
int SDIExchange(SDISensor& sensor, std::string_view command, std::string* reply, const SDIAnswerShape& shape = {});

// The read that shows what a write set: its command, the shape of its answer, and whether the
// value it shows is the one written.
struct SDIReadBack {
  std::string_view command;
  SDIAnswerShape shape;
  std::function<bool(std::string_view reply)> holds;
};

// A set command repeated up to the sensor's tries until an answer carries "OK". The "OK" is the
// sensor's word that the value is set; the read-back only catches a value that really differs
// (a byte lost on the bus), and then the write goes out again. A read-back that is refused or
// not answered leaves the "OK" standing.
// result: 1 confirmed; -34 the last answer was "ERROR"; -30 the sensor answered without "OK",
// or still holds another value after every try; else the last exchange's code (nobody answered:
// -21, -22 or a port error). exchange: the last exchange's own code, for the log.
struct SDIWriteOutcome {
  int result = 0;
  int exchange = 0;
};
SDIWriteOutcome SDIConfirmedWrite(SDISensor& sensor, std::string_view command, const SDIReadBack* readBack = nullptr);

// The worse of two results of one restore: nobody answering outweighs a refusal, a refusal a
// success; of two alike the later stands.
int SDIWorse(int sofar, int step);

// A single raw byte for the pass-through device, and a pause on the link's clock.
int SDIWriteByte(SDISensor& sensor, char byte);
void SDIPause(SDISensor& sensor, int milliseconds);
