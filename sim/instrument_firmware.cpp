#include "instrument_firmware.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <utility>

#include "bench_unit.h"
#include "device.h"

namespace {

constexpr size_t kMaxLine = 1024;  // a record write with its 256 characters fits easily
constexpr std::string_view kError = "ERROR\r>";
constexpr std::string_view kDataFlashFailure = "\rDataFlash FAIL\r>";
constexpr std::string_view kLoginCode = "7205";  // what "login *CODE" must carry
// What the firmware writes into an erased settings memory when it starts with its defaults.
constexpr std::string_view kFreshSettingsMark = "INSTRUMENT DEFAULTS";

void Answer(Device& device, const std::string& value) { DeviceSend(device, "\r" + value + "\r>"); }
void Ok(Device& device) { Answer(device, "OK"); }
void Error(Device& device) { DeviceSend(device, std::string(kError)); }

bool StartsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string VersionText(uint32_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u", version / 100, version % 100);
  return text;
}

// A record index: digits only, no sign.
bool Index(const std::string& text, size_t& index) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  index = static_cast<size_t>(std::strtoul(text.c_str(), nullptr, 10));
  return true;
}

// The option word of a command line: "user" in "set -user 3 TEXT".
std::string OptionWord(const std::string& line) {
  const size_t dash = line.find(" -");
  if (dash == std::string::npos) return {};
  const size_t start = dash + 2;
  const size_t space = line.find(' ', start);
  return line.substr(start, space == std::string::npos ? std::string::npos : space - start);
}

nlohmann::json Texts(const std::vector<std::string>& texts) {
  nlohmann::json json = nlohmann::json::array();
  for (const std::string& text : texts) json.push_back(ByteText(text));
  return json;
}

nlohmann::json ValuesJson(const InstrumentModel& model, const InstrumentValues& values) {
  nlohmann::json json = nlohmann::json::object();
  for (const auto& [key, value] : values.values) json[key] = ByteText(value);
  if (model.hasUsers) json["user"] = Texts(values.users);
  if (model.hasEqns) json["eqn"] = Texts(values.eqns);
  return json;
}

}  // namespace

InstrumentFirmware::InstrumentFirmware(InstrumentModel model, std::string entryWord)
    : BootWordFirmware(std::move(entryWord)), model_(std::move(model)), values_(model_.field), before_(values_) {}

void InstrumentFirmware::Setup(Device& device, const DeviceSetup& setup) {
  (void)device;
  const InstrumentSetup& options = setup.instrument;
  if (setup.unit != kNoUnit && model_.unitValues) model_.field = model_.unitValues(model_.field, setup.unit);
  values_ = options.factoryReset ? model_.factory : model_.field;
  for (const auto& [key, value] : options.values) values_.values[key] = value;
  before_ = values_;
  testRunning_ = options.testRunning;
  if (setup.passThrough.battery >= 0) battery_ = setup.passThrough.battery;
}

void InstrumentFirmware::Start(Device& device) {
  loggedIn_ = false;
  text_.clear();
  if (!FlashInfoSegmentErased(device.flash)) return;
  values_ = model_.factory;
  ++settingsResets_;
  const FlashRegion* info = FlashFirstInfo(device.flash);
  FlashPut(device.flash, info->start, std::vector<uint8_t>(kFreshSettingsMark.begin(), kFreshSettingsMark.end()));
}

bool InstrumentFirmware::Byte(Device& device, uint8_t byte) {
  if (byte == '\n') return true;
  if (byte != '\r') {
    if (text_.size() < kMaxLine) text_.push_back(static_cast<char>(byte));
    return true;
  }
  std::string line = std::exchange(text_, {});
  Line(device, std::move(line));
  device.garbleReplies = false;
  return true;
}

void InstrumentFirmware::Line(Device& device, std::string line) {
  if (line.empty()) return;
  if (!DeviceLineFault(device, "command", line, std::string(kError))) return;
  if (BootWord(device, line)) return;
  if (line == "get -ver") {
    if (!DeviceLineFault(device, "ver", line, std::string(kError))) return;
    const uint32_t version = device.identity.found ? device.identity.version : 0;
    return Answer(device, std::string(model_.tag) + " " + VersionText(version));
  }
  if (StartsWith(line, "login")) {
    if (!DeviceLineFault(device, "login", line, std::string(kError))) return;
    loggedIn_ = line == "login *" + std::string(kLoginCode);
    return loggedIn_ ? Ok(device) : Error(device);
  }
  if (line == "logout") {
    loggedIn_ = false;
    return Ok(device);
  }
  if (model_.needsLogin && !loggedIn_) return Error(device);
  if (!Service(device, line) && !Records(device, line) && !Value(device, line)) Error(device);
}

