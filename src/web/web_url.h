// Web addresses as the web services accept them: absolute http or https URLs in their
// strict form, since a host comes from configuration and a link from the web host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct WebUrl {
  std::string scheme;  // "http" or "https"
  std::string host;    // lower case; an IPv6 address keeps its brackets
  int port = -1;       // -1: the scheme's own
  std::string path;    // "" or starting with "/"
  std::optional<std::string> query;
  std::optional<std::string> fragment;
};

// The URL when the text is a whole http or https URL with a host; a user name in it is dropped.
std::optional<WebUrl> ParseWebUrl(std::string_view text);

// The URL written out again.
std::string UrlText(const WebUrl& url);

// The port a request goes to: the URL's own, else 80 or 443.
int EffectivePort(const WebUrl& url);

// A path with every byte a URL path may not carry percent-encoded ("/a b" -> "/a%20b").
std::string EncodedPath(std::string_view path);
