// Linux port discovery from sysfs: ttyS*, ttyUSB*, ttyACM* and the like, with the
// USB product and manufacturer strings as the friendly name and an instance-ID text
// "USB\VID_xxxx&PID_xxxx\serial" so the adapter rules work as on other systems.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

#include "serial/port_enum.h"
#include "serial/serial_platform.h"

namespace fs = std::filesystem;

namespace {

// Sort keys: native ports keep their number (ttyS0 is port 1); adapters follow by family.
const std::map<std::string, int> kFamilyBase = {{"ttyS", 1}, {"ttyUSB", 100}, {"ttyACM", 200}, {"ttyAMA", 300},
                                                {"ttyXRUSB", 400}, {"rfcomm", 500}};
constexpr int kOtherFamilyBase = 600;
constexpr int kExtraPortBase = 1000;
constexpr const char* kUnknownUartType = "0";

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool SplitName(const std::string& name, std::string* family, int* number) {
  size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  if (digits == name.size() || name.size() - digits > 6) return false;
  *family = name.substr(0, digits);
  *number = std::stoi(name.substr(digits));
  return true;
}

// The USB device directory above a tty's device link, if any.
fs::path UsbDeviceOf(const fs::path& ttyDir) {
  std::error_code ec;
  fs::path dir = fs::canonical(ttyDir / "device", ec);
  if (ec) return {};
  for (int up = 0; up < 4 && !dir.empty(); ++up, dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor") && fs::exists(dir / "idProduct")) return dir;
  }
  return {};
}

std::string UpperHex(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void DescribeUsb(const fs::path& usb, FoundPort* port) {
  const std::string manufacturer = ReadLine(usb / "manufacturer");
  const std::string product = ReadLine(usb / "product");
  port->friendlyName = manufacturer.empty() ? product : manufacturer + " " + product;
  port->instanceId = "USB\\VID_" + UpperHex(ReadLine(usb / "idVendor")) + "&PID_" +
                     UpperHex(ReadLine(usb / "idProduct")) + "\\" + ReadLine(usb / "serial");
}

bool IsPresent(const fs::path& ttyDir, const std::string& family) {
  if (!fs::exists(ttyDir / "device")) return false;  // virtual terminals have no device
  // The kernel creates ttyS entries for absent UARTs too; their type is unknown.
  return family != "ttyS" || ReadLine(ttyDir / "type") != kUnknownUartType;
}

}  // namespace

std::vector<FoundPort> PlatformListPorts(const std::string& sysfsRoot, const std::string& devRoot,
                                         const std::vector<std::string>& extraPorts) {
  std::vector<FoundPort> ports;
  std::error_code ec;
  for (const fs::directory_entry& item : fs::directory_iterator(fs::path(sysfsRoot) / "class" / "tty", ec)) {
    const std::string name = item.path().filename().string();
    std::string family;
    int number = 0;
    if (!SplitName(name, &family, &number) || family == "tty" || family == "ttyprintk") continue;
    if (!IsPresent(item.path(), family) || !fs::exists(fs::path(devRoot) / name)) continue;
    FoundPort port;
    port.name = name;
    const auto base = kFamilyBase.find(family);
    port.portNumber = (base == kFamilyBase.end() ? kOtherFamilyBase : base->second) + number;
    const fs::path usb = UsbDeviceOf(item.path());
    if (!usb.empty()) DescribeUsb(usb, &port);
    ports.push_back(port);
  }
  int extra = kExtraPortBase;
  for (const std::string& path : extraPorts) {
    FoundPort port;
    port.name = path;
    port.portNumber = extra++;
    ports.push_back(port);
  }
  return ports;
}

bool PlatformNativePortPresent(const std::string& sysfsRoot, const std::string& name) {
  const fs::path ttyDir = fs::path(sysfsRoot) / "class" / "tty" / name;
  return fs::exists(ttyDir) && ReadLine(ttyDir / "type") != kUnknownUartType;
}

std::string PlatformPortPath(const std::string& devRoot, const std::string& name) {
  return name.find('/') != std::string::npos ? name : devRoot + "/" + name;
}

std::string PlatformPortIdentity(const std::string& path) {
  std::error_code error;
  const fs::path real = fs::canonical(path, error);
  return error ? path : real.string();
}

std::string PlatformNativePortName(int number) { return "ttyS" + std::to_string(number - 1); }
