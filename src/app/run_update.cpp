// The instrument update sequence: connect and check the device, capture its
// settings, replace its firmware through the loader, restart it, check the new
// firmware, restore the settings, set the clock and erase the old data.

#include "app/kept_settings.h"
#include "app/run_stop.h"
#include "app/update_session.h"
#include "bsl/host_bsl.h"
#include "instrument/device_kinds.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"
#include "logger/device_link.h"
#include "logger/logger_settings.h"
#include "logger/setting_commands.h"
#include "serial/serial_port.h"

namespace {

constexpr int kBarStep = 2;
constexpr int kBarLoaderStart = 6;
constexpr int kBarUploadStart = 21;
constexpr int kBarRestarted = 92;
constexpr int kLowBatteryPercent = 10;
constexpr uint32_t kLoaderTries = 3;
constexpr int kReconnectAttempts = 3;
constexpr int kReconnectPauseMs = 1500;
constexpr int kActuatorTimeoutMs = 1500;
constexpr int kAnswerCapacity = 512;
constexpr const char* kCalibratedAdc = "50.98";
constexpr int kGoOn = 0;  // a stage that lets the sequence continue

void AddBar(UpdateSession& session, int step) { session.ui.setBar(session.ui.bar() + step); }

bool LoaderAnswered(int result) { return result == kBslAlreadyActive || result == kBslWaiting; }

// A failed connect that may be a loader answering at the command line's rate: not a port that
// could not be opened, and not a device that identified itself.
bool MayBeLoader(int code) {
  return code < 0 && !LoaderAnswered(code) && code != -kSysPortMissing && code != -kSysPortInUse &&
         code != -kSysPermission && code != kLinkMissing && code != kRunNotSupported;
}

// Step 1-2: connect; a device silent on its command line may be running its loader. A loader
// whose rate is the command line's (a logger's) answers the command line with nonsense instead.
int Connect(UpdateSession& session) {
  int result = VPConnect(session.link, session.state.portName, kVPBaudIndex9600, kVPConnectTries, &session.profile);
  if (MayBeLoader(result)) {
    VPDisconnect(session.link, false);  // a connect that heard nonsense may still hold the port
    // A device left in its loader answers only at the rate of its own kind: the kind being updated.
    FillProfile(EngineKind(session), kVersionNotAsked, session.profile);
    const int loader = BSLCheck(session.engine, session.state.portName, session.profile.loaderBaud);
    BSLDisconnect(session.engine);
    if (result == kRunConnectionFailed || LoaderAnswered(loader)) result = loader;
  }
  if (result < 0 && !LoaderAnswered(result)) {
    ShowErrorBox(session, ConnectionMessage(session, result), "Connection Error", kBoxError);
    return kRunConnectionFailed;
  }
  return result;
}

int CheckDevice(UpdateSession& session) {
  const DeviceProfile& profile = session.profile;
  const std::string& model = session.state.modelName;
  if (profile.kind != EngineKind(session)) {
    std::string text = "The " + session.state.caption + " expected to find a " + model + ";\nhowever, it found a " +
                       profile.name + ".\n\nThis updater can not update a " + profile.name + ".";
    if (!session.state.factoryMode) {
      ShowErrorBox(session, text, "Wrong Device", kBoxError);
      return kRunWrongDevice;
    }
    text += "\n\n[Factory Mode Override: Click OK to load FW anyway]";
    if (!session.ui.ask(text, "Wrong Device")) return kRunWrongDevice;
  }
  if (!profile.updatable) {
    ShowErrorBox(session,
                 "The firmware in the connected " + model + "\nis too old.\n\nThis updater can not update this device.",
                 "Firmware Too Old", kBoxError);
    return kRunNotSupported;
  }
  if (profile.version > session.state.imageVersion && !session.state.factoryMode &&
      !session.ui.ask("The firmware in your " + model + "\nis newer than the version in this updater.\n\n" +
                          "Are you sure you want to load older firmware.",
                      "Newer Firmware")) {
    return kRunDeclined;
  }
  if (CheckTestRunning(session)) return kRunDeclined;
  if (!CheckSupportedVersion(session, profile)) return kRunNotSupported;
  return kGoOn;
}

int CheckBattery(UpdateSession& session) {
  if (!session.profile.checkBattery) return kGoOn;
  session.ui.stage("Checking battery power...");
  int percent = 0;
  if (VPCheckBattery(session.link, &percent) > 0 && percent < kLowBatteryPercent) {
    ShowErrorBox(session,
                 "The battery power is too low!\n\nPlease replace the batteries before running this updater.",
                 "Batteries Too Low", kBoxError);
    return kRunBatteryLow;
  }
  return kGoOn;
}

// What a capture's result means for the run: go on, the person declined, or its code.
int CaptureOutcome(UpdateSession& session, int saved, const std::string& retrieveFailed) {
  if (saved >= 0) return kGoOn;
  // The settings were read; only the disk refused them. Going on would leave no copy behind.
  if (SettingsFileNotWritten(session, saved)) return FailSettingsWrite(session, saved, CapturePath(session));
  if (session.state.repairMode || session.state.factoryMode) {
    const std::string text = "The " + session.state.caption + " could not retrieve the settings from your " +
                             session.state.modelName + ".\nThis can happen when an intrument is new or doesn't have " +
                             "a serial number set yet.\n\nClick OK to continue loading new firmware." +
                             "\nClick CANCEL to try retrieving the settings again.";
    return session.ui.ask(text, "Settings Retrieve Error") ? kGoOn : kRunDeclined;
  }
  // A logger never set up (no name) has no settings to lose, and one that lost them gets its file.
  if (saved == kVPPartial || saved == kVPUninitialised) return kGoOn;
  ShowErrorBox(session, retrieveFailed, "Settings Error", kBoxError);
  return saved;
}

int CaptureSettings(UpdateSession& session) {
  if (!session.profile.saveSettings) return kGoOn;
  const std::string& model = session.state.modelName;
  const std::string retrieveFailed = "This " + session.state.caption + " could not retrieve the settings from your " +
                                     model + ".\nPlease try again or contact Tessaly for help.";
  session.ui.stage("Saving settings for this " + model + "...");
  if (session.profile.login) {
    const int login = VPLogin(session.link);
    if (login < 0) {
      ShowErrorBox(session, retrieveFailed, "Login Error", kBoxError);
      return login;
    }
  }
  const int saved = VPSaveInfo(session.link, CapturePath(session));
  const int outcome = CaptureOutcome(session, saved, retrieveFailed);
  // The settings are chosen only for a run that goes on; a run that stops keeps its capture too.
  if (outcome != kGoOn) {
    KeepDeclinedCapture(session);
    return outcome;
  }
  return ChooseSettingsAfterCapture(session, saved);
}

int StartLoader(UpdateSession& session) {
  session.ui.setBar(kBarLoaderStart);
  session.ui.stage("Starting the firmware loader...");
  const int result = BSLConnect(session.engine, session.state.portName, session.profile.loaderBaud, true, kLoaderTries);
  if (result >= 0) return kGoOn;
  const std::string& model = session.state.modelName;
  if (result == kBslNoLoader) {
    ShowErrorBox(session, "This " + model + " does not have a working firmware loader.\n\nPlease contact Tessaly for help.",
                 "Firmware Loader Error", kBoxError);
    return kRunNoLoader;
  }
  ShowErrorBox(session,
               "The " + session.state.caption + " is unable to connect to the firmware loader in your " + model +
                   ".\n\nPlease try again.",
               "Firmware Loader Error", kBoxError);
  return kRunLoaderFailed;
}

int WriteFirmware(UpdateSession& session) {
  const DeviceProfile& p = session.profile;
  HostBSL& engine = session.engine;
  AddBar(session, kBarStep);
  session.ui.stage("Erasing firmware memory...");
  int e = EraseFirmwareMemory(session);
  if (e < 0) return e;
  session.uploadPosition = static_cast<float>(kBarUploadStart);
  session.ui.setBar(kBarUploadStart);
  session.ui.stage("Uploading new firmware code...");
  e = BSLSendFirmware(engine, p.twentyBit);
  if (e < 0) return FailStage(session, "Firmware Upload Error", e);
  return kGoOn;
}

// From the vectors on the device runs its new firmware: the run cannot stop until the
// settings are back.
int StartNewFirmware(UpdateSession& session) {
  const std::string& model = session.state.modelName;
  HoldStop(session, "cannot stop while the " + model + " starts its new firmware and gets its settings back; " +
                        "it will stop after that");
  session.ui.stage("Restarting the " + model + ", please wait...");
  const int e = BSLSendVectors(session.engine);
  if (e < 0) return FailStage(session, "Firmware Upload Error", e);
  return kGoOn;
}

int Reconnect(UpdateSession& session) {
  BSLDisconnect(session.engine);
  const int wait = session.state.restartWaitMs;
  SleepPumping(wait >= 0 ? wait : static_cast<int>(session.profile.restartDelayMs));
  session.ui.setBar(kBarRestarted);
  session.ui.pump();
  int result = 0;
  for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
    result = VPConnect(session.link, session.state.portName, kVPBaudIndex9600, kVPConnectTries, &session.profile);
    if (result >= 1) break;
    SleepPumping(attempt * kReconnectPauseMs);
  }
  if (result < 0) return FailStage(session, "Connection Error", result);
  if (session.profile.login && VPLogin(session.link) < 0) {
    ShowErrorBox(session,
                 "This " + session.state.caption + " failed to log into your " + session.state.modelName +
                     ".\nPlease check the settings on your instrument or contact Tessaly for help.",
                 "Login Error", kBoxError);
  }
  return kGoOn;
}

