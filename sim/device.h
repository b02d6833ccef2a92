// One simulated device: its flash, its resident loader, its firmware's command line, the
// faults to inject and the answers waiting to go out. The simulator's loop feeds it the bytes
// the host sends, with the rate the host sent them at, and sends what it answers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fault_plan.h"
#include "firmware_identity.h"
#include "firmware_part.h"
#include "flash_model.h"
#include "loader.h"
#include "instrument_setup.h"
#include "model_options.h"
#include "passthrough_setup.h"
#include "sim_clock.h"

struct DeviceModel;

enum class DeviceMode { Firmware, Loader, Restarting };

struct Reply {
  std::string bytes;
  uint32_t baud = 0;  // the rate the device sends it at
};

// How this run's device starts, from the command line.
struct DeviceSetup {
  uint32_t firmwareVersion = 0;  // 0: the model's default
  uint32_t loaderVersion = 0;    // 0: the model's default
  std::optional<uint32_t> loaderBaud;  // the loader's one rate, 0 for one that measures it; unset: the model's
  bool hasLoader = true;
  bool startInLoader = false;
  SimClock::duration restartDelay = std::chrono::milliseconds(300);
  uint32_t seed = 1;
  uint32_t unit = 0;  // --unit: which unit of its model on the bench; 0 for none
  std::vector<FaultRule> faults;
  ModelOptions modelOptions;
  PassThroughSetup passThrough;  // pass-through devices and the sensor on their bus
  InstrumentSetup instrument;    // settings of the instrument models
};

struct Device {
  const DeviceModel* model = nullptr;
  Flash flash;
  Loader loader;
  bool hasLoader = true;
  std::unique_ptr<FirmwarePart> firmware;
  FaultPlan faults;
  std::vector<std::string> faultLog;  // host errors the device detected
  DeviceMode mode = DeviceMode::Firmware;
  FirmwareIdentity identity;          // what the last start found in flash
  std::string firmwareLine;
  std::vector<Reply> outbox;
  bool garbleReplies = false;         // an injected fault spoils the answer being made
  SimClock::duration restartDelay{};
  SimClock::time_point restartAt{};
  bool vectorsWritten = false;
  bool startingNewFirmware = false;   // the restart after the vectors is under way
  bool updateFinished = false;        // the device restarted after its vectors were written
  bool hangupRequested = false;       // an injected hang-up: the simulator pulls the cable
  uint32_t restarts = 0;
  uint64_t garbledReceived = 0;
  uint64_t garbledSent = 0;
  std::mt19937 noise;

  Device() = default;
  Device(const Device&) = delete;  // the loader points into flash and the fault plan
  Device& operator=(const Device&) = delete;
};

std::unique_ptr<Device> MakeDevice(const DeviceModel& model, const DeviceSetup& setup);

// One byte from the host, sent at the host's rate; a rate the device is not listening at garbles it.
void DeviceReceive(Device& device, uint8_t byte, uint32_t hostBaud, SimClock::time_point now);
// Runs the device's timers (the restart after the vectors).
void DeviceTick(Device& device, SimClock::time_point now);
// Milliseconds until the next timer, capped at `limit`.
int DeviceMsToTimer(const Device& device, SimClock::time_point now, int limit);
uint32_t DeviceBaud(const Device& device);
const char* DeviceModeName(const Device& device);

// For models: answer at the device's current rate; start the loader as the boot word does
// (the vector segment is erased first, so an interrupted update comes back to the loader);
// reset into the waiting loader.
void DeviceSend(Device& device, const std::string& bytes);
void DeviceStartLoader(Device& device);
void DeviceResetIntoLoader(Device& device);
// Applies an injected fault to a firmware command line at a named stage; false when the
// command is not to be carried out. `nak` is the firmware's refusal.
bool DeviceLineFault(Device& device, std::string_view stage, std::string& line, const std::string& nak);
// Bytes a receiver makes of a character sent at the wrong rate.
std::string DeviceNoise(Device& device, size_t count);
