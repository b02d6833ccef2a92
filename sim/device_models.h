// The device models by name ("--device MODEL[:VERSION]"). A model is a flash layout for its
// loader, its firmware's command line and the firmware it leaves the factory with. New models
// add a row to the table in device_models.cpp and, for a new command line, a FirmwarePart.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "firmware_identity.h"
#include "firmware_part.h"
#include "flash_model.h"

struct DeviceModel {
  std::string_view name;  // also the model tag in the firmware identity
  FlashLayout (*layout)();
  uint32_t defaultVersion;  // of the factory firmware, in hundredths
  uint32_t loaderVersion;
  uint32_t loaderBaud;  // the one rate its loader knows; 0: the loader measures the host's rate
  std::span<const ImageRange> factoryImage;
  std::unique_ptr<FirmwarePart> (*makeFirmware)();
};

const DeviceModel* FindDeviceModel(std::string_view name);  // case-insensitive; null when unknown
std::span<const DeviceModel> DeviceModels();
