// Writing the held settings to the settings file in the layout of the device's
// family: loggers, digital sensors, instruments.
#include "instrument/settings_file.h"

#include <utility>

#include "bsl/device_types.h"
#include "instrument/device_kinds.h"
#include "instrument/instrument_link.h"
#include "instrument/instrument_settings.h"
#include "instrument/settings_file_platform.h"
#include "log/platform.h"
#include "logger/link_helpers.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr const char* kTag = "Vorn_protocol";
constexpr int kFxCalSlotsMax = 20;

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

// Every logger line is written, captured or not (a 0 for a wake interval the device did not
// give, a position an older firmware does not know); the setting bits the capture obtained tell
// the reader which lines hold the device's own values.
void CapturedLine(std::string& out, const InstrumentLink& link) {
  if (link.settingsSaved && link.savedMask != 0) Line(out, "captured", Format("%u", link.savedMask));
}

// Kind 22 numbers its slots from 01 (slot i as i + 1) and its reader uses the
// same numbering; a slot that was not read (empty) gets no line, so the restore
// leaves that value on the device alone. Kind 14 numbers from 00 and stops at
// the first empty slot.
void CalibrationLines(std::string& out, const InstrumentSettings& s, int kind) {
  if (kind == kKindMq2v) {
    for (int i = 0; i < kValueSlots; ++i) {
      const std::string& slot = s.slots[static_cast<size_t>(i)];
      if (!slot.empty()) Line(out, Format("cal%02d", i + 1), slot);
    }
  } else if (kind == kKindFx) {
    for (int i = 0; i < kFxCalSlotsMax && !s.slots[static_cast<size_t>(i)].empty(); ++i) {
      Line(out, Format("cal%02d", i), s.slots[static_cast<size_t>(i)]);
    }
  }
}

// Captured values the 24 lines have no place for (the ULMO's offsets, factors
// and system text, the M2's sensor type): a line each, only when captured, so
// files without them read as before.
void CapturedOnlyLines(std::string& out, const InstrumentSettings& s) {
  const std::pair<uint32_t, std::pair<const char*, const std::string*>> texts[] = {
      {kInstWtOffset, {"wtoffset", &s.wtoffset}},   {kInstP1Offset, {"p1offset", &s.p1offset}},
      {kInstAuto, {"auto", &s.autosec}},            {kInstWtFactory, {"wtfactory", &s.wtfactory}},
      {kInstSys, {"sys", &s.sys}},
  };
  for (const auto& [bit, line] : texts) {
    if ((s.present & bit) != 0) Line(out, line.first, *line.second);
  }
  if (s.sensorTypeHeld) Line(out, "sensor", Format("%ld", s.sensorType));
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
  CapturedOnlyLines(out, s);
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

}  // namespace

std::string SettingsFileText(const InstrumentLink& link) {
  std::string out(kSettingsFileHeader);
  if (IsLoggerKind(link.kind)) {
    LoggerLayout(out, link.settings);
    CapturedLine(out, link);
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
                  outcome.error, ShownPath(path).c_str());
  } else {
    print_message(link.log, kLogFailure, kTag, "WriteInfoFile got error %d trying to write settings file %s",
                  outcome.error, ShownPath(path).c_str());
  }
  return -outcome.error;
}
