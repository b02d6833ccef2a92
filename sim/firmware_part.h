// The command line of a device's own firmware: what answers while the loader is not running.
// A model's firmware derives from FirmwarePart; BootWordFirmware knows only the boot word that
// starts the loader. Later models (the TGX's full command line, loggers, pass-through devices)
// derive from it and hand the lines they do not know to BootWordFirmware::Line.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <utility>
#include <vector>

struct Device;
struct DeviceSetup;

constexpr uint32_t kFirmwareBaud = 9600;

class FirmwarePart {
 public:
  virtual ~FirmwarePart() = default;
  // The firmware came up (power-on, or a restart that found an intact image).
  virtual void Start(Device& device) { (void)device; }
  // One command line as received, without its "\r".
  virtual void Line(Device& device, std::string line) = 0;
  // The rate the command line runs at.
  virtual uint32_t Baud() const { return kFirmwareBaud; }
  // Once, when the device is made and before it starts: the run's options.
  virtual void Setup(Device& device, const DeviceSetup& setup) {
    (void)device;
    (void)setup;
  }
  // A byte before the device gathers it into a command line; true when the firmware took it
  // itself (a modem's escape sequence, a radio path that nobody hears, a pass-through device's
  // mode bytes, SDI-12 commands and loader traffic).
  virtual bool Byte(Device& device, uint8_t byte) {
    (void)device;
    (void)byte;
    return false;
  }
  // What the firmware keeps (its settings, its stored data), added to the report at exit.
  virtual void Report(nlohmann::json& report) const { (void)report; }
};

// A text a device keeps, for the report: each byte as the character of that code (U+0000-U+00FF),
// so values with any bytes (Latin-1, UTF-8, line noise) are shown whole and can be compared
// byte for byte.
nlohmann::json ByteText(const std::string& bytes);

class BootWordFirmware : public FirmwarePart {
 public:
  explicit BootWordFirmware(std::string entryWord) : entryWord_(std::move(entryWord)) {}
  void Line(Device& device, std::string line) override;

 protected:
  // Handles "boot WORD"; true when the line was meant as one (even a damaged one).
  bool BootWord(Device& device, std::string& line);

 private:
  std::string entryWord_;
};
