// The shape the setting commands share: gates, the set and get exchanges,
// and the text and number settings described by a small table row each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logger/device_link.h"

constexpr int kSettingTimeoutMs = 1500;
constexpr int kSettingKeep = 32;       // 31 characters
constexpr int kCellularKeep = 64;      // 63 characters
constexpr int kHostKeep = 96;          // 95 characters
constexpr int kCalibrationKeep = 128;  // 127 characters

// How a device acknowledges a set command.
enum class SetAck {
  kOk,          // "OK"
  kOkOrPrompt,  // "OK" on the current command set, the bare prompt "\r>" on the old one
};

// Where the value of a get answer starts.
enum class ValuePlace {
  kAnswer,       // after leading white space
  kAfterReturn,  // after the first carriage return
};

enum class Gate { kNone, kCapability, kCellular };

struct TextSetting {
  const char* name;  // "SiteCommand"
  Gate gate;
  uint32_t capability;
  const char* setCommand;  // "set -site"; the value and "\r" follow
  const char* getCommand;  // "get -site\r"
  const char* setWhat;     // "<name> set <setWhat> to \"%s\""
  const char* foundWhat;   // "<name> found <foundWhat> \"%s\""
  size_t fieldMax;         // longest value written
  size_t readMax;          // longest value read
  ValuePlace place;
  int keep;
};

struct NumberSetting {
  const char* name;
  Gate gate;
  uint32_t capability;
  const char* setCommand;  // "set -report"; " %d\r" follows
  const char* getCommand;
  const char* setWhat;      // "<name> <setWhat> %d<unit>"
  const char* foundWhat;    // "<name> <foundWhat> %d<unit>"
  const char* missingWhat;  // "<name> <missingWhat> (%d ms)"
  const char* unit;
  ValuePlace place;
  int unreadable;  // result when the number cannot be read
  SetAck ack;
  bool refuseNegative;  // writing a negative value is invalid
};

bool PassesGate(const DeviceLink& link, Gate gate, uint32_t capability);

// The line the value of the last get answer stands on, when the answer (all of it, not only the
// part a command keeps) closes it with a line end and the prompt; nothing for noise or an answer
// cut short, whatever bytes it holds.
std::optional<std::string> ValueLine(const DeviceLink& link, ValuePlace place);
// A number with nothing else on its value line.
std::optional<int32_t> WholeInteger(std::string_view line);

// Sends a set command: 1 when acknowledged, -30 when not, or the exchange's code.
int SendSetting(DeviceLink& link, const std::string& command, SetAck ack, int keep);
// Sends a get command: the bytes heard (the answer in *answer), or the exchange's code.
int AskSetting(DeviceLink& link, const std::string& command, int keep, std::string* answer);
// Logs a command's failure line and returns the result.
int SettingFailed(const DeviceLink& link, const char* name, int result, uint32_t start);
// Text that would end or split a command line must not be sent.
bool IsUnsafeText(std::string_view text);

int TextSettingCommand(DeviceLink& link, const TextSetting& setting, std::string* value, int direction);
int NumberSettingCommand(DeviceLink& link, const NumberSetting& setting, int32_t* value, int direction);
