// What the window asks of Windows: its command line, its folders and the person's
// preferences under the current user's "Software\\Tessaly Devices, Inc\\VornBSL"
// (flags as REG_DWORD 0 or 1, texts as REG_SZ).
#pragma once

#include "window/window_platform.h"

class Win32WindowPlatform : public WindowPlatform {
 public:
  std::vector<std::string> arguments() const override;
  std::optional<std::string> environment(const std::string& name) const override;
  std::string userDataFolder() const override;
  std::string programFolder() const override;
  std::string currentFolder() const override;
  std::optional<bool> readFlag(const std::string& name) const override;
  std::optional<std::string> readText(const std::string& name) const override;
  void writeFlag(const std::string& name, bool on) override;
  void writeText(const std::string& name, const std::string& text) override;
  std::optional<std::string> programVersion() const override;
};

// The running program's file (UTF-8).
std::string ProgramPath();
// The FileVersion of the program's version resource; empty when it has none.
std::string ProgramFileVersion();
