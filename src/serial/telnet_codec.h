// The wire format of a network serial port (RFC 2217 over telnet): data with every 0xFF byte
// doubled, option negotiation, and the COM-PORT-OPTION requests and their answers. Pure
// functions over bytes, so the session above them is all that touches a socket.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace telnet {

constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;

constexpr uint8_t kOptionBinary = 0;
constexpr uint8_t kOptionSuppressGoAhead = 3;
constexpr uint8_t kOptionComPort = 44;

// COM-PORT-OPTION commands, client to server; the server answers each with the code plus 100.
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerReply = 100;

constexpr uint8_t kParityNone = 1;
constexpr uint8_t kStopSizeOne = 1;
constexpr uint8_t kControlNoFlowControl = 1;
constexpr uint8_t kControlDtrOn = 8;
constexpr uint8_t kControlDtrOff = 9;
constexpr uint8_t kControlRtsOn = 11;
constexpr uint8_t kControlRtsOff = 12;
constexpr uint8_t kPurgeReceiveBuffer = 1;

// A run of data or one thing the server said, in the order they came: what a purge discards
// ends exactly at the purge's answer.
struct Event {
  enum class Kind { kData, kOption, kComPort } kind = Kind::kData;
  uint8_t verb = 0;     // kWill, kWont, kDo or kDont (kOption)
  uint8_t code = 0;     // the option (kOption) or the COM-PORT-OPTION answer's code (kComPort)
  std::string value;    // the data, undoubled (kData), or the answer's value, undoubled (kComPort)
};

// The reader's place inside a command that may be split across receives.
struct Decoder {
  int state = 0;
  uint8_t verb = 0;
  std::string sub;  // the subnegotiation gathered so far
};

// Data for the wire: every 0xFF doubled.
std::string Escape(const char* data, int length);
// "IAC verb option".
std::string Option(uint8_t verb, uint8_t option);
// A COM-PORT-OPTION request: IAC SB 44 command value IAC SE, the value's 0xFF bytes doubled.
std::string ComPortRequest(uint8_t command, const std::string& value);
std::string BaudRateValue(uint32_t baud);  // four bytes, network order
uint32_t BaudRateOf(const std::string& value);
// Splits received bytes into runs of data and the server's commands, appended to *events in
// order. Commands other than options and COM-PORT-OPTION answers are dropped.
void Decode(Decoder& decoder, const char* bytes, int length, std::vector<Event>* events);

}  // namespace telnet
