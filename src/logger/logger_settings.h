// The logger device record shared by the command link, the setting commands,
// the settings loop and the settings file: one field per setting, one bit per
// setting, the device class table with the capabilities each class and
// firmware version gets, the device clock unit and the trait predicates.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// Setting bits: the same numbering in the present mask and in the request and
// result masks of DeviceSettings.
constexpr uint32_t kBitName = 1u << 0;
constexpr uint32_t kBitSerialNumber = 1u << 1;
constexpr uint32_t kBitVersion = 1u << 2;
constexpr uint32_t kBitTrait = 1u << 3;
constexpr uint32_t kBitWake = 1u << 4;
constexpr uint32_t kBitPorts = 1u << 5;
constexpr uint32_t kBitPadc = 1u << 6;
constexpr uint32_t kBitDeviceId = 1u << 7;
constexpr uint32_t kBitDataParameter = 1u << 8;
constexpr uint32_t kBitRmode = 1u << 9;
constexpr uint32_t kBitRadioChannel = 1u << 10;
constexpr uint32_t kBitRadioSubChannel = 1u << 11;
constexpr uint32_t kBitRadioVersion = 1u << 12;
constexpr uint32_t kBitDepths = 1u << 13;
constexpr uint32_t kBitSite = 1u << 14;
constexpr uint32_t kBitLatitude = 1u << 15;
constexpr uint32_t kBitLongitude = 1u << 16;
constexpr uint32_t kBitTimeZone = 1u << 17;
constexpr uint32_t kBitApn = 1u << 18;
constexpr uint32_t kBitApnUser = 1u << 19;
constexpr uint32_t kBitApnPassword = 1u << 20;
constexpr uint32_t kBitHost = 1u << 21;
constexpr uint32_t kBitAuthKey = 1u << 22;
constexpr uint32_t kBitIpPort = 1u << 23;
constexpr uint32_t kBitReport = 1u << 24;
constexpr uint32_t kBitAdc30 = 1u << 25;
constexpr uint32_t kBitAdc15 = 1u << 26;
constexpr uint32_t kBitVornBuild = 1u << 27;
constexpr uint32_t kBitsRadio = kBitRadioChannel | kBitRadioSubChannel | kBitRadioVersion;
constexpr uint32_t kAllSettingBits = (1u << 28) - 1;  // bits 28-31 are not used

// Capability bits the command layer tests.
constexpr uint32_t kCapBaudChange = 1u << 0;
constexpr uint32_t kCapWake = 1u << 4;
constexpr uint32_t kCapPorts = 1u << 5;
constexpr uint32_t kCapTraitRead = 1u << 6;
constexpr uint32_t kCapRadio = 1u << 8;
constexpr uint32_t kCapRmode = 1u << 9;
constexpr uint32_t kCapClock = 1u << 12;
constexpr uint32_t kCapAdcCal = 1u << 16;
constexpr uint32_t kCapDataParameter = 1u << 17;
constexpr uint32_t kCapVornBuild = 1u << 18;
constexpr uint32_t kCapClockSeconds = 1u << 19;
constexpr uint32_t kCapAdcSinglePair = 1u << 20;
constexpr uint32_t kCapSiteGroup = 1u << 24;  // device ID, report, depths, site, time zone, trait write
constexpr uint32_t kCapPosition = 1u << 26;   // latitude and longitude

// Trait word bits.
constexpr uint32_t kTraitValid = 0x4000;
constexpr uint32_t kTraitRadio = 0x0001;
constexpr uint32_t kTraitCellular = 0x0008;

// Class codes that the command layer treats specially.
constexpr uint8_t kClassUnknown = 0;
constexpr uint8_t kClassLg2 = 2;
constexpr uint8_t kClassLg20 = 3;
constexpr uint8_t kClassFieldHub = 4;
constexpr uint8_t kClassCommDevice = 8;  // the pass-through devices of a sensor update
constexpr uint8_t kClassFieldrex = 10;
constexpr uint8_t kClassVq7 = 11;
constexpr int kClassCount = 13;

// Longest text each field holds, in characters.
constexpr size_t kClassNameMax = 30;
constexpr size_t kDeviceIdMax = 8;
constexpr size_t kDeviceNameMax = 8;
constexpr size_t kSerialNumberMax = 15;
constexpr size_t kVersionTextMax = 20;
constexpr size_t kVornBuildMax = 19;
constexpr size_t kSiteMax = 31;
constexpr size_t kRadioVersionMax = 8;
constexpr size_t kApnMax = 35;
constexpr size_t kAuthKeyMax = 32;
constexpr size_t kHostMax = 65;

constexpr int kSensorPorts = 5;
using PortBytes = std::array<uint8_t, kSensorPorts>;

struct LoggerSettings {
  uint32_t present = 0;       // which settings hold valid values
  uint32_t capabilities = 0;  // which commands and forms this class and version support
  uint8_t deviceClass = kClassUnknown;
  std::string className;
  bool newFirmware = false;  // answered "get -ver"; false for the "show"-only command set
  std::string deviceId;
  std::string deviceName;
  std::string serialNumber;
  std::string versionText;
  int32_t versionNumber = 0;  // 0 unknown, -1 after a failed "show"
  uint32_t trait = 0;
  std::string vornBuild;
  int32_t wake = 0;
  PortBytes ports{};
  PortBytes depths{};
  int32_t padc = 0;
  uint32_t memoryFigure = 0;
  std::string site;
  double latitude = 0.0;
  double longitude = 0.0;
  int32_t timeZone = 0;  // quarter hours
  PortBytes adc30Slopes{};
  PortBytes adc30Offsets{};
  PortBytes adc15Slopes{};
  PortBytes adc15Offsets{};
  int32_t dataParameter = 0;
  uint32_t report = 0;
  int32_t rmode = 0;
  int32_t radioChannel = 0;
  int32_t radioSubChannel = 0;
  std::string radioVersion;
  std::string apn;
  std::string apnUser;
  std::string apnPassword;
  std::string authKey;
  std::string host;
  uint32_t ipPort = 0;
};

// One row of the class table: identity, memory figure and the capability mask
// built from a base plus increments that depend on the firmware version.
struct CapabilityStep {
  int32_t fromVersion;
  uint32_t add;
};

struct DeviceClassInfo {
  uint8_t code;
  const char* tag;  // upper-case model tag of the version line; empty when never assigned
  const char* name;
  uint32_t memoryFigure;
  uint32_t baseCapabilities;
  std::array<CapabilityStep, 8> steps;  // unused entries add 0
};

// The row of a class code; codes without their own values get row 0.
const DeviceClassInfo& DeviceClassRow(int code);
// The class whose tag equals the given (already upper-cased) tag; 0 when none does.
uint8_t FindDeviceClass(std::string_view upperTag);

void SetClassCapabilities(LoggerSettings& settings);
int RadioTrait(const LoggerSettings& settings);
int CellularTrait(const LoggerSettings& settings);

// VornSeconds: the device clock, seconds since 2000-01-01 00:00:00 local time.
constexpr int64_t kVornEpochUnix = 946684800;
int64_t VornSeconds(int64_t unixUtc, int32_t localUtcOffset);
// The wall-clock fields of a VornSeconds count.
struct tm VornCalendar(int64_t vornSeconds);

// Stores at most maxLength characters of a value into a text field.
void StoreText(std::string& field, std::string_view value, size_t maxLength);
