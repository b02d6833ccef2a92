// Options that shape one model beyond its version: a logger's name, its radio and the radio
// modem the host reaches it through, its cellular modem, a broken data chip.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct RadioChannel {
  uint32_t channel = 0;
  uint32_t subChannel = 0;
};

struct ModelOptions {
  std::string name;                   // --name: the logger's name instead of its factory name
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
