#include "firmware_part.h"

#include <nlohmann/json.hpp>

#include "device.h"

namespace {

constexpr std::string_view kBootCommand = "boot";

constexpr unsigned kTwoByteLead = 0xC0;
constexpr unsigned kContinuation = 0x80;
constexpr unsigned kSixBits = 0x3F;
constexpr unsigned kAscii = 0x80;

}  // namespace

nlohmann::json ByteText(const std::string& bytes) {
  std::string text;
  for (char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < kAscii) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(kTwoByteLead | code >> 6));
      text.push_back(static_cast<char>(kContinuation | (code & kSixBits)));
    }
  }
  return text;
}

bool BootWordFirmware::BootWord(Device& device, std::string& line) {
  if (line.compare(0, kBootCommand.size(), kBootCommand) != 0) return false;
  if (!DeviceLineFault(device, "boot", line, "ERROR\r\n")) return true;
  if (line != std::string(kBootCommand) + " " + entryWord_) {
    DeviceSend(device, "ERROR\r\n");
  } else if (!device.hasLoader) {
    DeviceSend(device, "VornBSL MISSING\r\n");
  } else {
    DeviceSend(device, "OK\r\n");
    DeviceStartLoader(device);
  }
  return true;
}

void BootWordFirmware::Line(Device& device, std::string line) {
  if (BootWord(device, line) || line.empty()) return;
  DeviceSend(device, "ERROR\r\n");
}
