#include "passthrough_firmware.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <random>
#include <utility>

#include "bench_unit.h"
#include "device.h"

namespace {

constexpr char kToCommandLine = '`';
constexpr char kToSdi = '[';
constexpr char kToLoader = ']';
constexpr char kBusBreak = '|';
constexpr char kSdiEnd = '!';
constexpr size_t kMaxText = 1024;  // an X5 calibration write is the longest thing the host sends
constexpr std::string_view kEntryWord = "ZEPH";
constexpr std::string_view kError = "ERROR\r>";
constexpr long long kVornEpoch = 946684800;  // 2000-01-01 00:00:00 as Unix seconds
constexpr uint32_t kBaudCodes[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800};

const PassThroughKind kFieldrex{"FX", true, true, 'C', 87};
const PassThroughKind kCommDevice{"ACD", true, false, 0, 0};
const PassThroughKind kCalibrator{"AQUIN_CAL", false, false, 0, 0};

void Answer(Device& device, const std::string& value) { DeviceSend(device, "\r" + value + "\r>"); }
void Ok(Device& device) { Answer(device, "OK"); }
void Error(Device& device) { DeviceSend(device, std::string(kError)); }

std::string VersionText(uint32_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u", version / 100, version % 100);
  return text;
}

// The host's local wall clock as seconds since 2000 (the devices keep local time).
long long LocalVornNow() {
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  return static_cast<long long>(now) + local.tm_gmtoff - kVornEpoch;
}

struct tm WallClock(long long vornSeconds) {
  const std::time_t at = static_cast<std::time_t>(vornSeconds + kVornEpoch);
  struct tm fields {};
  gmtime_r(&at, &fields);
  return fields;
}

long long FromWallClock(struct tm fields) { return static_cast<long long>(timegm(&fields)) - kVornEpoch; }

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::map<std::string, std::string> FactoryValues(const PassThroughKind& kind) {
  if (kind.fieldrex) return {{"i", "FIELDRX"}, {"sn", "FX0001234"}, {"contr", "7"}};
  if (kind.hasBus) return {{"i", "ACD01"}, {"sn", "ACD000871"}};
  return {{"i", "CAL1"}, {"sn", "CAL0042"}};
}

// The fault stage of one SDI-12 command besides "sdi": what the host is doing with the sensor.
// Command text without its address: "B" starts the loader, "post" checks the firmware, "X9..."
// writes the type, "A..." and the other "X" letters with a value write settings, the rest read.
std::string_view SdiStage(std::string_view command) {
  const std::string_view body = command.empty() ? command : command.substr(1);
  if (body == "B") return "sdi-loader";
  if (body == "post") return "sdi-post";
  if (body.rfind("X9", 0) == 0) return "sdi-type";
  const bool write = (!body.empty() && body.front() == 'A') || (body.size() > 2 && body.front() == 'X');
  return write ? "sdi-set" : "sdi-get";
}

constexpr char kFirstPrintable = 0x20;
constexpr char kLastPrintable = 0x7E;
constexpr std::string_view kSdiLineEnd = "\r\n";

constexpr int kFirstHigh = 0x80;
constexpr int kLastHigh = 0xFF;

std::string Noise(Device& device, size_t count, int lowest, int highest) {
  std::uniform_int_distribution<int> value(lowest, highest);
  std::string bytes;
  for (size_t i = 0; i < count; ++i) bytes.push_back(static_cast<char>(value(device.noise)));
  return bytes;
}

// Printable 7-bit characters, as a line at the wrong rate or a spoilt line mostly reads.
std::string PrintableNoise(Device& device, size_t count) { return Noise(device, count, kFirstPrintable, kLastPrintable); }

// A sensor's answer spoilt on the bus, in the style the options chose.
std::string SpoiltAnswer(Device& device, const std::string& answer, SensorGarble style) {
  switch (style) {
    case SensorGarble::High: break;
    case SensorGarble::Printable: return PrintableNoise(device, answer.size());
    case SensorGarble::Line: {
      const size_t text = answer.ends_with(kSdiLineEnd) ? answer.size() - kSdiLineEnd.size() : answer.size();
      return PrintableNoise(device, text) + std::string(kSdiLineEnd);
    }
  }
  return Noise(device, answer.size(), kFirstHigh, kLastHigh);  // upper-half bytes only
}

const char* ModeName(RelayMode mode) {
  switch (mode) {
    case RelayMode::Command: return "command";
    case RelayMode::Sdi: return "sdi";
    case RelayMode::Loader: break;
  }
  return "loader";
}

}  // namespace

PassThroughFirmware::PassThroughFirmware(const PassThroughKind& kind, std::string entryWord)
    : BootWordFirmware(std::move(entryWord)), kind_(kind), values_(FactoryValues(kind)) {}

// Unit N on a bench (--unit) has its own serial number, and the sensor on its bus is unit N of its type.
void PassThroughFirmware::Setup(Device& device, const DeviceSetup& setup) {
  PassThroughSetup options = setup.passThrough;
  if (setup.unit != kNoUnit) {
    values_["sn"] = UnitSerialNumber(values_["sn"], setup.unit);
    options.sensor.unit = setup.unit;
  }
  Configure(device, options);
}

