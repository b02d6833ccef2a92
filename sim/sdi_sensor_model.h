// A digital sensor on the SDI-12 bus of a pass-through device. Its firmware answers the
// SDI-12 commands the pass-through relays (identity, address, calibrations X4/Xa/XO, serial
// number, type, "B" into the loader, "post"); its resident loader is the simulator's Loader
// over the sensor's own flash, fed the loader traffic the pass-through relays. After the
// vectors are written the sensor restarts from its flash: the identity block gives the new
// version, and settings kept in an erased INFO memory are gone (the host must restore them).
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fault_plan.h"
#include "firmware_identity.h"
#include "flash_model.h"
#include "loader.h"
#include "passthrough_setup.h"

struct TiSegment;

// One sensor type the simulator knows: its factory firmware and settings.
struct SensorKind {
  uint8_t type = 0;
  std::string_view name;   // for --sensor
  std::string_view model;  // the model field of the identity, six characters
  uint32_t factoryVersion = 0;
  FlashLayout (*layout)() = nullptr;
  std::span<const ImageRange> factoryImage;
  bool hasXa = false;  // answers "Xa" and takes "Xb"
  bool hasXO = false;
  std::string_view x4, xa, xo, serialNumber;  // factory settings
};

// By type character, decimal code or name (case-insensitive); null when unknown.
const SensorKind* FindSensorKind(std::string_view text);
std::span<const SensorKind> SensorKinds();

// The sensor's loader memory layouts: B (16-bit, INFO 0x1000 x 3 x 64, flash 0x8000-0xF9FF) and
// C (20-bit, INFO 0x1800 x 4 x 128, flash 0x8000-0x87FFF); A is the common 16-bit layout.
FlashLayout SensorLayoutB();
FlashLayout SensorLayoutC();

struct SensorSettings {
  char address = '0';
  std::string x4, xa, xo, serialNumber;
  uint8_t type = 0;
  bool numericType = false;
};

enum class SensorMode { Firmware, Loader };

struct SdiSensor {
  const SensorKind* kind = nullptr;
  SensorSettings settings;
  Flash flash;
  Loader loader;
  bool hasLoader = true;
  SensorMode mode = SensorMode::Firmware;
  FirmwareIdentity identity;  // what the last start found in flash
  bool vectorsWritten = false;
  bool updateFinished = false;  // restarted after its vectors were written
  uint32_t restarts = 0;
  std::vector<std::string> commands;  // the SDI-12 commands heard, in order (the first ones)
  SensorNumberFormat numbers;         // how it keeps calibration numbers
  std::vector<LateCommand> late;      // commands it answers only after hearing them a few times
  std::vector<uint32_t> lateHeard;    // how often it has heard each

  SdiSensor() = default;
  SdiSensor(const SdiSensor&) = delete;  // the loader points into flash
  SdiSensor& operator=(const SdiSensor&) = delete;
};

// The loader shares the device's fault plan and fault log.
std::unique_ptr<SdiSensor> MakeSdiSensor(const SensorSetup& setup, FaultPlan* faults,
                                         std::vector<std::string>* faultLog);

// One SDI-12 command as it crossed the bus, without its "!"; the answer, or nothing (silence).
std::optional<std::string> SdiSensorCommand(SdiSensor& sensor, std::string_view command);
// The answer of a sensor that refuses a command.
std::string SdiSensorRefusal(const SdiSensor& sensor);
// One byte of loader traffic at the given rate. A firmware that is running ignores it.
LoaderAction SdiSensorLoaderByte(SdiSensor& sensor, uint8_t byte, uint32_t baud);
// A reset that leaves the sensor in its waiting loader (its vectors are erased first).
void SdiSensorStartLoader(SdiSensor& sensor);
const char* SdiSensorModeName(const SdiSensor& sensor);
// Its identity as "?I!" shows it, after the address.
std::string SdiSensorIdentity(const SdiSensor& sensor);

// Settings, firmware, loader; and the --image comparison when an image is given.
nlohmann::json SdiSensorReport(const SdiSensor& sensor, const std::vector<TiSegment>* image);
