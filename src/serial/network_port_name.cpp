#include "serial/network_port_name.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr uint32_t kPortNumberMax = 65535;
constexpr size_t kHostMax = 253;  // the longest name the DNS carries
constexpr const char* kUsage = " (a network port is written rfc2217://HOST:PORT)";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool StartsWithScheme(const std::string& name) {
  const std::string_view scheme(kNetworkPortScheme);
  return name.size() >= scheme.size() && Lower(name.substr(0, scheme.size())) == scheme;
}

bool HostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
}

bool Ipv6Character(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.'; }

// Splits "HOST:PORT" or "[V6]:PORT" into the host and the port's digits.
bool SplitHostPort(const std::string& rest, std::string* host, std::string* digits, std::string* reason) {
  size_t colon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return *reason = "its IPv6 address has no closing bracket", false;
    *host = rest.substr(1, close - 1);
    if (host->empty() || !std::all_of(host->begin(), host->end(), Ipv6Character)) {
      return *reason = "its IPv6 address is not one", false;
    }
    if (close + 1 < rest.size() && rest[close + 1] != ':') return *reason = "junk follows its host", false;
    colon = close + 1 < rest.size() ? close + 1 : std::string::npos;
  } else {
    colon = rest.rfind(':');
    *host = rest.substr(0, colon);
    if (!std::all_of(host->begin(), host->end(), HostCharacter)) {
      return *reason = "its host \"" + *host + "\" holds characters no host name has", false;
    }
  }
  if (host->empty()) return *reason = "it names no host", false;
  if (host->size() > kHostMax) return *reason = "its host name is too long", false;
  if (colon == std::string::npos) return *reason = "it has no port number", false;
  *digits = rest.substr(colon + 1);
  return true;
}

bool ReadPortNumber(const std::string& digits, uint16_t* port, std::string* reason) {
  if (digits.empty()) return *reason = "it has no port number", false;
  if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
    return *reason = "its port number \"" + digits + "\" is not a number", false;
  }
  const std::string trimmed = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
  if (trimmed.empty() || trimmed.size() > 5 || std::stoul(trimmed) > kPortNumberMax) {
    return *reason = "its port number " + digits + " is not from 1 to 65535", false;
  }
  *port = static_cast<uint16_t>(std::stoul(trimmed));
  return true;
}

}  // namespace

bool LooksLikeUrl(const std::string& name) { return name.find("://") != std::string::npos; }

bool IsNetworkPortName(const std::string& name) { return StartsWithScheme(name); }

bool ParseNetworkPortName(const std::string& name, NetworkPortAddress* address, std::string* reason) {
  if (!StartsWithScheme(name)) {
    *reason = "only rfc2217:// URLs name network ports";
  } else {
    std::string rest = name.substr(std::string_view(kNetworkPortScheme).size());
    if (!rest.empty() && rest.back() == '/') rest.pop_back();  // "rfc2217://host:4001/" as browsers write it
    std::string digits;
    if (SplitHostPort(rest, &address->host, &digits, reason) && ReadPortNumber(digits, &address->port, reason)) {
      return true;
    }
  }
  *reason += kUsage;
  return false;
}

std::string CanonicalNetworkPortName(const std::string& name) {
  NetworkPortAddress address;
  std::string reason;
  if (!ParseNetworkPortName(name, &address, &reason)) return {};
  return NetworkPortName(Lower(address.host), address.port);
}

std::string NetworkPortName(const std::string& host, uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return std::string(kNetworkPortScheme) + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
