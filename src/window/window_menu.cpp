// The menu commands, the Settings menu's toggles and the sensor menu. The core
// holds every item's state and hands each change to the view.
#include "app/build_target.h"
#include "window/window_core.h"
#include "window/window_texts.h"

void WindowCore::menu(MenuId id) {
  const MenuEntry* row = FindMenuEntry(id);
  const MenuState state = MenuItem(id);
  // A face may pass on a shortcut of an item that cannot be chosen now.
  if (row == nullptr || !state.enabled || (!state.visible && !row->keyWhileHidden)) return;
  if (const std::optional<size_t> sensor = SensorItemIndex(id)) {
    SelectSensorType(SensorMenuItems()[*sensor].type);
    return;
  }
  switch (id) {
    case MenuId::OpenFirmwareFile1: OpenFirmwareFile1Click(); break;
    case MenuId::UpdateFirmware1: UpdateFirmware1Click(); break;
    case MenuId::DumpFirmwareImage1: DumpFirmwareImage1Click(); break;
    case MenuId::Exit1: view_.closeWindow(); break;
    case MenuId::VerboseErrorFile1: VerboseErrorFile1Click(); break;
    case MenuId::ForceFindAllCommPorts1: ForceFindAllCommPorts1Click(); break;
    case MenuId::NetworkPorts1: NetworkPorts1Click(); break;
    case MenuId::DontEraseData1: DontEraseData1Click(); break;
    case MenuId::ReplaceSerialNumber1: ReplaceSerialNumber1Click(); break;
    case MenuId::Help2: Help2Click(); break;
    case MenuId::SendFeedbacktoTessaly1: SendFeedbacktoTessaly1Click(); break;
    case MenuId::CheckforUpdates1: CheckforUpdates1Click(); break;
    case MenuId::About1: About1Click(); break;
    default: break;  // menus, separators and the sensor menu's header do nothing
  }
}

MenuState WindowCore::MenuItem(MenuId id) const {
  const auto found = menuStates_.find(id);
  return found == menuStates_.end() ? MenuState{false, false, false} : found->second;
}

void WindowCore::SetMenuItem(MenuId id, const MenuState& state) {
  menuStates_[id] = state;
  view_.setMenuItem(id, state);
}

void WindowCore::ShowMenuItem(MenuId id, bool shown) {
  MenuState state = MenuItem(id);
  state.visible = shown;
  SetMenuItem(id, state);
}

void WindowCore::EnableMenuItem(MenuId id, bool on) {
  MenuState state = MenuItem(id);
  state.enabled = on;
  SetMenuItem(id, state);
}

void WindowCore::CheckMenuItem(MenuId id, bool checked) {
  MenuState state = MenuItem(id);
  state.checked = checked;
  SetMenuItem(id, state);
}

// A toggle's check mark flips; the new mark.
bool WindowCore::FlipMenuItem(MenuId id) {
  CheckMenuItem(id, !MenuItem(id).checked);
  return MenuItem(id).checked;
}

void WindowCore::VerboseErrorFile1Click() {
  state_.verbose = FlipMenuItem(MenuId::VerboseErrorFile1);
  if (log_ != nullptr) SetLevel(*log_, state_.verbose ? kLogProtocol : kLogFailure);
}

// Takes effect at the next opening of the port selector.
void WindowCore::ForceFindAllCommPorts1Click() {
  state_.forceFindAllPorts = FlipMenuItem(MenuId::ForceFindAllCommPorts1);
}

void WindowCore::DontEraseData1Click() { state_.dontEraseData = FlipMenuItem(MenuId::DontEraseData1); }

void WindowCore::ReplaceSerialNumber1Click() {
  state_.replaceSerialNumber = FlipMenuItem(MenuId::ReplaceSerialNumber1);
  view_.setVisible(Control::newSN, state_.replaceSerialNumber);
  view_.setVisible(Control::newSNstr, state_.replaceSerialNumber);
  if (state_.replaceSerialNumber) view_.setFocus(Control::newSNstr);
}

void WindowCore::ShowSensorMenu(bool shown) {
  ShowMenuItem(MenuId::SensorSeparator, shown);
  ShowMenuItem(MenuId::SetDigitalSensorto1, shown);
  const auto items = SensorMenuItems();
  for (size_t i = 0; i < items.size(); ++i) ShowMenuItem(SensorItemId(i), shown && items[i].shownInFactoryMode);
}

void WindowCore::CheckSensorItem(uint32_t type) {
  const auto items = SensorMenuItems();
  for (size_t i = 0; i < items.size(); ++i) CheckMenuItem(SensorItemId(i), items[i].type == type);
}

void WindowCore::SelectSensorType(uint32_t type) {
  if (!::SelectSensorType(state_, type)) return;
  CheckSensorItem(type);
  view_.setText(Control::userText1, UserText1For(state_.modelName));
}
