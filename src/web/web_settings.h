// The program's preferences as the web services keep them: QSettings under the Qt
// transport, the registry key of the same name on Windows ("Software\\Tessaly Devices,
// Inc\\GROUP"); tests keep them in memory.
#pragma once

#include <optional>
#include <string>

struct WebSettings {
  virtual ~WebSettings() = default;
  // A text value under `group` ("VornBSL", "FeedbackForm"); nothing when it is not set.
  virtual std::optional<std::string> read(const std::string& group, const std::string& name) const = 0;
  virtual void write(const std::string& group, const std::string& name, const std::string& value) = 0;
};
