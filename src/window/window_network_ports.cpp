// Settings, "Network Ports...": ports on network serial servers, added by host and port, kept in
// the preferences and listed after the computer's own ports by their URLs.
#include <algorithm>
#include <sstream>

#include "app/box_kinds.h"
#include "serial/network_port_name.h"
#include "window/window_core.h"
#include "window/window_dialogs.h"
#include "window/window_platform.h"

namespace {

constexpr char kNetworkPortsValue[] = "NetworkPorts";
constexpr char kNetworkPortsTitle[] = "Network Ports";

// The URL of what the person typed, or the reason it is none.
bool UrlOf(const NetworkPortsAnswer& answer, std::string* url, std::string* reason) {
  std::string host = answer.host;
  host.erase(0, host.find_first_not_of(' '));
  host.erase(host.find_last_not_of(' ') + 1);
  if (!host.empty() && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  *url = std::string(kNetworkPortScheme) + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
         answer.port;
  NetworkPortAddress address;
  if (!ParseNetworkPortName(*url, &address, reason)) return false;
  *url = NetworkPortName(address.host, address.port);
  return true;
}

}  // namespace

std::vector<std::string> SplitNetworkPorts(const std::string& text) {
  std::vector<std::string> urls;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    if (!CanonicalNetworkPortName(word).empty()) urls.push_back(word);
  }
  return urls;
}

std::string JoinNetworkPorts(const std::vector<std::string>& urls) {
  std::string text;
  for (const std::string& url : urls) text += (text.empty() ? "" : " ") + url;
  return text;
}

void WindowCore::NetworkPorts1Click() {
  if (RunActive()) return;  // the list a run started from stays as it is
  const NetworkPortsAnswer answer = dialogs_.networkPorts(networkPorts_);
  std::string selected = state_.portName;
  if (answer.action == NetworkPortsAnswer::Action::kRemove) {
    if (answer.index < 0 || answer.index >= static_cast<int>(networkPorts_.size())) return;
    networkPorts_.erase(networkPorts_.begin() + answer.index);
  } else if (answer.action == NetworkPortsAnswer::Action::kAdd) {
    std::string url, reason;
    if (!UrlOf(answer, &url, &reason)) {
      ShowErrorBox("\"" + url + "\" is not a network port: " + reason + ".", kNetworkPortsTitle, kBoxError);
      return;
    }
    const auto known = std::find_if(networkPorts_.begin(), networkPorts_.end(), [&url](const std::string& listed) {
      return CanonicalNetworkPortName(listed) == CanonicalNetworkPortName(url);
    });
    selected = known == networkPorts_.end() ? url : *known;
    if (known == networkPorts_.end()) networkPorts_.push_back(url);
  } else {
    return;
  }
  platform_.writeText(kNetworkPortsValue, JoinNetworkPorts(networkPorts_));
  ShowPorts(selected);
}
