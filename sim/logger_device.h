// One simulated data logger: what it stores, the commands its firmware version knows, its
// command line's state, its radio and the radio modem the host may reach it through. The
// logger_*.cpp files share this record; logger_model.h is what the rest of the simulator sees.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model_options.h"
#include "sim_clock.h"

struct Device;

// The commands a firmware version knows, in the bit numbering of the host's class table, so a
// model's table row reads like the host's.
constexpr uint32_t kKnowsBaud = 1u << 0;
constexpr uint32_t kKnowsWake = 1u << 4;  // wake interval and PADC
constexpr uint32_t kKnowsPorts = 1u << 5;
constexpr uint32_t kKnowsTrait = 1u << 6;
constexpr uint32_t kKnowsRadio = 1u << 8;
constexpr uint32_t kKnowsRmode = 1u << 9;
constexpr uint32_t kKnowsClock = 1u << 12;
constexpr uint32_t kKnowsCalibration = 1u << 16;
constexpr uint32_t kKnowsDataParameter = 1u << 17;
constexpr uint32_t kKnowsBuild = 1u << 18;
constexpr uint32_t kKnowsSite = 1u << 24;  // device ID, report, depths, site, time zone
constexpr uint32_t kKnowsPosition = 1u << 26;
// Not a class bit: a cellular modem is fitted.
constexpr uint32_t kHasCellular = 1u << 31;

// The vQ7 is always in this radio mode.
constexpr int32_t kFixedRadioMode = 16;

// The old set knows "hertz" and "set -p" (its PADC) from this version on.
constexpr uint32_t kFirstOldPadcVersion = 165;

// Trait bits as the logger keeps them (it answers their inverse).
constexpr uint32_t kTraitRadio = 0x01;
constexpr uint32_t kTraitCellular = 0x08;

constexpr int kPorts = 5;
using PortValues = std::array<uint32_t, kPorts>;

struct FeatureStep {
  uint32_t fromVersion;
  uint32_t add;
};

// One logger model: its tag, command set and the commands each firmware version knows.
struct LoggerKind {
  std::string_view tag;  // the model name and the tag of its version line
  bool newCommandSet;    // "get -ver" and "get"/"set"; otherwise the old "show" set
  uint32_t baseFeatures;
  std::array<FeatureStep, 8> steps;  // unused entries add 0
  std::string_view factoryName;
  std::optional<RadioChannel> factoryRadio;  // a radio fitted at the factory, on this channel
  bool fixedRadioMode;                       // always in radio mode 16, which cannot be changed
};

struct Calibration {
  PortValues slopes{};
  PortValues offsets{};
};

// What the logger stores: the settings a host reads and writes.
struct LoggerStore {
  std::string name;
  std::string serialNumber;
  std::string deviceId;
  std::string site;
  std::string build;
  std::optional<double> latitude;  // cleared by an empty value
  std::optional<double> longitude;
  int32_t timeZone = 0;  // quarter hours
  int32_t wake = 0;
  int32_t padc = 0;
  int32_t dataParameter = 0;
  int32_t rmode = 0;
  uint32_t report = 0;
  PortValues ports{};
  PortValues depths{};
  Calibration adc30;
  Calibration adc15;
  uint32_t trait = 0;  // trait bits (radio, cellular, ...)
  std::string apn;
  std::string apnUser;
  std::string apnPassword;
  std::string authKey;
  std::string host;
  uint32_t ipPort = 0;
};

// A radio modem that speaks AT commands after "+++": the logger's own radio, or the modem on
// the host's port.
struct RadioModem {
  uint32_t channel = 0;
  uint32_t subChannel = 0;
  std::string version;
  bool saved = true;  // the channel in use is the one written with ATWR
  bool atMode = false;
  int pluses = 0;    // '+' of an escape sequence heard so far
  std::string line;  // the AT command being received
};

struct StoredData {
  uint32_t records = 0;
  bool erased = false;
  uint32_t eraseAttempts = 0;
  bool brokenChip = false;  // every erase fails
};

struct Logger {
  const LoggerKind* kind = nullptr;
  ModelOptions options;
  uint32_t version = 0;   // of the running firmware, in hundredths
  uint32_t features = 0;  // commands this version knows
  LoggerStore store;                // what it holds now: in the field, what people set up
  LoggerStore before;               // as the run began, for the report
  uint32_t infoResets = 0;          // starts that found INFO erased and wrote their own settings
  std::string unitSerialNumber;     // in the unit's factory record, beside INFO
  std::optional<RadioModem> radio;  // the logger's own radio
  std::optional<RadioModem> radioBefore;
  std::optional<RadioModem> modem;  // the host's end is a radio modem: the logger is reached over the air
  StoredData data;
  int64_t clockOffset = 0;  // the logger's clock minus the computer's, in seconds
  uint32_t baud = 9600;
  int battery = 87;  // percent: the answer to "get -batt"
  uint32_t resets = 0;
  bool loggedIn = true;  // over the radio only after "login"
  bool awake = true;     // an asleep logger hears only the wake sequence
  uint32_t wakeReturns = 0;
  SimClock::time_point quietUntil{};  // after "logout" the logger ignores the air for a while
  bool terminal = false;              // the old command set passes the line through to its own radio
  std::string terminalLine;
  bool erasePending = false;          // the logger has asked for an erase to be confirmed
  std::vector<std::string> commands;  // every line its command line received
};

// logger_model.cpp: "2.02" for 202.
std::string VersionText(uint32_t version);

// logger_commands.cpp: one command line, already past faults and the radio's login.
void NewSetLine(Logger& logger, Device& device, const std::string& line);
void OldSetLine(Logger& logger, Device& device, const std::string& line);
// Splits "set -site North Weir" into "set", "-site" and "North Weir".
struct CommandWords {
  std::string_view verb;
  std::string_view option;
  std::string_view value;
};
CommandWords SplitCommand(std::string_view line);
// One stored value by the settings file's name for it ("site", "ADC30 slopes"), checked as the
// command that writes it checks it; false for a key it does not store or a value it refuses.
// An empty name is a logger never set up.
bool StoreLoggerValue(Logger& logger, std::string_view key, std::string_view value);

// logger_clock.cpp: the logger's clock as a wall-clock count of seconds since 2000-01-01.
int64_t LoggerClock(const Logger& logger);
std::string LoggerClockText(const Logger& logger);               // "Date\Time: 2024-05-01 12:34:56"
bool SetLoggerTimeOfDay(Logger& logger, std::string_view text);  // "H:M:S"
bool SetLoggerDate(Logger& logger, std::string_view text);       // "Y-M-D"

// logger_radio.cpp
bool LoggerByte(Logger& logger, Device& device, uint8_t byte);
// The radio logger's command line before login: "query" and "login"; true when the line was
// meant for that stage (answered or ignored).
bool RadioLoginLine(Logger& logger, Device& device, const std::string& line);
void RadioLogout(Logger& logger);
void EnterTerminal(Logger& logger, Device& device);
bool OnTheAir(const Logger& logger);
