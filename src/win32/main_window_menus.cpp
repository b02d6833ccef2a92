#include "win32/main_window_menus.h"

#include <vector>

#include "win32/window_ids.h"

namespace {

// Items whose dialog this face does not have yet: not offered, rather than an item that does
// nothing (network ports are named in VORNBSL_EXTRA_PORTS meanwhile).
bool Offered(const MenuEntry& row) { return row.id != MenuId::NetworkPorts1; }

std::string ShortcutText(const Shortcut& shortcut) {
  if (shortcut.empty()) return {};
  std::string text;
  if (shortcut.ctrl) text += "Ctrl+";
  if (shortcut.alt) text += "Alt+";
  if (shortcut.letter != 0) return text + shortcut.letter;
  return text + "F" + std::to_string(shortcut.functionKey);
}

std::string ItemTextOf(const MenuEntry& row, const std::string& caption) {
  const std::string keys = ShortcutText(row.shortcut);
  return keys.empty() ? caption : caption + "\t" + keys;
}

ACCEL AcceleratorOf(const MenuEntry& row) {
  ACCEL key{};
  key.fVirt = FVIRTKEY;
  if (row.shortcut.ctrl) key.fVirt |= FCONTROL;
  if (row.shortcut.alt) key.fVirt |= FALT;
  key.key = row.shortcut.letter != 0 ? static_cast<WORD>(row.shortcut.letter)
                                     : static_cast<WORD>(VK_F1 + row.shortcut.functionKey - 1);
  key.cmd = static_cast<WORD>(MenuCommandId(row.id));
  return key;
}

}  // namespace

Win32MainMenus::~Win32MainMenus() {
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
  // Removed items are not in the bar, which the window destroys with itself: nothing more owns them.
}

HMENU Win32MainMenus::Build() {
  bar_ = CreateMenu();
  HMENU menu = nullptr;
  std::vector<ACCEL> keys;
  for (const MenuEntry& row : MenuTable()) {
    if (row.kind == MenuKind::kMenu) {
      menu = CreatePopupMenu();
      AppendMenuW(bar_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menu), WideFromUtf8(row.caption).c_str());
      continue;
    }
    if (!Offered(row)) continue;
    menuOf_[row.id] = menu;
    texts_[row.id] = ItemTextOf(row, row.caption);
    states_[row.id] = MenuState{row.start.enabled, false, row.start.checked};
    if (!row.shortcut.empty()) keys.push_back(AcceleratorOf(row));
    Set(row.id, row.start);
  }
  accelerators_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
  return bar_;
}

void Win32MainMenus::Set(MenuId id, const MenuState& state) {
  if (menuOf_.find(id) == menuOf_.end()) return;
  const bool wasShown = states_[id].visible;
  if (state.visible && !wasShown) PutBack(id);
  if (!state.visible && wasShown) Remove(id);
  states_[id] = state;
  if (state.visible) Apply(id, state);
}

void Win32MainMenus::SetCaption(MenuId id, const std::string& caption) {
  const MenuEntry* row = FindMenuEntry(id);
  if (row == nullptr || menuOf_.find(id) == menuOf_.end()) return;
  texts_[id] = ItemTextOf(*row, caption);
  if (Present(id)) Apply(id, states_[id]);
}

bool Win32MainMenus::Present(MenuId id) const {
  const auto found = menuOf_.find(id);
  if (found == menuOf_.end()) return false;
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_ID;
  return GetMenuItemInfoW(found->second, static_cast<UINT>(MenuCommandId(id)), FALSE, &item) != FALSE;
}

MenuState Win32MainMenus::Shown(MenuId id) const {
  const auto found = menuOf_.find(id);
  if (found == menuOf_.end() || !Present(id)) return MenuState{false, false, false};
  const UINT flags = GetMenuState(found->second, static_cast<UINT>(MenuCommandId(id)), MF_BYCOMMAND);
  return MenuState{(flags & (MF_GRAYED | MF_DISABLED)) == 0, true, (flags & MF_CHECKED) != 0};
}

std::string Win32MainMenus::ItemText(MenuId id) const {
  const auto found = texts_.find(id);
  return found == texts_.end() ? std::string() : found->second;
}

// Back at its place in the table: after the items of its menu that the menu shows.
void Win32MainMenus::PutBack(MenuId id) {
  HMENU menu = menuOf_[id];
  UINT position = 0;
  for (const MenuEntry& row : MenuTable()) {
    if (row.id == id) break;
    const auto owner = menuOf_.find(row.id);
    if (owner != menuOf_.end() && owner->second == menu && states_[row.id].visible) ++position;
  }
  const MenuEntry* row = FindMenuEntry(id);
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_ID | MIIM_FTYPE;
  item.wID = static_cast<UINT>(MenuCommandId(id));
  item.fType = row->kind == MenuKind::kSeparator ? MFT_SEPARATOR : MFT_STRING;
  InsertMenuItemW(menu, position, TRUE, &item);
}

void Win32MainMenus::Remove(MenuId id) { RemoveMenu(menuOf_[id], static_cast<UINT>(MenuCommandId(id)), MF_BYCOMMAND); }

void Win32MainMenus::Apply(MenuId id, const MenuState& state) {
  const MenuEntry* row = FindMenuEntry(id);
  if (row == nullptr || row->kind == MenuKind::kSeparator) return;
  std::wstring text = WideFromUtf8(texts_[id]);
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STRING | MIIM_STATE;
  item.dwTypeData = text.data();
  item.fState = (state.enabled ? MFS_ENABLED : MFS_DISABLED) | (state.checked ? MFS_CHECKED : MFS_UNCHECKED);
  SetMenuItemInfoW(menuOf_[id], static_cast<UINT>(MenuCommandId(id)), FALSE, &item);
}
