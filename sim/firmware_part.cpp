#include "firmware_part.h"

#include "device.h"

namespace {

constexpr std::string_view kBootCommand = "boot";

}  // namespace

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
