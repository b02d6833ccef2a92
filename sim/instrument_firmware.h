// The command line of a simulated instrument (TGX, MQ2, LX40): stored values read with
// "get -KEY" and written with "set -KEY VALUE", the "user" and "eqn" record lists, the login
// some models need, the firmware self-check, the clock, the data-erase confirmation and the
// boot word into the resident loader.
//
// The settings live in the first INFO segment: a firmware that starts and finds it erased
// (as after an update) falls back to the factory settings and marks the segment used, so the
// host has to restore what it saved.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "firmware_part.h"
#include "flash_model.h"

struct InstrumentValues {
  std::map<std::string, std::string> values;  // by option name: "sn" for "get -sn"
  std::vector<std::string> users;             // "user" records (base64 texts)
  std::vector<std::string> eqns;              // "eqn" records
};

struct InstrumentModel {
  std::string_view tag;  // in the answer to "get -ver"
  bool needsLogin = false;
  bool hasUsers = false;
  bool hasEqns = false;
  long configChecksumBase = -1;     // config = base + the serial number's character codes; -1: none
  InstrumentValues factory;         // after an erased settings memory, or --factory-reset
  InstrumentValues field;           // what it holds otherwise
  // Unit N of the model on a bench (--unit): its field values, made from the field unit's.
  InstrumentValues (*unitValues)(const InstrumentValues& field, uint32_t unit) = nullptr;
};

class InstrumentFirmware : public BootWordFirmware {
 public:
  InstrumentFirmware(InstrumentModel model, std::string entryWord);
  void Setup(Device& device, const DeviceSetup& setup) override;
  void Start(Device& device) override;
  bool Byte(Device& device, uint8_t byte) override;
  void Line(Device& device, std::string line) override;
  void Report(nlohmann::json& report) const override;

 private:
  bool Service(Device& device, const std::string& line);
  bool Records(Device& device, const std::string& line);
  bool Value(Device& device, const std::string& line);
  bool ConfigMatchesSerial() const;

  InstrumentModel model_;
  InstrumentValues values_;
  InstrumentValues before_;  // as the run started
  std::string text_;         // the line being received
  long testRunning_ = -1;
  int battery_ = 90;  // percent: the answer to "get -batt"
  bool loggedIn_ = false;
  uint32_t erasures_ = 0;
  uint32_t settingsResets_ = 0;  // starts that found the settings memory erased
  uint32_t posts_ = 0;
  long long clockSet_ = -1;      // the last "set -sec" value
  std::string actuator_;         // the last "set -act" value
};

std::unique_ptr<FirmwarePart> MakeTgxFirmware();
std::unique_ptr<FirmwarePart> MakeMq2Firmware();
std::unique_ptr<FirmwarePart> MakeLx40Firmware();
// The M2's loader layout: INFO 0x1000 x 3 x 64, flash 0x2100-0x1FEFF, 20-bit.
FlashLayout Mq2FlashLayout();
