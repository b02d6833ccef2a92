#include "web/version_finder.h"

#include <QUrl>

#include <algorithm>
#include <optional>

namespace {

constexpr uint64_t kMaxVersion = UINT32_MAX;
constexpr int kMaxVersionDigits = 10;  // more digits than any version, and than a u32 holds
constexpr uint64_t kHundredths = 100;
constexpr uint64_t kDecimalBelow = 10;   // a whole number below this is a release number
constexpr uint64_t kScaledBelow = 100;   // a release number below this is scaled to hundredths

bool AllDigits(const QByteArray& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits as a number; nothing when the digits are too many for a version.
std::optional<uint64_t> DigitsValue(const QByteArray& digits) {
  QByteArray significant = digits;
  while (significant.size() > 1 && significant.front() == '0') significant.remove(0, 1);
  if (significant.size() > kMaxVersionDigits) return std::nullopt;
  uint64_t value = 0;
  for (const char c : significant) value = value * 10 + static_cast<uint64_t>(c - '0');
  return value;
}

// "1.51", "2", ".5": rounded to hundredths below 100, else to a whole number; halves go up.
std::optional<uint64_t> ReadRelease(const QByteArray& text) {
  const qsizetype dot = text.indexOf('.');
  const QByteArray whole = dot < 0 ? text : text.left(dot);
  const QByteArray fraction = dot < 0 ? QByteArray() : text.mid(dot + 1);
  if ((whole.isEmpty() && fraction.isEmpty()) || !AllDigits(whole) || !AllDigits(fraction)) return std::nullopt;
  const std::optional<uint64_t> units = whole.isEmpty() ? 0 : DigitsValue(whole);
  if (!units) return std::nullopt;
  const auto digit = [&](qsizetype i) { return i < fraction.size() ? static_cast<uint64_t>(fraction[i] - '0') : 0; };
  if (*units >= kScaledBelow) return *units + (digit(0) >= 5 ? 1 : 0);
  return *units * kHundredths + digit(0) * 10 + digit(1) + (digit(2) >= 5 ? 1 : 0);
}

// A whole number of hundredths ("151"), or a release number ("1.51", "2").
std::optional<uint32_t> ReadVersion(const QByteArray& text) {
  std::optional<uint64_t> value;
  if (!text.isEmpty() && AllDigits(text)) value = DigitsValue(text);
  if (!value || *value < kDecimalBelow) value = ReadRelease(text);
  if (!value || *value > kMaxVersion) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

// Only a web page may be handed to the browser, never another kind of link.
bool IsWebLink(const QString& text) {
  const QUrl url(text, QUrl::StrictMode);
  const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
  return url.isValid() && web && !url.host().isEmpty();
}

void ReportFailure(WebUi& ui, int code, const QString& message) {
  QString text;
  if (code == kVersionConnectError) {
    text = QStringLiteral("Error connecting to Tessaly's version check service.\n"
                          "This feature requires your computer to be connected \n"
                          "to the internet.\n"
                          "\n\nPlease make a connection to the internet and try again.");
    if (!message.isEmpty()) text += QStringLiteral("\n\nError: ") + message;
  } else {
    text = QStringLiteral("Error parsing the version information returned by \n"
                          "Tessaly's version check service.\n"
                          "[error %1]"
                          "\n\nPlease try again or contact Tessaly for help.")
               .arg(code);
  }
  ui.AskUser(text, QStringLiteral("Version Check Error"), false, kBoxError);
}

void OfferNewVersion(WebUi& ui, const VersionFile& file, const QString& label) {
  const QString text =
      file.download
          ? QStringLiteral("There is newer version of ") + label + QStringLiteral(" available for download.") +
                QStringLiteral("\n\nWould you like to download this new version with your web browser now?")
          : QStringLiteral("There is information about a newer version of ") + label +
                QStringLiteral("\navailable at ") + file.url +
                QStringLiteral("\n\nWould you like to visit this page with your web browser now?");
  if (!ui.AskUser(text, QStringLiteral("New Version Available"), true, kBoxInformation)) return;
  if (ui.OpenUrl(QUrl(file.url, QUrl::StrictMode))) return;
  ui.AskUser(label + QStringLiteral(" had trouble launching your web browser.\n") +
                 QStringLiteral("Please try manually going to:\n") + file.url,
             QStringLiteral("Web Browser Launch Error"), false, kBoxWarning);
}

void ReportComparison(WebUi& ui, uint32_t web, uint32_t current, const QString& label) {
  const QString text = web == current ? QStringLiteral("You are using the latest version of ") + label + u'.'
                                      : QStringLiteral("You are running a newer version of ") + label +
                                            QStringLiteral("\nthan is available from Tessaly's web site.");
  ui.AskUser(text, QStringLiteral("Version Finder"), false, kBoxInformation);
}

}  // namespace

VersionFile ParseVersionFile(const QByteArray& answer) {
  VersionFile file;
  const qsizetype at = answer.indexOf("http");
  if (at < 0) return file;
  const std::optional<uint32_t> version = ReadVersion(answer.left(std::max<qsizetype>(at - 1, 0)).trimmed());
  const QString url = QString::fromUtf8(answer.mid(at, kMaxVersionUrlLength).trimmed());
  if (!version || !IsWebLink(url)) return file;
  file.result = 0;
  file.version = *version;
  file.url = url;
  file.download = url.contains(QLatin1String(".exe"));
  return file;
}

uint32_t FindVersion(WebClient& client, WebUi& ui, uint32_t current, const QString& path, bool quiet,
                     const QString& label, VersionFile* found) {
  if (path.isEmpty() || current == 0) return 0;
  const WebAnswer answer = WebGet(client, path, kMaxVersionFileBytes);
  VersionFile file;
  if (answer.ok) file = ParseVersionFile(answer.body);
  if (found != nullptr) *found = file;
  if (file.result < 0) {
    const bool connected = answer.ok || answer.tooLarge;
    if (!quiet) ReportFailure(ui, connected ? kVersionParseError : kVersionConnectError, answer.error);
    return 0;
  }
  if (file.version > current) {
    OfferNewVersion(ui, file, label);
  } else if (!quiet) {
    ReportComparison(ui, file.version, current, label);
  }
  return file.version;
}

uint32_t StartVersionCheck(WebClient& client, WebUi& ui, bool reported, uint32_t current, const QString& path,
                           const QString& deviceName, VersionFile* found) {
  return FindVersion(client, ui, current, path, !reported, deviceName + QStringLiteral(" Firmware Updater"), found);
}

QString VersionText(uint32_t version) {
  return QStringLiteral("%1.%2").arg(version / 100).arg(version % 100, 2, 10, QLatin1Char('0'));
}
