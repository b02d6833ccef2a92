// The web services' preferences in QSettings ("Tessaly Devices, Inc" / GROUP), where the
// Qt window keeps its own.
#pragma once

#include "web/web_settings.h"

class QtWebSettings : public WebSettings {
 public:
  std::optional<std::string> read(const std::string& group, const std::string& name) const override;
  void write(const std::string& group, const std::string& name, const std::string& value) override;
};