// The commands that are not stored settings.
bool InstrumentFirmware::Service(Device& device, const std::string& line) {
  if (line == "ping -stat") {
    Answer(device, std::to_string(testRunning_));
  } else if (line == "post" || line == "post -init") {
    ++posts_;
    std::string text = line;
    if (DeviceLineFault(device, "post", text, std::string(kError))) {
      Answer(device, device.identity.intact ? "Code Good!" : "Code Corrupt!");
    }
  } else if (line == "yes") {
    std::string text = line;
    if (!DeviceLineFault(device, "erase-data", text, std::string(kDataFlashFailure))) return true;
    ++erasures_;
    Ok(device);
  } else if (line == "get -batt") {
    Answer(device, std::to_string(battery_));
  } else if (StartsWith(line, "set -act ")) {
    actuator_ = line.substr(9);
    Ok(device);
  } else if (StartsWith(line, "set -sec ")) {
    std::string text = line;
    if (!DeviceLineFault(device, "clock", text, std::string(kError))) return true;
    clockSet_ = std::atoll(line.c_str() + 9);
    Ok(device);
  } else {
    return false;
  }
  return true;
}

// "get -user" (the count), "get -user N", "set -user N TEXT", "reset -users"; the same for "eqn".
bool InstrumentFirmware::Records(Device& device, const std::string& line) {
  const std::string option = OptionWord(line);
  const bool users = option == "user" || option == "users";
  const bool eqns = option == "eqn";
  if (!(users && model_.hasUsers) && !(eqns && model_.hasEqns)) return false;
  std::vector<std::string>& records = users ? values_.users : values_.eqns;
  std::string text = line;
  if (line == (users ? "reset -users" : "reset -eqn")) {
    if (!DeviceLineFault(device, "set", text, std::string(kError))) return true;
    records.clear();
    Ok(device);
    return true;
  }
  const std::string head = users ? "-user" : "-eqn";
  const bool get = StartsWith(line, "get " + head);
  const bool set = StartsWith(line, "set " + head + " ");
  if (!get && !set) return false;
  if (!DeviceLineFault(device, get ? "get" : "set", text, std::string(kError))) return true;
  const std::string rest = line.substr(4 + head.size());
  size_t index = 0;
  if (get && rest.empty()) {
    Answer(device, std::to_string(records.size()));
  } else if (get && rest.front() == ' ' && Index(rest.substr(1), index) && index < records.size()) {
    Answer(device, records[index]);
  } else if (set) {
    const size_t space = rest.find(' ', 1);
    if (space == std::string::npos || !Index(rest.substr(1, space - 1), index) || index > records.size()) {
      Error(device);
      return true;
    }
    if (index == records.size()) records.emplace_back();
    records[index] = rest.substr(space + 1);
    Ok(device);
  } else {
    Error(device);
  }
  return true;
}

// Stored values: "get -KEY" and "set -KEY VALUE" for the keys the model keeps.
bool InstrumentFirmware::Value(Device& device, const std::string& line) {
  const bool get = StartsWith(line, "get -");
  if (!get && !StartsWith(line, "set -")) return false;
  const size_t space = line.find(' ', 5);
  const std::string key = line.substr(5, space == std::string::npos ? std::string::npos : space - 5);
  const auto found = values_.values.find(key);
  if (found == values_.values.end() || (get && space != std::string::npos) || (!get && space == std::string::npos)) {
    return false;
  }
  std::string text = line;
  if (!DeviceLineFault(device, get ? "get" : "set", text, std::string(kError))) return true;
  if (get) {
    Answer(device, found->second);
  } else {
    found->second = line.substr(space + 1);
    Ok(device);
  }
  return true;
}

bool InstrumentFirmware::ConfigMatchesSerial() const {
  const auto config = values_.values.find("config");
  const auto serial = values_.values.find("sn");
  if (config == values_.values.end() || serial == values_.values.end()) return false;
  long sum = model_.configChecksumBase;
  for (char c : serial->second) sum += static_cast<unsigned char>(c);
  return config->second == std::to_string(sum);
}

void InstrumentFirmware::Report(nlohmann::json& report) const {
  report["settings"] = {
      {"factory", ValuesJson(model_, model_.factory)},
      {"before", ValuesJson(model_, before_)},
      {"current", ValuesJson(model_, values_)},
  };
  nlohmann::json state = {
      {"tag", model_.tag},
      {"loggedIn", loggedIn_},
      {"erasures", erasures_},
      {"settingsResets", settingsResets_},
      {"posts", posts_},
      {"clockSet", clockSet_ < 0 ? nlohmann::json(nullptr) : nlohmann::json(clockSet_)},
      {"actuator", actuator_},
      {"testRunning", testRunning_},
  };
  const auto sensor = values_.values.find("sensor");
  if (sensor != values_.values.end()) state["sensorType"] = ByteText(sensor->second);
  if (model_.configChecksumBase >= 0) state["configMatchesSerial"] = ConfigMatchesSerial();
  report["instrument"] = state;
}
