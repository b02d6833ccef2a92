// settings list [--sn SN] [--json] | settings show ID | settings restore --port PORT ID [--yes | --no]:
// the settings archive for people and for a factory's own records. Every capture an update made
// is there, by device, date and what the update did with it.
#include <cstdio>
#include <string>
#include <vector>

#include "app/build_target.h"
#include "app/kept_settings.h"
#include "app/restore_archived.h"
#include "app/settings_archive.h"
#include "app/update_session.h"
#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "cli/cli_commands.h"
#include "cli/cli_update_ui.h"
#include "instrument/instrument_link.h"
#include "log/platform.h"

namespace {

constexpr size_t kDeviceColumn = 34;
constexpr size_t kFirmwareColumn = 15;
constexpr const char* kUnknown = "?";

bool TakeFlag(CommandArgs& args, const std::string& name) {
  for (auto arg = args.begin(); arg != args.end(); ++arg) {
    if (*arg != name) continue;
    args.erase(arg);
    return true;
  }
  return false;
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text + " ";
}

std::string Firmware(const ArchiveEntry& entry) {
  if (entry.before.empty() && entry.after.empty()) return kUnknown;
  return (entry.before.empty() ? kUnknown : entry.before) + " -> " + (entry.after.empty() ? kUnknown : entry.after);
}

std::string NoSuchEntry(const CliContext& context, const std::string& id) {
  return "The settings archive in \"" + ShownPath(ArchiveFolder(context.dataDir)) + "\" holds no settings " + id +
         ". \"settings list\" shows what it holds.";
}

std::string SerialColumn(const std::string& serial) { return serial.empty() ? "(no serial number)" : serial; }

// Whether the bytes are UTF-8 text; others are taken as Latin-1, byte by byte.
bool ValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    i += length;
  }
  return true;
}

std::string JsonText(const std::string& text) {
  const bool utf8 = ValidUtf8(text);
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    char escaped[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || (byte >= 0x80 && !utf8)) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonLine(const ArchiveEntry& entry) {
  return "{\"id\":" + JsonText(EntryId(entry)) + ",\"model\":" + JsonText(entry.model) +
         ",\"serialNumber\":" + JsonText(entry.serial) + ",\"date\":" + JsonText(StampShown(entry)) +
         ",\"firmwareBefore\":" + JsonText(entry.before) + ",\"firmwareAfter\":" + JsonText(entry.after) +
         ",\"state\":" + JsonText(std::string(StateWords(entry.state))) + ",\"stateText\":" +
         JsonText(StateShown(entry.state)) + ",\"file\":" + JsonText(ShownPath(entry.path)) + "}";
}

int ListSettings(CliContext& context, CommandArgs args) {
  std::string serial, error;
  bool bySerial = false;
  for (size_t i = 0; i < args.size(); ++i) bySerial = bySerial || args[i] == "--sn";
  if (!TakeOption(args, "--sn", &serial, &error)) return ReportUsage(error, kSettingsUsage);
  const bool json = TakeFlag(args, "--json");
  if (!args.empty()) return ReportUsage("unexpected argument " + args[0], kSettingsUsage);
  std::string lines;
  if (!json) {
    lines = Padded("ID", 8) + Padded("DEVICE", kDeviceColumn) + Padded("DATE", 19) +
            Padded("FIRMWARE", kFirmwareColumn) + "WHAT HAPPENED\n";
  }
  for (const ArchiveEntry& entry : ListArchive(context.dataDir)) {
    if (bySerial && entry.serial != serial) continue;
    if (json) {
      lines += JsonLine(entry) + "\n";
      continue;
    }
    lines += Padded(EntryId(entry), 8) + Padded(entry.model + " " + SerialColumn(entry.serial), kDeviceColumn) +
             Padded(StampShown(entry), 19) + Padded(Firmware(entry), kFirmwareColumn) +
             std::string(StateWords(entry.state)) + "\n";
  }
  std::fwrite(lines.data(), 1, lines.size(), stdout);
  return kExitSuccess;
}

int ShowSettings(CliContext& context, CommandArgs args) {
  if (args.size() != 1) return ReportUsage("settings show needs one ID", kSettingsUsage);
  const ArchiveEntry entry = FindEntry(context.dataDir, args[0]);
  std::string text;
  if (entry.path.empty() || !ReadEntry(entry, &text)) {
    return ReportFailure(context, "Settings Error", NoSuchEntry(context, args[0]), kSettingsFileMissing);
  }
  const std::string head = "id: " + EntryId(entry) + "\ndevice: " + entry.model + ", " + SerialShown(entry.serial) +
                           "\ndate: " + StampShown(entry) + "\nfirmware: " + Firmware(entry) +
                           "\nwhat happened: " + StateShown(entry.state) + "\nfile: " + ShownPath(entry.path) + "\n\n";
  std::fwrite(head.data(), 1, head.size(), stdout);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kExitSuccess;
}

int RestoreSettings(CliContext& context, CommandArgs args) {
  std::string port, error;
  if (!TakeOption(args, "--port", &port, &error)) return ReportUsage(error, kSettingsUsage);
  const bool yes = TakeFlag(args, "--yes");
  const bool no = TakeFlag(args, "--no");
  if (port.empty() || args.size() != 1) return ReportUsage("settings restore needs --port PORT and one ID", kSettingsUsage);
  if (!PortNameValid(port, &error)) return ReportUsage(error, kSettingsUsage);
  if (yes && no) return ReportUsage("--yes and --no exclude each other", kSettingsUsage);
  const ArchiveEntry entry = FindEntry(context.dataDir, args[0]);
  if (entry.path.empty()) {
    return ReportFailure(context, "Settings Error", NoSuchEntry(context, args[0]), kSettingsFileMissing);
  }
  HostBSL engine(&context.log, BuiltInFirmware());
  if (CheckEngine(context, engine) != kExitSuccess) return kExitFailed;
  UpdaterState state;
  state.dataFolder = context.dataDir;
  state.portName = port;
  state.portLabel = port;
  TargetBuild(state, BuiltInFirmware());
  CliUpdateUi ui;
  ui.answer = yes ? CliAnswer::Yes : no ? CliAnswer::No : CliAnswer::Prompt;
  UpdateRun run{state, ui, engine, &context.log};
  InstrumentLink link(&context.log);
  UpdateSession session(run, link);
  TargetImage(session, BuiltInFirmware().imageVersion);
  state.settingsFile = SettingsFilePath(session);
  if (entry.model != ArchiveModel(session)) {
    return ReportFailure(context, "Wrong Device",
                         "These settings are a " + entry.model + "'s; this program writes a " + ArchiveModel(session) +
                             "'s.",
                         kRunWrongDevice);
  }
  if (!OpenSettings(session)) return kExitFailed;
  const int result = RestoreArchivedSettings(session, entry);
  CloseSettings(session, result);
  EndProgress(ui.progress);
  if (result < 0) return kExitFailed;
  WriteLine(stdout, "Restored the settings of the " + entry.model + " with " + SerialShown(entry.serial) +
                        ", saved on " + StampShown(entry) + ", into the " + state.modelName + " on " + port + ".");
  return kExitSuccess;
}

}  // namespace

int RunSettingsCommand(CliContext& context, CommandArgs args) {
  if (args.empty()) return ReportUsage("settings needs list, show or restore", kSettingsUsage);
  const std::string what = args.front();
  args.erase(args.begin());
  if (what == "list") return ListSettings(context, args);
  if (what == "show") return ShowSettings(context, args);
  if (what == "restore") return RestoreSettings(context, args);
  return ReportUsage("unknown settings command " + what, kSettingsUsage);
}
