// Readers of the answers an SDI-12 sensor sends through the pass-through
// device, and the calibration rules applied to them. Each is a pure function
// over the reply: it never reads past the view, accepts any bytes (binary,
// truncated, over-long) and keeps every text within its limit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The answer line: the reply up to its first carriage return.
std::string_view SDIAnswerLine(std::string_view reply);
// The answer text: the line from its second character, one leading white-space
// character skipped; the first character is the answering sensor's address.
std::string_view SDIAnswerText(std::string_view reply);
// True when the sensor refused the command ("aERROR"): the text is no value of what was read.
bool SDIRefused(std::string_view reply);
bool SDIContains(std::string_view text, std::string_view part);

// Whether a reply is an SDI-12 answer to the command at all: its line ends (a carriage
// return; the line feed may still be on its way), it begins with an address character and,
// when the command names an address (except an address change, answered from the new one),
// with that address. Noise is told by this frame, never by the byte values inside the text:
// sensors keep what people typed.
bool SDIFramed(std::string_view command, std::string_view reply);
// Whether the answer comes from the sensor at this address.
bool SDIFrom(std::string_view reply, char address);

// The shapes of the answers the capture keeps, beyond the frame; a refusal ("aERROR") has
// every shape, so the caller can tell it.
// "?I!": address, the two-digit SDI-12 version, vendor, model and the three-digit version.
bool SDIIdentityShaped(std::string_view reply);
// "?X8!": one character, or one to three digits.
bool SDITypeShaped(std::string_view reply);
// Calibrations: numbers separated by white space, or nothing (a blank sensor).
bool SDICalibrationShaped(std::string_view reply);

// "?I!": address, SDI-12 version (two digits), vendor, model, three-digit version, rest.
struct SDIIdentityAnswer {
  std::optional<char> address;
  std::string identity;  // from the fourth character, at most 36
  uint32_t version = 0;  // characters 18 to 20; 0 when they are not digits
};
SDIIdentityAnswer ReadIdentityAnswer(std::string_view reply);

// "?X8!": one character, or up to three decimal digits.
struct SDITypeAnswer {
  uint8_t type = 0;
  bool numeric = false;
};
SDITypeAnswer ReadTypeAnswer(std::string_view reply);

// "?X#!": nothing when the sensor has no serial number; else at most 32 characters.
std::optional<std::string> ReadSerialAnswer(std::string_view reply);

// Older K7W and K7V firmware marks unused X4 terms "-1", which newer firmware
// refuses: every "-1 " and the first "-1\r" become "+0". True when anything changed.
bool ClearMinusOnes(std::string& reply);

// The Xa reply to keep for a K7W, K7V or HB7 sensor at this version: the
// default it must be given instead (written as an answer from address 'a'),
// or nothing when the reply stands. `failed` is set when the query failed.
std::optional<std::string_view> XaDefault(uint32_t type, uint32_t version, std::string_view reply, bool failed);

// Whether a calibration read back holds what was written, word by word: numbers compare by
// value (a sensor may print 0.981 as "0.981000", "+0.981" or "9.81e-1"), and from a sensor that
// prints all its numbers alike, at the precision it printed each one ("+0.98"); anything else
// character by character.
bool SDISameCalibration(std::string_view written, std::string_view readBack);

// The X4 text of a DG7 or HTK sensor below version 3.40 in the new six-term form.
std::string ConvertedCalibration(std::string_view x4);

// Text cut to a limit.
std::string Bounded(std::string_view text, size_t maximum);
