// The device kinds (the device profile's numbering) this layer treats apart,
// and the families they fall into.
#pragma once

#include <initializer_list>

constexpr int kKindLg2b = 2;
constexpr int kKindLg20 = 3;
constexpr int kKindFieldHub = 4;
constexpr int kKindOsmir = 6;
constexpr int kKindLx40 = 8;
constexpr int kKindLx = 9;
constexpr int kKindUlmo = 11;
constexpr int kKindFx = 14;
constexpr int kKindMq2 = 15;
constexpr int kKindTgx = 16;
constexpr int kKindQrl = 19;
constexpr int kKindPlanvex = 21;
constexpr int kKindMq2v = 22;

inline bool IsKindOneOf(int kind, std::initializer_list<int> kinds) {
  for (int k : kinds) {
    if (k == kind) return true;
  }
  return false;
}

// The loggers: their settings travel through DeviceSettings and the logger layout.
inline bool IsLoggerKind(int kind) { return IsKindOneOf(kind, {2, 3, 4, 18, 19}); }
