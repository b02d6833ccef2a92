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
  UpdateSession session(ui, &context.log, link, engine);
  session.dataFolder = context.dataDir;
  TargetImage(session, BuiltInFirmware().imageVersion);
  if (!options.firmware.empty()) {
    if (LoadFirmwareOption(context, engine, options.firmware) != kExitSuccess) return kExitFailed;
    TargetImage(session, engine.imageVersion);
  }
  session.portName = options.port;
  session.portLabel = options.port;
  session.factoryMode = options.factory;
  session.repairMode = options.repair;
  session.dontEraseData = options.noErase;
  session.replaceSerialNumber = !options.newSerialNumber.empty();
  session.newSerialNumber = options.newSerialNumber;
  ui.keepGoing = &session.keepGoing;
  InstallCancelHandler();

  const int result = RunFrame(session);
  EndProgress(ui.progress);
  if (result < 0) return kExitFailed;
  std::printf("Successfully updated the %s on %s to %s.\n", session.modelName.c_str(), options.port.c_str(),
              engine.modelName.c_str());
  return kExitSuccess;
}
