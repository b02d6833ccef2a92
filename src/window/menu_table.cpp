#include "window/menu_table.h"

#include <algorithm>

#include "app/build_target.h"

namespace {

constexpr MenuState kShown{};
constexpr MenuState kDisabled{false, true, false};
constexpr MenuState kHidden{true, false, false};
constexpr MenuState kHiddenHeader{false, false, false};
constexpr MenuState kCheckedDisabled{false, true, true};

constexpr Shortcut Ctrl(char letter) { return Shortcut{true, false, letter, 0}; }
constexpr Shortcut CtrlAlt(char letter) { return Shortcut{true, true, letter, 0}; }
constexpr Shortcut Function(int number) { return Shortcut{false, false, 0, number}; }

MenuEntry Row(MenuId id, MenuKind kind, const char* name, const char* caption, Shortcut shortcut = {},
              MenuState start = kShown) {
  return MenuEntry{id, kind, name, caption, shortcut, start};
}

// An item never shown whose shortcut still reaches it.
MenuEntry KeyOnly(MenuId id, const char* name, const char* caption, Shortcut shortcut) {
  MenuEntry row = Row(id, MenuKind::kCommand, name, caption, shortcut, kHidden);
  row.keyWhileHidden = true;
  return row;
}

std::vector<MenuEntry> BuildTable() {
  using enum MenuId;
  using enum MenuKind;
  std::vector<MenuEntry> rows{
      Row(File1, kMenu, "File1", "&File"),
      Row(OpenFirmwareFile1, kCommand, "OpenFirmwareFile1", "&Open Firmware File...", Ctrl('O'), kDisabled),
      Row(UpdateFirmware1, kCommand, "UpdateFirmware1", "&Update Firmware", Ctrl('F')),
      KeyOnly(DumpFirmwareImage1, "DumpFirmwareImage1", "&Dump Firmware Image...", CtrlAlt('D')),
      Row(Exit1, kCommand, "Exit1", "&Exit", Ctrl('Q')),
      Row(Settings1, kMenu, "Settings1", "&Settings"),
      Row(VerboseErrorFile1, kToggle, "VerboseErrorFile1", "&Verbose Error File", {}, kCheckedDisabled),
      Row(ForceFindAllCommPorts1, kToggle, "ForceFindAllCommPorts1", "Force Find All &Comm Ports"),
      Row(NetworkPorts1, kCommand, "NetworkPorts1", "&Network Ports..."),
      Row(DontEraseData1, kToggle, "DontEraseData1", "&Don't Erase Data", {}, kHidden),
      Row(ReplaceSerialNumber1, kToggle, "ReplaceSerialNumber1", "&Replace Serial Number", {}, kHidden),
      Row(SensorSeparator, kSeparator, "SensorSeparator", "", {}, kHidden),
      Row(SetDigitalSensorto1, kCommand, "SetDigitalSensorto1", "Set Digital Sensor to:", {}, kHiddenHeader),
  };
  const auto sensors = SensorMenuItems();
  for (size_t i = 0; i < sensors.size(); ++i) {
    rows.push_back(MenuEntry{SensorItemId(i), kToggle, "SensorType" + std::to_string(sensors[i].type),
                             std::string(sensors[i].caption), {}, kHidden});
  }
  rows.push_back(Row(Help1, kMenu, "Help1", "&Help"));
  rows.push_back(Row(Help2, kCommand, "Help2", "&Help", Function(1)));
  rows.push_back(Row(SendFeedbacktoTessaly1, kCommand, "SendFeedbacktoTessaly1", "Send Feedback to VANTO..."));
  rows.push_back(Row(CheckforUpdates1, kCommand, "CheckforUpdates1", "Check for Newer Firmware Version"));
  rows.push_back(Row(HelpSeparator, kSeparator, "HelpSeparator", ""));
  rows.push_back(Row(About1, kCommand, "About1", "&About..."));
  return rows;
}

}  // namespace

const std::vector<MenuEntry>& MenuTable() {
  static const std::vector<MenuEntry> table = BuildTable();
  return table;
}

const MenuEntry* FindMenuEntry(MenuId id) {
  const std::vector<MenuEntry>& table = MenuTable();
  const auto found = std::find_if(table.begin(), table.end(), [id](const MenuEntry& row) { return row.id == id; });
  return found == table.end() ? nullptr : &*found;
}

MenuId SensorItemId(size_t index) {
  return static_cast<MenuId>(static_cast<int>(MenuId::FirstSensorItem) + static_cast<int>(index));
}

std::optional<size_t> SensorItemIndex(MenuId id) {
  const int offset = static_cast<int>(id) - static_cast<int>(MenuId::FirstSensorItem);
  if (offset < 0 || static_cast<size_t>(offset) >= SensorMenuItems().size()) return std::nullopt;
  return static_cast<size_t>(offset);
}
