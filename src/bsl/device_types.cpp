#include "bsl/device_types.h"

#include <array>

namespace {

constexpr std::array<std::string_view, kDeviceTypeCount> kDeviceTypeTags = {
    "UNKNOWN", "LG2",  "LG2B", "LG20", "FH",  "LH",  "OSMIR", "TZ",      "LX40", "LX",  "AQUIN-WN", "ULMO",    "K5V",
    "ACD",     "FX",   "MQ2",  "TGX",  "HPX9", "VQ7", "QRL",  "ZOT",     "PLANVEX", "MQ2V", "PWN", "KELTRIX", "END",
};

}  // namespace

std::string_view DeviceTypeTag(int index) {
  if (index < 0 || index >= kDeviceTypeCount) return kDeviceTypeTags[kDeviceTypeUnknown];
  return kDeviceTypeTags[static_cast<size_t>(index)];
}

int DeviceTypeFromTag(std::string_view key) {
  for (int kind = kDeviceTypeFirst; kind <= kDeviceTypeLast; ++kind) {
    if (kDeviceTypeTags[static_cast<size_t>(kind)] == key) return kind;
  }
  return kDeviceTypeUnknown;
}
