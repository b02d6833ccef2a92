// The radio side of a logger: radio modems that take AT commands after "+++" (the logger's
// own, reached through the old set's terminal mode, and the one on the host's port), the air
// between the host's modem and the logger (same channel and sub-channel, or nobody hears),
// the wake sequence that rouses a sleeping logger, and the login a radio logger needs.
#include <charconv>
#include <cstdio>

#include "device.h"
#include "logger_device.h"

namespace {

constexpr int kEscapePluses = 3;
constexpr size_t kMaxLine = 256;
constexpr uint32_t kWakeReturns = 100;  // about 5 s of the host's wake sequence
constexpr auto kLogoutQuiet = std::chrono::seconds(1);

std::string HexText(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

bool ReadHex(std::string_view text, uint32_t max, uint32_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() && value <= max;
}

void AtLine(RadioModem& modem, Device& device, const std::string& line) {
  if (line.empty()) return;
  const std::string_view text = line;
  const std::string_view command = text.substr(0, 4);
  const std::string_view argument = text.size() > 4 ? text.substr(4) : std::string_view{};
  std::string answer = "ERROR\r";
  if (command == "ATHP" || command == "ATDT") {
    uint32_t& field = command == "ATHP" ? modem.channel : modem.subChannel;
    const uint32_t max = command == "ATHP" ? kRadioChannelMax : kRadioSubChannelMax;
    uint32_t value = 0;
    if (argument.empty()) {
      answer = HexText(field) + "\r";
    } else if (ReadHex(argument, max, value)) {
      field = value;
      modem.saved = false;
      answer = "OK\r";
    }
  } else if (command == "ATVR" && argument.empty()) {
    answer = modem.version + "\r";
  } else if (command == "ATWR" && argument.empty()) {
    modem.saved = true;
    answer = "OK\r";
  } else if (command == "ATCN" && argument.empty()) {
    modem.atMode = false;
    answer = "OK\r";
  }
  DeviceSend(device, answer);
}

void AtByte(RadioModem& modem, Device& device, uint8_t byte) {
  if (byte == '\r') {
    const std::string line = std::move(modem.line);
    modem.line.clear();
    AtLine(modem, device, line);
    return;
  }
  if (modem.line.size() < kMaxLine) modem.line.push_back(static_cast<char>(byte));
  if (modem.line == "+++") {  // the escape again while already in AT mode
    modem.line.clear();
    DeviceSend(device, "OK\r");
  }
}

// "+++" at the start of a line puts a modem into AT mode; pluses that turn out to be text go
// back into the line.
bool Escape(RadioModem& modem, Device& device, uint8_t byte, std::string& line) {
  if (byte == '+' && line.empty()) {
    if (++modem.pluses == kEscapePluses) {
      modem.pluses = 0;
      modem.atMode = true;
      modem.line.clear();
      DeviceSend(device, "OK\r");
    }
    return true;
  }
  if (modem.pluses > 0) {
    line.append(static_cast<size_t>(modem.pluses), '+');
    modem.pluses = 0;
  }
  return false;
}

// The old set's terminal mode: the line goes to the logger's own radio until "term" again.
void TerminalByte(Logger& logger, Device& device, uint8_t byte) {
  RadioModem& radio = *logger.radio;
  if (radio.atMode) {
    AtByte(radio, device, byte);
    return;
  }
  if (Escape(radio, device, byte, logger.terminalLine)) return;
  if (byte != '\r') {
    if (logger.terminalLine.size() < kMaxLine) logger.terminalLine.push_back(static_cast<char>(byte));
    return;
  }
  const bool back = logger.terminalLine == "term";
  logger.terminalLine.clear();
  if (back) {
    logger.terminal = false;
    DeviceSend(device, "\r>");
  }
  // Anything else goes out over the air to nobody.
}

// Whether the logger hears a byte that came over the air; a sleeping logger only counts the
// carriage returns of a wake sequence.
bool Hears(Logger& logger, uint8_t byte) {
  if (!OnTheAir(logger) || SimClock::now() < logger.quietUntil) return false;
  if (logger.awake) return true;
  logger.wakeReturns = byte == '\r' ? logger.wakeReturns + 1 : 0;
  if (logger.wakeReturns >= kWakeReturns) {
    logger.awake = true;
    logger.wakeReturns = 0;
  }
  return false;
}

}  // namespace

bool OnTheAir(const Logger& logger) {
  return logger.modem && logger.radio && logger.modem->channel == logger.radio->channel &&
         logger.modem->subChannel == logger.radio->subChannel;
}

bool LoggerByte(Logger& logger, Device& device, uint8_t byte) {
  if (logger.terminal) {
    TerminalByte(logger, device, byte);
    return true;
  }
  if (!logger.modem) return false;
  RadioModem& modem = *logger.modem;
  if (modem.atMode) {
    AtByte(modem, device, byte);
    return true;
  }
  if (Escape(modem, device, byte, device.firmwareLine)) return true;
  return !Hears(logger, byte);
}

bool RadioLoginLine(Logger& logger, Device& device, const std::string& line) {
  const CommandWords words = SplitCommand(line);
  if (words.verb == "query" && words.option.empty()) {
    DeviceSend(device, logger.store.name + "\r");
    return true;
  }
  if (words.verb == "login" && words.value.empty()) {
    if (!logger.modem) {
      DeviceSend(device, "\r>");
    } else if (words.option.empty() || words.option == logger.store.name) {
      logger.loggedIn = true;
      DeviceSend(device, "\r>");
    }
    return true;  // a login for another logger is not this one's to answer
  }
  if (words.verb == "logout" && words.option.empty()) {
    if (logger.modem) RadioLogout(logger);
    return true;
  }
  return logger.modem && !logger.loggedIn;  // before login a radio logger ignores commands
}

void RadioLogout(Logger& logger) {
  logger.loggedIn = false;
  logger.awake = !logger.options.asleep;
  logger.wakeReturns = 0;
  logger.quietUntil = SimClock::now() + kLogoutQuiet;
}

void EnterTerminal(Logger& logger, Device& device) {
  if (!logger.radio) {
    DeviceSend(device, "\rNo Radio\r>");
    return;
  }
  logger.terminal = true;
  logger.terminalLine.clear();
  logger.radio->atMode = false;
  logger.radio->pluses = 0;
}
