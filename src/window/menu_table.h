// The window's menus as one table that every face builds its menus from: ids,
// the form's names, captions with their accelerators, shortcuts and the state
// each item starts in. A top-level menu's row is followed by its items.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

enum class MenuId : int {
  File1,
  OpenFirmwareFile1,
  UpdateFirmware1,
  DumpFirmwareImage1,
  Exit1,
  Settings1,
  VerboseErrorFile1,
  ForceFindAllCommPorts1,
  DontEraseData1,
  ReplaceSerialNumber1,
  SensorSeparator,
  SetDigitalSensorto1,
  Help1,
  Help2,
  SendFeedbacktoTessaly1,
  CheckforUpdates1,
  HelpSeparator,
  About1,
  NetworkPorts1,
  FirstSensorItem = 100,  // then one id per "Set Digital Sensor to:" item, in menu order
};

enum class MenuKind { kMenu, kCommand, kToggle, kSeparator };

struct Shortcut {
  bool ctrl = false;
  bool alt = false;
  char letter = 0;      // 'O' for Ctrl+O; 0 when the key is a function key
  int functionKey = 0;  // 1 for F1
  bool empty() const { return letter == 0 && functionKey == 0; }
};

struct MenuState {
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  bool operator==(const MenuState&) const = default;
};

struct MenuEntry {
  MenuId id;
  MenuKind kind;
  std::string name;     // the form's name ("OpenFirmwareFile1", "SensorType93")
  std::string caption;  // "&" marks the accelerator, "&&" is one ampersand
  Shortcut shortcut;
  MenuState start;
  bool keyWhileHidden = false;  // a hidden item whose shortcut still works (the dump)
};

// Every row, in menu order.
const std::vector<MenuEntry>& MenuTable();
const MenuEntry* FindMenuEntry(MenuId id);

// The sensor items: the id of the item at `index` of SensorMenuItems(), and back.
MenuId SensorItemId(size_t index);
std::optional<size_t> SensorItemIndex(MenuId id);
