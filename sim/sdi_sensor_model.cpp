#include "sdi_sensor_model.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "bench_unit.h"
#include "ti_text.h"

namespace {

constexpr std::string_view kAnswerEnd = "\r\n";
constexpr std::string_view kSdiVersion = "13";
constexpr std::string_view kVendor = "TESSALY ";  // eight characters, as SDI-12 wants
constexpr size_t kModelWidth = 6;
constexpr uint32_t kVersionModulus = 1000;  // the identity carries three digits
constexpr uint32_t kSensorLoaderVersion = 110;
constexpr size_t kMaxCalibration = 512;
constexpr size_t kMaxSerial = 32;
constexpr size_t kMaxRecordedCommands = 4096;
constexpr uint32_t kResetVector = kVectorTable + 2 * (kVectorCount - 1);
constexpr uint16_t kErasedWord = 0xFFFF;
constexpr unsigned kLargestType = 254;
// What the firmware writes into an erased INFO memory when it starts with its defaults.
constexpr std::string_view kFreshSettingsMark = "SENSOR DEFAULTS";
// The SDI-12 addresses, in the order the units of a bench take them (unit 1 at '1').
constexpr std::string_view kAddresses = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
enum UnitSalt : uint32_t { kX4Salt = 0, kXaSalt = 100, kXOSalt = 200 };

constexpr ImageRange kLayoutCImage[] = {{0x8000, 0x1000}, {0x10000, 0x800}};
constexpr ImageRange kLayoutAImage[] = {{0x4000, 0x1000}};
constexpr ImageRange kLayoutBImage[] = {{0x8000, 0x1000}};

const SensorKind kKinds[] = {
    {']', "SKYRA61", "SKY61", 140, SensorLayoutC, kLayoutCImage, true, true, "0.0012 1.0034 -0.52 25.0",
     "1 1.02 0.98 1.00 1.01", "0 0 0.25 0.5", "S61-004211"},
    {'z', "K7W", "K7W", 360, Msp16FlashLayout, kLayoutAImage, true, false, "0.98 -1 1.02 -1 0.5 -1",
     "1 1.40 2.00 2.50 2.99", "", "K7W-118734"},
    {'w', "HB7", "HB7", 355, SensorLayoutB, kLayoutBImage, true, false, "0.0 1.0 0.5", "1 1.47 2.04 2.57 2.99", "",
     "HB7-20931"},
    {'^', "PL3", "PL3", 120, SensorLayoutB, kLayoutBImage, false, false, "0.2", "", "", "PL3-7702"},
    {'u', "DG7", "DG7", 335, SensorLayoutB, kLayoutBImage, false, false, "1 2 3 4 5 6 7 8 9", "", "", "DG7-3310"},
};

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

SensorSettings FactorySettings(const SensorKind& kind) {
  return SensorSettings{
      '0',  std::string(kind.x4), std::string(kind.xa), std::string(kind.xo), std::string(kind.serialNumber), kind.type,
      false};
}

// Unit N of the type on a bench: its own serial number, address and calibrations.
SensorSettings UnitSettings(const SensorKind& kind, uint32_t unit) {
  SensorSettings settings = FactorySettings(kind);
  settings.address = kAddresses[unit % kAddresses.size()];
  settings.serialNumber = UnitSerialNumber(kind.serialNumber, unit);
  settings.x4 = UnitNumbers(kind.x4, unit, kX4Salt);
  settings.xa = UnitNumbers(kind.xa, unit, kXaSalt);
  settings.xo = UnitNumbers(kind.xo, unit, kXOSalt);
  return settings;
}

// What the firmware starts with when its settings memory was erased.
SensorSettings BlankSettings(const SensorKind& kind, bool numericType) {
  SensorSettings blank;
  blank.type = kind.type;
  blank.numericType = numericType;
  return blank;
}

// A number as a sensor with its own number format prints it; nothing for a word that is no number.
std::optional<std::string> Printed(const SensorNumberFormat& format, const std::string& word) {
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  if (word.empty() || end != word.c_str() + word.size() || !std::isfinite(value)) return std::nullopt;
  char text[64];
  if (format.style == SensorNumbers::Rounded) {
    std::snprintf(text, sizeof text, "%+.*f", format.digits, value);
  } else {
    std::snprintf(text, sizeof text, "%.*e", format.digits, value);
  }
  return std::string(text);
}

// A calibration as the sensor keeps it: the text as written, or its numbers in the sensor's own
// format (other words as they came), one space between them.
std::string Stored(const SensorNumberFormat& format, std::string_view text) {
  text = text.substr(0, kMaxCalibration);
  if (format.style == SensorNumbers::AsWritten) return std::string(text);
  std::string kept;
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    at = std::min(text.find_first_of(" \t", start), text.size());
    const std::string word(text.substr(start, at - start));
    const std::optional<std::string> number = Printed(format, word);
    kept += (kept.empty() ? "" : " ") + (number ? *number : word);
  }
  return kept.substr(0, kMaxCalibration);
}