void PassThroughFirmware::Configure(Device& device, const PassThroughSetup& options) {
  sensorImage_ = options.sensorImage;
  if (options.hardwareRevision != 0) kind_.hardwareRevision = options.hardwareRevision;
  if (options.battery >= 0) kind_.battery = options.battery;
  garble_ = options.sensor.garble;
  if (kind_.hasBus && options.sensor.present) {
    sensor_ = MakeSdiSensor(options.sensor, &device.faults, &device.faultLog);
  }
}

bool PassThroughFirmware::Byte(Device& device, uint8_t byte) {
  if (!kind_.hasBus) return false;
  if (ModeByte(byte)) return true;
  if (mode_ == RelayMode::Loader) {
    RelayLoader(device, byte);
    return true;
  }
  if (byte == kBusBreak) {
    text_.clear();
    return true;
  }
  if (byte == kSdiEnd) {
    RelaySdi(device, std::exchange(text_, {}));
    return true;
  }
  if (byte == '\r') {
    std::string line = std::exchange(text_, {});
    if (mode_ == RelayMode::Command) Line(device, std::move(line));
    device.garbleReplies = false;
    return true;
  }
  if (text_.size() < kMaxText) text_.push_back(static_cast<char>(byte));
  return true;
}

bool PassThroughFirmware::ModeByte(uint8_t byte) {
  // Inside a command these are characters: "?X9 ]!" writes the SKYRA 61 type.
  if (mode_ != RelayMode::Loader && !text_.empty()) return false;
  switch (byte) {
    case kToCommandLine: mode_ = RelayMode::Command; break;
    case kToSdi: mode_ = RelayMode::Sdi; break;
    case kToLoader: mode_ = RelayMode::Loader; break;
    default: return false;
  }
  modeBytes_.push_back(static_cast<char>(byte));
  text_.clear();
  return true;
}

void PassThroughFirmware::RelayLoader(Device& device, uint8_t byte) {
  if (!sensor_) return;
  if (sensor_->mode != SensorMode::Loader) {
    if (byte == '\r') ProbeRunningSensor(device);
    return;
  }
  LoaderAction action = SdiSensorLoaderByte(*sensor_, byte, baud_);
  if (!action.reply.empty()) {
    DeviceSend(device, action.garble ? DeviceNoise(device, action.reply.size()) : action.reply);
  }
  if (action.event == LoaderEvent::Hangup) HangUp(device);
  if (sensor_->updateFinished) device.updateFinished = true;
}

// The host's end of the cable goes: the device sees its line drop and ends any relay, so the
// next connection finds its command line.
void PassThroughFirmware::HangUp(Device& device) {
  device.hangupRequested = true;
  mode_ = RelayMode::Command;
  text_.clear();
}

// A probe's line end reaching a sensor that runs its firmware counts as the loader's "probe" stage:
// the firmware stays mute, but the bus can bring noise, the sensor can fall into its loader or
// the cable can go.
void PassThroughFirmware::ProbeRunningSensor(Device& device) {
  const std::optional<FaultKind> fault = FaultAt(device.faults, {"probe"}, "probe of a running sensor");
  if (!fault) return;
  switch (*fault) {
    case FaultKind::Garble: DeviceSend(device, DeviceNoise(device, 1)); break;
    case FaultKind::Reset: SdiSensorStartLoader(*sensor_); break;
    case FaultKind::Hangup: HangUp(device); break;
    default: break;  // nothing answers, so there is nothing to withhold, refuse or lose
  }
}

void PassThroughFirmware::RelaySdi(Device& device, std::string command) {
  ++sdiCommands_;
  if (!sensor_) return;  // an empty bus
  const std::optional<FaultKind> fault =
      FaultAt(device.faults, {"sdi", SdiStage(command)}, "sdi command " + std::to_string(sdiCommands_) + " (" + command + "!)");
  bool garble = false;
  if (fault) {
    switch (*fault) {
      case FaultKind::Silence: return;
      case FaultKind::Nak: DeviceSend(device, SdiSensorRefusal(*sensor_)); return;
      case FaultKind::Garble: garble = true; break;
      case FaultKind::Drop:
        if (!command.empty()) command.erase(command.size() / 2, 1);
        break;
      case FaultKind::Reset: SdiSensorStartLoader(*sensor_); return;
      case FaultKind::Hangup: HangUp(device); return;
      default: DeviceSend(device, SdiSensorRefusal(*sensor_)); return;  // other kinds refuse as a sensor can
    }
  }
  const std::optional<std::string> answer = SdiSensorCommand(*sensor_, command);
  if (answer) DeviceSend(device, garble ? SpoiltAnswer(device, *answer, garble_) : *answer);
}

