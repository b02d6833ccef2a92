// Device profiles: the table, the per-kind updatable rules, the sensor layouts
// and reading a device's version answer.
#include <gtest/gtest.h>

#include "bsl/device_profile.h"
#include "bsl/device_types.h"

namespace {

TEST(DeviceTypes, TableHasUnknownTheKindsAndEnd) {
  EXPECT_EQ(DeviceTypeTag(0), "UNKNOWN");
  EXPECT_EQ(DeviceTypeTag(16), "TGX");
  EXPECT_EQ(DeviceTypeTag(10), "AQUIN-WN");
  EXPECT_EQ(DeviceTypeTag(25), "END");
  EXPECT_EQ(DeviceTypeTag(26), "UNKNOWN");
  EXPECT_EQ(DeviceTypeFromTag("KELTRIX"), 24);
  EXPECT_EQ(DeviceTypeFromTag("END"), 0);
  EXPECT_EQ(DeviceTypeFromTag("UNKNOWN"), 0);
  EXPECT_EQ(DeviceTypeFromTag("tgx"), 0) << "tags compare exactly";
}

TEST(DeviceProfile, TheTgxNotAskedForItsVersionGetsItsLoaderLayout) {
  DeviceProfile p;
  p.sensorType = 77;
  FillProfile(16, kVersionNotAsked, p);
  EXPECT_EQ(p.kind, 16);
  EXPECT_EQ(p.name, "Pelloran TGX");
  EXPECT_EQ(p.version, 999u);
  EXPECT_TRUE(p.updatable);
  EXPECT_TRUE(p.saveSettings && p.eraseData && p.setTime);
  EXPECT_FALSE(p.checkBattery || p.login || p.postInit || p.calibrationReminder);
  EXPECT_EQ(p.restartDelayMs, 9500u);
  EXPECT_TRUE(p.twentyBit);
  EXPECT_EQ(p.flashStart, 0x5C00u);
  EXPECT_EQ(p.flashEnd, 0x3BFFFu);
  EXPECT_EQ(p.infoStart, 0x1800u);
  EXPECT_EQ(p.infoSegments, 3u);
  EXPECT_EQ(p.infoSegmentSize, 128u);
  EXPECT_EQ(p.loaderBaud, 57600u);
  EXPECT_FALSE(p.versionWindow);
  EXPECT_EQ(p.sensorType, 0u) << "the record is cleared first";
}

TEST(DeviceProfile, UpdatableDependsOnKindAndVersion) {
  struct Case {
    int kind;
    uint32_t version;
    bool updatable;
  };
  const Case cases[] = {
      {0, 999, false}, {1, 999, false}, {5, 999, false}, {2, 0, true},    {3, 102, false}, {3, 103, true},
      {4, 104, false}, {4, 105, true},  {6, 117, false}, {6, 118, true},  {8, 149, false}, {8, 150, true},
      {12, 350, false}, {12, 351, true}, {15, 201, true}, {24, 0, true},  {-1, 999, false}, {25, 999, false},
  };
  for (const Case& c : cases) {
    DeviceProfile p;
    FillProfile(c.kind, c.version, p);
    EXPECT_EQ(p.updatable, c.updatable) << c.kind << " at " << c.version;
  }
  DeviceProfile outside;
  FillProfile(200, 150, outside);
  EXPECT_EQ(outside.kind, 0);
  EXPECT_EQ(outside.name, "UNKNOWN");
}

TEST(DeviceProfile, LoaderLayoutsAndVersionWindows) {
  DeviceProfile p;
  FillProfile(14, 100, p);  // its table row holds the common layout; the fill gives the wide one
  EXPECT_TRUE(p.twentyBit);
  EXPECT_EQ(p.flashStart, 0x2100u);
  EXPECT_EQ(p.flashEnd, 0x1FF00u);
  EXPECT_EQ(p.infoSegments, 3u);
  EXPECT_EQ(p.infoSegmentSize, 64u);
  EXPECT_EQ(p.loaderBaud, 57600u);
  FillProfile(15, 201, p);
  EXPECT_TRUE(p.versionWindow);
  EXPECT_EQ(p.lowestVersion, 202u);
  EXPECT_EQ(p.highestVersion, 999u);
  FillProfile(22, 250, p);
  EXPECT_EQ(p.lowestVersion, 200u);
  EXPECT_EQ(p.highestVersion, 299u);
  EXPECT_EQ(p.flashEnd, 0x27FFFu);
  EXPECT_EQ(p.infoSegments, 4u);
  FillProfile(24, 100, p);
  EXPECT_FALSE(p.twentyBit);
  EXPECT_EQ(p.flashStart, 0x8000u);
  EXPECT_EQ(p.loaderBaud, 9600u);
  FillProfile(7, 100, p);
  EXPECT_EQ(p.flashStart, 0x1100u);
  EXPECT_EQ(p.flashEnd, 0xF9FFu);
  EXPECT_EQ(p.infoSegments, 2u);
  EXPECT_EQ(p.infoSegmentSize, 128u);
}

TEST(DeviceProfile, DigitalSensorsTakeTheBuildsSensorTypeAndItsLayout) {
  DeviceProfile p;
  FillProfile(10, 150, p);
  EXPECT_EQ(p.name, "Digital Sensor");
  EXPECT_EQ(p.sensorType, 93u);
  EXPECT_TRUE(p.updatable);
  EXPECT_EQ(p.flashStart, 0x8000u);
  EXPECT_EQ(p.flashEnd, 0x88000u);
  EXPECT_TRUE(p.twentyBit);
  EXPECT_EQ(p.loaderBaud, 9600u);
  EXPECT_EQ(p.restartDelayMs, 1000u);
}

TEST(DeviceProfile, SensorLayoutsBySensorType) {
  struct Case {
    uint32_t type;
    uint32_t imageVersion;
    bool updatable;
    uint32_t flashStart, flashEnd;
    bool window;
    uint32_t lowest, highest;
  };
  const Case cases[] = {
      {92, 150, true, 0x8000, 0x88000, false, 0, 0},  {263, 150, true, 0x8000, 0xF9FF, false, 0, 0},
      {264, 150, true, 0x4400, 0x24400, false, 0, 0}, {112, 150, true, 0x8000, 0xF9FF, true, 388, 999},
      {119, 150, true, 0x8000, 0xF9FF, true, 100, 999}, {120, 150, true, 0x1100, 0xF9FF, true, 100, 249},
      {122, 250, true, 0x8000, 0xF9FF, true, 250, 999}, {127, 150, true, 0x1100, 0xF9FF, false, 0, 0},
      {91, 150, false, 0, 0, false, 0, 0},
  };
  for (const Case& c : cases) {
    DeviceProfile p;
    FillProfile(10, 150, p);
    ApplySensorLayout(p, c.type, c.imageVersion);
    EXPECT_EQ(p.updatable, c.updatable) << c.type;
    EXPECT_EQ(p.versionWindow, c.window) << c.type;
    EXPECT_EQ(p.lowestVersion, c.lowest) << c.type;
    EXPECT_EQ(p.highestVersion, c.highest) << c.type;
    if (c.updatable) {
      EXPECT_EQ(p.flashStart, c.flashStart) << c.type;
      EXPECT_EQ(p.flashEnd, c.flashEnd) << c.type;
    }
  }
}

TEST(DeviceProfile, ParseIdentityReadsTheVersionAnswer) {
  struct Case {
    const char* text;
    int result;
    int kind;
    uint32_t version;
    bool updatable;
  };
  const Case cases[] = {
      {"TGX 1.50", 1, 16, 150, true},  {"tgx 1.5", 1, 16, 150, true},      {"Lg20 1.02", 1, 3, 102, false},
      {"LG20 1.03\r>", 1, 3, 103, true}, {"XYZ 1.00", -30, 0, 100, false}, {"XYZ", 1, 0, 0, false},
      {"aquin-wn 2.10", 1, 10, 210, true},
  };
  for (const Case& c : cases) {
    DeviceProfile p;
    EXPECT_EQ(ParseIdentity(c.text, &p), c.result) << c.text;
    EXPECT_EQ(p.kind, c.kind) << c.text;
    EXPECT_EQ(p.version, c.version) << c.text;
    EXPECT_EQ(p.updatable, c.updatable) << c.text;
  }
  DeviceProfile p;
  FillProfile(16, 150, p);
  EXPECT_EQ(ParseIdentity("version ready.", &p), kIdentityUnreadable);
  EXPECT_EQ(p.kind, 16) << "an unreadable answer leaves the profile alone";
  EXPECT_EQ(ParseIdentity("", &p), kIdentityMissing);
  EXPECT_EQ(ParseIdentity(nullptr, &p), kIdentityMissing);
  EXPECT_EQ(ParseIdentity("TGX 1.50", nullptr), kIdentityMissing);
  DeviceProfile unknown;
  EXPECT_EQ(ParseIdentity("XYZ 1.00", &unknown), kIdentityUnreadable);
  EXPECT_EQ(unknown.name, "UNKNOWN");
}

TEST(DeviceProfile, EraseWarningFollowsTheTable) {
  EXPECT_TRUE(DataEraseWarning(16));
  EXPECT_TRUE(DataEraseWarning(1)) << "warned although it erases nothing";
  EXPECT_FALSE(DataEraseWarning(6));
  EXPECT_FALSE(DataEraseWarning(99));
  EXPECT_EQ(ProfileName(8), "Lumeno LX-40");
}

}  // namespace