int CheckNewFirmware(UpdateSession& session) {
  AddBar(session, kBarStep);
  session.ui.stage("Checking new firmware...");
  const int e = VPCheckFirmware(session.link, session.profile.postInit);
  if (e < 0) {
    ShowErrorBox(session,
                 "The new firmware for your " + session.state.modelName + " is corrupt!\n\nPlease try again or contact Tessaly.",
                 "Firmware Error", kBoxError);
    return e;
  }
  std::string answer;
  int elapsed = 0;
  const int reset =
      DeviceCommand(session.link.device, "set -act 30\r", '>', kActuatorTimeoutMs, &answer, kAnswerCapacity, &elapsed);
  if (reset < 0) {
    ShowErrorBox(session, "Resetting the actuator parameter returned error: " + std::to_string(reset),
                 "Reset Actuator Error", kBoxError);
  }
  return kGoOn;
}

// Puts the chosen settings back. A restore that met no answer (the device silent, echoing or
// back in its loader) ends the run with the settings kept as unfinished, so the next run restores
// them. One that some values refused goes on, as does one without settings to put back: the
// device runs its new firmware, and the file stays in the archive for the person.
int RestoreFromSettingsFile(UpdateSession& session) {
  bool noneChosen = false;
  const int e = RestoreChosenSettings(session, &noneChosen);
  if (noneChosen || e >= 0) return kGoOn;
  ShowErrorBox(session, RestoreMessage(session, e) + RestoreFailureNote(session, e), "Settings Error", kBoxError);
  return RestoreMetNoAnswer(e) ? e : kGoOn;
}

