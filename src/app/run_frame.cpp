// The run frame: everything around one update run that is not the sequence itself.
#include <cctype>
#include <cstdio>
#include <string_view>

#include "app/kept_settings.h"
#include "app/run_stop.h"
#include "app/update_session.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "log/platform.h"
#include "serial/serial_port.h"

namespace {

constexpr int kMillisecondsPerSecond = 1000;
constexpr int kBarDone = 100;
constexpr const char* kHostTag = "VornBSL Host";
constexpr const char* kDevicePrefix = "/dev/";

void ReportSuccess(UpdateSession& session, uint32_t start) {
  const int seconds = static_cast<int>((MillisecondTick() - start) / kMillisecondsPerSecond);
  if (session.calibrationReminder) ShowCalibrationReminder(session, session.profile.kind);
  session.ui.setBar(kBarDone);
  session.ui.stage("Successfully updated firmware in " + std::to_string(seconds) + " seconds.");
  session.ui.success();
  session.ui.pump();
  print_message(session.log, kLogFailure, kHostTag, "Finished updating device in %d seconds", seconds);
  session.ui.setInstruction("You may disconnect your " + session.state.modelName + " now.");
}

void ReportFailure(UpdateSession& session) {
  session.ui.hideStage();
  session.ui.setBar(0);
  if (session.state.digitalSensorBuild) {
    SensorRunCleanup(session);
  } else {
    BSLDisconnect(session.engine);
  }
  VPDisconnect(session.link, false);
  session.ui.setInstruction("Connect " + session.state.modelName + " to computer comm port.");
}

}  // namespace

std::string SettingsFilePath(const UpdateSession& session) {
  const std::string& tag = session.state.settingsFileTag;
  return session.state.dataFolder + "/" + session.state.modelName + (tag.empty() ? "" : "." + tag) + ".settings.txt";
}

std::string PortFileTag(const std::string& portName) {
  std::string name = portName;
  if (name.rfind(kDevicePrefix, 0) == 0) name.erase(0, std::string_view(kDevicePrefix).size());
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
  }
  return name;
}

int EngineKind(const UpdateSession& session) {
  if (session.engine.deviceType != kDeviceTypeUnknown) return session.engine.deviceType;
  return session.state.builtInKind != kDeviceTypeUnknown ? session.state.builtInKind : kDeviceTypeTGX;
}

void TargetImage(UpdateSession& session, uint32_t imageVersion) {
  // A sensor build keeps the name of the chosen sensor type: the image's kind
  // names only "Digital Sensor".
  if (!session.state.digitalSensorBuild || session.state.modelName.empty()) {
    session.state.modelName = std::string(ProfileName(EngineKind(session)));
    session.state.caption = session.state.modelName + " Firmware Updater";
  }
  session.state.imageVersion = imageVersion;
  session.state.eraseStep = 1;
  const size_t length = session.engine.imageText.size();
  session.state.uploadStep = length == 0 ? 0.0F : kUploadSpan / static_cast<float>(length);
}

int RunFrame(UpdateSession& session) {
  session.state.updateInProgress = true;
  session.state.keepGoing = true;
  session.ui.setBar(0);
  session.ui.busy(true);
  session.ui.setInstruction("Do NOT disconnect " + session.state.modelName + " until finished.");
  session.state.settingsFile = SettingsFilePath(session);
  ClearCapturedSettings(session.link);
  session.profile = DeviceProfile{};
  session.calibrationReminder = false;
  session.settings = RunSettings{};
  session.stopHeld = false;
  session.ui.stage("Connecting to " + session.state.modelName + "...");

  session.engine.progress = [&session](int total, int done, int phase, char kind) {
    return ProgressHook(session, total, done, phase, kind);
  };
  const uint32_t start = MillisecondTick();
  int result = kRunFolderBusy;
  if (OpenSettings(session)) {
    result = session.state.digitalSensorBuild ? UpdateDigitalSensor(session) : RunUpdate(session);
    CloseSettings(session, result);
  }
  if (result < 0) {
    ReportFailure(session);
  } else {
    ReportSuccess(session, start);
  }
  session.engine.progress = nullptr;
  HoldStop(session, "");
  session.ui.busy(false);
  session.state.updateInProgress = false;
  return result;
}

namespace {

UpdateRunner Runner(bool digitalSensor) {
  return [digitalSensor](UpdateRun& run) {
    run.state.digitalSensorBuild = digitalSensor;
    InstrumentLink link(run.log);
    UpdateSession session(run, link);
    return RunFrame(session);
  };
}

}  // namespace

UpdateRunner InstrumentUpdateRunner() { return Runner(false); }

UpdateRunner DigitalSensorUpdateRunner() { return Runner(true); }
