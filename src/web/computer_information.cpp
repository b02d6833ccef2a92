#include "web/computer_information.h"

namespace {

constexpr int kBuildMask9x = 0xFFFF;  // the 9x line keeps its build number in the low word

std::string Windows9xName(int major, int minor) {
  if (major != 4) return "Unknown Win32 ";
  switch (minor) {
    case 0: return "Windows 95 ";
    case 10: return "Windows 98 ";
    case 90: return "Windows ME ";
    default: return {};
  }
}

std::string WindowsNtName(int major, int minor) {
  if (major <= 4) return "Windows NT " + std::to_string(major) + "." + std::to_string(minor) + " ";
  if (major == 5) {
    switch (minor) {
      case 0: return "Windows 2000 ";
      case 1: return "Windows XP ";
      case 2: return "Windows Server 2003 ";
      default: return {};
    }
  }
  if (major == 6) return "Windows Vista ";
  return "Unknown WinNT ";
}

}  // namespace

std::string WindowsComputerInformation(int platform, int major, int minor, int build, const std::string& servicePack) {
  std::string name;
  if (platform == kPlatformWindows9x) {
    name = Windows9xName(major, minor);
    build &= kBuildMask9x;
  } else if (platform == kPlatformWindowsNt) {
    name = WindowsNtName(major, minor);
  } else {
    name = "Unknown Windows Platform ";
  }
  return DescribeComputer(name, servicePack, major, minor, std::to_string(build));
}

std::string DescribeComputer(const std::string& name, const std::string& servicePack, int major, int minor,
                             const std::string& build) {
  return name + servicePack + " (Version " + std::to_string(major) + "." + std::to_string(minor) + " build " + build +
         ")";
}
