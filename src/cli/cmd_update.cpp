// update --port PORT [--yes | --no] [--factory] [--repair] [--firmware FILE] [--new-sn SN] [--no-erase]:
// the whole update of the device on the port, as the window's Start button runs it.
// The digital-sensor build takes --type CODE (the "Set Digital Sensor to:"
// choice, a sensor or family code) instead of --new-sn and --no-erase.
#include <algorithm>
#include <cstdlib>

#include "app/build_target.h"
#include "app/update_session.h"
#include "bsl/host_bsl.h"
#include "cli/cli_commands.h"
#include "cli/cli_update_ui.h"
#include "instrument/instrument_link.h"

namespace {

constexpr size_t kSerialNumberMax = 15;

bool TakeFlag(CommandArgs& args, const std::string& name) {
  const auto found = std::find(args.begin(), args.end(), name);
  if (found == args.end()) return false;
  args.erase(found);
  return true;
}

struct UpdateOptions {
  std::string port, firmware, newSerialNumber, type;
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

int ParseUpdateOptions(CommandArgs& args, UpdateOptions* options) {
  std::string error;
  if (!TakeOption(args, "--port", &options->port, &error) ||
      !TakeOption(args, "--firmware", &options->firmware, &error)) {
    return ReportUsage(error, UpdateUsage());
  }
  const int build = ParseBuildOptions(args, options);
  if (build != kExitSuccess) return build;
  options->yes = TakeFlag(args, "--yes");
  options->no = TakeFlag(args, "--no");
  options->factory = TakeFlag(args, "--factory");
  options->repair = TakeFlag(args, "--repair") || options->factory;
  if (!args.empty()) return ReportUsage("unexpected argument " + args[0], UpdateUsage());
  if (options->port.empty()) return ReportUsage("update needs --port PORT", UpdateUsage());
  if (options->yes && options->no) return ReportUsage("--yes and --no exclude each other", UpdateUsage());
  if (!options->type.empty() && SensorTypeOption(options->type) == 0) {
    return ReportUsage("--type takes one of the codes " + SensorTypeCodes(), UpdateUsage());
  }
  return kExitSuccess;
}

}  // namespace

const char* UpdateUsage() { return SensorBuild() ? kSensorUpdateUsage : kUpdateUsage; }

int RunUpdateCommand(CliContext& context, CommandArgs args) {
  UpdateOptions options;
  const int parsed = ParseUpdateOptions(args, &options);
  if (parsed != kExitSuccess) return parsed;

  InstrumentLink link(&context.log);
  HostBSL engine(&context.log, BuiltInFirmware());
  if (CheckEngine(context, engine) != kExitSuccess) return kExitFailed;
  CliUpdateUi ui;
  ui.answer = options.yes ? CliAnswer::Yes : options.no ? CliAnswer::No : CliAnswer::Prompt;
  UpdaterState state;
  UpdateRun run{state, ui, engine, &context.log};
  UpdateSession session(run, link);
  state.dataFolder = context.dataDir;
  TargetBuild(state, BuiltInFirmware());
  if (!options.type.empty()) SelectSensorType(state, SensorTypeOption(options.type));
  TargetImage(session, BuiltInFirmware().imageVersion);
  if (!options.firmware.empty()) {
    if (LoadFirmwareOption(context, engine, options.firmware) != kExitSuccess) return kExitFailed;
    TargetImage(session, engine.imageVersion);
  }
  state.portName = options.port;
  state.portLabel = options.port;
  state.factoryMode = options.factory;
  state.repairMode = options.repair;
  state.dontEraseData = options.noErase;
  state.replaceSerialNumber = !options.newSerialNumber.empty();
  state.newSerialNumber = options.newSerialNumber;
  ui.keepGoing = &state.keepGoing;
  InstallCancelHandler();

  const int result = RunFrame(session);
  EndProgress(ui.progress);
  if (result < 0) return kExitFailed;
  std::printf("Successfully updated the %s on %s to %s.\n", state.modelName.c_str(), options.port.c_str(),
              engine.modelName.c_str());
  return kExitSuccess;
}
