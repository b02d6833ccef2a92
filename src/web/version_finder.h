// The version finder: asks the web host whether a newer firmware release than the one
// held exists, and offers its download or information page.
#pragma once

#include <cstdint>
#include <string>

#include "web/web_client.h"
#include "web/web_ui.h"

constexpr int kVersionConnectError = -1001;  // the request failed
constexpr int kVersionParseError = -1002;    // the answer is not a version file
constexpr int64_t kMaxVersionFileBytes = 64 * 1024;
constexpr size_t kMaxVersionUrlLength = 999;

// A version file: the version, one separator (a space or a line break), the URL to the end.
struct VersionFile {
  int result = kVersionParseError;  // 0 when the answer could be read
  uint32_t version = 0;             // in hundredths (151 for 1.51)
  std::string url;
  bool download = false;  // the URL names an installer; otherwise an information page
};

VersionFile ParseVersionFile(const std::string& answer);

// Fetches path from the web host and compares the version with current. Quiet
// shows only the offer of a newer version; otherwise every outcome is shown.
// The web host's version, or 0 when nothing was checked or the check failed;
// found, when given, receives the version file that was read.
uint32_t FindVersion(WebClient& client, WebUi& ui, uint32_t current, const std::string& path, bool quiet,
                     const std::string& label, VersionFile* found = nullptr);

// The start-up check (reported false: quiet) and the menu's check (reported true).
uint32_t StartVersionCheck(WebClient& client, WebUi& ui, bool reported, uint32_t current, const std::string& path,
                           const std::string& deviceName, VersionFile* found = nullptr);

// A version in hundredths as shown: 151 -> "1.51".
std::string VersionText(uint32_t version);
