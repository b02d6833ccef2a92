// Capturing a device's settings into the settings file before an update and
// writing them back afterwards, by device family.
#include <cstdlib>

#include "bsl/device_types.h"
#include "instrument/device_kinds.h"
#include "instrument/instrument_link.h"
#include "instrument/instrument_settings.h"
#include "instrument/settings_file.h"
#include "log/platform.h"
#include "logger/link_helpers.h"
#include "logger/settings_loop.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr const char* kTag = "Vorn_protocol";
constexpr int kSensorTypeTimeoutMs = 2000;
constexpr int kSensorTypeKeep = 32;
constexpr uint32_t kLx40FullCapture = 200;  // from this version on an LX40 keeps more
constexpr int32_t kMq2PvuserAfter = 204;

// The logger request of each logger kind.
uint32_t LoggerRequest(int kind) {
  switch (kind) {
    case 2: return 0x8000077;
    case 4: return 0xD07;
    default: return 0x7FFEFFF;
  }
}

// The settings each instrument kind keeps; 0 for a kind without a capture. The
// M2 and M2V keep hadj and tau too: their files carry them and their readers
// read them back.
uint32_t InstrumentFlags(const InstrumentLink& link) {
  switch (link.kind) {
    case 6: return 0x4000007A;
    case 7: return 0x100192;
    case kKindLx40: return link.profile.version >= kLx40FullCapture ? 0x7000C12 : 0x7000400;
    case 9: return 0xB2;
    case 11: return 0x80027402;
    case 12: return 0xC00;
    case 13: return 0x3;
    case 14: return 0x2C0013;
    case kKindMq2: return (link.settings.versionNumber > kMq2PvuserAfter ? 0x38000842 : 0x38000802) | kInstHadjTau;
    case 16: return 0x28400802;
    case 17:
    case 20: return 0x802;
    case kKindMq2v: return 0x38000806 | kInstHadjTau;
    case 23: return 0x20C08012;
    case 24: return 0x2;
    default: return 0;
  }
}

// The sensor type the M2 is set to, kept so the restore can put it back after the capture has
// set it to 0. A device that does not answer with a number keeps no sensor type.
void ReadSensorType(InstrumentLink& link) {
  InstrumentSettings& s = *link.info;
  long type = 0;
  s.sensorTypeHeld = GetValueLong(link, "get -sensor", kSensorTypeTimeoutMs, &type) >= 0;
  if (s.sensorTypeHeld) s.sensorType = type;
}

// The M2 measures with whatever sensor type is set; type 0 reads every setting.
void SetSensorTypeZero(InstrumentLink& link) {
  std::string answer;
  int elapsed = 0;
  int result = DeviceCommand(link.device, "set -sensor 0\r", '>', kSensorTypeTimeoutMs, &answer, kSensorTypeKeep,
                             &elapsed);
  if (result >= 0 && answer.find("OK") != std::string::npos) {
    print_message(link.log, kLogStep, kTag, "VPSaveInfo set NOR6 sensor type to '0' (%d ms)", elapsed);
    return;
  }
  if (result >= 0) result = kLinkNotUnderstood;
  print_message(link.log, kLogStep, kTag, "VPSaveInfo received error %d setting NOR6 sensor type to '0' (%d ms)",
                result, elapsed);
}

// The capture of the connected kind; *mask receives what it obtained.
int Capture(InstrumentLink& link, uint32_t* mask) {
  if (IsLoggerKind(link.kind)) {
    *mask = LoggerRequest(link.kind);
    return DeviceSettings(link.device, &link.settings, mask, 0);
  }
  if (link.kind == kDeviceTypeDigitalSensor) return SDIGetSensorInfo(*link.sdi);
  const uint32_t flags = InstrumentFlags(link);
  if (flags == 0) return kLinkUnsupported;
  if (link.kind == kKindMq2) {
    ReadSensorType(link);
    SetSensorTypeZero(link);
  }
  const int result = GetInstInfo(link, flags);
  *mask = link.info->present;
  return result;
}

int RestoreLogger(InstrumentLink& link, const std::string* newSerialNumber) {
  LoggerSettings& s = link.settings;
  if (newSerialNumber != nullptr) {
    StoreText(s.serialNumber, *newSerialNumber, kSerialNumberMax);
    s.present |= kBitSerialNumber;
  }
  // A logger with a device ID keeps the serial number it has.
  if ((s.present & kBitDeviceId) != 0) s.present &= ~kBitSerialNumber;
  uint32_t mask = s.present;
  // The capture reads the trait to know about the radio; a logger that takes no trait (the
  // FieldHub's is fixed) is not sent one, which it could only refuse.
  if ((s.capabilities & kCapSiteGroup) == 0) mask &= ~kBitTrait;
  link.device.hooks.settingsTaken = link.restoreTaken;
  const int result = DeviceSettings(link.device, &s, &mask, 1);
  link.device.hooks.settingsTaken = nullptr;
  s.present = mask;
  if ((result < 0 && result != kLinkPartial) || mask == 0) {
    print_message(link.log, kLogFailure, kTag, "VPRestoreInfo received error %d trying to upload device settings",
                  result);
  }
  return result;
}