int RestoreSettings(UpdateSession& session) {
  AddBar(session, kBarStep);
  session.ui.stage("Restoring settings...");
  if (session.profile.saveSettings) {
    const int restored = RestoreFromSettingsFile(session);
    if (restored != kGoOn) return restored;
  }
  if (session.profile.setTime) VPSetTime(session.link);
  AddBar(session, kBarStep);
  return kGoOn;
}

// A logger checks its name before it erases its data. When no settings were put back the
// updater does not know the name, so the person confirms the erase instead; Cancel keeps the
// data and the update still finishes.
bool ConfirmUnnamedErase(UpdateSession& session) {
  DeviceLink& device = session.link.device;
  if (!IsLoggerKind(session.link.kind) || !device.settings.deviceName.empty()) return true;
  const std::string& model = session.state.modelName;
  const std::string text = "The " + session.state.caption + " could not restore the name of your " + model +
                           ", so it cannot check which " + model + " is connected before it erases the old data." +
                           "\n\nClick OK to erase the data stored in the " + model + " on Comm Port \"" +
                           session.state.portLabel + "\".\nClick CANCEL to keep the data.";
  if (!session.ui.ask(text, "Erase Data")) {
    print_message(session.log, kLogFailure, "VornBSL Host", "The old data were kept: the person declined the erase");
    return false;
  }
  std::string name;
  if (NameCommand(device, &name, kRead) >= 0) StoreText(device.settings.deviceName, name, kDeviceNameMax);
  return true;
}

