// The menu bar built from the core's menu table. Win32 menus have no hidden items: an
// item the core hides is removed from its menu and put back in its place when shown.
// The shortcuts are an accelerator table; a hidden item's shortcut still reaches the
// core, which decides whether it counts.
#pragma once

#include <map>
#include <string>

#include "log/win32_text.h"
#include "window/menu_table.h"

class Win32MainMenus {
 public:
  Win32MainMenus() = default;
  ~Win32MainMenus();
  Win32MainMenus(const Win32MainMenus&) = delete;
  Win32MainMenus& operator=(const Win32MainMenus&) = delete;

  // The menu bar, in the table's starting states.
  HMENU Build();
  HACCEL Accelerators() const { return accelerators_; }

  void Set(MenuId id, const MenuState& state);
  void SetCaption(MenuId id, const std::string& caption);
  // What the menu shows now: absent items are hidden.
  bool Present(MenuId id) const;
  MenuState Shown(MenuId id) const;
  // The item's text as the menu shows it (caption, a tab, the shortcut).
  std::string ItemText(MenuId id) const;

 private:
  void PutBack(MenuId id);
  void Remove(MenuId id);
  void Apply(MenuId id, const MenuState& state);

  HMENU bar_ = nullptr;
  HACCEL accelerators_ = nullptr;
  std::map<MenuId, HMENU> menuOf_;       // the drop-down menu each item belongs to
  std::map<MenuId, std::string> texts_;  // caption and shortcut text
  std::map<MenuId, MenuState> states_;
};
