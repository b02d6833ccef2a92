// loader-upload --port PORT [--firmware FILE]: the loader half of an update:
// start the loader, erase INFO and flash, upload the image, write the vectors.
#include "app/update_session.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "cli/cli_commands.h"
#include "cli/cli_platform.h"
#include "cli/cli_progress.h"

namespace {

constexpr uint32_t kLoaderTries = 3;

struct Upload {
  CliContext& context;
  HostBSL& engine;
  DeviceProfile profile;
  CliProgress progress;
};

int StageFailed(Upload& upload, const std::string& title, int code) {
  EndProgress(upload.progress);
  // A stop on request ends the erase or the upload between frames: no fault.
  if (code == kBslCancelled && StopRequests() > 0) {
    WriteLine(stderr, "Cancelled: the " + upload.profile.name + " is in its firmware loader. Run loader-upload again "
                      "to finish it.");
    return StopExitStatus();
  }
  const std::string text = "The " + upload.context.caption + " encountered an error working with your " +
                           upload.profile.name + ".\n\nPlease try again.\n\n[Error " + std::to_string(code) + "]";
  return ReportFailure(upload.context, title, text + PortFailureNote(upload.engine.port.portName, upload.engine.port.failure),
                       code);
}

int ConnectFailed(Upload& upload, const std::string& port, int code) {
  EndProgress(upload.progress);
  const std::string opening = PortOpenMessage(port, code);
  const std::string note = PortFailureNote(port, upload.engine.port.failure);
  if (!opening.empty()) return ReportFailure(upload.context, "Connection Error", opening + note, code);
  const std::string& model = upload.profile.name;
  const std::string text =
      code == kBslNoLoader
          ? "This " + model + " does not have a working firmware loader.\n\nPlease contact Tessaly for help."
          : "The " + upload.context.caption + " is unable to connect to the firmware loader in your " + model +
                ".\n\nPlease try again.";
  return ReportFailure(upload.context, "Firmware Loader Error", text + note, code);
}

int RunStages(Upload& upload, const std::string& port) {
  HostBSL& engine = upload.engine;
  const DeviceProfile& p = upload.profile;
  ShowStage(upload.progress, "Starting the firmware loader...");
  int result = BSLConnect(engine, port, p.loaderBaud, true, kLoaderTries);
  if (result < 0) return ConnectFailed(upload, port, result);
  ShowStage(upload.progress, "Erasing firmware memory...");
  result = BSLEraseINFO(engine, p.infoStart, p.infoSegments, p.infoSegmentSize, p.twentyBit);
  if (result < 0) return StageFailed(upload, "INFO Memory Erase Error", result);
  result = BSLEraseFlash(engine, p.flashStart, p.flashEnd, p.twentyBit);
  if (result < 0) return StageFailed(upload, "Firmware Erase Error", result);
  ShowStage(upload.progress, "Uploading new firmware code...");
  result = BSLSendFirmware(engine, p.twentyBit);
  if (result < 0) return StageFailed(upload, "Firmware Upload Error", result);
  ShowStage(upload.progress, "Restarting the " + p.name + ", please wait...");
  result = BSLSendVectors(engine);
  if (result < 0) return StageFailed(upload, "Firmware Upload Error", result);
  BSLDisconnect(engine);
  ShowPercent(upload.progress, 100);
  EndProgress(upload.progress);
  return kExitSuccess;
}

}  // namespace

int RunLoaderUpload(CliContext& context, CommandArgs args) {
  std::string port, firmware, error;
  if (!TakeOption(args, "--port", &port, &error) || !TakeOption(args, "--firmware", &firmware, &error)) {
    return ReportUsage(error, kLoaderUploadUsage);
  }
  if (port.empty()) return ReportUsage("loader-upload needs --port PORT", kLoaderUploadUsage);
  if (!args.empty()) return ReportUsage("unexpected argument " + args[0], kLoaderUploadUsage);
  if (!PortNameValid(port, &error)) return ReportUsage(error, kLoaderUploadUsage);
  HostBSL engine(&context.log, BuiltInFirmware());
  if (CheckEngine(context, engine) != kExitSuccess) return kExitFailed;
  if (LoadFirmwareOption(context, engine, firmware) != kExitSuccess) return kExitFailed;
  Upload upload{context, engine, {}, MakeCliProgress(stdout)};
  // A file whose name names no kind is taken for the built-in kind, as the window does.
  const int kind = engine.deviceType == kDeviceTypeUnknown ? kDeviceTypeTGX : engine.deviceType;
  FillProfile(kind, kVersionNotAsked, upload.profile);
  engine.progress = EngineProgressHook(upload.progress);
  InstallStopHandler();
  return RunStages(upload, port);
}