// A command the sensor is slow to take: silent the first times it hears it.
bool HeardTooFewTimes(SdiSensor& sensor, std::string_view body) {
  bool silent = false;
  for (size_t i = 0; i < sensor.late.size(); ++i) {
    const LateCommand& late = sensor.late[i];
    const bool matches = late.prefix ? body.starts_with(late.command) : body == late.command;
    if (!matches) continue;
    if (sensor.lateHeard[i] < late.attempt) ++sensor.lateHeard[i];
    if (sensor.lateHeard[i] < late.attempt) silent = true;
  }
  return silent;
}

void ApplyValue(SensorSettings& settings, const std::string& key, const std::string& value) {
  if (key == "address" && !value.empty()) settings.address = value.front();
  if (key == "sn") settings.serialNumber = value.substr(0, kMaxSerial);
  if (key == "x4") settings.x4 = value.substr(0, kMaxCalibration);
  if (key == "xa") settings.xa = value.substr(0, kMaxCalibration);
  if (key == "xo") settings.xo = value.substr(0, kMaxCalibration);
}

// Power-on or restart: the vectors and the identity block decide whether the firmware runs.
// A firmware whose check fails still runs and says so to "post".
void SensorStart(SdiSensor& sensor) {
  sensor.identity = CheckFirmwareIdentity(sensor.flash);
  const bool vectorsErased = FlashWord(sensor.flash, kResetVector) == kErasedWord;
  if (sensor.hasLoader && (vectorsErased || !sensor.identity.found)) {
    sensor.mode = SensorMode::Loader;
    LoaderStart(sensor.loader, kLoaderStartBaud);
    return;
  }
  sensor.mode = SensorMode::Firmware;
  if (FlashInfoSegmentErased(sensor.flash)) {
    sensor.settings = BlankSettings(*sensor.kind, sensor.settings.numericType);
    const FlashRegion* info = FlashFirstInfo(sensor.flash);
    FlashPut(sensor.flash, info->start, std::vector<uint8_t>(kFreshSettingsMark.begin(), kFreshSettingsMark.end()));
  }
}

std::string Confirmed(const SdiSensor& sensor) {
  return std::string(1, sensor.settings.address) + "OK" + std::string(kAnswerEnd);
}

std::string Value(const SdiSensor& sensor, std::string_view separator, const std::string& value) {
  return std::string(1, sensor.settings.address) + std::string(separator) + value + std::string(kAnswerEnd);
}

// "X9 v": one character, or a decimal code.
std::optional<std::string> SetType(SdiSensor& sensor, std::string_view value) {
  if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  unsigned code = 0;
  if (AllDigits(value) && value.size() <= 3) {
    std::from_chars(value.data(), value.data() + value.size(), code);
  } else if (value.size() == 1) {
    code = static_cast<unsigned char>(value.front());
  }
  if (code == 0 || code > kLargestType) return SdiSensorRefusal(sensor);
  sensor.settings.type = static_cast<uint8_t>(code);
  return Confirmed(sensor);
}

// The extended commands after "X": reads of one letter, writes of the letter and a text.
std::optional<std::string> Extended(SdiSensor& sensor, std::string_view rest) {
  SensorSettings& s = sensor.settings;
  const std::string text(rest.size() > 1 ? rest.substr(1) : std::string_view());
  if (rest.empty()) return std::nullopt;
  switch (rest.front()) {
    case '4':
      if (rest.size() == 1) return Value(sensor, " ", s.x4);
      break;
    case '5': s.x4 = Stored(sensor.numbers, text); return Confirmed(sensor);
    case 'a':
      if (sensor.kind->hasXa && rest.size() == 1) return Value(sensor, " ", s.xa);
      break;
    case 'b':
      if (!sensor.kind->hasXa) break;
      s.xa = Stored(sensor.numbers, text);
      return Confirmed(sensor);
    case 'O':
      if (!sensor.kind->hasXO) break;
      if (rest.size() == 1) return s.xo.empty() ? SdiSensorRefusal(sensor) : Value(sensor, " ", s.xo);
      s.xo = Stored(sensor.numbers, text);
      return Confirmed(sensor);
    case '#':
      if (rest.size() == 1) return Value(sensor, "", s.serialNumber);
      s.serialNumber = text.substr(0, kMaxSerial);
      return Confirmed(sensor);
    case '8':
      if (rest.size() != 1) break;
      return Value(sensor, "", s.numericType ? std::to_string(s.type) : std::string(1, static_cast<char>(s.type)));
    case '9': return SetType(sensor, rest.substr(1));
    default: break;
  }
  return std::nullopt;
}