int CharacterSum(const std::string& text) {
  int sum = 0;
  for (char c : text) sum += static_cast<unsigned char>(c);
  return sum;
}

// The M2's config is a checksum that covers the serial number; it moves with it.
// Only a captured config is adjusted: anything else would write a made-up one.
void AdjustConfigChecksum(InstrumentSettings& s, const std::string& newSerialNumber) {
  if ((s.present & kInstConfig) == 0) return;
  const long value = std::strtol(s.config.c_str(), nullptr, 10);
  const long adjusted = value - CharacterSum(s.serialNumber) + CharacterSum(newSerialNumber);
  s.config = Format("%u", static_cast<unsigned>(adjusted));
}

// The M2's own sensor type goes back last, after every setting was written under type 0.
int RestoreSensorType(InstrumentLink& link, int result) {
  const InstrumentSettings& s = *link.info;
  if (link.kind != kKindMq2 || !s.sensorTypeHeld || NoCommandLine(result)) return result;
  std::string answer;
  int elapsed = 0;
  int sent = SendSetCommand(link, Format("set -sensor %ld\r", s.sensorType), kSensorTypeTimeoutMs, kSensorTypeKeep,
                            &answer, &elapsed);
  if (sent >= 0 && answer.find("OK") != std::string::npos) {
    print_message(link.log, kLogStep, kTag, "VPRestoreInfo set NOR6 sensor type to '%ld' (%d ms)", s.sensorType,
                  elapsed);
    return result;
  }
  if (sent >= 0) sent = kLinkNotUnderstood;
  print_message(link.log, kLogStep, kTag, "VPRestoreInfo received error %d setting NOR6 sensor type to '%ld' (%d ms)",
                sent, s.sensorType, elapsed);
  if (NoCommandLine(sent)) return sent;
  return result < 0 ? result : kVPPartial;
}

int RestoreInstrument(InstrumentLink& link, const std::string* newSerialNumber) {
  InstrumentSettings& s = *link.info;
  if (newSerialNumber != nullptr) {
    const std::string serial = newSerialNumber->substr(0, kInstSerialMax);
    if (link.kind == kKindMq2 || link.kind == kKindMq2v) AdjustConfigChecksum(s, serial);
    s.serialNumber = serial;
    s.present |= kInstSerialNumber;
  }
  const int result = SetInstInfo(link, s.present);
  return RestoreSensorType(link, result);
}

}  // namespace

int VPSaveInfo(InstrumentLink& link, const std::string& path) {
  uint32_t mask = 0;
  int result = Capture(link, &mask);
  if (IsLoggerKind(link.kind) && result == kVPUninitialised) {
    link.settingsSaved = false;
    link.savedMask = 0;
    print_message(link.log, kLogStep, kTag, "VPSaveInfo does not save data for an uninitialized device");
    return kVPUninitialised;
  }
  if (result < 0 && result != kVPPartial) {
    print_message(link.log, kLogFailure, kTag, "VPSaveInfo received error %d trying to collect device settings",
                  result);
    return result;
  }
  link.settingsSaved = true;
  link.savedMask = mask;
  const int written = WriteInfoFile(link, path);
  if (written < 0) {
    print_message(link.log, kLogFailure, kTag, "VPSaveInfo received error %d trying to save device settings to a temp file",
                  written);
    return written;
  }
  print_message(link.log, kLogStep, kTag, "VPSaveInfo successfully retrieved and saved device settings to a temp file");
  return result == kVPPartial ? kVPPartial : kLinkOk;
}

int VPRestoreInfo(InstrumentLink& link, const std::string& path, const std::string* newSerialNumber) {
  if (!link.settingsSaved) {
    const int read = ReadInfoFile(link, path);
    if (read < 0) {
      print_message(link.log, kLogFailure, kTag,
                    "VPRestoreInfo received error %d trying to read device settings from %s", read,
                    ShownPath(path).c_str());
      return read;
    }
    link.settingsSaved = true;
    link.settings.present = link.savedMask;
  }
  const int kind = link.kind;
  int result = kLinkUnsupported;
  if (IsKindOneOf(kind, {0, 1, 5}) || kind > kDeviceTypeLast) return kLinkUnsupported;
  if (IsLoggerKind(kind)) {
    result = RestoreLogger(link, newSerialNumber);
    if ((result < 0 && result != kVPPartial) || link.settings.present == 0) return result;
  } else if (kind == kDeviceTypeDigitalSensor) {
    result = SDISetSensorInfo(*link.sdi);
  } else {
    result = RestoreInstrument(link, newSerialNumber);
  }
  if (result >= 0 || result == kVPPartial) {
    print_message(link.log, kLogStep, kTag, "VPRestoreInfo successfully restored device setting");
  }
  return result;
}
