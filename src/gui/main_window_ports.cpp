// The port selector: listed at the first showing, listed again whenever it
// opens, and the person's pick.
#include <QPushButton>

#include <algorithm>

#include "gui/main_window.h"
#include "gui/main_window_texts.h"
#include "gui/port_combo_box.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

int IndexOfPort(const std::vector<CommPortEntry>& table, const std::string& name) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

int TfrmMain::EnumeratePorts() {
  int count = kPortTableCapacity;
  const PortSources sources = options_.ports ? options_.ports() : DefaultPortSources();
  const int result = CommPortEnum(*enumPort_, &portTable_, &count, state_.forceFindAllPorts, sources);
  portTable_.resize(result < 0 ? 0 : static_cast<size_t>(std::clamp(count, 0, kPortTableCapacity)));
  cbCommPort->clear();
  for (const CommPortEntry& entry : portTable_) cbCommPort->addItem(Q(entry.description));
  return result;
}

void TfrmMain::SelectPort(int index) {
  selectedPort_ = index;
  cbCommPort->setCurrentIndex(index);
  state_.portName = portTable_[static_cast<size_t>(index)].name;
  state_.portLabel = portTable_[static_cast<size_t>(index)].description;
}

void TfrmMain::ListPortsAtStart() {
  EnumeratePorts();
  if (portTable_.empty()) {
    cbCommPort->addItem(QString::fromLatin1(kNoPortsText));
    selectedPort_ = 0;
    state_.portName.clear();
    state_.portLabel.clear();
    btnStart->setEnabled(false);
    return;
  }
  const int saved = savedPortName_ ? IndexOfPort(portTable_, *savedPortName_) : -1;
  SelectPort(saved < 0 ? 0 : saved);
}

void TfrmMain::cbCommPortDropDown() {
  if (EnumeratePorts() < 1) {
    portTable_.clear();
    cbCommPort->clear();
  }
  if (portTable_.empty()) {
    cbCommPort->addItem(QString::fromLatin1(kNoPortsText));
    return;
  }
  // The entry shown is the port a run will use: the same port when it is still
  // listed, wherever the new listing put it; otherwise the one now shown.
  int index = IndexOfPort(portTable_, state_.portName);
  if (index < 0) index = selectedPort_ < static_cast<int>(portTable_.size()) ? selectedPort_ : 0;
  SelectPort(index);
}

void TfrmMain::cbCommPortChange(int index) {
  if (index < 0 || index >= static_cast<int>(portTable_.size())) {
    selectedPort_ = 0;
    state_.portName.clear();
    state_.portLabel.clear();
    return;
  }
  SelectPort(index);
  if (!state_.portName.empty()) btnStart->setEnabled(true);
}
