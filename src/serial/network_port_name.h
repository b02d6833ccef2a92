// Network serial ports are named by URL, "rfc2217://HOST:PORT", wherever a port is named:
// the port's name is what opens it, so a port on a serial server goes everywhere a local one does.
#pragma once

#include <cstdint>
#include <string>

constexpr const char* kNetworkPortScheme = "rfc2217://";

struct NetworkPortAddress {
  std::string host;  // a name or an address; an IPv6 address without its brackets
  uint16_t port = 0;
};

// Whether a name is meant as a URL ("scheme://..."): device names never hold "://".
bool LooksLikeUrl(const std::string& name);
// Whether a name is a network port's URL (a well-formed one or not).
bool IsNetworkPortName(const std::string& name);
// Reads "rfc2217://HOST:PORT"; false with the reason in words when the URL is not one.
bool ParseNetworkPortName(const std::string& name, NetworkPortAddress* address, std::string* reason);
// One spelling for every name of one server port: the scheme and host in lower case, the port
// number without leading zeros. Empty when the name is no valid URL.
std::string CanonicalNetworkPortName(const std::string& name);
// The URL of a host and port, as the window's "Network Ports..." adds it.
std::string NetworkPortName(const std::string& host, uint16_t port);
