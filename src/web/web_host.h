// Where the web services go: the maker's software web host and the support address
// are configuration, not part of the program.
#pragma once

#include <string>

struct WebSettings;

// The program's preferences (the same place the main window keeps its own).
inline constexpr char kSettingsOrganisation[] = "Tessaly Devices, Inc";
inline constexpr char kSettingsApplication[] = "VornBSL";
inline constexpr char kWebHostSetting[] = "WebHost";
inline constexpr char kSupportEmailSetting[] = "SupportEmail";

inline constexpr char kWebHostVariable[] = "VORNBSL_WEB_HOST";
inline constexpr char kSupportEmailVariable[] = "VORNBSL_SUPPORT_EMAIL";
inline constexpr char kWebTimeoutVariable[] = "VORNBSL_WEB_TIMEOUT";

inline constexpr char kDefaultWebHost[] = "https://software.tessaly.example";
inline constexpr char kDefaultSupportEmail[] = "support@tessaly.example";

// The host text to use: the option when given, else the environment variable, else the
// setting, else the default. settings may be null (no preferences to read).
std::string ConfiguredWebHost(const std::string& option, const WebSettings* settings);

// The host text as a base URL: https when no scheme is given, http allowed; empty for
// anything else (another scheme, no host, a query).
std::string WebHostUrl(const std::string& text);

// The default recipient of feedback: the environment variable, else the setting, else the default.
std::string ConfiguredSupportEmail(const WebSettings* settings);

// How long to wait for the web host's answer: VORNBSL_WEB_TIMEOUT in seconds (1 to 600)
// when set, else `fallbackMs`.
int ConfiguredWebTimeoutMs(int fallbackMs);
