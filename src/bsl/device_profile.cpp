#include "bsl/device_profile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "bsl/build_target.h"
#include "bsl/device_types.h"

namespace {

struct LoaderLayout {
  uint32_t flashStart;
  uint32_t flashEnd;
  uint32_t infoStart;
  uint32_t infoSegments;
  uint32_t infoSegmentSize;
  bool twentyBit;
  uint32_t baud;
};

constexpr LoaderLayout kCommonLayout{0x1100, 0xF9FF, 0x1000, 2, 128, false, 9600};
constexpr LoaderLayout kWideLayout{0x2100, 0x1FF00, 0x1000, 3, 64, true, 57600};
constexpr LoaderLayout kTgxLayout{0x5C00, 0x3BFFF, 0x1800, 3, 128, true, 57600};
constexpr LoaderLayout kM2vLayout{0x8000, 0x27FFF, 0x1800, 4, 128, true, 57600};
constexpr LoaderLayout kKeltrixLayout{0x8000, 0xF9FF, 0x1000, 3, 64, false, 9600};

// Digital-sensor layouts; their loader stays at 9600 baud.
constexpr LoaderLayout kSensorLayoutA{0x1100, 0xF9FF, 0x1000, 2, 128, false, 9600};
constexpr LoaderLayout kSensorLayoutB{0x8000, 0xF9FF, 0x1000, 3, 64, false, 9600};
constexpr LoaderLayout kSensorLayoutC{0x8000, 0x88000, 0x1800, 4, 128, true, 9600};
constexpr LoaderLayout kSensorLayoutD{0x4400, 0x24400, 0x1800, 4, 128, true, 9600};

struct ProfileRow {
  std::string_view name;
  bool save, erase, battery, login, setTime, postInit, calibration, eraseWarning;
  uint32_t restartDelayMs;
  LoaderLayout layout;
};

// Flags in the order S E B L T P C W.
constexpr std::array<ProfileRow, kDeviceTypeLast + 1> kProfiles = {{
    {"UNKNOWN", 0, 0, 0, 0, 0, 0, 0, 0, 7000, kCommonLayout},
    {"Lg2", 1, 0, 1, 0, 1, 1, 0, 1, 1000, kCommonLayout},
    {"Lg2b", 1, 0, 1, 0, 1, 1, 0, 1, 1000, kCommonLayout},
    {"Lg20", 1, 1, 1, 0, 1, 1, 0, 1, 6000, kCommonLayout},
    {"FieldHub", 1, 1, 1, 0, 0, 1, 0, 1, 6000, kCommonLayout},
    {"LinkHub", 1, 1, 0, 0, 0, 1, 0, 1, 4000, kCommonLayout},
    {"Pelloran Lite", 1, 0, 0, 1, 0, 0, 0, 0, 8500, kCommonLayout},
    {"TK8 Pro", 1, 1, 1, 0, 1, 0, 0, 1, 7000, kCommonLayout},
    {"Lumeno LX-40", 1, 1, 0, 0, 1, 0, 1, 1, 3000, kCommonLayout},
    {"Stomex", 1, 1, 1, 0, 1, 0, 1, 1, 7000, kCommonLayout},
    {"Digital Sensor", 0, 0, 0, 0, 0, 0, 0, 0, 1000, kCommonLayout},
    {"Sorvane G", 1, 1, 0, 0, 1, 0, 0, 1, 2000, kCommonLayout},
    {"Pelloran Series K", 1, 0, 0, 1, 0, 0, 0, 0, 2000, kCommonLayout},
    {"ACD", 1, 0, 1, 0, 0, 0, 0, 0, 7000, kCommonLayout},
    {"Fieldrex", 1, 1, 1, 0, 1, 0, 0, 1, 2000, kCommonLayout},  // its real layout is set in FillProfile
    {"Pelloran M2", 1, 1, 0, 1, 1, 0, 0, 1, 14000, kWideLayout},
    {"Pelloran TGX", 1, 1, 0, 0, 1, 0, 0, 1, 9500, kTgxLayout},
    {"HPX9", 1, 0, 0, 1, 0, 0, 0, 0, 2000, kCommonLayout},
    {"vQ7", 1, 1, 1, 0, 1, 1, 0, 1, 6000, kCommonLayout},
    {"QRL2 Logger", 1, 1, 0, 0, 1, 1, 0, 1, 6000, kCommonLayout},
    {"Pelloran Zot", 1, 0, 0, 1, 0, 0, 0, 0, 2000, kCommonLayout},
    {"planvex", 1, 0, 0, 0, 1, 1, 0, 0, 6000, kWideLayout},
    {"Pelloran M2V", 1, 1, 0, 0, 1, 0, 0, 1, 8000, kM2vLayout},
    {"KALDRO", 1, 1, 1, 0, 1, 0, 0, 1, 8000, kWideLayout},
    {"Keltrix", 1, 0, 1, 0, 0, 0, 0, 0, 2000, kKeltrixLayout},
}};

constexpr int kFieldrex = 14;
constexpr int kPelloranM2 = 15;
constexpr int kPelloranM2V = 22;
constexpr uint32_t kVersionCeiling = 999;
constexpr uint32_t kSensorLayoutSwitchVersion = 250;  // types 'x' and 'z' change layout with the image

struct MinimumVersion {
  int kind;
  uint32_t version;
};
constexpr std::array<MinimumVersion, 5> kMinimumVersions = {{{3, 103}, {4, 105}, {6, 118}, {8, 150}, {12, 351}}};
constexpr std::array<int, 2> kNeverUpdatable = {1, 5};

void ApplyLayout(DeviceProfile& profile, const LoaderLayout& layout) {
  profile.flashStart = layout.flashStart;
  profile.flashEnd = layout.flashEnd;
  profile.infoStart = layout.infoStart;
  profile.infoSegments = layout.infoSegments;
  profile.infoSegmentSize = layout.infoSegmentSize;
  profile.twentyBit = layout.twentyBit;
  profile.loaderBaud = layout.baud;
}

void SetWindow(DeviceProfile& profile, uint32_t lowest, uint32_t highest) {
  profile.versionWindow = true;
  profile.lowestVersion = lowest;
  profile.highestVersion = highest;
}

bool Updatable(int kind, uint32_t version) {
  if (kind == kDeviceTypeUnknown) return false;
  for (const int never : kNeverUpdatable) {
    if (kind == never) return false;
  }
  for (const MinimumVersion& rule : kMinimumVersions) {
    if (kind == rule.kind) return version >= rule.version;
  }
  return true;
}

bool OneOf(uint32_t value, std::initializer_list<uint32_t> set) {
  for (const uint32_t member : set) {
    if (value == member) return true;
  }
  return false;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

void FillProfile(int kind, uint32_t version, DeviceProfile& profile) {
  if (kind < kDeviceTypeUnknown || kind > kDeviceTypeLast) kind = kDeviceTypeUnknown;
  const ProfileRow& row = kProfiles[static_cast<size_t>(kind)];
  profile = DeviceProfile{};
  profile.kind = static_cast<uint8_t>(kind);
  profile.version = version;
  profile.name = std::string(row.name.substr(0, kProfileNameMax));
  profile.saveSettings = row.save;
  profile.eraseData = row.erase;
  profile.checkBattery = row.battery;
  profile.login = row.login;
  profile.setTime = row.setTime;
  profile.postInit = row.postInit;
  profile.calibrationReminder = row.calibration;
  profile.restartDelayMs = row.restartDelayMs;
  ApplyLayout(profile, row.layout);
  profile.updatable = Updatable(kind, version);
  if (kind == kFieldrex) ApplyLayout(profile, kWideLayout);
  if (kind == kPelloranM2) SetWindow(profile, 202, kVersionCeiling);
  if (kind == kPelloranM2V) SetWindow(profile, 200, 299);
  if (kind == kDeviceTypeDigitalSensor) ApplySensorLayout(profile, kBuildSensorType, kBuildImageVersion);
}

void ApplySensorLayout(DeviceProfile& profile, uint32_t sensorType, uint32_t imageVersion) {
  profile.updatable = true;
  profile.versionWindow = false;
  profile.lowestVersion = 0;
  profile.highestVersion = 0;
  profile.sensorType = sensorType;
  if (OneOf(sensorType, {92, 93})) {
    ApplyLayout(profile, kSensorLayoutC);
  } else if (OneOf(sensorType, {94, 95, 107, 108, 109, 113, 116, 117, 121, 123, 260, 261, 262, 263})) {
    ApplyLayout(profile, kSensorLayoutB);
  } else if (OneOf(sensorType, {103, 104, 264})) {
    ApplyLayout(profile, kSensorLayoutD);
  } else if (sensorType == 112) {
    ApplyLayout(profile, kSensorLayoutB);
    SetWindow(profile, 388, kVersionCeiling);
  } else if (sensorType == 119) {
    ApplyLayout(profile, kSensorLayoutB);
    SetWindow(profile, 100, kVersionCeiling);
  } else if (OneOf(sensorType, {120, 122})) {
    if (imageVersion < kSensorLayoutSwitchVersion) {
      ApplyLayout(profile, kSensorLayoutA);
      SetWindow(profile, 100, 249);
    } else {
      ApplyLayout(profile, kSensorLayoutB);
      SetWindow(profile, 250, kVersionCeiling);
    }
  } else if (OneOf(sensorType, {124, 125, 126, 127})) {
    ApplyLayout(profile, kSensorLayoutA);
  } else {
    profile.updatable = false;
  }
}

int ParseIdentity(const char* text, DeviceProfile* profile) {
  if (profile == nullptr || text == nullptr || text[0] == '\0') return kIdentityMissing;
  int kind = kDeviceTypeUnknown;
  uint32_t version = 0;
  int result = 1;
  const std::string answer(text);
  if (answer.find('.') != std::string::npos) {
    std::string tag(answer.size() + 1, '\0');  // a word of the text always fits
    int major = 0, minor = 0, patch = 0;
    if (std::sscanf(answer.c_str(), "%s %d.%1d%1d", tag.data(), &major, &minor, &patch) < 3) {
      return kIdentityUnreadable;
    }
    version = static_cast<uint32_t>(static_cast<int64_t>(major) * 100 + minor * 10 + patch);
    tag.resize(tag.find('\0'));
    for (char& c : tag) c = AsciiUpper(c);
    kind = DeviceTypeFromTag(tag);
    if (kind == kDeviceTypeUnknown) result = kIdentityUnreadable;
  }
  FillProfile(kind, version, *profile);
  return result;
}

std::string_view ProfileName(int kind) {
  if (kind < kDeviceTypeUnknown || kind > kDeviceTypeLast) kind = kDeviceTypeUnknown;
  return kProfiles[static_cast<size_t>(kind)].name;
}

bool DataEraseWarning(int kind) {
  if (kind < kDeviceTypeUnknown || kind > kDeviceTypeLast) return false;
  return kProfiles[static_cast<size_t>(kind)].eraseWarning;
}
