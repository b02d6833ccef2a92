// The port selector: listed at the first showing, listed again whenever it
// opens, and the person's pick.
#include <algorithm>

#include "window/window_core.h"
#include "window/window_texts.h"

namespace {

int IndexOfPort(const std::vector<CommPortEntry>& table, const std::string& name) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> Labels(const std::vector<CommPortEntry>& table) {
  std::vector<std::string> labels;
  for (const CommPortEntry& entry : table) labels.push_back(entry.description);
  return labels;
}

constexpr int kNetworkPortBase = 2000;  // listed after every port of the computer's own

}  // namespace

int WindowCore::EnumeratePorts() {
  int count = kPortTableCapacity;
  const bool force = state_.forceFindAllPorts;
  const int result = options_.listPorts ? options_.listPorts(*enumPort_, &portTable_, &count, force)
                                        : CommPortEnum(*enumPort_, &portTable_, &count, force);
  portTable_.resize(result < 0 ? 0 : static_cast<size_t>(std::clamp(count, 0, kPortTableCapacity)));
  AddNetworkPorts();
  return portTable_.empty() ? result : std::max(result, 1);
}

// The port a run will use; the selector shows it.
void WindowCore::SelectPort(int index) {
  selectedPort_ = index;
  state_.portName = portTable_[static_cast<size_t>(index)].name;
  state_.portLabel = portTable_[static_cast<size_t>(index)].description;
}

void WindowCore::ListPortsAtStart() {
  EnumeratePorts();
  if (portTable_.empty()) {
    view_.setPorts({kNoPortsText}, 0);
    selectedPort_ = 0;
    state_.portName.clear();
    state_.portLabel.clear();
    Enable(Control::btnStart, false);
    return;
  }
  const int saved = savedPortName_ ? IndexOfPort(portTable_, *savedPortName_) : -1;
  SelectPort(saved < 0 ? 0 : saved);
  view_.setPorts(Labels(portTable_), selectedPort_);
}

void WindowCore::portListOpening() { cbCommPortDropDown(); }

void WindowCore::cbCommPortDropDown() {
  if (EnumeratePorts() < 1) portTable_.clear();
  if (portTable_.empty()) {
    view_.setPorts({kNoPortsText}, 0);
    return;
  }
  // The entry shown is the port a run will use: the same port when it is still
  // listed, wherever the new listing put it; otherwise the one now shown.
  int index = IndexOfPort(portTable_, state_.portName);
  if (index < 0) index = selectedPort_ < static_cast<int>(portTable_.size()) ? selectedPort_ : 0;
  SelectPort(index);
  view_.setPorts(Labels(portTable_), index);
}

void WindowCore::portPicked(int index) { cbCommPortChange(index); }

void WindowCore::cbCommPortChange(int index) {
  if (index < 0 || index >= static_cast<int>(portTable_.size())) {
    selectedPort_ = 0;
    state_.portName.clear();
    state_.portLabel.clear();
    return;
  }
  SelectPort(index);
  if (!state_.portName.empty()) Enable(Control::btnStart, true);
}

// The network ports join the listing unless it has them already (VORNBSL_EXTRA_PORTS).
void WindowCore::AddNetworkPorts() {
  int number = kNetworkPortBase;
  for (const std::string& url : networkPorts_) {
    if (IndexOfPort(portTable_, url) >= 0) continue;
    CommPortEntry entry;
    entry.name = url;
    entry.description = url;
    entry.portNumber = number++;
    portTable_.push_back(entry);
  }
}

// Lists the ports again and shows them with `selected` chosen (the first when it is not listed).
void WindowCore::ShowPorts(const std::string& selected) {
  EnumeratePorts();
  if (portTable_.empty()) {
    view_.setPorts({kNoPortsText}, 0);
    state_.portName.clear();
    state_.portLabel.clear();
    Enable(Control::btnStart, false);
    return;
  }
  SelectPort(std::max(IndexOfPort(portTable_, selected), 0));
  view_.setPorts(Labels(portTable_), selectedPort_);
  Enable(Control::btnStart, true);
}

