// Reading a settings file back into the held settings: one reader per family,
// each looking up the keys it knows.
#include <array>

#include "bsl/device_types.h"
#include "instrument/device_kinds.h"
#include "instrument/instrument_link.h"
#include "instrument/instrument_settings.h"
#include "instrument/settings_file.h"
#include "instrument/settings_file_platform.h"
#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr int kFxCalSlotsMax = 20;
constexpr uint32_t kLg20Capabilities = 0x707FFF7;
constexpr uint32_t kLg2bCapabilities = 0x474BE;
constexpr uint32_t kFieldHubCapabilities = 0x24583;
constexpr uint32_t kRadioTraitBits = kTraitValid | kTraitRadio;
// How much of each value a reader keeps: the field's length and its terminator.
constexpr size_t kNameKeep = 9;
constexpr size_t kSerialKeep = 16;
constexpr size_t kShortKeep = 17;  // adc, chai, ext, the logger's build
constexpr size_t kSiteKeep = 26;
constexpr size_t kAuthKeyKeep = 33;
constexpr size_t kApnKeep = 36;
constexpr size_t kListKeep = 64;  // five numbers; the logger's host; adccal
constexpr size_t kConfigKeep = 65;
constexpr size_t kLongKeep = 257;
constexpr size_t kSdiCalibrationKeep = 513;
constexpr size_t kSdiSerialKeep = 33;

struct Reader {
  std::string_view text;
  uint32_t mask = 0;

  bool Text(std::string_view key, std::string* field, size_t n, uint32_t bit) {
    const bool found = ReadKeyText(text, key, field, n);
    if (found) mask |= bit;
    return found;
  }
  template <typename T>
  bool Number(std::string_view key, T* field, uint32_t bit) {
    long value = 0;
    if (!ReadKeyNumber(text, key, &value)) return false;
    *field = static_cast<T>(value);
    mask |= bit;
    return true;
  }
  bool Real(std::string_view key, double* field, uint32_t bit) {
    if (!ReadKeyReal(text, key, field)) return false;
    mask |= bit;
    return true;
  }
  // Five numbers; the field changes only when all five are there.
  bool FiveBytes(std::string_view key, PortBytes* field, uint32_t bit) {
    std::string value;
    if (!ReadKeyText(text, key, &value, kListKeep)) return false;
    std::array<uint32_t, kSensorPorts> numbers{};
    if (ReadUnsignedList(value, numbers) != kSensorPorts) return false;
    for (size_t i = 0; i < numbers.size(); ++i) (*field)[i] = static_cast<uint8_t>(numbers[i] & 0xFF);
    mask |= bit;
    return true;
  }
};

bool Has(std::string_view text, std::string_view literal) { return text.find(literal) != std::string_view::npos; }

bool UsableCalibration(uint8_t value) { return value != 0 && value != 255; }

void ReadAdcPair(Reader& r, const char* slopesKey, const char* offsetsKey, PortBytes* slopes, PortBytes* offsets,
                 uint32_t bit) {
  r.FiveBytes(slopesKey, slopes, 0);
  if (r.FiveBytes(offsetsKey, offsets, 0) && UsableCalibration((*slopes)[0]) && UsableCalibration((*offsets)[0])) {
    r.mask |= bit;
  }
}

// The type line a logger file of the kind may carry: what the writer writes
// for it, and the literals files of earlier versions carry.
bool LoggerTypeMatches(int kind, std::string_view text) {
  if (kind == kKindLg2b) return Has(text, "type=\"Lg2b\"");
  if (kind == kKindFieldHub) return Has(text, "type=\"FieldHub\"");
  if (kind == kKindQrl && Has(text, "type=\"QRL2\"")) return true;
  return Has(text, "type=\"Lg20\"") || Has(text, "type=\"vQ7\"");
}

// The cellular lines are written for every logger too, but the commands go
// only to an Lg20 whose trait word shows the modem: any other logger would
// refuse them, and the restore would end as if settings had been lost.
void ReadCellular(Reader& r, LoggerSettings& s, int kind) {
  const bool modem = kind == kKindLg20 && (s.trait & kTraitValid) != 0 && (s.trait & kTraitCellular) != 0;
  if (!modem) return;
  r.Text("apn", &s.apn, kApnKeep, kBitApn);
  r.Text("user", &s.apnUser, kApnKeep, kBitApnUser);
  r.Text("passwd", &s.apnPassword, kApnKeep, kBitApnPassword);
  r.Text("host", &s.host, kListKeep, kBitHost);
  r.Text("authkey", &s.authKey, kAuthKeyKeep, kBitAuthKey);
  r.Number("ipport", &s.ipPort, kBitIpPort);
}

