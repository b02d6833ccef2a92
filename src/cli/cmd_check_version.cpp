// check-version [--host URL]: asks the web host for the newest firmware release.
#include <iostream>
#include <memory>

#include "app/build_target.h"
#include "bsl/builtin_image.h"
#include "bsl/device_profile.h"
#include "cli/cli_commands.h"

#ifdef VORN_HAVE_WEB
#include "web/check_version_command.h"
#include "web/web_system.h"
#endif

bool WebServicesBuilt() {
#ifdef VORN_HAVE_WEB
  return true;
#else
  return false;
#endif
}

int RunCheckVersion(CliContext& context, CommandArgs args) {
  std::string host, error;
  if (!TakeOption(args, "--host", &host, &error)) return ReportUsage(error, kCheckVersionUsage);
  if (!args.empty()) return ReportUsage("unexpected argument " + args[0], kCheckVersionUsage);
#ifdef VORN_HAVE_WEB
  const BuiltInImage& image = BuiltInFirmware();
  CheckVersionCommand command;
  command.host = host;
  command.currentVersion = image.imageVersion;
  UpdaterState state;
  TargetBuild(state, image);
  command.path = state.digitalSensorBuild ? state.versionFinderPath : VersionFinderPath(image.deviceType);
  command.deviceName = state.modelName;
  (void)context;
  const std::unique_ptr<WebSettings> settings = MakeSystemWebSettings();
  const std::unique_ptr<WebTransport> transport = MakeSystemWebTransport();
  return RunCheckVersionCommand(command, *transport, settings.get(), std::cout, std::cerr);
#else
  std::cerr << context.caption << ": this build has no web services (built without Qt)\n";
  return kExitFailed;
#endif
}
