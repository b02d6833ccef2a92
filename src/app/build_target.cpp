#include "app/build_target.h"

#include <array>

#include "bsl/builtin_image.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr std::array<SensorMenuItem, 17> kSensorMenu = {{
    {"K7W", 122, "/versionfinder/K7W-Firmware.txt", true},
    {"K7V", 120, "/versionfinder/K7V-Firmware.txt", true},
    {"HB7", 119, "/versionfinder/HB7-Firmware.txt", true},
    {"JD4", 118, "/versionfinder/JD4-Firmware.txt", true},
    {"WPX-4 && WPX-8", 261, "/versionfinder/WPX4-Firmware.txt", true},
    {"DG7DG", 117, "/versionfinder/DG7DG-Firmware.txt", true},
    {"HTK Family", 262, "/versionfinder/HTK-Firmware.txt", true},
    {"FC-5", 113, "/versionfinder/FC5-Firmware.txt", true},
    {"FC-5F", 109, "/versionfinder/FC5-Firmware.txt", true},
    {"HX-5", 112, "/versionfinder/HX5-Firmware.txt", true},
    {"HX-6", 102, "/versionfinder/HX6-Firmware.txt", false},
    {"NDR Family", 260, "/versionfinder/NDR-Firmware.txt", true},
    {"WA-7", 95, "/versionfinder/WA7-Firmware.txt", false},
    {"PL-3", 94, "/versionfinder/PL3-Firmware.txt", true},
    {"SKYRA 32", 92, "/versionfinder/SKYRA32-Firmware.txt", false},
    {"SKYRA 61", 93, "/versionfinder/SKYRA61-Firmware.txt", true},
    {"NIVARA 3x Family", 264, "/versionfinder/NIVARA3X-Firmware.txt", true},
}};

constexpr const char* kCaptionSuffix = " Firmware Updater";

}  // namespace

std::span<const SensorMenuItem> SensorMenuItems() { return kSensorMenu; }

const SensorMenuItem* FindSensorMenuItem(uint32_t type) {
  for (const SensorMenuItem& item : kSensorMenu) {
    if (item.type == type) return &item;
  }
  return nullptr;
}

bool DigitalSensorBuild(const BuiltInImage& image) { return image.deviceType == kDeviceTypeDigitalSensor; }

bool SelectSensorType(UpdaterState& state, uint32_t type) {
  const SensorMenuItem* item = FindSensorMenuItem(type);
  if (item == nullptr) return false;
  state.sensorType = type;
  state.modelName = SensorTypeName(type);
  state.versionFinderPath = std::string(item->versionFinderFile);
  return true;
}

void TargetBuild(UpdaterState& state, const BuiltInImage& image) {
  state.builtInKind = image.deviceType == kDeviceTypeUnknown ? kDeviceTypeTGX : image.deviceType;
  state.digitalSensorBuild = DigitalSensorBuild(image);
  // A sensor build names itself after its sensor type; the choice comes first.
  if (!state.digitalSensorBuild || !SelectSensorType(state, image.sensorType)) {
    state.modelName = std::string(ProfileName(state.builtInKind));
  }
  state.caption = state.modelName + kCaptionSuffix;
  state.imageVersion = image.imageVersion;
}
