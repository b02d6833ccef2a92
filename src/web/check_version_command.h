// "check-version" of the command line: the menu's version check, told on the terminal.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "web/version_finder_path.h"

struct WebSettings;
struct WebTransport;

struct CheckVersionCommand {
  std::string host;              // --host; empty: VORNBSL_WEB_HOST, the "WebHost" setting, the default host
  uint32_t currentVersion = 0;   // the held image's version in hundredths (150 for 1.50)
  std::string path;              // the version-finder path of the build's device kind
  std::string deviceName;        // the model name, as the messages name the product
};

// Prints "current: X.YY", the check's messages as "CAPTION: TEXT" (failures on err),
// and on success "latest: X.YY" and "url: URL". Never opens a browser. settings may be
// null (no preferences to read).
// Exit status: 0 the host told its version; 1 the check failed; 2 a bad host address.
int RunCheckVersionCommand(const CheckVersionCommand& command, WebTransport& transport, const WebSettings* settings,
                           std::ostream& out, std::ostream& err);