// The radio lines are written for every logger; a logger whose trait says it
// has no radio gets neither a channel nor a radio trait from them. A trait word
// that is not valid (the capture did not read it) is not one to write back.
void ReadLg20Family(Reader& r, LoggerSettings& s, int kind) {
  r.Text("deviceid", &s.deviceId, kNameKeep, kBitDeviceId);
  r.Text("name", &s.deviceName, kNameKeep, kBitName);
  r.Text("sn", &s.serialNumber, kSerialKeep, kBitSerialNumber);
  const bool traitValid = r.Number("trait", &s.trait, kBitTrait) && (s.trait & kTraitValid) != 0;
  if (!traitValid) r.mask &= ~kBitTrait;
  const bool noRadio = traitValid && (s.trait & kTraitRadio) == 0;
  r.Number("wake", &s.wake, kBitWake);
  r.Number("padc", &s.padc, kBitPadc);
  r.FiveBytes("ports", &s.ports, kBitPorts);
  r.FiveBytes("depth", &s.depths, kBitDepths);
  ReadAdcPair(r, "ADC15 slopes", "ADC15 offsets", &s.adc15Slopes, &s.adc15Offsets, kBitAdc15);
  ReadAdcPair(r, "ADC30 slopes", "ADC30 offsets", &s.adc30Slopes, &s.adc30Offsets, kBitAdc30);
  r.Text("VornBuild", &s.vornBuild, kShortKeep, kBitVornBuild);
  r.Number("data", &s.dataParameter, kBitDataParameter);
  r.Number("rmode", &s.rmode, kBitRmode);
  if (!noRadio) {
    r.Number("rch", &s.radioChannel, kBitRadioChannel);
    if (r.Number("rsch", &s.radioSubChannel, kBitRadioSubChannel | kBitTrait)) s.trait |= kRadioTraitBits;
  }
  r.Text("site", &s.site, kSiteKeep, kBitSite);
  r.Real("lat", &s.latitude, kBitLatitude);
  r.Real("lon", &s.longitude, kBitLongitude);
  r.Number("timezone", &s.timeZone, kBitTimeZone);
  r.Number("report", &s.report, kBitReport);
  ReadCellular(r, s, kind);
  s.capabilities = kLg20Capabilities;
}

// Files of earlier versions list the ports as five "Port number" keys; the
// writer's "ports" line stands in when none of them is there.
void ReadLg2bPorts(Reader& r, LoggerSettings& s) {
  long number = 0;
  bool anyKey = false;
  for (int port = 1; port <= kSensorPorts; ++port) {
    long value = 0;
    if (ReadKeyNumber(r.text, Format("Port number=\"%d\" value", port), &value)) {
      number = value;
      anyKey = true;
    }
    s.ports[static_cast<size_t>(port - 1)] = static_cast<uint8_t>(number & 0xFF);
  }
  if (!anyKey) {
    r.FiveBytes("ports", &s.ports, kBitPorts);
  } else if (number > 0) {
    r.mask |= kBitPorts;
  }
}

void ReadLg2b(Reader& r, LoggerSettings& s) {
  r.Text("name", &s.deviceName, kNameKeep, kBitName);
  r.Text("sn", &s.serialNumber, kSerialKeep, kBitSerialNumber);
  r.Number("wake", &s.wake, kBitWake);
  r.Number("padc", &s.padc, kBitPadc);
  ReadLg2bPorts(r, s);
  r.Text("VornBuild", &s.vornBuild, kShortKeep, kBitVornBuild);
  s.capabilities = kLg2bCapabilities;
}

void ReadFieldHub(Reader& r, LoggerSettings& s) {
  r.Text("name", &s.deviceName, kNameKeep, kBitName);
  r.Text("sn", &s.serialNumber, kSerialKeep, kBitSerialNumber);
  r.Number("rch", &s.radioChannel, kBitRadioChannel);
  if (r.Number("rsch", &s.radioSubChannel, kBitRadioSubChannel | kBitTrait)) s.trait = kRadioTraitBits;
  r.Number("data", &s.dataParameter, kBitDataParameter);
  s.capabilities = kFieldHubCapabilities;
}

int ReadLoggerFile(InstrumentLink& link, std::string_view text) {
  if (!LoggerTypeMatches(link.kind, text)) return kLinkNotUnderstood;
  Reader r{text};
  LoggerSettings& s = link.settings;
  if (link.kind == kKindLg2b) {
    ReadLg2b(r, s);
  } else if (link.kind == kKindFieldHub) {
    ReadFieldHub(r, s);
  } else {
    ReadLg20Family(r, s, link.kind);
  }
  // Files of earlier versions do not say what was captured: every line they hold counts.
  long captured = 0;
  if (ReadKeyNumber(text, "captured", &captured)) r.mask &= static_cast<uint32_t>(captured);
  link.savedMask = r.mask;
  return kLinkOk;
}

