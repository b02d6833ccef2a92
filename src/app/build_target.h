// The program's build target: the image library it links decides whether it is
// an instrument build (RunUpdate) or a digital-sensor build (UpdateDigitalSensor),
// and the sensor build's "Set Digital Sensor to:" menu lives here, shared by the
// window and the command line.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/update_run.h"

struct BuiltInImage;

struct SensorMenuItem {
  std::string_view caption;  // as the menu shows it ("&&" is one ampersand)
  uint32_t type;             // a sensor code or a family code 260-264
  std::string_view versionFinderFile;
  bool shownInFactoryMode;
};

// The seventeen items, in menu order.
std::span<const SensorMenuItem> SensorMenuItems();
// The item of a code; null when the menu has none.
const SensorMenuItem* FindSensorMenuItem(uint32_t type);

bool DigitalSensorBuild(const BuiltInImage& image);

// The menu choice: the selected type, the display name (the type's name) and
// the version-finder file. False (nothing changed) for a code without an item.
bool SelectSensorType(UpdaterState& state, uint32_t type);

// What the build's image makes of the state at start-up: the built-in kind, the
// build's sequence, the model (for a sensor build the choice of its sensor type
// comes first and names it, and sets the version-finder path), the caption and
// the image version.
void TargetBuild(UpdaterState& state, const BuiltInImage& image);

// The pass-through device the sensor build talks to, as the window names it.
constexpr const char* kSensorCommTarget = "Fieldrex and Digital Sensor";
constexpr const char* kSensorConnectTarget = "Fieldrex";
