// The window core's platform with Qt: the application's command line, the
// environment, the standard folders and the preferences in QSettings
// ("Tessaly Devices, Inc" / "VornBSL", the values named as the registry's).
#pragma once

#include <QStringList>

#include <optional>

#include "window/window_platform.h"

class QtWindowPlatform : public WindowPlatform {
 public:
  // arguments: the command line, program name first; the application's when unset.
  explicit QtWindowPlatform(std::optional<QStringList> arguments = std::nullopt) : arguments_(std::move(arguments)) {}

  std::vector<std::string> arguments() const override;
  std::optional<std::string> environment(const std::string& name) const override;
  std::string userDataFolder() const override;
  std::string programFolder() const override;
  std::string currentFolder() const override;
  std::optional<bool> readFlag(const std::string& name) const override;
  std::optional<std::string> readText(const std::string& name) const override;
  void writeFlag(const std::string& name, bool on) override;
  void writeText(const std::string& name, const std::string& text) override;

 private:
  std::optional<QStringList> arguments_;
};
