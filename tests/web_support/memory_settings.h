// Preferences kept in memory, for tests of what the web services read and remember.
#pragma once

#include <map>
#include <utility>

#include "web/web_settings.h"

struct MemorySettings : WebSettings {
  std::optional<std::string> read(const std::string& group, const std::string& name) const override {
    const auto found = values.find({group, name});
    if (found == values.end()) return std::nullopt;
    return found->second;
  }
  void write(const std::string& group, const std::string& name, const std::string& value) override {
    values[{group, name}] = value;
  }

  std::map<std::pair<std::string, std::string>, std::string> values;
};
