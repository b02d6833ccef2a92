#include "logger_model.h"

#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "bench_unit.h"
#include "device.h"
#include "device_models.h"
#include "logger_device.h"

namespace {

constexpr std::string_view kEntryWord = "ZEPH";  // the loader's boot word, the same on every device
constexpr size_t kMaxCommandLog = 5000;
constexpr size_t kNameMax = 8;
constexpr uint32_t kFactoryRecords = 1200;
constexpr uint32_t kFactoryResets = 4;
constexpr int64_t kFactoryClockOffset = -93;  // a clock that runs late until a host sets it
constexpr uint8_t kSettingsMark[] = {'L', 'O', 'G', 'S', 'E', 'T', '0', '1'};
constexpr int32_t kDefaultWake = 15;
constexpr uint32_t kUncalibrated = 255;  // a calibration value the factory never wrote

// A unit on a bench (--unit): its name is the factory name's stem and the unit's number, its site
// one of these with the number; it stands within half a degree north and west of 46 N 123.2 W
// (in ten-thousandths of a degree, so its position reads back as it was written).
constexpr int kUnitNameDigits = 3;
constexpr uint32_t kUnitDeviceIdBase = 2000;
constexpr int kDeviceIdDigits = 7;
constexpr std::string_view kUnitSites[] = {"East Weir",  "Mill Creek",  "South Flume", "Upper Basin",
                                           "Pine Ridge", "Lake Outlet", "Bridge Gauge"};
constexpr long kUnitLatitude = 460000;
constexpr long kUnitLongitude = -1232000;
constexpr long kPositionStep = 5;
constexpr double kPositionScale = 10000;
enum UnitSalt : uint32_t { kLatitudeSalt = 1, kLongitudeSalt, kAdc30Salt = 10, kAdc15Salt = 30 };

constexpr std::string_view kLoggerRadioVersion = "1047";
constexpr std::string_view kHostModemVersion = "10C2";

// The commands each model knows grow with its version the way the host's class table says.
const LoggerKind kLg20{"LG20", true, 0x7737,
                       {{{105, 0x80}, {108, 0x40}, {112, 0x8800}, {114, 0x70000}, {118, 0xC00000}, {119, 0x200000},
                         {200, 0x1000000}, {202, 0x4000000}}},
                       "LG20-A", std::nullopt, false};
const LoggerKind kLg2{"LG2", false, 0x331C, {}, "LG2-A", std::nullopt, false};
const LoggerKind kVq7{"VQ7", true, 0x5E3FFF7, {}, "VQ7-A", RadioChannel{2, 0x7A01}, true};
const LoggerKind kQrl{"QRL", true, 0x7C3F6F7, {}, "QRL-A", std::nullopt, false};
const LoggerKind kFieldHub{"FH", true, 0x4503, {{{109, 0x20000}, {105, 0x80}}}, "HUB-A", RadioChannel{1, 0x0100},
                           false};

const LoggerKind* const kKinds[] = {&kLg20, &kLg2, &kVq7, &kQrl, &kFieldHub};

RadioModem Modem(uint32_t channel, uint32_t subChannel, std::string_view version) {
  RadioModem modem;
  modem.channel = channel;
  modem.subChannel = subChannel;
  modem.version = std::string(version);
  return modem;
}

bool SameTag(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

const LoggerKind* FindKind(std::string_view model) {
  for (const LoggerKind* kind : kKinds) {
    if (SameTag(kind->tag, model)) return kind;
  }
  return nullptr;
}

bool InfoErased(const Device& device) {
  for (const FlashRegion& region : device.flash.layout.regions) {
    if (region.kind != RegionKind::Info) continue;
    for (uint32_t address = region.start; address < region.end; ++address) {
      if (FlashRead(device.flash, address) != kErasedByte) return false;
    }
  }
  return true;
}

uint32_t InfoStart(const Device& device) {
  for (const FlashRegion& region : device.flash.layout.regions) {
    if (region.kind == RegionKind::Info) return region.start;
  }
  return 0;
}

std::string FirmwareBuild(const LoggerKind& kind) { return "B" + std::string(kind.tag) + "-0117"; }

uint32_t HardwareTrait(const Logger& logger) {
  return (logger.radio ? kTraitRadio : 0) | (logger.options.cellular ? kTraitCellular : 0);
}

PortValues UncalibratedValues() {
  PortValues values;
  values.fill(kUncalibrated);
  return values;
}

uint32_t KindFeatures(const LoggerKind& kind, uint32_t version) {
  uint32_t features = kind.baseFeatures;
  for (const FeatureStep& step : kind.steps) {
    if (step.add != 0 && version >= step.fromVersion) features |= step.add;
  }
  return features;
}

void MoveCalibration(Calibration& calibration, uint32_t unit, uint32_t salt) {
  for (uint32_t i = 0; i < kPorts; ++i) {
    calibration.slopes[i] = static_cast<uint32_t>(UnitShift(calibration.slopes[i], unit, salt + i));
    calibration.offsets[i] = static_cast<uint32_t>(UnitShift(calibration.offsets[i], unit, salt + kPorts + i));
  }
}

// Unit N of the model on a bench: its own name, serial number, device ID, site, position and ADC
// calibration; its set-up otherwise (ports, wake, cellular account) is the field unit's.
void UnitSettings(LoggerStore& s, const LoggerKind& kind, uint32_t unit) {
  const std::string_view factoryName = kind.factoryName;
  s.name = std::string(factoryName.substr(0, factoryName.find('-'))) + "-" + UnitDigits(unit, kUnitNameDigits);
  s.serialNumber = UnitSerialNumber(s.serialNumber, unit);
  s.deviceId = "D" + UnitDigits(kUnitDeviceIdBase + unit, kDeviceIdDigits);
  s.site = std::string(kUnitSites[unit % std::size(kUnitSites)]) + " " + std::to_string(unit);
  s.latitude = static_cast<double>(kUnitLatitude + UnitSpread(unit, kLatitudeSalt) * kPositionStep) / kPositionScale;
  s.longitude = static_cast<double>(kUnitLongitude - UnitSpread(unit, kLongitudeSalt) * kPositionStep) / kPositionScale;
  MoveCalibration(s.adc30, unit, kAdc30Salt);
  MoveCalibration(s.adc15, unit, kAdc15Salt);
}

// A logger as set up in the field: its name, serial number, site, position, ports ... as people
// gave them, or those of unit N on a bench (--unit), with the run's --name on top (and its
// --logger-set values, which Setup applies).
LoggerStore FieldStore(const Logger& logger, uint32_t unit) {
  LoggerStore s;
  s.name = std::string(logger.kind->factoryName);
  s.serialNumber = std::string(logger.kind->tag) + "-004711";
  s.deviceId = "D0000017";
  s.site = "North Weir";
  s.build = FirmwareBuild(*logger.kind);
  s.latitude = 46.1;
  s.longitude = -123.45678;
  s.timeZone = -32;
  s.wake = logger.kind->newCommandSet ? 60 : 30;
  s.padc = 50;
  s.dataParameter = 3;
  s.rmode = logger.kind->fixedRadioMode ? kFixedRadioMode : 1;
  s.report = 1;
  s.ports = {1, 2, 3, 0, 4};
  s.depths = {10, 20, 30, 0, 40};
  s.adc30 = {{100, 101, 102, 103, 104}, {50, 51, 52, 53, 54}};
  s.adc15 = {{90, 91, 92, 93, 94}, {40, 41, 42, 43, 44}};
  s.trait = HardwareTrait(logger);
  s.apn = "internet.example";
  s.apnUser = "vorn";
  s.apnPassword = "s3cret";
  s.authKey = "00112233445566778899AABBCCDDEEFF";
  s.host = "data.example.net";
  s.ipPort = 8443;
  if (unit != kNoUnit) UnitSettings(s, *logger.kind, unit);
  if (!logger.options.name.empty()) s.name = logger.options.name;
  return s;
}

// What the firmware writes when it starts on an erased INFO memory. Its defaults: the factory
// name and the serial number from the unit's factory record, nothing of its set-up in the field
// (device ID, site, position, ports, calibration, cellular account). Blank: no name and no serial
// number either, a logger never set up.
LoggerStore AfterEraseStore(const Logger& logger) {
  LoggerStore s;
  if (logger.options.afterErase == AfterErase::Defaults) {
    s.name = std::string(logger.kind->factoryName);
    s.serialNumber = logger.unitSerialNumber;
  }
  s.build = FirmwareBuild(*logger.kind);
  s.wake = kDefaultWake;
  s.rmode = logger.kind->fixedRadioMode ? kFixedRadioMode : 0;
  s.adc30 = {UncalibratedValues(), UncalibratedValues()};
  s.adc15 = {UncalibratedValues(), UncalibratedValues()};
  s.trait = HardwareTrait(logger);  // the firmware finds its radio and modem itself
  return s;
}

nlohmann::json Values(const PortValues& values) { return nlohmann::json(values); }

nlohmann::json Position(const std::optional<double>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

// The settings under the names a host's settings file gives them; only those this firmware knows.
nlohmann::json StoreJson(const Logger& logger, const LoggerStore& s, const std::optional<RadioModem>& radio) {
  const uint32_t f = logger.features;
  nlohmann::json json = {{"name", ByteText(s.name)}};
  if (logger.kind->newCommandSet) json["sn"] = ByteText(s.serialNumber);
  if (f & kKnowsSite) {
    json["deviceid"] = ByteText(s.deviceId);
    json["report"] = s.report;
    json["depth"] = Values(s.depths);
    json["site"] = ByteText(s.site);
    json["timezone"] = s.timeZone;
  }
  if (f & kKnowsPosition) {
    json["lat"] = Position(s.latitude);
    json["lon"] = Position(s.longitude);
  }
  if (f & kKnowsWake) json["wake"] = s.wake;
  if ((f & kKnowsWake) && (logger.kind->newCommandSet || logger.version >= kFirstOldPadcVersion)) {
    json["padc"] = s.padc;
  }
  if (f & kKnowsPorts) json["ports"] = Values(s.ports);
  if (f & kKnowsTrait) json["trait"] = s.trait;
  if (f & kKnowsRmode) json["rmode"] = s.rmode;
  if (f & kKnowsDataParameter) json["data"] = s.dataParameter;
  if (f & kKnowsBuild) json["VornBuild"] = ByteText(s.build);
  if (f & kKnowsCalibration) {
    json["ADC30 slopes"] = Values(s.adc30.slopes);
    json["ADC30 offsets"] = Values(s.adc30.offsets);
    json["ADC15 slopes"] = Values(s.adc15.slopes);
    json["ADC15 offsets"] = Values(s.adc15.offsets);
  }
  if (f & kHasCellular) {
    json["apn"] = ByteText(s.apn);
    json["user"] = ByteText(s.apnUser);
    json["passwd"] = ByteText(s.apnPassword);
    json["authkey"] = ByteText(s.authKey);
    json["host"] = ByteText(s.host);
    json["ipport"] = s.ipPort;
  }
  if (radio) {
    json["rch"] = radio->channel;
    json["rsch"] = radio->subChannel;
  }
  return json;
}

nlohmann::json ModemJson(const std::optional<RadioModem>& modem) {
  if (!modem) return nullptr;
  return {{"channel", modem->channel},
          {"subChannel", modem->subChannel},
          {"version", modem->version},
          {"saved", modem->saved},
          {"atMode", modem->atMode}};
}

void LogCommand(Logger& logger, const std::string& line) {
  if (logger.commands.size() < kMaxCommandLog) logger.commands.push_back(line);
}

// "get" and "set" lines count under their own stages too, so a fault can reach a host's capture
// or its restore.
bool VerbFault(Device& device, std::string& line) {
  const std::string verb(SplitCommand(line).verb);  // a copy: a fault may change the line
  if (verb != "get" && verb != "set") return true;
  return DeviceLineFault(device, verb, line, "ERROR\r>");
}

// "erase" asks for a confirmation; a new firmware that finds old data asks by itself.
void AskErase(Logger& logger, Device& device) {
  logger.erasePending = true;
  DeviceSend(device, logger.kind->newCommandSet ? "\rErase all stored data. Type yes to confirm\r>"
                                                : "\rErase all data. Type yes to confirm\r>");
}

// "yes": the new command set ends its answer with the prompt, the old one with '!'.
void ConfirmErase(Logger& logger, Device& device) {
  const bool newSet = logger.kind->newCommandSet;
  if (!logger.erasePending) {
    DeviceSend(device, newSet ? "\rNo erase pending\r>" : "\rNo erase pending!");
    return;
  }
  logger.erasePending = false;
  ++logger.data.eraseAttempts;
  if (logger.data.brokenChip) {
    DeviceSend(device, newSet ? "\rDataFlash FAIL\r>" : "\rDataFlash FAIL!");
    return;
  }
  logger.data.records = 0;
  logger.data.erased = true;
  DeviceSend(device, newSet ? "\rOK\r>" : "\rData erased OK!");
}

class LoggerFirmware : public BootWordFirmware {
 public:
  explicit LoggerFirmware(const LoggerKind& kind) : BootWordFirmware(std::string(kEntryWord)) { logger_.kind = &kind; }

  void Setup(Device& device, const DeviceSetup& setup) override {
    (void)device;
    const ModelOptions& options = setup.modelOptions;
    logger_.options = options;
    const std::optional<RadioChannel> radio = options.radio ? options.radio : logger_.kind->factoryRadio;
    if (radio) logger_.radio = Modem(radio->channel, radio->subChannel, kLoggerRadioVersion);
    if (options.modem) logger_.modem = Modem(options.modem->channel, options.modem->subChannel, kHostModemVersion);
    logger_.data = StoredData{kFactoryRecords, false, 0, options.brokenDataFlash};
    logger_.resets = kFactoryResets;
    logger_.clockOffset = kFactoryClockOffset;
    if (setup.passThrough.battery >= 0) logger_.battery = setup.passThrough.battery;
    logger_.store = FieldStore(logger_, setup.unit);
    for (const auto& [key, value] : options.loggerValues) StoreLoggerValue(logger_, key, value);
    logger_.unitSerialNumber = logger_.store.serialNumber;
    logger_.before = logger_.store;
    logger_.radioBefore = logger_.radio;
  }

  void Start(Device& device) override {
    Logger& logger = logger_;
    logger.version = device.identity.found ? device.identity.version : device.model->defaultVersion;
    logger.features = KindFeatures(*logger.kind, logger.version) | (logger.options.cellular ? kHasCellular : 0);
    logger.baud = kFirmwareBaud;
    logger.terminal = false;
    logger.loggedIn = !logger.modem;
    logger.awake = !(logger.modem && logger.options.asleep);
    logger.wakeReturns = 0;
    if (logger.radio) logger.radio->atMode = false;
    ++logger.resets;
    // The loader erases INFO, where the settings live: the firmware that finds it so writes its own.
    if (InfoErased(device)) {
      logger.store = AfterEraseStore(logger);
      ++logger.infoResets;
      FlashPut(device.flash, InfoStart(device),
               std::vector<uint8_t>(std::begin(kSettingsMark), std::end(kSettingsMark)));
    }
    if (device.vectorsWritten && logger.data.records > 0) logger.erasePending = true;
  }

  uint32_t Baud() const override { return logger_.baud; }

  bool Byte(Device& device, uint8_t byte) override { return LoggerByte(logger_, device, byte); }

  void Line(Device& device, std::string line) override {
    if (line.empty()) return;  // wake packets and the lead-in of "query"
    Logger& logger = logger_;
    LogCommand(logger, line);
    if (!DeviceLineFault(device, "command", line, "ERROR\r>")) return;
    if (!VerbFault(device, line)) return;
    if (RadioLoginLine(logger, device, line)) return;
    if (BootWord(device, line)) return;
    const CommandWords words = SplitCommand(line);
    if (words.verb == "erase" && words.option.empty()) {
      AskErase(logger, device);
    } else if (words.verb == "yes" && words.option.empty()) {
      ConfirmErase(logger, device);
    } else if (logger.kind->newCommandSet) {
      NewSetLine(logger, device, line);
    } else {
      OldSetLine(logger, device, line);
    }
  }

  void Report(nlohmann::json& report) const override {
    const Logger& logger = logger_;
    // The same shape as an instrument's: what the run began with and what the logger holds now.
    report["settings"] = {{"before", StoreJson(logger, logger.before, logger.radioBefore)},
                          {"current", StoreJson(logger, logger.store, logger.radio)}};
    report["logger"] = {{"commandSet", logger.kind->newCommandSet ? "new" : "old"},
                        {"version", VersionText(logger.version)},
                        {"features", logger.features},
                        {"baud", logger.baud},
                        {"resets", logger.resets},
                        {"afterErase", logger.options.afterErase == AfterErase::Blank ? "blank" : "defaults"},
                        {"infoResets", logger.infoResets},
                        {"loggedIn", logger.loggedIn},
                        {"awake", logger.awake},
                        {"erasePending", logger.erasePending}};
    report["clock"] = {{"time", LoggerClockText(logger)}, {"offsetSeconds", logger.clockOffset}};
    report["storedData"] = {{"records", logger.data.records},
                            {"erased", logger.data.erased},
                            {"eraseAttempts", logger.data.eraseAttempts},
                            {"brokenChip", logger.data.brokenChip}};
    report["radio"] = ModemJson(logger.radio);
    report["modem"] = ModemJson(logger.modem);
    nlohmann::json commands = nlohmann::json::array();
    for (const std::string& line : logger.commands) commands.push_back(ByteText(line));
    report["commands"] = commands;
  }

 private:
  Logger logger_;
};

// Every --logger-set value must be one the logger stores, in a form its command would take.
bool LoggerTakesValues(const LoggerKind& kind, const ModelOptions& options, std::string& error) {
  Logger trial;
  trial.kind = &kind;
  trial.version = UINT32_MAX;  // the newest firmware's forms
  for (const auto& [key, value] : options.loggerValues) {
    if (!StoreLoggerValue(trial, key, value)) {
      error = "--logger-set " + key + "=" + value + ": not a value the " + std::string(kind.tag) + " stores";
      return false;
    }
  }
  return true;
}

}  // namespace

std::string VersionText(uint32_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u", version / 100, version % 100);
  return text;
}

bool IsLoggerModel(std::string_view model) { return FindKind(model) != nullptr; }

bool LoggerAcceptsOptions(std::string_view model, const ModelOptions& options, std::string& error) {
  const LoggerKind* kind = FindKind(model);
  if (!kind) {
    error = "not a logger model: " + std::string(model);
    return false;
  }
  const uint32_t everything = KindFeatures(*kind, UINT32_MAX);
  if (options.radio && !(everything & kKnowsRadio)) {
    error = "the " + std::string(kind->tag) + " has no radio";
    return false;
  }
  if (options.modem && !options.radio && !kind->factoryRadio) {
    error = "--modem reaches the logger over the air: give it a radio with --radio";
    return false;
  }
  if (options.cellular && kind != &kLg20) {
    error = "only the LG20 takes a cellular modem";
    return false;
  }
  const std::string& name = options.name;
  if (name.size() > kNameMax || name.find_first_of(" \t\r\n") != std::string::npos) {
    error = "--name: at most 8 characters without spaces";
    return false;
  }
  return LoggerTakesValues(*kind, options, error);
}

std::unique_ptr<FirmwarePart> MakeLg20Firmware() { return std::make_unique<LoggerFirmware>(kLg20); }
std::unique_ptr<FirmwarePart> MakeLg2Firmware() { return std::make_unique<LoggerFirmware>(kLg2); }
std::unique_ptr<FirmwarePart> MakeVq7Firmware() { return std::make_unique<LoggerFirmware>(kVq7); }
std::unique_ptr<FirmwarePart> MakeQrlFirmware() { return std::make_unique<LoggerFirmware>(kQrl); }
std::unique_ptr<FirmwarePart> MakeFieldHubFirmware() { return std::make_unique<LoggerFirmware>(kFieldHub); }
