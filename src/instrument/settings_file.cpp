// Writing the held settings to the settings file in the layout of the device's
// family (loggers, instruments, digital sensors) and reading a file back.
#include "instrument/settings_file.h"

#include <array>
#include <initializer_list>

#include "bsl/device_types.h"
#include "instrument/instrument_link.h"
#include "instrument/instrument_settings.h"
#include "instrument/settings_file_platform.h"
#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr const char* kTag = "Vorn_protocol";
constexpr int kFileCalSlotsMax = 20;
constexpr size_t kSdiCalibrationKeep = 513;
constexpr size_t kSdiSerialKeep = 32;
constexpr uint32_t kLg20Capabilities = 0x707FFF7;
constexpr uint32_t kLg2bCapabilities = 0x474BE;
constexpr uint32_t kFieldHubCapabilities = 0x24583;
constexpr uint32_t kRadioTraitBits = kTraitValid | kTraitRadio;
constexpr int kKindLg2b = 2;
constexpr int kKindFieldHub = 4;
constexpr int kKindQrl = 19;
constexpr int kKindLx40 = 8;
constexpr int kKindLx = 9;
constexpr int kKindFx = 14;
constexpr int kKindMq2v = 22;

bool IsOneOf(int kind, std::initializer_list<int> kinds) {
  for (int k : kinds) {
    if (k == kind) return true;
  }
  return false;
}

bool IsLoggerKind(int kind) { return IsOneOf(kind, {2, 3, 4, 18, 19}); }

// ---- writing ----

// A value between double quotes; a quote inside it is doubled so the reader gets it back whole.
std::string Quoted(std::string_view value) {
  std::string text = "\"";
  for (char c : value) {
    text.push_back(c);
    if (c == '"') text.push_back('"');
  }
  text.push_back('"');
  return text;
}

void Line(std::string& out, std::string_view key, std::string_view value) {
  out.append(key).append("=").append(Quoted(value)).append("\r\n");
}

std::string Bytes(const PortBytes& values) {
  return Format("%u %u %u %u %u", values[0], values[1], values[2], values[3], values[4]);
}

void LoggerLayout(std::string& out, const LoggerSettings& s) {
  Line(out, "type", s.className);
  Line(out, "deviceid", s.deviceId);
  Line(out, "name", s.deviceName);
  Line(out, "sn", s.serialNumber);
  Line(out, "trait", Format("%d", static_cast<int>(s.trait)));
  Line(out, "wake", Format("%d", s.wake));
  Line(out, "padc", Format("%d", s.padc));
  Line(out, "ports", Bytes(s.ports));
  Line(out, "depth", Bytes(s.depths));
  if ((s.present & kBitAdc15) != 0) {
    Line(out, "ADC15 slopes", Bytes(s.adc15Slopes));
    Line(out, "ADC15 offsets", Bytes(s.adc15Offsets));
  }
  if ((s.present & kBitAdc30) != 0) {
    Line(out, "ADC30 slopes", Bytes(s.adc30Slopes));
    Line(out, "ADC30 offsets", Bytes(s.adc30Offsets));
  }
  Line(out, "rmode", Format("%d", s.rmode));
  Line(out, "rch", Format("%d", s.radioChannel));
  Line(out, "rsch", Format("%d", s.radioSubChannel));
  Line(out, "data", Format("%d", s.dataParameter));
  Line(out, "site", s.site);
  Line(out, "lat", Format("%+.5f", s.latitude));
  Line(out, "lon", Format("%+.5f", s.longitude));
  Line(out, "timezone", Format("%d", s.timeZone));
  Line(out, "report", Format("%u", s.report));
  Line(out, "apn", s.apn);
  Line(out, "user", s.apnUser);
  Line(out, "passwd", s.apnPassword);
  Line(out, "host", s.host);
  Line(out, "authkey", s.authKey);
  Line(out, "ipport", Format("%u", s.ipPort));
  if ((s.present & kBitVornBuild) != 0) Line(out, "VornBuild", s.vornBuild);
}

