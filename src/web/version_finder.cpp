#include "web/version_finder.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "web/web_text.h"
#include "web/web_url.h"

namespace {

constexpr uint64_t kMaxVersion = UINT32_MAX;
constexpr size_t kMaxVersionDigits = 10;  // more digits than any version, and than a u32 holds
constexpr uint64_t kHundredths = 100;
constexpr uint64_t kDecimalBelow = 10;  // a whole number below this is a release number
constexpr uint64_t kScaledBelow = 100;  // a release number below this is scaled to hundredths

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits as a number; nothing when the digits are too many for a version.
std::optional<uint64_t> DigitsValue(std::string_view digits) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > kMaxVersionDigits) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) value = value * 10 + static_cast<uint64_t>(c - '0');
  return value;
}

// "1.51", "2", ".5": rounded to hundredths below 100, else to a whole number; halves go up.
std::optional<uint64_t> ReadRelease(std::string_view text) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if ((whole.empty() && fraction.empty()) || !AllDigits(whole) || !AllDigits(fraction)) return std::nullopt;
  const std::optional<uint64_t> units = whole.empty() ? 0 : DigitsValue(whole);
  if (!units) return std::nullopt;
  const auto digit = [&](size_t i) { return i < fraction.size() ? static_cast<uint64_t>(fraction[i] - '0') : 0; };
  if (*units >= kScaledBelow) return *units + (digit(0) >= 5 ? 1 : 0);
  return *units * kHundredths + digit(0) * 10 + digit(1) + (digit(2) >= 5 ? 1 : 0);
}

// A whole number of hundredths ("151"), or a release number ("1.51", "2").
std::optional<uint32_t> ReadVersion(std::string_view text) {
  std::optional<uint64_t> value;
  if (!text.empty() && AllDigits(text)) value = DigitsValue(text);
  if (!value || *value < kDecimalBelow) value = ReadRelease(text);
  if (!value || *value > kMaxVersion) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

// Only a web page may be handed to the browser, never another kind of link.
bool IsWebLink(const std::string& text) { return ParseWebUrl(text).has_value(); }

void ReportFailure(WebUi& ui, int code, const std::string& message) {
  std::string text;
  if (code == kVersionConnectError) {
    text =
        "Error connecting to Tessaly's version check service.\n"
        "This feature requires your computer to be connected \n"
        "to the internet.\n"
        "\n\nPlease make a connection to the internet and try again.";
    if (!message.empty()) text += "\n\nError: " + message;
  } else {
    text = "Error parsing the version information returned by \n"
           "Tessaly's version check service.\n"
           "[error " + std::to_string(code) + "]"
           "\n\nPlease try again or contact Tessaly for help.";
  }
  ui.AskUser(text, "Version Check Error", false, kBoxError);
}

void OfferNewVersion(WebUi& ui, const VersionFile& file, const std::string& label) {
  const std::string text =
      file.download ? "There is newer version of " + label + " available for download." +
                          "\n\nWould you like to download this new version with your web browser now?"
                    : "There is information about a newer version of " + label + "\navailable at " + file.url +
                          "\n\nWould you like to visit this page with your web browser now?";
  if (!ui.AskUser(text, "New Version Available", true, kBoxInformation)) return;
  if (ui.OpenUrl(file.url)) return;
  ui.AskUser(label + " had trouble launching your web browser.\n" + "Please try manually going to:\n" + file.url,
             "Web Browser Launch Error", false, kBoxWarning);
}

void ReportComparison(WebUi& ui, uint32_t web, uint32_t current, const std::string& label) {
  const std::string text = web == current ? "You are using the latest version of " + label + "."
                                          : "You are running a newer version of " + label +
                                                "\nthan is available from Tessaly's web site.";
  ui.AskUser(text, "Version Finder", false, kBoxInformation);
}

}  // namespace

VersionFile ParseVersionFile(const std::string& answer) {
  VersionFile file;
  const size_t at = answer.find("http");
  if (at == std::string::npos) return file;
  const std::optional<uint32_t> version = ReadVersion(Trimmed(std::string_view(answer).substr(0, at > 0 ? at - 1 : 0)));
  const std::string url = Trimmed(std::string_view(answer).substr(at, kMaxVersionUrlLength));
  if (!version || !IsWebLink(url)) return file;
  file.result = 0;
  file.version = *version;
  file.url = url;
  file.download = url.find(".exe") != std::string::npos;
  return file;
}

uint32_t FindVersion(WebClient& client, WebUi& ui, uint32_t current, const std::string& path, bool quiet,
                     const std::string& label, VersionFile* found) {
  if (path.empty() || current == 0) return 0;
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

uint32_t StartVersionCheck(WebClient& client, WebUi& ui, bool reported, uint32_t current, const std::string& path,
                           const std::string& deviceName, VersionFile* found) {
  return FindVersion(client, ui, current, path, !reported, deviceName + " Firmware Updater", found);
}

std::string VersionText(uint32_t version) {
  const uint32_t hundredths = version % 100;
  return std::to_string(version / 100) + '.' + (hundredths < 10 ? "0" : "") + std::to_string(hundredths);
}
