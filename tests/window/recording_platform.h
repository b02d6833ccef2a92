// The system as the test sets it up: the command line, the environment, the folders
// and the preferences, which outlive a window as the real ones do.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "window/window_platform.h"

struct RecordingPlatform : WindowPlatform {
  std::vector<std::string> arguments() const override { return commandLine; }
  std::optional<std::string> environment(const std::string& name) const override { return Find(variables, name); }
  std::string userDataFolder() const override { return userData; }
  std::string programFolder() const override { return program; }
  std::string currentFolder() const override { return current; }
  std::optional<bool> readFlag(const std::string& name) const override { return Find(flags, name); }
  std::optional<std::string> readText(const std::string& name) const override { return Find(texts, name); }
  void writeFlag(const std::string& name, bool on) override { flags[name] = on; }
  void writeText(const std::string& name, const std::string& text) override { texts[name] = text; }
  std::optional<std::string> programVersion() const override { return fileVersion; }

  template <typename Value>
  static std::optional<Value> Find(const std::map<std::string, Value>& values, const std::string& name) {
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  }

  std::vector<std::string> commandLine{"vornbsl"};
  std::map<std::string, std::string> variables;
  std::string userData;
  std::string program = "/opt/vornbsl";
  std::string current = "/home/tester";
  std::map<std::string, bool> flags;
  std::map<std::string, std::string> texts;
  std::optional<std::string> fileVersion;  // the version resource's; none: the version compiled in
};
