// update --port PORT [--port PORT]... [--yes | --no] [--factory] [--repair] [--firmware FILE] [--new-sn SN]
// [--no-erase]: the whole update of the device on each port, as the window's Start button runs it.
// Several ports are updated at once, one thread each, every thread with its own link, engine
// and state; they share only the error file (whose lines name their port) and the console.
// The digital-sensor build takes --type CODE (the "Set Digital Sensor to:" choice, a sensor or
// family code) instead of --new-sn and --no-erase.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "app/build_target.h"
#include "app/update_session.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "cli/cli_commands.h"
#include "cli/cli_erase_warning.h"
#include "cli/cli_platform.h"
#include "cli/cli_stop.h"
#include "cli/cli_update_ui.h"
#include "instrument/instrument_link.h"
#include "log/platform.h"
#include "serial/serial_port.h"

namespace {

constexpr size_t kSerialNumberMax = 15;

bool TakeFlag(CommandArgs& args, const std::string& name) {
  const auto found = std::find(args.begin(), args.end(), name);
  if (found == args.end()) return false;
  args.erase(found);
  return true;
}

struct UpdateOptions {
  std::vector<std::string> ports;
  std::string firmware, newSerialNumber, type;
  std::string settings;  // the settings file (an archive ID or a path) the person names as the device's own
  std::string eraseWarning;  // the warning the person was shown before the update, when it was
  bool yes = false, no = false, factory = false, repair = false, noErase = false;
};

bool SensorBuild() { return DigitalSensorBuild(BuiltInFirmware()); }

// The options only one of the two builds knows.
int ParseBuildOptions(CommandArgs& args, UpdateOptions* options) {
  std::string error;
  if (SensorBuild()) {
    if (!TakeOption(args, "--type", &options->type, &error)) return ReportUsage(error, UpdateUsage());
    return kExitSuccess;
  }
  if (!TakeOption(args, "--new-sn", &options->newSerialNumber, &error)) return ReportUsage(error, UpdateUsage());
  options->noErase = TakeFlag(args, "--no-erase");
  if (options->newSerialNumber.size() > kSerialNumberMax) {
    return ReportUsage("--new-sn takes at most 15 characters", UpdateUsage());
  }
  return kExitSuccess;
}

// --type CODE: a decimal code of the sensor menu; 0 when it names none.
uint32_t SensorTypeOption(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 4) return 0;
  const auto code = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
  return FindSensorMenuItem(code) != nullptr ? code : 0;
}

std::string SensorTypeCodes() {
  std::string codes;
  for (const SensorMenuItem& item : SensorMenuItems()) codes += (codes.empty() ? "" : ", ") + std::to_string(item.type);
  return codes;
}

// Two names of one device (a link and its target, two spellings of a COM name) would run two
// updates on it, the second failing as "in use" beside the first; two names of one settings
// file would let two runs share it. Empty when every port is its own, else what to tell.
std::string SamePortTwice(const std::vector<std::string>& ports) {
  std::map<std::string, std::string> devices, tags;  // identity -> the --port that named it
  for (const std::string& port : ports) {
    const std::string device = PortDeviceIdentity(port);
    const auto [seen, added] = devices.emplace(device, port);
    if (!added) {
      return "--port " + seen->second + " and --port " + port + " name the same port (" + ShownPath(device) + ")";
    }
    const auto [tagged, fresh] = tags.emplace(PortFileTag(port), port);
    if (!fresh) return "--port " + tagged->second + " and --port " + port + " would share a settings file";
  }
  return {};
}

int CheckPorts(const UpdateOptions& options) {
  if (options.ports.empty()) return ReportUsage("update needs --port PORT", UpdateUsage());
  for (const std::string& port : options.ports) {
    if (port.empty()) return ReportUsage("--port needs a port name", UpdateUsage());
    std::string error;
    if (!PortNameValid(port, &error)) return ReportUsage(error, UpdateUsage());
  }
  if (options.ports.size() == 1) return kExitSuccess;
  const std::string same = SamePortTwice(options.ports);
  if (!same.empty()) return ReportUsage(same + ": each --port must name a different port", UpdateUsage());
  // One serial number on several devices would make them indistinguishable.
  if (!options.newSerialNumber.empty()) return ReportUsage("--new-sn takes a single --port", UpdateUsage());
  // One device's settings for several devices would be a guess.
  if (!options.settings.empty()) return ReportUsage("--settings takes a single --port", UpdateUsage());
  return kExitSuccess;
}

