#include "web/computer_information.h"

#include <QOperatingSystemVersion>
#include <QSysInfo>
#include <QVersionNumber>

namespace {

constexpr int kBuildMask9x = 0xFFFF;  // the 9x line keeps its build number in the low word

QString Windows9xName(int major, int minor) {
  if (major != 4) return QStringLiteral("Unknown Win32 ");
  switch (minor) {
    case 0: return QStringLiteral("Windows 95 ");
    case 10: return QStringLiteral("Windows 98 ");
    case 90: return QStringLiteral("Windows ME ");
    default: return {};
  }
}

QString WindowsNtName(int major, int minor) {
  if (major <= 4) return QStringLiteral("Windows NT %1.%2 ").arg(major).arg(minor);
  if (major == 5) {
    switch (minor) {
      case 0: return QStringLiteral("Windows 2000 ");
      case 1: return QStringLiteral("Windows XP ");
      case 2: return QStringLiteral("Windows Server 2003 ");
      default: return {};
    }
  }
  if (major == 6) return QStringLiteral("Windows Vista ");
  return QStringLiteral("Unknown WinNT ");
}

QString Described(const QString& name, const QString& servicePack, int major, int minor, const QString& build) {
  return name + servicePack + QStringLiteral(" (Version %1.%2 build %3)").arg(major).arg(minor).arg(build);
}

}  // namespace

QString WindowsComputerInformation(int platform, int major, int minor, int build, const QString& servicePack) {
  QString name;
  if (platform == kPlatformWindows9x) {
    name = Windows9xName(major, minor);
    build &= kBuildMask9x;
  } else if (platform == kPlatformWindowsNt) {
    name = WindowsNtName(major, minor);
  } else {
    name = QStringLiteral("Unknown Windows Platform ");
  }
  return Described(name, servicePack, major, minor, QString::number(build));
}

QString ComputerInformation() {
#ifdef Q_OS_WIN
  const QOperatingSystemVersion os = QOperatingSystemVersion::current();
  return WindowsComputerInformation(kPlatformWindowsNt, os.majorVersion(), os.minorVersion(), os.microVersion(), {});
#else
  const QVersionNumber version = QVersionNumber::fromString(QSysInfo::productVersion());
  const QString build = QSysInfo::kernelType() + u' ' + QSysInfo::kernelVersion();
  return Described(QSysInfo::prettyProductName() + u' ', {}, version.majorVersion(), version.minorVersion(), build);
#endif
}