std::optional<std::string> ChangeAddress(SdiSensor& sensor, std::string_view rest) {
  if (rest.size() != 1 || !std::isalnum(static_cast<unsigned char>(rest.front()))) return std::nullopt;
  sensor.settings.address = rest.front();
  return std::string(1, sensor.settings.address) + std::string(kAnswerEnd);
}

// "B": the firmware acknowledges and jumps into the resident loader.
std::optional<std::string> StartLoader(SdiSensor& sensor) {
  if (!sensor.hasLoader) return Value(sensor, "", "No BSL");
  std::string answer = Value(sensor, "", "");
  SdiSensorStartLoader(sensor);
  return answer;
}

}  // namespace

FlashLayout SensorLayoutB() {
  return FlashLayout{"SENSOR-B",
                     {
                         {0x1000, 0x10C0, 64, RegionKind::Info},
                         {0x8000, 0xFA00, 512, RegionKind::Main},
                         {0xFA00, 0xFE00, 512, RegionKind::Loader},
                         {0xFE00, 0x10000, 512, RegionKind::Vectors},
                     }};
}

FlashLayout SensorLayoutC() {
  return FlashLayout{"SENSOR-C",
                     {
                         {0x1800, 0x1A00, 128, RegionKind::Info},
                         {0x8000, 0xFA00, 512, RegionKind::Main},
                         {0xFA00, 0xFE00, 512, RegionKind::Loader},
                         {0xFE00, 0x10000, 512, RegionKind::Vectors},
                         {0x10000, 0x88000, 512, RegionKind::Main},
                     }};
}

std::span<const SensorKind> SensorKinds() { return kKinds; }

const SensorKind* FindSensorKind(std::string_view text) {
  unsigned code = 0;
  if (text.size() == 1) {
    code = static_cast<unsigned char>(text.front());
  } else if (AllDigits(text)) {
    std::from_chars(text.data(), text.data() + text.size(), code);
  }
  for (const SensorKind& kind : kKinds) {
    if (kind.type == code || SameText(kind.name, text)) return &kind;
  }
  return nullptr;
}

std::unique_ptr<SdiSensor> MakeSdiSensor(const SensorSetup& setup, FaultPlan* faults,
                                         std::vector<std::string>* faultLog) {
  const SensorKind* kind = &kKinds[0];
  for (const SensorKind& known : kKinds) {
    if (known.type == setup.type) kind = &known;
  }
  auto sensor = std::make_unique<SdiSensor>();
  sensor->kind = kind;
  sensor->flash = MakeFlash(kind->layout());
  sensor->hasLoader = setup.hasLoader;
  const uint32_t version = setup.version ? setup.version : kind->factoryVersion;
  InstallOldFirmware(sensor->flash, std::string(kind->name), version,
                     std::vector<ImageRange>(kind->factoryImage.begin(), kind->factoryImage.end()));
  if (setup.blank) {
    sensor->settings = BlankSettings(*kind, setup.numericType);
  } else {
    sensor->settings = setup.unit != kNoUnit ? UnitSettings(*kind, setup.unit) : FactorySettings(*kind);
  }
  sensor->settings.numericType = setup.numericType;
  for (const auto& [key, value] : setup.values) ApplyValue(sensor->settings, key, value);
  sensor->numbers = setup.numbers;
  for (std::string* calibration : {&sensor->settings.x4, &sensor->settings.xa, &sensor->settings.xo}) {
    *calibration = Stored(sensor->numbers, *calibration);
  }
  sensor->late = setup.late;
  sensor->lateHeard.assign(setup.late.size(), 0);
  sensor->loader.flash = &sensor->flash;
  sensor->loader.faults = faults;
  sensor->loader.faultLog = faultLog;
  sensor->loader.version = kSensorLoaderVersion;
  SensorStart(*sensor);
  if (setup.startInLoader && setup.hasLoader) SdiSensorStartLoader(*sensor);
  return sensor;
}

