#include "device_models.h"

#include <cctype>

#include "instrument_firmware.h"
#include "logger_model.h"
#include "passthrough_firmware.h"

namespace {

// Where the TGX firmware lives: the low main flash up to the loader, and a part above 64 KiB.
constexpr ImageRange kTgxFactoryImage[] = {{0x6E00, 0xFA00 - 0x6E00}, {0x10000, 0x10000}};
constexpr ImageRange kMq2FactoryImage[] = {{0x2200, 0x2000}, {0x10000, 0x1000}};
constexpr ImageRange kLx40FactoryImage[] = {{0x1200, 0x3000}};
// The loggers' firmware fills a 16-bit part's main flash from its first whole segment to the loader.
constexpr ImageRange kLoggerFactoryImage[] = {{0x1200, 0xFA00 - 0x1200}};
constexpr uint32_t kLoggerLoaderVersion = 200;
// A logger's loader is built for the rate its kind's loader link runs at and hears no other.
constexpr uint32_t kLoggerLoaderBaud = 9600;
constexpr uint32_t kMeasuresRate = 0;
constexpr ImageRange kFieldrexFactoryImage[] = {{0x2200, 0x2000}, {0x10000, 0x1000}};
constexpr ImageRange kCommDeviceFactoryImage[] = {{0x4000, 0x2000}};

const DeviceModel kModels[] = {
    {"TGX", TgxFlashLayout, 140, 210, kMeasuresRate, kTgxFactoryImage, MakeTgxFirmware},
    {"MQ2", Mq2FlashLayout, 210, 210, kMeasuresRate, kMq2FactoryImage, MakeMq2Firmware},
    {"LX40", Msp16FlashLayout, 210, 210, kMeasuresRate, kLx40FactoryImage, MakeLx40Firmware},
    {"LG20", Msp16FlashLayout, 202, kLoggerLoaderVersion, kLoggerLoaderBaud, kLoggerFactoryImage, MakeLg20Firmware},
    {"LG2", Msp16FlashLayout, 170, kLoggerLoaderVersion, kLoggerLoaderBaud, kLoggerFactoryImage, MakeLg2Firmware},
    {"VQ7", Msp16FlashLayout, 120, kLoggerLoaderVersion, kLoggerLoaderBaud, kLoggerFactoryImage, MakeVq7Firmware},
    {"QRL", Msp16FlashLayout, 205, kLoggerLoaderVersion, kLoggerLoaderBaud, kLoggerFactoryImage, MakeQrlFirmware},
    {"FH", Msp16FlashLayout, 109, kLoggerLoaderVersion, kLoggerLoaderBaud, kLoggerFactoryImage, MakeFieldHubFirmware},
    {"FX", FieldrexFlashLayout, 130, 210, kMeasuresRate, kFieldrexFactoryImage, MakeFieldrexFirmware},
    {"ACD", Msp16FlashLayout, 105, 210, kMeasuresRate, kCommDeviceFactoryImage, MakeCommDeviceFirmware},
    {"AQUIN_CAL", Msp16FlashLayout, 100, 210, kMeasuresRate, kCommDeviceFactoryImage, MakeCalibratorFirmware},
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

const DeviceModel* FindDeviceModel(std::string_view name) {
  for (const DeviceModel& model : kModels) {
    if (SameName(model.name, name)) return &model;
  }
  return nullptr;
}

std::span<const DeviceModel> DeviceModels() { return kModels; }
