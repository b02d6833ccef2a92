#include "serial/telnet_codec.h"

namespace telnet {

namespace {

enum State { kData, kCommand, kOptionCode, kSubData, kSubCommand };

// Answers are a few bytes; a server that never ends its subnegotiation cannot grow it further.
constexpr size_t kSubMax = 64;

void AddData(std::vector<Event>* events, uint8_t byte) {
  if (events->empty() || events->back().kind != Event::Kind::kData) events->push_back(Event{});
  events->back().value.push_back(static_cast<char>(byte));
}

void EndSubnegotiation(Decoder& decoder, std::vector<Event>* events) {
  const std::string& sub = decoder.sub;
  // Only COM-PORT-OPTION answers matter; other subnegotiations are dropped.
  if (sub.size() >= 2 && static_cast<uint8_t>(sub[0]) == kOptionComPort) {
    Event event;
    event.kind = Event::Kind::kComPort;
    event.code = static_cast<uint8_t>(sub[1]);
    event.value = sub.substr(2);
    events->push_back(event);
  }
  decoder.sub.clear();
}

}  // namespace

std::string Escape(const char* data, int length) {
  std::string out;
  out.reserve(static_cast<size_t>(length) + 8);
  for (int i = 0; i < length; ++i) {
    out.push_back(data[i]);
    if (static_cast<uint8_t>(data[i]) == kIac) out.push_back(static_cast<char>(kIac));
  }
  return out;
}

std::string Option(uint8_t verb, uint8_t option) {
  return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string ComPortRequest(uint8_t command, const std::string& value) {
  std::string out = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kOptionComPort),
                     static_cast<char>(command)};
  out += Escape(value.data(), static_cast<int>(value.size()));
  out += {static_cast<char>(kIac), static_cast<char>(kSe)};
  return out;
}

std::string BaudRateValue(uint32_t baud) {
  return {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16), static_cast<char>(baud >> 8),
          static_cast<char>(baud)};
}

uint32_t BaudRateOf(const std::string& value) {
  uint32_t baud = 0;
  for (size_t i = 0; i < value.size() && i < 4; ++i) baud = (baud << 8) | static_cast<uint8_t>(value[i]);
  return baud;
}

void Decode(Decoder& decoder, const char* bytes, int length, std::vector<Event>* events) {
  for (int i = 0; i < length; ++i) {
    const auto byte = static_cast<uint8_t>(bytes[i]);
    switch (decoder.state) {
      case kData:
        if (byte == kIac) {
          decoder.state = kCommand;
        } else {
          AddData(events, byte);
        }
        break;
      case kCommand:
        decoder.state = kData;
        if (byte == kIac) {
          AddData(events, byte);
        } else if (byte == kWill || byte == kWont || byte == kDo || byte == kDont) {
          decoder.verb = byte;
          decoder.state = kOptionCode;
        } else if (byte == kSb) {
          decoder.sub.clear();
          decoder.state = kSubData;
        }
        break;  // any other command (NOP, GA, ...) carries nothing here
      case kOptionCode:
        events->push_back(Event{Event::Kind::kOption, decoder.verb, byte, {}});
        decoder.state = kData;
        break;
      case kSubData:
        if (byte == kIac) {
          decoder.state = kSubCommand;
        } else if (decoder.sub.size() < kSubMax) {
          decoder.sub.push_back(static_cast<char>(byte));
        }
        break;
      case kSubCommand:
        if (byte == kIac) {
          if (decoder.sub.size() < kSubMax) decoder.sub.push_back(static_cast<char>(byte));
          decoder.state = kSubData;
        } else {
          // IAC SE ends it; anything else after IAC ends a malformed one the same way.
          EndSubnegotiation(decoder, events);
          decoder.state = kData;
        }
        break;
      default:
        decoder.state = kData;
    }
  }
}

}  // namespace telnet
