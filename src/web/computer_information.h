// The system description sent with feedback: a name, the service-pack text and
// " (Version major.minor build N)".
#pragma once

#include <QString>

// Platform lines of the Windows version record.
constexpr int kPlatformWindows9x = 1;
constexpr int kPlatformWindowsNt = 2;

// The description of a Windows version as the version record gives it.
QString WindowsComputerInformation(int platform, int major, int minor, int build, const QString& servicePack);

// The description of the running system: on Windows from its version, elsewhere
// the system's product name and version in the same shape.
QString ComputerInformation();
