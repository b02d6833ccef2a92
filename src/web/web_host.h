// Where the web services go: the maker's software web host and the support
// address are configuration, not part of the program.
#pragma once

#include <QString>
#include <QUrl>

// The program's preferences (the same place the main window keeps its own).
inline constexpr char kSettingsOrganisation[] = "Tessaly Devices, Inc";
inline constexpr char kSettingsApplication[] = "VornBSL";
inline constexpr char kWebHostSetting[] = "WebHost";
inline constexpr char kSupportEmailSetting[] = "SupportEmail";

inline constexpr char kWebHostVariable[] = "VORNBSL_WEB_HOST";
inline constexpr char kSupportEmailVariable[] = "VORNBSL_SUPPORT_EMAIL";

inline constexpr char kDefaultWebHost[] = "https://software.tessaly.example";
inline constexpr char kDefaultSupportEmail[] = "support@tessaly.example";

// The host text to use: the option when given, else the environment variable,
// else the setting, else the default.
QString ConfiguredWebHost(const QString& option = {});

// The host text as a base URL: https when no scheme is given, http allowed;
// an invalid URL for anything else (another scheme, no host, a query).
QUrl WebHostUrl(const QString& text);

// The default recipient of feedback: the environment variable, else the setting, else the default.
QString ConfiguredSupportEmail();
