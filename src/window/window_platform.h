// What the window asks of the system it runs on: its command line, the folders it
// keeps files in, and the person's preferences ("Tessaly Devices, Inc" / "VornBSL":
// QSettings in the Qt face, the registry key of the same name on Windows).
#pragma once

#include <optional>
#include <string>
#include <vector>

struct WindowPlatform {
  virtual ~WindowPlatform() = default;
  // The command line, program name first, in UTF-8.
  virtual std::vector<std::string> arguments() const = 0;
  virtual std::optional<std::string> environment(const std::string& name) const = 0;
  // The system's per-user data folder (XDG_DATA_HOME or ~/.local/share, the local
  // application-data folder on Windows); empty when there is none.
  virtual std::string userDataFolder() const = 0;
  // The folder the program runs from.
  virtual std::string programFolder() const = 0;
  // The process's current folder.
  virtual std::string currentFolder() const = 0;

  virtual std::optional<bool> readFlag(const std::string& name) const = 0;
  virtual std::optional<std::string> readText(const std::string& name) const = 0;
  // A flag is stored as the number 0 or 1.
  virtual void writeFlag(const std::string& name, bool on) = 0;
  virtual void writeText(const std::string& name, const std::string& text) = 0;

  // The version the program's own file records (Windows: its version resource), "" when the
  // file records none; nothing where programs carry no such record (the version compiled in).
  virtual std::optional<std::string> programVersion() const { return std::nullopt; }
};
