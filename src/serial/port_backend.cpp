#include "serial/port_backend.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "serial/network_port_name.h"

namespace {

struct Transport {
  const char* scheme;
  PortOpener open;
};

// The transports that ports named by URL lead to.
constexpr Transport kTransports[] = {
    {kNetworkPortScheme, OpenNetworkPort},
};

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Schemes are told apart whatever their letters' case, as the URL parser reads them.
bool HasScheme(const std::string& name, std::string_view scheme) {
  return name.size() >= scheme.size() && std::equal(scheme.begin(), scheme.end(), name.begin(), SameLetter);
}

}  // namespace

PortOpener ChoosePortOpener(const std::string& name) {
  for (const Transport& transport : kTransports) {
    if (HasScheme(name, transport.scheme)) return transport.open;
  }
  // A URL no transport claims names no device either: the network transport refuses it, saying why.
  return LooksLikeUrl(name) ? OpenNetworkPort : OpenLocalPort;
}