int ParseUpdateOptions(CommandArgs& args, UpdateOptions* options) {
  std::string error;
  if (!TakeOptions(args, "--port", &options->ports, &error) ||
      !TakeOption(args, "--firmware", &options->firmware, &error) ||
      !TakeOption(args, "--settings", &options->settings, &error)) {
    return ReportUsage(error, UpdateUsage());
  }
  const int build = ParseBuildOptions(args, options);
  if (build != kExitSuccess) return build;
  options->yes = TakeFlag(args, "--yes");
  options->no = TakeFlag(args, "--no");
  options->factory = TakeFlag(args, "--factory");
  options->repair = TakeFlag(args, "--repair") || options->factory;
  if (!args.empty()) return ReportUsage("unexpected argument " + args[0], UpdateUsage());
  if (options->yes && options->no) return ReportUsage("--yes and --no exclude each other", UpdateUsage());
  if (!options->type.empty() && SensorTypeOption(options->type) == 0) {
    return ReportUsage("--type takes one of the codes " + SensorTypeCodes(), UpdateUsage());
  }
  return CheckPorts(*options);
}

// One device's update: what its thread owns.
struct PortUpdate {
  std::string port;
  CliContext context;  // a copy whose log and stderr lines name the port when several run
  CliUpdateUi ui;
  std::string modelName, imageName;
  int exitStatus = kExitFailed;
};

void FillState(UpdaterState& state, const UpdateOptions& options, const PortUpdate& update, bool several) {
  state.dataFolder = update.context.dataDir;
  state.portName = update.port;
  state.portLabel = update.port;
  state.settingsFileTag = several ? PortFileTag(update.port) : "";
  state.factoryMode = options.factory;
  state.repairMode = options.repair;
  state.dontEraseData = options.noErase;
  state.replaceSerialNumber = !options.newSerialNumber.empty();
  state.newSerialNumber = options.newSerialNumber;
  state.settingsChoice = options.settings;
}

// A run that stopped on request: no fault, and the next run takes it up.
int Cancelled(const PortUpdate& update) {
  const std::string line = "Cancelled: " + update.ui.stopState;
  WriteLine(stderr, update.context.linePrefix + line);
  print_message(&update.context.log, kLogFailure, "VornBSL cli", "%s", line.c_str());
  return StopExitStatus();
}

int UpdateOnePort(const UpdateOptions& options, PortUpdate& update, bool several) {
  MessageLog* log = &update.context.log;
  InstrumentLink link(log);
  HostBSL engine(log, BuiltInFirmware());
  if (CheckEngine(update.context, engine) != kExitSuccess) return kExitFailed;
  UpdaterState state;
  UpdateRun run{state, update.ui, engine, log};
  UpdateSession session(run, link);
  state.dataFolder = update.context.dataDir;
  TargetBuild(state, BuiltInFirmware());
  if (!options.type.empty()) SelectSensorType(state, SensorTypeOption(options.type));
  TargetImage(session, BuiltInFirmware().imageVersion);
  if (!options.firmware.empty()) {
    if (LoadFirmwareOption(update.context, engine, options.firmware) != kExitSuccess) return kExitFailed;
    TargetImage(session, engine.imageVersion);
  }
  FillState(state, options, update, several);
  if (!options.eraseWarning.empty()) print_message(log, kLogFailure, kToldUserTag, "%s", options.eraseWarning.c_str());
  const int result = RunFrame(session);
  EndProgress(update.ui.progress);
  update.modelName = state.modelName;
  update.imageName = engine.modelName;
  if (result >= 0) return kExitSuccess;
  return update.ui.stopState.empty() ? kExitFailed : Cancelled(update);
}

void PrepareUpdate(const CliContext& context, const UpdateOptions& options, PortUpdate& update, bool several) {
  update.context = context;
  update.ui.answer = options.yes ? CliAnswer::Yes : options.no ? CliAnswer::No : CliAnswer::Prompt;
  if (!several) return;
  update.context.log.source = update.port;
  update.context.linePrefix = update.port + ": ";
  update.ui.linePrefix = update.context.linePrefix;
  update.ui.mayPrompt = false;
  update.ui.progress = MakePortProgress(stdout, update.port);
}

