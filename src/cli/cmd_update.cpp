// update --port PORT [--yes | --no] [--factory] [--repair] [--firmware FILE] [--new-sn SN] [--no-erase]:
// the whole update of the device on the port, as the window's Start button runs it.
#include <algorithm>

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
  std::string port, firmware, newSerialNumber;
  bool yes = false, no = false, factory = false, repair = false, noErase = false;
};

int ParseUpdateOptions(CommandArgs& args, UpdateOptions* options) {
  std::string error;
  if (!TakeOption(args, "--port", &options->port, &error) ||
      !TakeOption(args, "--firmware", &options->firmware, &error) ||
      !TakeOption(args, "--new-sn", &options->newSerialNumber, &error)) {
    return ReportUsage(error, kUpdateUsage);
  }
  options->yes = TakeFlag(args, "--yes");
  options->no = TakeFlag(args, "--no");
  options->factory = TakeFlag(args, "--factory");
  options->repair = TakeFlag(args, "--repair") || options->factory;
  options->noErase = TakeFlag(args, "--no-erase");
  if (!args.empty()) return ReportUsage("unexpected argument " + args[0], kUpdateUsage);
  if (options->port.empty()) return ReportUsage("update needs --port PORT", kUpdateUsage);
  if (options->yes && options->no) return ReportUsage("--yes and --no exclude each other", kUpdateUsage);
  if (options->newSerialNumber.size() > kSerialNumberMax) {
    return ReportUsage("--new-sn takes at most 15 characters", kUpdateUsage);
  }
  return kExitSuccess;
}

}  // namespace

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
  state.builtInKind = BuiltInFirmware().deviceType;
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