// Kind 22 numbers its 20 slots from 01 (slot i as i + 1), empty ones included,
// and its reader uses the same numbering; kind 14 numbers from 00 and stops at
// the first empty slot.
void CalibrationLines(std::string& out, const InstrumentSettings& s, int kind) {
  if (kind == kKindMq2v) {
    for (int i = 0; i < kValueSlots; ++i) Line(out, Format("cal%02d", i + 1), s.slots[static_cast<size_t>(i)]);
  } else if (kind == kKindFx) {
    for (int i = 0; i < kFileCalSlotsMax && !s.slots[static_cast<size_t>(i)].empty(); ++i) {
      Line(out, Format("cal%02d", i), s.slots[static_cast<size_t>(i)]);
    }
  }
}

void RecordLines(std::string& out, const RecordSet& set, const char* name) {
  for (size_t i = 0; i < set.records.size() && !set.records[i].text.empty(); ++i) {
    Line(out, Format("%s%02d", name, static_cast<int>(i)), set.records[i].text);
  }
}

void InstrumentLayout(std::string& out, const InstrumentLink& link) {
  const InstrumentSettings& s = *link.info;
  Line(out, "type", DeviceTypeTag(link.kind));
  Line(out, "name", s.name);
  Line(out, "sn", s.serialNumber);
  Line(out, "lang", Format("%ld", s.language));
  Line(out, "VornBuild", "");
  Line(out, "contr", Format("%ld", s.contrast));
  Line(out, "config", s.config);
  Line(out, "fvals", s.fvals);
  Line(out, "uvals", s.uvals);
  Line(out, "units", Format("%ld", s.units));
  Line(out, "adc", s.adc);
  Line(out, "adccal", s.adccal);
  Line(out, "calprefs", s.calprefs);
  Line(out, "FXUnits", s.unitsText);
  Line(out, "sample", s.sample);
  Line(out, "usage", s.usage);
  Line(out, "adc15", s.adc15);
  Line(out, "adc30", s.adc30);
  Line(out, "location", s.location);
  Line(out, "chai", s.chai);
  Line(out, "extCal", s.ext);
  Line(out, "tadj", s.tadj);
  Line(out, "tau", Format("%ld", s.tau));
  Line(out, "hadj", s.hadj);
  CalibrationLines(out, s, link.kind);
  RecordLines(out, *link.userRecords, "user");
  RecordLines(out, *link.eqnRecords, "eqn");
}

// The sensor type and the third calibration follow the seven lines of the
// layout: without them a restore from the file would not know which
// calibrations the sensor takes back.
void SensorLayout(std::string& out, const SDISensor& sensor) {
  Line(out, "type", "Digital Sensor");
  Line(out, "identity", sensor.identity);
  Line(out, "address", std::string(1, sensor.address));
  Line(out, "addressInt", Format("%i", static_cast<int>(sensor.address)));
  Line(out, "calibration", sensor.calibrationX4);
  Line(out, "calibration2", sensor.calibrationXa);
  Line(out, "sn", sensor.serialNumber);
  Line(out, "sensorType", Format("%u", static_cast<unsigned>(sensor.sensorType)));
  if (sensor.xoPresent) Line(out, "calibration3", sensor.calibrationXO);
}

// ---- reading ----

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
    if (!ReadKeyText(text, key, &value, 64)) return false;
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