std::string ResultLine(const PortUpdate& update) {
  if (update.exitStatus == kExitSuccess) {
    return "Successfully updated the " + update.modelName + " on " + update.port + " to " + update.imageName + ".";
  }
  const std::string device = update.modelName.empty() ? std::string("device") : update.modelName;
  if (!update.ui.stopState.empty()) return "Stopped the update of the " + device + " on " + update.port + ".";
  return "Failed to update the " + device + " on " + update.port + ".";
}

// The device kind the update is for: the firmware file's when one is given (a file that names
// no kind is for the built-in kind), else the built-in image's. A file that cannot be loaded
// is told once here, not once per port.
int TargetKind(CliContext& context, const std::string& path, const UpdaterState& build, int* kind) {
  *kind = build.builtInKind;
  if (path.empty()) return kExitSuccess;
  HostBSL engine(&context.log, BuiltInFirmware());
  if (CheckEngine(context, engine) != kExitSuccess) return kExitFailed;
  if (LoadFirmwareOption(context, engine, path) != kExitSuccess) return kExitFailed;
  if (engine.deviceType != kDeviceTypeUnknown) *kind = engine.deviceType;
  return kExitSuccess;
}

// The warning before an update that erases the measurement data, for the kind it updates.
int ConfirmUpdate(CliContext& context, UpdateOptions& options) {
  UpdaterState state;
  TargetBuild(state, BuiltInFirmware());
  int kind = 0;
  if (TargetKind(context, options.firmware, state, &kind) != kExitSuccess) return kExitFailed;
  if (kind != state.builtInKind && !state.digitalSensorBuild) {
    state.modelName = std::string(ProfileName(kind));
    state.caption = state.modelName + " Firmware Updater";
  }
  state.repairMode = options.repair;
  state.factoryMode = options.factory;
  state.dontEraseData = options.noErase;
  const CliAnswer answer = options.yes ? CliAnswer::Yes : options.no ? CliAnswer::No : CliAnswer::Prompt;
  return ConfirmDataErase(context, state, kind, answer, &options.eraseWarning);
}

// A fault anywhere fails the command; otherwise a stop on request gives its own status.
int OverallStatus(const std::vector<PortUpdate>& updates) {
  int status = kExitSuccess;
  for (const PortUpdate& update : updates) {
    if (update.exitStatus == kExitFailed) return kExitFailed;
    if (update.exitStatus != kExitSuccess) status = update.exitStatus;
  }
  return status;
}

int UpdateSeveralPorts(CliContext& context, const UpdateOptions& options) {
  std::vector<PortUpdate> updates(options.ports.size());
  std::vector<const CliUpdateUi*> uis;
  for (size_t i = 0; i < updates.size(); ++i) {
    updates[i].port = options.ports[i];
    PrepareUpdate(context, options, updates[i], true);
    uis.push_back(&updates[i].ui);
  }
  {
    const StopNotices notices(uis);
    std::vector<std::thread> threads;
    for (PortUpdate& update : updates) {
      threads.emplace_back([&options, &update] {
        update.exitStatus = UpdateOnePort(options, update, true);
        update.ui.finished = true;
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  for (const PortUpdate& update : updates) WriteLine(stdout, update.port + ": " + ResultLine(update));
  return OverallStatus(updates);
}

}  // namespace

const char* UpdateUsage() { return SensorBuild() ? kSensorUpdateUsage : kUpdateUsage; }

int RunUpdateCommand(CliContext& context, CommandArgs args) {
  UpdateOptions options;
  const int parsed = ParseUpdateOptions(args, &options);
  if (parsed != kExitSuccess) return parsed;
  InstallStopHandler();
  const int confirmed = ConfirmUpdate(context, options);
  if (confirmed != kExitSuccess) return confirmed;
  if (options.ports.size() > 1) return UpdateSeveralPorts(context, options);

  PortUpdate update;
  update.port = options.ports.front();
  PrepareUpdate(context, options, update, false);
  {
    const StopNotices notices({&update.ui});
    update.exitStatus = UpdateOnePort(options, update, false);
  }
  if (update.exitStatus == kExitSuccess) WriteLine(stdout, ResultLine(update));
  return update.exitStatus;
}