std::optional<std::string> SdiSensorCommand(SdiSensor& sensor, std::string_view command) {
  if (sensor.commands.size() < kMaxRecordedCommands) sensor.commands.emplace_back(command);
  if (sensor.mode != SensorMode::Firmware || command.empty()) return std::nullopt;
  const char to = command.front();
  if (to != '?' && to != sensor.settings.address) return std::nullopt;
  const std::string_view body = command.substr(1);
  if (body.empty()) return Value(sensor, "", "");
  if (HeardTooFewTimes(sensor, body)) return std::nullopt;
  if (body == "I") return Value(sensor, "", SdiSensorIdentity(sensor));
  if (body == "B") return StartLoader(sensor);
  if (body == "post") return Value(sensor, "", sensor.identity.intact ? "Code Good" : "Code Corrupt");
  if (body.front() == 'A') return ChangeAddress(sensor, body.substr(1));
  if (body.front() == 'X') return Extended(sensor, body.substr(1));
  return std::nullopt;
}

std::string SdiSensorRefusal(const SdiSensor& sensor) { return Value(sensor, "", "ERROR"); }

LoaderAction SdiSensorLoaderByte(SdiSensor& sensor, uint8_t byte, uint32_t baud) {
  if (sensor.mode != SensorMode::Loader) return {};
  LoaderAction action = LoaderReceive(sensor.loader, byte, baud);
  if (action.event == LoaderEvent::VectorsWritten) {
    sensor.vectorsWritten = true;
    ++sensor.restarts;
    SensorStart(sensor);
    sensor.updateFinished = sensor.mode == SensorMode::Firmware;
  }
  return action;
}

void SdiSensorStartLoader(SdiSensor& sensor) {
  uint32_t start = 0, end = 0;
  FlashErase(sensor.flash, kVectorTable, start, end);
  sensor.mode = SensorMode::Loader;
  LoaderStart(sensor.loader, kLoaderStartBaud);
}

const char* SdiSensorModeName(const SdiSensor& sensor) {
  if (sensor.mode == SensorMode::Firmware) return "firmware";
  return sensor.loader.state == LoaderState::Attached ? "loader-attached" : "loader-waiting";
}

std::string SdiSensorIdentity(const SdiSensor& sensor) {
  std::string model(sensor.kind->model.substr(0, kModelWidth));
  model.resize(kModelWidth, ' ');
  char version[8];
  std::snprintf(version, sizeof version, "%03u", static_cast<unsigned>(sensor.identity.version % kVersionModulus));
  return std::string(kSdiVersion) + std::string(kVendor) + model + version;
}

nlohmann::json SdiSensorReport(const SdiSensor& sensor, const std::vector<TiSegment>* image) {
  const SensorSettings& s = sensor.settings;
  nlohmann::json firmware = nullptr;
  if (sensor.identity.found) {
    firmware = {{"address", sensor.identity.address},
                {"tag", sensor.identity.tag},
                {"version", sensor.identity.version},
                {"intact", sensor.identity.intact}};
  }
  nlohmann::json report = {
      {"kind", sensor.kind->name},
      {"type", s.type},
      {"typeCharacter", std::string(1, static_cast<char>(s.type))},
      {"numericType", s.numericType},
      {"address", std::string(1, s.address)},
      {"identity", SdiSensorIdentity(sensor)},
      {"version", sensor.identity.version},
      {"calibrationX4", s.x4},
      {"calibrationXa", s.xa},
      {"calibrationXO", s.xo},
      {"serialNumber", s.serialNumber},
      {"mode", SdiSensorModeName(sensor)},
      {"hasLoader", sensor.hasLoader},
      {"layout", sensor.flash.layout.name},
      {"firmware", firmware},
      {"restarts", sensor.restarts},
      {"vectorsWritten", sensor.vectorsWritten},
      {"updateFinished", sensor.updateFinished},
      {"frames", sensor.loader.frames},
      {"commands", sensor.commands},
  };
  if (image) {
    const ImageComparison comparison = CompareImage(sensor.flash, *image);
    report["imageMatches"] = comparison.matches;
    report["imageBytesChecked"] = comparison.checked;
    report["imageMismatches"] = comparison.mismatches;
  }
  return report;
}
