// The device type table: the upper-case tags that name every device kind the
// updater knows, indexed by kind. Index 0 is "UNKNOWN", the last is "END".
#pragma once

#include <string_view>

constexpr int kDeviceTypeUnknown = 0;
constexpr int kDeviceTypeFirst = 1;
constexpr int kDeviceTypeLast = 24;
constexpr int kDeviceTypeEnd = 25;
constexpr int kDeviceTypeCount = 26;
constexpr int kDeviceTypeTGX = 16;
constexpr int kDeviceTypeDigitalSensor = 10;

// The tag of a table index; "UNKNOWN" for an index outside the table.
std::string_view DeviceTypeTag(int index);

// The first kind 1-24 whose tag equals the key exactly; 0 when none does.
int DeviceTypeFromTag(std::string_view key);
