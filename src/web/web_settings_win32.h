// The web services' preferences in the registry, under the current user's
// "Software\\Tessaly Devices, Inc\\GROUP", as text values.
#pragma once

#include "web/web_settings.h"

class RegistryWebSettings : public WebSettings {
 public:
  std::optional<std::string> read(const std::string& group, const std::string& name) const override;
  void write(const std::string& group, const std::string& name, const std::string& value) override;
};