// The type line an instrument file of the kind carries. Kind 9 files are
// written with the tag "LX"; earlier files carry "RQ".
bool InstrumentTypeMatches(int kind, std::string_view text) {
  if (kind == kKindLx && Has(text, "type=\"RQ\"")) return true;
  return Has(text, "type=\"" + std::string(DeviceTypeTag(kind)) + "\"");
}

void ReadRecordSets(InstrumentLink& link, Reader& r, bool withEqn) {
  GetRecords_File(link, *link.userRecords, kRecordsUser, r.text);
  if (!link.userRecords->records.empty()) r.mask |= kInstUserRecords;
  if (!withEqn) return;
  GetRecords_File(link, *link.eqnRecords, kRecordsEqn, r.text);
  if (!link.eqnRecords->records.empty()) r.mask |= kInstEqnRecords;
}

void ReadHadjTau(Reader& r, InstrumentSettings& s) {
  long tau = 0;
  const bool hasTau = ReadKeyNumber(r.text, "tau", &tau);
  if (ReadKeyText(r.text, "hadj", &s.hadj, kLongKeep) && hasTau) {
    s.tau = tau;
    r.mask |= kInstHadjTau;
  }
}

void ReadPGroupSlots(Reader& r, InstrumentSettings& s) {
  for (int i = 0; i < kValueSlots; ++i) {
    if (r.Text(Format("cal%02d", i + 1), &s.slots[static_cast<size_t>(i)], kLongKeep, 0)) r.mask |= kInstPGroup;
  }
}

void ReadFxSlots(Reader& r, InstrumentSettings& s) {
  for (int i = 0; i < kFxCalSlotsMax; ++i) {
    if (!r.Text(Format("cal%02d", i), &s.slots[static_cast<size_t>(i)], kLongKeep, kInstCalValues)) break;
  }
}

// Files of earlier versions carry only the serial number and adccal of these.
void ReadUlmo(Reader& r, InstrumentSettings& s) {
  r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
  r.Text("adccal", &s.adccal, kListKeep, kInstAdcCal);
  r.Text("wtoffset", &s.wtoffset, kListKeep, kInstWtOffset);
  r.Text("p1offset", &s.p1offset, kListKeep, kInstP1Offset);
  r.Text("auto", &s.autosec, kListKeep, kInstAuto);
  r.Text("wtfactory", &s.wtfactory, kListKeep, kInstWtFactory);
  r.Text("sys", &s.sys, kLongKeep, kInstSys);
}

// The M2 keeps its serial number too (its capture reads it and the config checksum covers it).
void ReadMq2(InstrumentLink& link, Reader& r, InstrumentSettings& s) {
  r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
  r.Text("config", &s.config, kConfigKeep, kInstConfig);
  r.Text("tadj", &s.tadj, kLongKeep, kInstTadj);
  ReadHadjTau(r, s);
  r.Text("uvals", &s.uvals, kLongKeep, kInstUvals);
  ReadRecordSets(link, r, true);
  if (link.kind != kKindMq2) return;
  long type = 0;
  s.sensorTypeHeld = ReadKeyNumber(r.text, "sensor", &type);
  if (s.sensorTypeHeld) s.sensorType = type;
}

// An LX40 from version 2.00 on also keeps serial number, contrast and config;
// the contrast line is written for every kind, so it counts only in a file that
// carries the other two.
void ReadLx40(Reader& r, InstrumentSettings& s) {
  r.Text("location", &s.location, kLongKeep, kInstLocation);
  r.Text("chai", &s.chai, kShortKeep, kInstChai);
  r.Text("extCal", &s.ext, kShortKeep, kInstExt);
  r.Text("adccal", &s.adccal, kListKeep, kInstAdcCal);
  const bool sn = r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
  const bool config = r.Text("config", &s.config, kConfigKeep, kInstConfig);
  if (sn || config) r.Number("contr", &s.contrast, kInstContrast);
}

