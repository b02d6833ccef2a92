#include "web/web_url.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kMaxPort = 65535;
constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

bool Unreserved(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_' || c == '~';
}

bool SubDelimiter(char c) { return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos; }

// Characters of a path segment, a query or a fragment (RFC 3986 pchar, "/" and the
// query's "?"), each percent sign followed by two hex digits.
bool ValidPart(std::string_view text, std::string_view extra) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size() || !IsHex(text[i + 1]) || !IsHex(text[i + 2])) return false;
      i += 2;
    } else if (!Unreserved(c) && !SubDelimiter(c) && c != ':' && c != '@' && extra.find(c) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool ValidHost(std::string_view host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    const std::string_view inner = host.substr(1, host.size() - 2);
    return std::all_of(inner.begin(), inner.end(), [](char c) { return IsHex(c) || c == ':' || c == '.'; });
  }
  return !host.empty() && std::all_of(host.begin(), host.end(), Unreserved);
}

std::optional<int> ReadPort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int port = 0;
  for (const char c : digits) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port > kMaxPort) return std::nullopt;
  return port;
}

// host[:port] of an authority whose user name is already gone.
bool ReadHostAndPort(std::string_view hostPort, WebUrl& url) {
  const size_t bracket = hostPort.rfind(']');
  const size_t colon = hostPort.rfind(':');
  const bool hasPort = colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket);
  const std::string_view host = hasPort ? hostPort.substr(0, colon) : hostPort;
  if (!ValidHost(host)) return false;
  url.host = Lower(host);
  if (hasPort && colon + 1 < hostPort.size()) {
    const std::optional<int> port = ReadPort(hostPort.substr(colon + 1));
    if (!port) return false;
    url.port = *port;
  }
  return true;
}

}  // namespace

std::optional<WebUrl> ParseWebUrl(std::string_view text) {
  const size_t schemeEnd = text.find("://");
  if (schemeEnd == std::string_view::npos) return std::nullopt;
  WebUrl url;
  url.scheme = Lower(text.substr(0, schemeEnd));
  if (url.scheme != "http" && url.scheme != "https") return std::nullopt;
  std::string_view rest = text.substr(schemeEnd + 3);

  const size_t fragmentAt = rest.find('#');
  if (fragmentAt != std::string_view::npos) {
    url.fragment = std::string(rest.substr(fragmentAt + 1));
    rest = rest.substr(0, fragmentAt);
    if (!ValidPart(*url.fragment, "/?")) return std::nullopt;
  }
  const size_t queryAt = rest.find('?');
  if (queryAt != std::string_view::npos) {
    url.query = std::string(rest.substr(queryAt + 1));
    rest = rest.substr(0, queryAt);
    if (!ValidPart(*url.query, "/?")) return std::nullopt;
  }
  const size_t pathAt = std::min(rest.find('/'), rest.size());
  url.path = std::string(rest.substr(pathAt));
  if (!ValidPart(url.path, "/")) return std::nullopt;

  std::string_view authority = rest.substr(0, pathAt);
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    if (!ValidPart(authority.substr(0, at), "")) return std::nullopt;
    authority = authority.substr(at + 1);
  }
  if (!ReadHostAndPort(authority, url)) return std::nullopt;
  return url;
}

std::string UrlText(const WebUrl& url) {
  std::string text = url.scheme + "://" + url.host;
  if (url.port >= 0) text += ':' + std::to_string(url.port);
  text += url.path;
  if (url.query) text += '?' + *url.query;
  if (url.fragment) text += '#' + *url.fragment;
  return text;
}

int EffectivePort(const WebUrl& url) {
  if (url.port >= 0) return url.port;
  return url.scheme == "https" ? kHttpsPort : kHttpPort;
}

std::string EncodedPath(std::string_view path) {
  std::string encoded;
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    const bool escape = c == '%' && i + 2 < path.size() && IsHex(path[i + 1]) && IsHex(path[i + 2]);
    if (escape || Unreserved(c) || SubDelimiter(c) || c == ':' || c == '@' || c == '/') {
      encoded += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    encoded += '%';
    encoded += kHexDigits[byte >> 4];
    encoded += kHexDigits[byte & 0x0F];
  }
  return encoded;
}
