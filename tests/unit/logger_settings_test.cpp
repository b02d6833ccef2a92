#include "logger/logger_settings.h"

#include <gtest/gtest.h>

namespace {

struct CapabilityCase {
  uint8_t deviceClass;
  int32_t version;
  bool newFirmware;
  uint32_t capabilities;
  uint32_t memory;
};

uint32_t CapabilitiesOf(const CapabilityCase& c, uint32_t* memory) {
  LoggerSettings settings;
  settings.deviceClass = c.deviceClass;
  settings.versionNumber = c.version;
  settings.newFirmware = c.newFirmware;
  SetClassCapabilities(settings);
  *memory = settings.memoryFigure;
  return settings.capabilities;
}

TEST(ClassTable, CapabilitiesGrowWithTheFirmwareVersion) {
  const CapabilityCase cases[] = {
      {3, 104, true, 0x7737, 0x9000},
      {3, 105, true, 0x7737 + 0x80, 0x9000},
      {3, 119, true, 0x7737 + 0x80 + 0x40 + 0x8800 + 0x70000 + 0xC00000 + 0x200000, 0x9000},
      {3, 202, true, 0x7737 + 0x80 + 0x40 + 0x8800 + 0x70000 + 0xC00000 + 0x200000 + 0x1000000 + 0x4000000, 0x9000},
      {4, 108, true, 0x4503 + 0x80, 0x7000},
      {4, 109, true, 0x4503 + 0x20000 + 0x80, 0x7000},
      {6, 203, true, 0x74BE, 3348},
      {6, 204, true, 0x74BE + 0x40000, 3348},
      {2, 150, true, 0x371F, 3384},
      {2, 150, false, 0x331C, 3384},
      {8, 100, true, 0x3007, 0},
      {9, 100, true, 0x10026, 0},
      {10, 123, true, 0x1D3083, 5000},
      {11, 100, true, 0x5E3FFF7, 0x9000},
      {12, 205, true, 0x7C3F6F7, 0x9000},
      {0, 500, true, 0x1005, 0},
      {1, 500, true, 0x1005, 0},
      {5, 500, true, 0x1005, 0},
      {7, 500, true, 0x1005, 0},
      {13, 500, true, 0x1005, 0},
      {255, 500, true, 0x1005, 0},
  };
  for (const CapabilityCase& c : cases) {
    uint32_t memory = 0;
    EXPECT_EQ(CapabilitiesOf(c, &memory), c.capabilities) << "class " << int{c.deviceClass} << " v" << c.version;
    EXPECT_EQ(memory, c.memory) << "class " << int{c.deviceClass};
  }
}

TEST(ClassTable, TagsAreMatchedExactlyAfterUpperCasing) {
  EXPECT_EQ(FindDeviceClass("LG20"), 3);
  EXPECT_EQ(FindDeviceClass("LG2"), 2);
  EXPECT_EQ(FindDeviceClass("LG2B"), 6);
  EXPECT_EQ(FindDeviceClass("QRL"), 12);
  EXPECT_EQ(FindDeviceClass("AQUIN_CAL"), 9);
  EXPECT_EQ(FindDeviceClass("lg20"), 0) << "the caller upper-cases";
  EXPECT_EQ(FindDeviceClass("LG"), 0);
  EXPECT_EQ(FindDeviceClass(""), 0) << "classes that are never assigned have no tag";
  EXPECT_STREQ(DeviceClassRow(12).name, "QRL2");
  EXPECT_STREQ(DeviceClassRow(99).name, "Unknown");
}

TEST(Traits, RadioAndCellularNeedAValidTraitWord) {
  LoggerSettings s;
  s.deviceClass = kClassLg20;
  s.trait = kTraitRadio | kTraitCellular;
  EXPECT_EQ(RadioTrait(s), -1);
  EXPECT_EQ(CellularTrait(s), -1);
  s.trait = kTraitValid;
  EXPECT_EQ(RadioTrait(s), 0);
  EXPECT_EQ(CellularTrait(s), 0);
  s.trait = kTraitValid | kTraitRadio | kTraitCellular;
  EXPECT_EQ(RadioTrait(s), 1);
  EXPECT_EQ(CellularTrait(s), 1);
  s.deviceClass = kClassVq7;
  EXPECT_EQ(CellularTrait(s), 0) << "only the Lg20 has a modem";
}

TEST(VornSeconds, CountsLocalWallClockFromTheYear2000) {
  EXPECT_EQ(VornSeconds(946684800, 0), 0);
  // Pacific daylight time: local midnight of 2000-01-01 is 07:00 UTC.
  EXPECT_EQ(VornSeconds(946684800 + 7 * 3600, -25200), 0);
  EXPECT_EQ(VornSeconds(946684800 + 86400 + 3661, 3600), 86400 + 3661 + 3600);
  const struct tm fields = VornCalendar(24 * 3600 * 60 + 13 * 3600 + 5 * 60 + 9);  // 2000-03-01 13:05:09
  EXPECT_EQ(fields.tm_year + 1900, 2000);
  EXPECT_EQ(fields.tm_mon + 1, 3);
  EXPECT_EQ(fields.tm_mday, 1);
  EXPECT_EQ(fields.tm_hour, 13);
  EXPECT_EQ(fields.tm_min, 5);
  EXPECT_EQ(fields.tm_sec, 9);
}

TEST(StoreText, KeepsAtMostTheFieldLength) {
  std::string field = "old";
  StoreText(field, "ABCDEFGHIJ", kDeviceNameMax);
  EXPECT_EQ(field, "ABCDEFGH");
  StoreText(field, "", kDeviceNameMax);
  EXPECT_EQ(field, "");
}

}  // namespace