// The radio lines are written for every logger; a logger whose trait says it
// has no radio gets neither a channel nor a radio trait from them.
void ReadLg20Family(Reader& r, LoggerSettings& s) {
  r.Text("deviceid", &s.deviceId, 9, kBitDeviceId);
  r.Text("name", &s.deviceName, 9, kBitName);
  r.Text("sn", &s.serialNumber, 16, kBitSerialNumber);
  const bool noRadio = r.Number("trait", &s.trait, kBitTrait) && (s.trait & kTraitValid) != 0 &&
                       (s.trait & kTraitRadio) == 0;
  r.Number("wake", &s.wake, kBitWake);
  r.Number("padc", &s.padc, kBitPadc);
  r.FiveBytes("ports", &s.ports, kBitPorts);
  r.FiveBytes("depth", &s.depths, kBitDepths);
  ReadAdcPair(r, "ADC15 slopes", "ADC15 offsets", &s.adc15Slopes, &s.adc15Offsets, kBitAdc15);
  ReadAdcPair(r, "ADC30 slopes", "ADC30 offsets", &s.adc30Slopes, &s.adc30Offsets, kBitAdc30);
  r.Text("VornBuild", &s.vornBuild, 17, kBitVornBuild);
  r.Number("data", &s.dataParameter, kBitDataParameter);
  r.Number("rmode", &s.rmode, kBitRmode);
  if (!noRadio) {
    r.Number("rch", &s.radioChannel, kBitRadioChannel);
    if (r.Number("rsch", &s.radioSubChannel, kBitRadioSubChannel | kBitTrait)) s.trait |= kRadioTraitBits;
  }
  r.Text("site", &s.site, 26, kBitSite);
  r.Real("lat", &s.latitude, kBitLatitude);
  r.Real("lon", &s.longitude, kBitLongitude);
  r.Number("timezone", &s.timeZone, kBitTimeZone);
  r.Number("report", &s.report, kBitReport);
  r.Text("apn", &s.apn, 36, kBitApn);
  r.Text("user", &s.apnUser, 36, kBitApnUser);
  r.Text("passwd", &s.apnPassword, 36, kBitApnPassword);
  r.Text("host", &s.host, 64, kBitHost);
  r.Text("authkey", &s.authKey, 33, kBitAuthKey);
  r.Number("ipport", &s.ipPort, kBitIpPort);
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
  r.Text("name", &s.deviceName, 9, kBitName);
  r.Text("sn", &s.serialNumber, 16, kBitSerialNumber);
  r.Number("wake", &s.wake, kBitWake);
  r.Number("padc", &s.padc, kBitPadc);
  ReadLg2bPorts(r, s);
  r.Text("VornBuild", &s.vornBuild, 17, kBitVornBuild);
  s.capabilities = kLg2bCapabilities;
}

void ReadFieldHub(Reader& r, LoggerSettings& s) {
  r.Text("name", &s.deviceName, 9, kBitName);
  r.Text("sn", &s.serialNumber, 16, kBitSerialNumber);
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
    ReadLg20Family(r, s);
  }
  link.savedMask = r.mask;
  return kLinkOk;
}

// The type line an instrument file of the kind carries. Kind 9 files are
// written with the tag "LX"; earlier files carry "RQ".
bool InstrumentTypeMatches(int kind, std::string_view text) {
  if (kind == kKindLx && Has(text, "type=\"RQ\"")) return true;
  return Has(text, "type=" + Quoted(DeviceTypeTag(kind)));
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
  if (ReadKeyText(r.text, "hadj", &s.hadj, 257) && hasTau) {
    s.tau = tau;
    r.mask |= kInstHadjTau;
  }
}

void ReadPGroupSlots(Reader& r, InstrumentSettings& s) {
  for (int i = 0; i < kValueSlots; ++i) {
    if (r.Text(Format("cal%02d", i + 1), &s.slots[static_cast<size_t>(i)], 257, 0)) r.mask |= kInstPGroup;
  }
}

void ReadFxSlots(Reader& r, InstrumentSettings& s) {
  for (int i = 0; i < kFileCalSlotsMax; ++i) {
    if (!r.Text(Format("cal%02d", i), &s.slots[static_cast<size_t>(i)], 257, kInstCalValues)) break;
  }
}

// The M2 keeps its serial number too (its capture reads it and the config checksum covers it).
void ReadMq2(InstrumentLink& link, Reader& r, InstrumentSettings& s) {
  r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
  r.Text("config", &s.config, 65, kInstConfig);
  r.Text("tadj", &s.tadj, 257, kInstTadj);
  ReadHadjTau(r, s);
  r.Text("uvals", &s.uvals, 257, kInstUvals);
  ReadRecordSets(link, r, true);
}

// An LX40 from version 2.00 on also keeps serial number, contrast and config;
// the contrast line is written for every kind, so it counts only in a file that
// carries the other two.
void ReadLx40(Reader& r, InstrumentSettings& s) {
  r.Text("location", &s.location, 257, kInstLocation);
  r.Text("chai", &s.chai, 17, kInstChai);
  r.Text("extCal", &s.ext, 17, kInstExt);
  r.Text("adccal", &s.adccal, 64, kInstAdcCal);
  const bool sn = r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
  const bool config = r.Text("config", &s.config, 65, kInstConfig);
  if (sn || config) r.Number("contr", &s.contrast, kInstContrast);
}