bool ReadInstrumentKeys(InstrumentLink& link, Reader& r, InstrumentSettings& s) {
  switch (link.kind) {
    case 6:
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      r.Number("lang", &s.language, kInstLanguage);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Text("fvals", &s.fvals, kLongKeep, kInstFvals);
      r.Text("uvals", &s.uvals, kLongKeep, kInstUvals);
      ReadHadjTau(r, s);
      return true;
    case 9:
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Number("units", &s.units, kInstUnits);
      r.Text("fvals", &s.fvals, kLongKeep, kInstFvals);
      return true;
    case 7:
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Number("units", &s.units, kInstUnits);
      r.Text("adc", &s.adc, kShortKeep, kInstAdc);
      r.Text("sample", &s.sample, kLongKeep, kInstSample);
      return true;
    case kKindUlmo: ReadUlmo(r, s); return true;
    case 12:
      r.Text("adccal", &s.adccal, kListKeep, kInstAdcCal);
      r.Text("config", &s.config, kConfigKeep, kInstConfig);
      return true;
    case 17:
    case 20:
      r.Text("config", &s.config, kConfigKeep, kInstConfig);
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      return true;
    case kKindFx:
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      r.Text("name", &s.name, kNameKeep, kInstName);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Text("adc15", &s.adc15, kLongKeep, kInstAdc15);
      r.Text("adc30", &s.adc30, kLongKeep, kInstAdc30);
      ReadFxSlots(r, s);
      return true;
    case 13:
      r.Text("name", &s.name, kNameKeep, kInstName);
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      return true;
    case kKindLx40: ReadLx40(r, s); return true;
    case 16:
      r.Text("config", &s.config, kConfigKeep, kInstConfig);
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      r.Text("tadj", &s.tadj, kLongKeep, kInstTadj);
      r.Text("fvals", &s.fvals, kLongKeep, kInstPForm);
      r.Text("uvals", &s.uvals, kLongKeep, kInstPForm);
      r.Text("calprefs", &s.calprefs, kLongKeep, kInstPForm);
      ReadRecordSets(link, r, false);
      return true;
    case 15: ReadMq2(link, r, s); return true;
    case kKindMq2v:
      ReadMq2(link, r, s);
      ReadPGroupSlots(r, s);
      return true;
    case 23:
      r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber);
      r.Text("usage", &s.usage, kLongKeep, kInstUsage);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Text("tadj", &s.tadj, kLongKeep, kInstTadj);
      r.Text("fvals", &s.fvals, kLongKeep, kInstPForm);
      r.Text("FXUnits", &s.unitsText, kLongKeep, kInstUnitsText);
      return true;
    case 24: r.Text("sn", &s.serialNumber, kSerialKeep, kInstSerialNumber); return true;
    default: return false;
  }
}

int ReadInstrumentFile(InstrumentLink& link, std::string_view text) {
  if (!InstrumentTypeMatches(link.kind, text)) return kLinkNotUnderstood;
  InstrumentSettings& s = *link.info;
  Reader r{text};
  if (!ReadInstrumentKeys(link, r, s)) return kLinkNotUnderstood;
  s.kind = link.kind;
  s.present |= r.mask;
  link.savedMask = s.present;
  return kLinkOk;
}

int ReadSensorFile(InstrumentLink& link, std::string_view text) {
  if (!Has(text, "type=\"Digital Sensor\"")) return kLinkNotUnderstood;
  SDISensor& sensor = *link.sdi;
  long address = 0;
  ReadKeyNumber(text, "addressInt", &address);
  sensor.address = static_cast<char>(address & 0xFF);
  ReadKeyText(text, "calibration", &sensor.calibrationX4, kSdiCalibrationKeep);
  ReadKeyText(text, "calibration2", &sensor.calibrationXa, kSdiCalibrationKeep);
  ReadKeyText(text, "sn", &sensor.serialNumber, kSdiSerialKeep);
  long type = 0;
  if (ReadKeyNumber(text, "sensorType", &type)) sensor.sensorType = static_cast<uint8_t>(type & 0xFF);
  sensor.xoPresent = ReadKeyText(text, "calibration3", &sensor.calibrationXO, kSdiCalibrationKeep);
  return kLinkOk;
}

int ReadErrorCode(int error) {
  switch (error) {
    case kFileMissing: return kSettingsFileMissing;
    case kFileDenied: return kSettingsFileDenied;
    case kFileBadHandle: return kSettingsFileBadHandle;
    case kFileTooLarge: return kLinkNoMemory;
    default: return -error;
  }
}

}  // namespace

int ReadInfoFile(InstrumentLink& link, const std::string& path) {
  if (path.empty()) return kLinkMissing;
  std::string text;
  const FileOutcome outcome = ReadWholeFile(path, &text, kSettingsFileMaxBytes);
  if (outcome.error != 0) return ReadErrorCode(outcome.error);
  return ReadInfoText(link, text);
}

int ReadInfoText(InstrumentLink& link, std::string_view text) {
  const int kind = link.kind;
  if (IsKindOneOf(kind, {0, 1, 5})) return kLinkUnsupported;
  if (IsLoggerKind(kind)) return ReadLoggerFile(link, text);
  if (kind == kDeviceTypeDigitalSensor) return ReadSensorFile(link, text);
  if (kind >= 6 && kind <= kDeviceTypeLast) return ReadInstrumentFile(link, text);
  return kLinkUnsupported;
}
