// The system description sent with feedback: a name, the service-pack text and
// " (Version major.minor build N)".
#pragma once

#include <string>

// Platform lines of the Windows version record.
constexpr int kPlatformWindows9x = 1;
constexpr int kPlatformWindowsNt = 2;

// The description of a Windows version as the version record gives it.
std::string WindowsComputerInformation(int platform, int major, int minor, int build, const std::string& servicePack);

// The description in its shape from its parts; the build may be text (a kernel release).
std::string DescribeComputer(const std::string& name, const std::string& servicePack, int major, int minor,
                             const std::string& build);
