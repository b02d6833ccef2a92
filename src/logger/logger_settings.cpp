#include "logger/logger_settings.h"

#include "log/platform.h"

namespace {

constexpr uint32_t kDefaultCapabilities = 0x1005;
constexpr uint32_t kLg2NewCapabilities = 0x371F;
constexpr uint32_t kLg2OldCapabilities = 0x331C;

constexpr std::array<DeviceClassInfo, kClassCount> kClassTable{{
    {0, "", "Unknown", 0, kDefaultCapabilities, {}},
    {1, "", "Unknown Logger", 0, kDefaultCapabilities, {}},
    {2, "LG2", "Lg2", 3384, kLg2NewCapabilities, {}},
    {3, "LG20", "Lg20", 0x9000, 0x7737,
     {{{105, 0x80}, {108, 0x40}, {112, 0x8800}, {114, 0x70000}, {118, 0xC00000}, {119, 0x200000},
       {200, 0x1000000}, {202, 0x4000000}}}},
    {4, "FH", "FieldHub", 0x7000, 0x4503, {{{109, 0x20000}, {105, 0x80}}}},
    {5, "LH", "LinkHub", 0, kDefaultCapabilities, {}},
    {6, "LG2B", "Lg2b", 3348, 0x74BE, {{{204, 0x40000}}}},
    {7, "", "Generic", 0, kDefaultCapabilities, {}},
    {8, "ACD", "AQUIN Comm Dev", 0, 0x3007, {}},
    {9, "AQUIN_CAL", "AQUIN Calibrator", 0, 0x10026, {}},
    {10, "FX", "Fieldrex", 5000, 0x1D3083, {}},
    {11, "VQ7", "vQ7", 0x9000, 0x5E3FFF7, {}},
    {12, "QRL", "QRL2", 0x9000, 0x7C3F6F7, {}},
}};

bool UsesRowZero(int code) { return code < 0 || code >= kClassCount || code == 1 || code == 5 || code == 7; }

}  // namespace

const DeviceClassInfo& DeviceClassRow(int code) {
  return (code < 0 || code >= kClassCount) ? kClassTable[0] : kClassTable[static_cast<size_t>(code)];
}

uint8_t FindDeviceClass(std::string_view upperTag) {
  if (upperTag.empty()) return kClassUnknown;
  for (const DeviceClassInfo& row : kClassTable) {
    if (upperTag == row.tag) return row.code;
  }
  return kClassUnknown;
}

void SetClassCapabilities(LoggerSettings& settings) {
  const int code = settings.deviceClass;
  const DeviceClassInfo& row = UsesRowZero(code) ? kClassTable[0] : DeviceClassRow(code);
  settings.memoryFigure = row.memoryFigure;
  if (code == kClassLg2) {
    settings.capabilities = settings.newFirmware ? kLg2NewCapabilities : kLg2OldCapabilities;
    return;
  }
  uint32_t mask = row.baseCapabilities;
  for (const CapabilityStep& step : row.steps) {
    if (step.add != 0 && settings.versionNumber >= step.fromVersion) mask += step.add;
  }
  settings.capabilities = mask;
}

int RadioTrait(const LoggerSettings& settings) {
  if ((settings.trait & kTraitValid) == 0) return -1;
  return (settings.trait & kTraitRadio) != 0 ? 1 : 0;
}

int CellularTrait(const LoggerSettings& settings) {
  if ((settings.trait & kTraitValid) == 0) return -1;
  return settings.deviceClass == kClassLg20 && (settings.trait & kTraitCellular) != 0 ? 1 : 0;
}

int64_t VornSeconds(int64_t unixUtc, int32_t localUtcOffset) { return unixUtc + localUtcOffset - kVornEpochUnix; }

struct tm VornCalendar(int64_t vornSeconds) {
  // A VornSeconds count is local wall-clock time, so its fields are read as if it were UTC.
  const std::time_t wall = static_cast<std::time_t>(vornSeconds + kVornEpochUnix);
  struct tm fields {};
  UtcTimeFields(wall, &fields);
  return fields;
}

void StoreText(std::string& field, std::string_view value, size_t maxLength) {
  field.assign(value.substr(0, maxLength));
}