bool ReadInstrumentKeys(InstrumentLink& link, Reader& r, InstrumentSettings& s) {
  switch (link.kind) {
    case 6:
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      r.Number("lang", &s.language, kInstLanguage);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Text("fvals", &s.fvals, 257, kInstFvals);
      r.Text("uvals", &s.uvals, 257, kInstUvals);
      ReadHadjTau(r, s);
      return true;
    case 9:
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Number("units", &s.units, kInstUnits);
      r.Text("fvals", &s.fvals, 257, kInstFvals);
      return true;
    case 7:
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Number("units", &s.units, kInstUnits);
      r.Text("adc", &s.adc, 17, kInstAdc);
      r.Text("sample", &s.sample, 257, kInstSample);
      return true;
    case 11:
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      r.Text("adccal", &s.adccal, 64, kInstAdcCal);
      return true;
    case 12:
      r.Text("adccal", &s.adccal, 64, kInstAdcCal);
      r.Text("config", &s.config, 65, kInstConfig);
      return true;
    case 17:
    case 20:
      r.Text("config", &s.config, 65, kInstConfig);
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      return true;
    case kKindFx:
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      r.Text("name", &s.name, 9, kInstName);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Text("adc15", &s.adc15, 257, kInstAdc15);
      r.Text("adc30", &s.adc30, 257, kInstAdc30);
      ReadFxSlots(r, s);
      return true;
    case 13:
      r.Text("name", &s.name, 9, kInstName);
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      return true;
    case kKindLx40: ReadLx40(r, s); return true;
    case 16:
      r.Text("config", &s.config, 65, kInstConfig);
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      r.Text("tadj", &s.tadj, 257, kInstTadj);
      r.Text("fvals", &s.fvals, 257, kInstPForm);
      r.Text("uvals", &s.uvals, 257, kInstPForm);
      r.Text("calprefs", &s.calprefs, 257, kInstPForm);
      ReadRecordSets(link, r, false);
      return true;
    case 15: ReadMq2(link, r, s); return true;
    case kKindMq2v:
      ReadMq2(link, r, s);
      ReadPGroupSlots(r, s);
      return true;
    case 23:
      r.Text("sn", &s.serialNumber, 16, kInstSerialNumber);
      r.Text("usage", &s.usage, 257, kInstUsage);
      r.Number("contr", &s.contrast, kInstContrast);
      r.Text("tadj", &s.tadj, 257, kInstTadj);
      r.Text("fvals", &s.fvals, 257, kInstPForm);
      r.Text("FXUnits", &s.unitsText, 257, kInstUnitsText);
      return true;
    case 24: r.Text("sn", &s.serialNumber, 16, kInstSerialNumber); return true;
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
  ReadKeyText(text, "sn", &sensor.serialNumber, kSdiSerialKeep + 1);
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

std::string SettingsFileText(const InstrumentLink& link) {
  std::string out(kSettingsFileHeader);
  if (IsLoggerKind(link.kind)) {
    LoggerLayout(out, link.settings);
  } else if (link.kind == kDeviceTypeDigitalSensor) {
    SensorLayout(out, *link.sdi);
  } else {
    InstrumentLayout(out, link);
  }
  return out;
}

int WriteInfoFile(InstrumentLink& link, const std::string& path) {
  if (path.empty()) return kLinkMissing;
  const FileOutcome outcome = ReplaceFile(path, SettingsFileText(link));
  if (outcome.error == 0) return kLinkOk;
  if (outcome.failedAt == FileStage::kOpen) {
    print_message(link.log, kLogFailure, kTag, "WriteInfoFile got error %d trying to open settings file %s",
                  outcome.error, path.c_str());
  } else {
    print_message(link.log, kLogFailure, kTag, "WriteInfoFile got error %d trying to write settings file %s",
                  outcome.error, path.c_str());
  }
  return -outcome.error;
}

int ReadInfoFile(InstrumentLink& link, const std::string& path) {
  if (path.empty()) return kLinkMissing;
  std::string text;
  const FileOutcome outcome = ReadWholeFile(path, &text, kSettingsFileMaxBytes);
  if (outcome.error != 0) return ReadErrorCode(outcome.error);
  const int kind = link.kind;
  if (IsOneOf(kind, {0, 1, 5})) return kLinkUnsupported;
  if (IsLoggerKind(kind)) return ReadLoggerFile(link, text);
  if (kind == kDeviceTypeDigitalSensor) return ReadSensorFile(link, text);
  if (kind >= 6 && kind <= kDeviceTypeLast) return ReadInstrumentFile(link, text);
  return kLinkUnsupported;
}
