// Device profiles: per device kind, which stages of an update apply, how long
// the device needs to restart, whether its firmware version may be updated,
// and the memory layout and baud rate its resident loader needs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int kIdentityMissing = -10;
constexpr int kIdentityUnreadable = -30;
constexpr uint32_t kVersionNotAsked = 999;  // callers that have not asked the device
constexpr size_t kProfileNameMax = 32;

struct DeviceProfile {
  uint8_t kind = 0;  // index into the device type table
  std::string name;  // the kind's display name
  uint32_t version = 0;
  uint32_t restartDelayMs = 0;
  bool saveSettings = false;
  bool eraseData = false;
  bool checkBattery = false;
  bool login = false;
  bool setTime = false;
  bool updatable = false;
  bool postInit = false;
  bool calibrationReminder = false;
  uint32_t flashStart = 0;
  uint32_t flashEnd = 0;
  bool twentyBit = false;
  uint32_t infoStart = 0;
  uint32_t infoSegments = 0;
  uint32_t infoSegmentSize = 0;
  uint32_t loaderBaud = 0;
  uint32_t sensorType = 0;
  uint32_t lowestVersion = 0;
  uint32_t highestVersion = 0;
  bool versionWindow = false;
};

// Clears the profile and fills it for the kind (anything outside 0-24 counts as 0).
void FillProfile(int kind, uint32_t version, DeviceProfile& profile);

// Builds the profile from a device's version answer ("TGX 1.50"): 1, or
// kIdentityMissing (no profile, no or empty text; profile untouched), or
// kIdentityUnreadable (unreadable text: untouched; unknown tag: the UNKNOWN profile).
int ParseIdentity(const char* text, DeviceProfile* profile);

// The digital-sensor rules for a sensor type, given the version of the image the build carries.
void ApplySensorLayout(DeviceProfile& profile, uint32_t sensorType, uint32_t imageVersion);

// The kind's display name ("Pelloran TGX"); "UNKNOWN" outside the table.
std::string_view ProfileName(int kind);

// Whether the main window warns about the data erase at start-up for this kind.
bool DataEraseWarning(int kind);
