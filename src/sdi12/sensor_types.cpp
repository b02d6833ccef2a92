// Sensor type names and the families of the sensor menu.
#include <string_view>

#include "logger/link_helpers.h"
#include "sdi12/sdi_sensor.h"

namespace {

struct TypeName {
  uint32_t code;
  std::string_view name;
};

constexpr TypeName kTypeNames[] = {
    {92, "SKYRA 32 Anemometer"},
    {93, "SKYRA 61 Sensor Suite"},
    {94, "PL-3 Rain Gauge"},
    {95, "WA-7 Anemometer"},
    {102, "HX-6 Sensor"},
    {103, "NIVARA 32 Sensor"},
    {104, "NIVARA 31 Sensor"},
    {107, "NIVARA 51 Sensor"},
    {108, "WPX-8 Sensor"},
    {109, "FC-5F Sensor"},
    {112, "HX-5 Sensor"},
    {113, "FC-5 Sensor"},
    {116, "HTK Sensor"},
    {117, "DG7 Drain Gauge"},
    {119, "HB7 Sensor"},
    {120, "K7V Sensor"},
    {121, "WPX-4 Sensor"},
    {122, "K7W Sensor"},
    {123, "SKYRA 24 Sensor"},
    {124, "AQUIN-WN Sensor"},
    {125, "RX-VN Sensor"},
    {126, "AQUIN-WN Sensor"},
    {127, "AQUIN-WN Sensor"},
    {kFamilyNdr, "NDR Family"},
    {kFamilyWpx, "WPX-4 WPX-8 NIVARA 51"},
    {kFamilyHtk, "HTK Family"},
    {kFamilyNivara3x, "NIVARA 3x Family"},
};

struct Family {
  uint32_t code;
  std::string_view members;
};

// The members a type write accepts for each family (the update's own type
// check also counts 'k' under the WPX family).
constexpr Family kFamilies[] = {
    {kFamilyNdr, "nors"}, {kFamilyWpx, "yl"}, {kFamilyHtk, "eijt"}, {kFamilyHx, "fp"}, {kFamilyNivara3x, "gh"},
};

}  // namespace

std::string SensorTypeName(uint32_t code) {
  for (const TypeName& entry : kTypeNames) {
    if (entry.code == code) return std::string(entry.name);
  }
  return Format("Unknown Sensor (type %u)", code).substr(0, kSensorTypeNameSize - 1);
}

bool SensorFamilyMember(uint32_t family, uint32_t type) {
  for (const Family& entry : kFamilies) {
    if (entry.code == family) return type != 0 && entry.members.find(static_cast<char>(type)) != std::string_view::npos;
  }
  return false;
}
