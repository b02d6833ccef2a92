#include "web/web_host.h"

#include <cstdlib>
#include <optional>

#include "web/web_settings.h"
#include "web/web_text.h"
#include "web/web_url.h"

namespace {

constexpr int kMaxTimeoutSeconds = 600;
constexpr int kMillisecondsPerSecond = 1000;

std::string FirstNonEmpty(const std::string& option, const char* variable, const WebSettings* settings,
                          const char* setting, const char* fallback) {
  if (std::string chosen = Trimmed(option); !chosen.empty()) return chosen;
  const char* environment = std::getenv(variable);
  if (std::string chosen = Trimmed(environment != nullptr ? environment : ""); !chosen.empty()) return chosen;
  if (settings != nullptr) {
    const std::optional<std::string> stored = settings->read(kSettingsApplication, setting);
    if (std::string chosen = Trimmed(stored.value_or("")); !chosen.empty()) return chosen;
  }
  return fallback;
}

}  // namespace

std::string ConfiguredWebHost(const std::string& option, const WebSettings* settings) {
  return FirstNonEmpty(option, kWebHostVariable, settings, kWebHostSetting, kDefaultWebHost);
}

std::string ConfiguredSupportEmail(const WebSettings* settings) {
  return FirstNonEmpty({}, kSupportEmailVariable, settings, kSupportEmailSetting, kDefaultSupportEmail);
}

std::string WebHostUrl(const std::string& text) {
  std::string written = Trimmed(text);
  if (written.find("://") == std::string::npos) written = "https://" + written;
  std::optional<WebUrl> url = ParseWebUrl(written);
  if (!url || url->query || url->fragment) return {};
  while (!url->path.empty() && url->path.back() == '/') url->path.pop_back();
  return UrlText(*url);
}

int ConfiguredWebTimeoutMs(int fallbackMs) {
  const char* text = std::getenv(kWebTimeoutVariable);
  if (text == nullptr) return fallbackMs;
  char* end = nullptr;
  const long seconds = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || seconds < 1 || seconds > kMaxTimeoutSeconds) return fallbackMs;
  return static_cast<int>(seconds) * kMillisecondsPerSecond;
}
