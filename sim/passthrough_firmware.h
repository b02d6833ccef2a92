// The pass-through devices: the Fieldrex handheld reader (FX) and the AQUIN Comm Device
// (ACD), each a logger-style command line with an SDI-12 bus behind it; and the AQUIN
// calibrator (AQUIN_CAL), the same command line without a bus.
//
// Relay modes, switched by single bytes the host writes between commands (inside a command
// line or SDI-12 command they are characters, so "?X9 ]!" writes the SKYRA 61 type):
//   command  (power-on, and after '`')  the device's own command line answers lines ending in
//            "\r"; text ending in '!' is an SDI-12 command for the bus.
//   sdi      (after '[')  only SDI-12 commands are taken; command lines get no answer.
//   loader   (after ']')  every byte except '[' and '`' goes to the sensor's loader unchanged
//            and its answers come back, at the device's rate (9600).
// In command and sdi mode '|' is a break on the bus wherever it comes: it wakes the sensors and
// drops a half-received command. Sensor answers end in "\r\n"; nothing is echoed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "firmware_part.h"
#include "passthrough_setup.h"
#include "sdi_sensor_model.h"
#include "ti_text.h"

// What one model of the family answers.
struct PassThroughKind {
  std::string_view tag;   // in the answer to "get -ver"
  bool hasBus = true;     // relays SDI-12 and loader traffic
  bool fieldrex = false;  // answers "get -hver" and "get -batt"; keeps its clock in seconds
  char hardwareRevision = 0;
  int battery = 0;
};

enum class RelayMode { Command, Sdi, Loader };

class PassThroughFirmware : public BootWordFirmware {
 public:
  PassThroughFirmware(const PassThroughKind& kind, std::string entryWord);
  void Setup(Device& device, const DeviceSetup& setup) override;
  void Configure(Device& device, const PassThroughSetup& setup);
  bool Byte(Device& device, uint8_t byte) override;
  void Line(Device& device, std::string line) override;
  uint32_t Baud() const override { return baud_; }
  void Report(nlohmann::json& report) const override;

 private:
  bool ModeByte(uint8_t byte);
  void RelayLoader(Device& device, uint8_t byte);
  void RelaySdi(Device& device, std::string command);
  void ProbeRunningSensor(Device& device);
  void HangUp(Device& device);
  bool Clock(Device& device, const std::string& line);
  bool Value(Device& device, const std::string& line);

  PassThroughKind kind_;
  RelayMode mode_ = RelayMode::Command;
  std::string text_;       // the line or SDI-12 command being received
  std::string modeBytes_;  // every mode byte heard, in order
  uint32_t sdiCommands_ = 0;
  std::unique_ptr<SdiSensor> sensor_;  // null: nothing on the bus
  SensorGarble garble_ = SensorGarble::High;
  std::vector<TiSegment> sensorImage_;
  std::map<std::string, std::string> values_;  // "get -KEY" / "set -KEY VALUE"
  long long clockOffset_ = 0;                  // device clock minus the host's local time, seconds
  uint32_t baud_ = kFirmwareBaud;
};

std::unique_ptr<FirmwarePart> MakeFieldrexFirmware();
std::unique_ptr<FirmwarePart> MakeCommDeviceFirmware();
std::unique_ptr<FirmwarePart> MakeCalibratorFirmware();
// The Fieldrex's own loader layout: INFO 0x1000 x 3 x 64, flash 0x2100-0x1FEFF, 20-bit.
FlashLayout FieldrexFlashLayout();