void PassThroughFirmware::Line(Device& device, std::string line) {
  if (line.empty()) return;
  if (!DeviceLineFault(device, "command", line, std::string(kError))) return;
  if (BootWord(device, line)) return;
  if (line == "get -ver") {
    Answer(device, std::string(kind_.tag) + " " + VersionText(device.identity.version));
  } else if (line == "get -hver" && kind_.fieldrex) {
    if (DeviceLineFault(device, "hver", line, std::string(kError))) {
      Answer(device, std::string(1, kind_.hardwareRevision));
    }
  } else if (line == "get -batt" && kind_.fieldrex) {
    if (DeviceLineFault(device, "batt", line, std::string(kError))) Answer(device, std::to_string(kind_.battery));
  } else if (line == "login" || StartsWith(line, "login ")) {
    DeviceSend(device, "\r>");
  } else if (line == "logout") {
    // Leaves the command line: no answer.
  } else if (line == "post" || line == "post -init") {
    Answer(device, device.identity.intact ? "Code Good!" : "Code Corrupt!");
  } else if (line == "yes") {
    Ok(device);
  } else if (StartsWith(line, "set -baud ")) {
    const std::string code = line.substr(10);
    if (code.size() != 1 || code[0] < '0' || code[0] > '6') return Error(device);
    Ok(device);  // still at the old rate
    baud_ = kBaudCodes[code[0] - '0'];
  } else if (!Clock(device, line) && !Value(device, line)) {
    Error(device);
  }
}

bool PassThroughFirmware::Clock(Device& device, const std::string& line) {
  const long long now = LocalVornNow() + clockOffset_;
  if (line == "get -sec" && kind_.fieldrex) {
    Answer(device, std::to_string(now));
  } else if (StartsWith(line, "set -sec ") && kind_.fieldrex) {
    clockOffset_ = std::atoll(line.c_str() + 9) - LocalVornNow();
    Ok(device);
  } else if (line == "get -t") {
    const struct tm t = WallClock(now);
    char text[48];
    std::snprintf(text, sizeof text, "Date\\Time: %04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    Answer(device, text);
  } else if (StartsWith(line, "set -t ") || StartsWith(line, "set -d ")) {
    struct tm t = WallClock(now);
    const bool time = line[5] == 't';
    const int read = time ? std::sscanf(line.c_str() + 7, "%d:%d:%d", &t.tm_hour, &t.tm_min, &t.tm_sec)
                          : std::sscanf(line.c_str() + 7, "%d-%d-%d", &t.tm_year, &t.tm_mon, &t.tm_mday);
    if (read != 3) {
      Error(device);
      return true;
    }
    if (!time) {
      t.tm_year -= 1900;
      t.tm_mon -= 1;
    }
    clockOffset_ = FromWallClock(t) - LocalVornNow();
    Ok(device);
  } else {
    return false;
  }
  return true;
}

// Plain stored values: "get -KEY" and "set -KEY VALUE".
bool PassThroughFirmware::Value(Device& device, const std::string& line) {
  const bool get = StartsWith(line, "get -");
  if (!get && !StartsWith(line, "set -")) return false;
  const size_t space = line.find(' ', 5);
  const std::string key = line.substr(5, space == std::string::npos ? std::string::npos : space - 5);
  if (get) {
    const auto found = values_.find(key);
    if (found == values_.end() || space != std::string::npos) return false;
    Answer(device, found->second);
    return true;
  }
  if (space == std::string::npos) return false;
  values_[key] = line.substr(space + 1);
  Ok(device);
  return true;
}

void PassThroughFirmware::Report(nlohmann::json& report) const {
  if (!kind_.hasBus) return;
  report["passThrough"] = {
      {"mode", ModeName(mode_)},
      {"modeBytes", modeBytes_},
      {"hardwareRevision", std::string(1, kind_.hardwareRevision == 0 ? ' ' : kind_.hardwareRevision)},
      {"battery", kind_.battery},
      {"baud", baud_},
      {"sdiCommands", sdiCommands_},
      {"values", values_},
  };
  const std::vector<TiSegment>* image = sensorImage_.empty() ? nullptr : &sensorImage_;
  report["sensor"] = sensor_ ? SdiSensorReport(*sensor_, image) : nlohmann::json(nullptr);
}

std::unique_ptr<FirmwarePart> MakeFieldrexFirmware() {
  return std::make_unique<PassThroughFirmware>(kFieldrex, std::string(kEntryWord));
}

std::unique_ptr<FirmwarePart> MakeCommDeviceFirmware() {
  return std::make_unique<PassThroughFirmware>(kCommDevice, std::string(kEntryWord));
}

std::unique_ptr<FirmwarePart> MakeCalibratorFirmware() {
  return std::make_unique<PassThroughFirmware>(kCalibrator, std::string(kEntryWord));
}

FlashLayout FieldrexFlashLayout() {
  return FlashLayout{"FX",
                     {
                         {0x1000, 0x10C0, 64, RegionKind::Info},
                         {0x2100, 0xFA00, 512, RegionKind::Main},
                         {0xFA00, 0xFE00, 512, RegionKind::Loader},
                         {0xFE00, 0x10000, 512, RegionKind::Vectors},
                         {0x10000, 0x1FF00, 512, RegionKind::Main},
                     }};
}
