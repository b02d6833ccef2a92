// Options that shape one model beyond its version: a logger's name and the settings it was given
// in the field, what it holds after its INFO memory is erased, its radio and the radio modem the
// host reaches it through, its cellular modem, a broken data chip.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct RadioChannel {
  uint32_t channel = 0;
  uint32_t subChannel = 0;
};

// What a logger's firmware finds when it starts on an erased INFO memory, where its settings live.
enum class AfterErase {
  Defaults,  // it writes its firmware's defaults: the factory name, no serial number, no site ...
  Blank,     // it writes nothing: no name and no serial number, a logger never set up
};

struct ModelOptions {
  std::string name;                   // --name: the logger's name instead of its factory name
  std::vector<std::pair<std::string, std::string>> loggerValues;  // --logger-set KEY=VALUE, in order
  AfterErase afterErase = AfterErase::Defaults;                   // --after-erase defaults|blank
  bool afterEraseGiven = false;
  std::optional<RadioChannel> radio;  // --radio CH:SUB: the logger has a radio on this channel
  std::optional<RadioChannel> modem;  // --modem CH:SUB: the port is a radio modem tuned to this channel
  bool asleep = false;                // --asleep: over the radio the logger hears nothing until woken
  bool cellular = false;              // --cellular: a cellular modem (the Lg20 only)
  bool brokenDataFlash = false;       // --broken-dataflash: the data chip fails every erase
};

constexpr uint32_t kRadioChannelMax = 6;
constexpr uint32_t kRadioSubChannelMax = 0xFFFF;

// Reads the model option at argv[i], moving i past its value: 1 when read, 0 when argv[i] is not
// a model option, -1 for a bad value (error says why).
int ParseModelOption(int argc, char** argv, int& i, ModelOptions& options, std::string& error);
// "CH:SUB", each decimal or 0x-hexadecimal, within the radio's ranges.
bool ParseRadioChannel(std::string_view text, RadioChannel& value);
// The options must fit the model: only loggers take them, the modem needs a radio, and so on.
bool CheckModelOptions(std::string_view model, const ModelOptions& options, std::string& error);
