// The run frame: everything around one update run that is not the sequence itself.
#include <cstdio>

#include "app/update_session.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "serial/serial_port.h"

namespace {

constexpr int kMillisecondsPerSecond = 1000;
constexpr int kBarDone = 100;
constexpr const char* kHostTag = "VornBSL Host";

void ReportSuccess(UpdateSession& session, uint32_t start) {
  const int seconds = static_cast<int>((MillisecondTick() - start) / kMillisecondsPerSecond);
  if (session.calibrationReminder) ShowCalibrationReminder(session, session.profile.kind);
  session.ui.setBar(kBarDone);
  session.ui.stage("Successfully updated firmware in " + std::to_string(seconds) + " seconds.");
  session.ui.success();
  session.ui.pump();
  print_message(session.log, kLogFailure, kHostTag, "Finished updating device in %d seconds", seconds);
  std::remove(session.settingsFile.c_str());
  session.ui.setInstruction("You may disconnect your " + session.modelName + " now.");
}

void ReportFailure(UpdateSession& session) {
  session.ui.hideStage();
  session.ui.setBar(0);
  BSLDisconnect(session.engine);
  VPDisconnect(session.link, false);
  session.ui.setInstruction("Connect " + session.modelName + " to computer comm port.");
}

}  // namespace

std::string SettingsFilePath(const UpdateSession& session) {
  return session.dataFolder + "/" + session.modelName + ".settings.txt";
}

int EngineKind(const UpdateSession& session) {
  return session.engine.deviceType == kDeviceTypeUnknown ? kDeviceTypeTGX : session.engine.deviceType;
}

void TargetImage(UpdateSession& session, uint32_t imageVersion) {
  session.modelName = std::string(ProfileName(EngineKind(session)));
  session.caption = session.modelName + " Firmware Updater";
  session.imageVersion = imageVersion;
  session.eraseStep = 1;
  const size_t length = session.engine.imageText.size();
  session.uploadStep = length == 0 ? 0.0F : kUploadSpan / static_cast<float>(length);
}

int RunFrame(UpdateSession& session) {
  // A start request that arrives while a run is dispatching events is ignored.
  if (session.updateInProgress) return kRunAlreadyActive;
  session.updateInProgress = true;
  session.keepGoing = true;
  session.ui.setBar(0);
  session.ui.busy(true);
  session.ui.setInstruction("Do NOT disconnect " + session.modelName + " until finished.");
  session.settingsFile = SettingsFilePath(session);
  ClearCapturedSettings(session.link);
  session.profile = DeviceProfile{};
  session.calibrationReminder = false;
  session.ui.stage("Connecting to " + session.modelName + "...");

  session.engine.progress = [&session](int total, int done, int phase, char kind) {
    return ProgressHook(session, total, done, phase, kind);
  };
  const uint32_t start = MillisecondTick();
  const int result = RunUpdate(session);
  if (result < 0) {
    ReportFailure(session);
  } else {
    ReportSuccess(session, start);
  }
  session.engine.progress = nullptr;
  session.ui.busy(false);
  session.updateInProgress = false;
  return result;
}