int EraseOldData(UpdateSession& session) {
  if (!session.profile.eraseData || session.state.dontEraseData) return kGoOn;
  session.ui.stage("Erasing old data...");
  if (!ConfirmUnnamedErase(session)) return kGoOn;
  const int e = VPEraseData(session.link);
  if (e >= 0) return kGoOn;
  const std::string front = "The " + session.state.caption + " was unable to erase the data in your " + session.state.modelName;
  const std::string text = e == kVPBrokenDataFlash
                               ? front + "because the data storage chip is reporting errors.\n\nPlease contact Tessaly for help."
                               : front + ".\nPlease try again.\n[Error: " + std::to_string(e) + "]";
  ShowErrorBox(session, text, "Data Erase Error", kBoxError);
  return e;
}

// The device runs its loader (an interrupted update): no checks, no capture; the restore reads
// the settings file of that update. Without one, the settings are still where the device keeps
// them, in INFO, unless that update erased them already: erasing INFO now would lose the only copy.
int ResumeInLoader(UpdateSession& session) {
  FillProfile(EngineKind(session), kVersionNotAsked, session.profile);
  ChooseSettingsInLoader(session);
  return StopHere(session, StopPoint::kInLoader) ? kRunStopped : kGoOn;
}

int CaptureStep(UpdateSession& session) {
  AddBar(session, kBarStep);
  return CaptureSettings(session);
}

// The checks and the capture of a device that runs its firmware; the device is not changed yet.
int PrepareDevice(UpdateSession& session) {
  return RunSteps(session, {CheckDevice, CheckBattery, CaptureStep}, StopPoint::kUntouched);
}

void DecideCalibrationReminder(UpdateSession& session) {
  const std::string adc = CapturedAdc(session.link);
  session.calibrationReminder = adc != kCalibratedAdc || session.profile.calibrationReminder;
}

}  // namespace

int RunUpdate(UpdateSession& session) {
  const int connected = Connect(session);
  if (connected < 0 && !LoaderAnswered(connected)) return connected;
  AddBar(session, kBarStep);
  const int prepared = LoaderAnswered(connected) ? ResumeInLoader(session) : PrepareDevice(session);
  if (prepared != kGoOn) return prepared;
  VPDisconnect(session.link, false);
  int result = RunSteps(session, {StartLoader, WriteFirmware}, StopPoint::kInLoader);
  if (result != kGoOn) return result;
  for (int (*step)(UpdateSession&) : {StartNewFirmware, Reconnect, CheckNewFirmware, RestoreSettings}) {
    result = step(session);
    if (result != kGoOn) return result;
  }
  HoldStop(session, "");
  if (StopHere(session, StopPoint::kSettingsBack)) return kRunStopped;
  HoldStop(session, "cannot stop while the old data are erased; the update finishes after that");
  result = EraseOldData(session);
  if (result != kGoOn) return result;
  DecideCalibrationReminder(session);
  VPDisconnect(session.link, true);
  return 1;
}
