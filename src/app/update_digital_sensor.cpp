// The digital-sensor update sequence: connect to the pass-through device
// (Fieldrex or AQUIN Comm Device), check that it can relay a sensor's loader
// and that its battery is good, lend its open port to the loader engine,
// capture the sensor's settings, check version and type, start the sensor's
// loader, reprogram it, check the new firmware, restore calibration and
// address, write the chosen type and let go of the pass-through device.
//
// Single mode bytes switch the pass-through device between relaying SDI-12
// commands and relaying loader traffic; they are sent in exactly this order.
#include <cctype>
#include <cstdio>

#include "app/kept_settings.h"
#include "app/run_stop.h"
#include "app/update_session.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"
#include "logger/device_link.h"
#include "sdi12/sdi_sensor.h"
#include "serial/serial_port.h"

namespace {

constexpr uint32_t kFieldrexLowestVersion = 123;
constexpr char kFieldrexLowestRevision = 'B';
constexpr const char* kHardwareCommand = "get -hver\r";
constexpr int kHardwareTimeoutMs = 1500;
constexpr int kHardwareAnswerCapacity = 32;
constexpr char kRevisionUnknown = '?';  // no answer: shown as such, and refused

constexpr int kBarStep = 2;
constexpr int kBarLoaderStart = 6;
constexpr int kBarUploadStart = 21;
constexpr int kBarRestarted = 92;
constexpr int kLowBatteryPercent = 10;
constexpr uint32_t kHandOffTries = 10;
constexpr uint32_t kProbeBaud = 9600;
constexpr int kProbePauseMs = 500;
constexpr int kWaitingLoaderPauseMs = 1000;
constexpr int kSettingsPauseMs = 500;
constexpr int kUploadPauseMs = 100;
constexpr int kRestartPauseMs = 1000;
constexpr int kGoOn = 0;  // a step that lets the sequence continue

// Family selections and the sensor types the type check accepts for them. The
// check counts 'k' in 261 although the type write does not.
struct FamilyCheck {
  uint32_t family;
  std::string_view members;
};
constexpr FamilyCheck kFamilyChecks[] = {
    {kFamilyNdr, "sron"}, {kFamilyWpx, "ylk"}, {kFamilyNivara3x, "hg"}, {kFamilyHtk, "tjie"}};

void AddBar(UpdateSession& session, int step) { session.ui.setBar(session.ui.bar() + step); }

// One raw mode byte for the pass-through device, on the link's port.
void ModeByte(UpdateSession& session, char byte) { VSWriteText(session.link.device.port, std::string(1, byte)); }

std::string Caption(const UpdateSession& session) { return session.state.caption; }
const std::string& Name(const UpdateSession& session) { return session.state.modelName; }

std::string VersionShown(uint32_t version) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(version) / 100.0);
  return text;
}

int LoaderUnreachable(UpdateSession& session) {
  ShowErrorBox(session,
               "The " + Caption(session) + " is unable to connect to the firmware loader in your " + Name(session) +
                   ".\n\nPlease try again.",
               "Firmware Loader Error", kBoxError);
  return kRunLoaderFailed;
}

std::string ConnectFailure(const UpdateSession& session, int code) {
  if (code == -5 || code == -2 || code == -kSysPermission) return ConnectionMessage(session, code);
  std::string text = "The " + Caption(session) + " is unable to connect to your communication device" +
                     "\n on Comm Port \"" + session.state.portLabel +
                     "\".\n\nPlease check your serial cable and Comm Port choice.";
  if (code != kRunConnectionFailed) text += "\nError " + std::to_string(code);
  return text;
}

// Step 1.
int Connect(UpdateSession& session) {
  const int result =
      VPConnect(session.link, session.state.portName, kVPBaudIndex9600, kVPConnectTries, &session.profile);
  if (result >= 0) return kGoOn;
  ShowErrorBox(session, ConnectFailure(session, result), "Connection Error", kBoxError);
  return kRunConnectionFailed;
}

// The Fieldrex's hardware revision: the first non-blank among the first 32
// characters of its answer.
char HardwareRevision(UpdateSession& session) {
  std::string answer;
  int elapsed = 0;
  if (DeviceCommand(session.link.device, kHardwareCommand, '>', kHardwareTimeoutMs, &answer,
                    kHardwareAnswerCapacity, &elapsed) <= 0) {
    return kRevisionUnknown;
  }
  for (size_t i = 0; i < answer.size() && i < static_cast<size_t>(kHardwareAnswerCapacity); ++i) {
    if (!std::isspace(static_cast<unsigned char>(answer[i]))) return answer[i];
  }
  return kRevisionUnknown;
}

// Step 2: only a pass-through device that can relay loader traffic will do.
int CheckPassThrough(UpdateSession& session) {
  const uint8_t deviceClass = session.link.settings.deviceClass;
  const std::string model = session.profile.name;
  if (deviceClass == kClassCommDevice) return kGoOn;
  if (deviceClass != kClassFieldrex) {
    ShowErrorBox(session,
                 "The " + Caption(session) + " expected to find a Fieldrex (or AQUIN Comm Device)" +
                     ";\nhowever, it found a " + model + ".\n\nThis updater can not work with a " + model,
                 "Wrong Device", kBoxError);
    return kRunWrongDevice;
  }
  const char revision = HardwareRevision(session);
  const uint32_t version = session.link.settings.versionNumber;
  if (revision >= kFieldrexLowestRevision && version >= kFieldrexLowestVersion) return kGoOn;
  ShowErrorBox(session,
               "Your " + model + " version " + VersionShown(version) + " with hardware revision '" +
                   std::string(1, revision) + "' " +
                   "doesn't\nsupport bootstrapping digital sensors.\n\nPlease use a supported Fieldrex (or AQUIN "
                   "Comm Device)",
               "Wrong Device Version", kBoxError);
  return kRunNotSupported;
}

// Step 3: a failed battery query does not stop the run.
int CheckBattery(UpdateSession& session) {
  AddBar(session, kBarStep);
  session.ui.stage("Checking Fieldrex battery power...");
  int percent = 0;
  if (VPCheckBattery(session.link, &percent) > 0 && percent < kLowBatteryPercent) {
    ShowErrorBox(session,
                 "The battery power in the Fieldrex is too low!\n\nPlease replace the batteries before running this "
                 "updater.",
                 "Batteries Too Low", kBoxError);
    return kRunBatteryLow;
  }
  return kGoOn;
}

// Step 4: the engine talks on the link's open port from here on.
int HandOff(UpdateSession& session) {
  AddBar(session, kBarStep);
  SerialPort& port = session.link.device.port;
  const int result = BSLHandOff(session.engine, port.handle, port.readBuffer, port.portName, true, kHandOffTries);
  if (result >= 0) return kGoOn;
  ShowErrorBox(session, "The " + Caption(session) + " is unable to start the VornBSL engine.\n\nPlease try again.",
               "Firmware Loader Error", kBoxError);
  return result;
}

// Step 5: true when the sensor's loader is already active (an interrupted
// update): the capture, the checks and the loader start are skipped.
bool LoaderAlreadyActive(UpdateSession& session) {
  ModeByte(session, kRelayLoader);
  SleepPumping(kProbePauseMs);
  const int found = BSLCheck(session.engine, session.state.portName, kProbeBaud);
  // A loader that restarted (during an earlier run's upload, or on its own) waits again. The
  // sensor answers no SDI-12 command there, so the full path could only fail its capture, run
  // after run: the update resumes instead. Without the settings file of an earlier run the
  // settings are still in the sensor's INFO memory, the only copy: it is kept. Repair and
  // factory modes take the full path, where the person decides.
  const bool askingMode = session.state.repairMode || session.state.factoryMode;
  const bool resume = found == kBslAlreadyActive || (found == kBslWaiting && !askingMode);
  if (resume) {
    ChooseSettingsInLoader(session);
    return true;
  }
  if (found == kBslWaiting) {
    ModeByte(session, kRelayCommands);
    SleepPumping(kWaitingLoaderPauseMs);
  }
  return false;
}

// What a capture's result means for the run: go on, the person declined, or its code.
int CaptureOutcome(UpdateSession& session, int saved) {
  if (saved >= 0) return kGoOn;
  // The settings were read; only the disk refused them. Going on would leave no copy behind.
  if (SettingsFileNotWritten(session, saved)) return FailSettingsWrite(session, saved, CapturePath(session));
  if (session.state.repairMode || session.state.factoryMode) {
    const std::string text = "The " + Caption(session) + " could not retrieve the settings from your " +
                             Name(session) + ".\nThis can happen when an intrument is new or doesn't have " +
                             "a serial number set yet.\n\nClick OK to continue loading new firmware." +
                             "\nClick CANCEL to try retrieving the settings again.";
    return session.ui.ask(text, "Settings Retrieve Error") ? kGoOn : kRunDeclined;
  }
  ShowErrorBox(session,
               "This " + Caption(session) + " could not retrieve the settings from your " + Name(session) +
                   ".\nPlease try again or contact Tessaly for help.",
               "Settings Error", kBoxError);
  return saved;
}

int SaveSettings(UpdateSession& session) {
  session.ui.stage("Saving settings for this digital sensor...");
  ModeByte(session, kRelaySdi);
  SleepPumping(kSettingsPauseMs);
  const int saved = VPSaveInfo(session.link, CapturePath(session));
  const int outcome = CaptureOutcome(session, saved);
  // The settings are chosen only for a run that goes on; a run that stops keeps its capture too.
  if (outcome != kGoOn) {
    KeepDeclinedCapture(session);
    return outcome;
  }
  return ChooseSettingsAfterCapture(session, saved);
}

int CheckVersion(UpdateSession& session) {
  FillProfile(EngineKind(session), session.link.sdi->version, session.profile);
  if (!CheckSupportedVersion(session, session.profile)) return kRunNotSupported;
  if (session.profile.version > session.state.imageVersion &&
      !session.ui.ask("The firmware in your " + Name(session) + "\nis newer than the version in this updater.\n\n" +
                          "Are you sure you want to load older firmware.",
                      "Newer Firmware")) {
    return kRunDeclined;
  }
  return kGoOn;
}

int CheckType(UpdateSession& session) {
  const uint32_t claimed = session.link.sdi->sensorType;
  if (SensorTypeAccepted(session.state.sensorType, claimed)) return kGoOn;
  const std::string text = "The attached sensor is claiming to be a \"" + SensorTypeName(claimed) + "\"\n\n" +
                           "This firmware updater is for a \"" + Name(session) + "\".\n\n" +
                           "Are you sure you want to load the firmware for a " + Name(session) + "?\n";
  return session.ui.ask(text, "Wrong Sensor Type") ? kGoOn : kRunDeclined;
}

int InvokeLoader(UpdateSession& session) {
  session.ui.setBar(kBarLoaderStart);
  session.ui.stage("Starting the firmware loader...");
  const int invoked = SDIInvokeVornBSL(*session.link.sdi);
  if (invoked >= 0) return kGoOn;
  if (invoked == kSDINoLoader) {
    ShowErrorBox(session,
                 std::string("This digital sensor does not have a working firmware loader.") +
                     ".\n\nPlease contact Tessaly for help.",
                 "Firmware Loader Error", kBoxError);
    return kSDINoLoader;
  }
  return LoaderUnreachable(session);
}

// Step 7: the capture, the checks and the loader start of a sensor that runs its firmware.
int PrepareSensor(UpdateSession& session) {
  const int result = RunSteps(session, {SaveSettings, CheckVersion, CheckType}, StopPoint::kUntouched);
  if (result != kGoOn) return result;
  return RunSteps(session, {InvokeLoader}, StopPoint::kInLoader);
}

// Steps 8 to 10: the attach, the erase and the upload.
int WriteFirmware(UpdateSession& session) {
  if (BSLAttach(session.engine) < 0) return LoaderUnreachable(session);
  const DeviceProfile& p = session.profile;
  HostBSL& engine = session.engine;
  AddBar(session, kBarStep);
  session.ui.stage("Erasing firmware memory...");
  int e = EraseFirmwareMemory(session);
  if (e < 0) return e;
  session.uploadPosition = static_cast<float>(kBarUploadStart);
  session.ui.setBar(kBarUploadStart);
  session.ui.stage("Uploading new firmware code...");
  SleepPumping(kUploadPauseMs);
  e = BSLSendFirmware(engine, p.twentyBit);
  if (e < 0) return FailStage(session, "Firmware Upload Error", e);
  return kGoOn;
}

// Step 11. From the vectors on the sensor runs its new firmware: the run cannot stop until the
// settings are back, and then it has only the type write left.
int StartNewFirmware(UpdateSession& session) {
  HoldStop(session, "cannot stop while the " + Name(session) + " starts its new firmware and gets its settings " +
                        "back; the update finishes after that");
  session.ui.stage("Restarting the " + Name(session) + ", please wait...");
  const int e = BSLSendVectors(session.engine);
  if (e < 0) return FailStage(session, "Firmware Upload Error", e);
  return kGoOn;
}

// The box of a new firmware that does not answer as good.
int FailFirmwareCheck(UpdateSession& session, int e) {
  if (e == kSDICorruptFirmware) {
    ShowErrorBox(session,
                 "The new firmware for your " + Name(session) + " is corrupt!\n\nPlease try again or contact Tessaly.",
                 "Firmware Error", kBoxError);
    return kSDICorruptFirmware;
  }
  ShowErrorBox(session,
               "The " + Caption(session) + " was unable to verify the new firmware in your " + Name(session) +
                   ".\n\nPlease try again or contact Tessaly.\n\n[Error " + std::to_string(e) + "]",
               "Firmware Error", kBoxError);
  return e;
}

// Step 12: the port comes back to the link; the new firmware is asked whether it is intact.
int CheckNewFirmware(UpdateSession& session) {
  session.ui.setBar(kBarRestarted);
  BSLHandBack(session.engine);
  ModeByte(session, kRelaySdi);
  AddBar(session, kBarStep);
  session.ui.stage("Checking new firmware...");
  SleepPumping(kRestartPauseMs);
  const int e = SDICheckBinary(*session.link.sdi);
  return e >= 0 ? kGoOn : FailFirmwareCheck(session, e);
}

// Step 13: calibration, address and serial number back. A restore that met no answer (the
// sensor silent or back in its loader) ends the run with the settings file kept, so the next
// run restores it. One that some values refused goes on to the type write and success; what
// was not restored stays for the person in a file the next run does not read.
int RestoreSensor(UpdateSession& session) {
  AddBar(session, kBarStep);
  session.ui.stage("Restoring settings...");
  bool noneChosen = false;
  const int e = RestoreChosenSettings(session, &noneChosen);
  if (noneChosen || e >= 0) return kGoOn;
  const std::string text = "The " + Caption(session) + " failed to restore the calibration and address\n" +
                           "for your " + Name(session) + ".\n\nPlease calibrate this sensor and check the address." +
                           "\n\n[Error " + std::to_string(e) + "]";
  ShowErrorBox(session, text + RestoreFailureNote(session, e), "Settings Error", kBoxError);
  return RestoreMetNoAnswer(e) ? e : kGoOn;
}

// Step 14: a refused type write is told and the run goes on (the firmware determines the
// type); a sensor that no longer runs its firmware ends the run.
int WriteSensorType(UpdateSession& session) {
  const int e = SDISetSensorType(*session.link.sdi, session.state.sensorType);
  if (e >= 0) return kGoOn;
  const int check = SDICheckBinary(*session.link.sdi);
  if (check < 0) return FailFirmwareCheck(session, check);
  ShowErrorBox(session,
               "The " + Caption(session) + " failed to set the sensor type for your " + Name(session) +
                   ".\n\nThe sensor type will be auto-determined by the firmware.\n\n[Error " + std::to_string(e) +
                   "]",
               "Settings Error", kBoxError);
  return kGoOn;
}

}  // namespace

bool SensorTypeAccepted(uint32_t selected, uint32_t sensorType) {
  for (const FamilyCheck& check : kFamilyChecks) {
    if (check.family != selected) continue;
    return check.members.find(static_cast<char>(sensorType)) != std::string_view::npos;
  }
  return sensorType == selected;
}

int UpdateDigitalSensor(UpdateSession& session) {
  int result = RunSteps(session, {Connect, CheckPassThrough, CheckBattery, HandOff}, StopPoint::kUntouched);
  if (result != kGoOn) return result;
  const bool resume = LoaderAlreadyActive(session);
  // The settings capture and restore work on the sensor as a device of its own kind.
  session.link.kind = static_cast<uint8_t>(kDeviceTypeDigitalSensor);
  FillProfile(EngineKind(session), kVersionNotAsked, session.profile);
  if (resume) {
    if (StopHere(session, StopPoint::kInLoader)) return kRunStopped;
  } else {
    result = PrepareSensor(session);
    if (result != kGoOn) return result;
  }
  result = RunSteps(session, {WriteFirmware}, StopPoint::kInLoader);
  if (result != kGoOn) return result;
  for (int (*step)(UpdateSession&) : {StartNewFirmware, CheckNewFirmware, RestoreSensor, WriteSensorType}) {
    result = step(session);
    if (result != kGoOn) return result;
  }
  AddBar(session, kBarStep);
  ModeByte(session, kRelayCommands);
  VPDisconnect(session.link, false);
  return 1;
}

void SensorRunCleanup(UpdateSession& session) {
  ModeByte(session, kRelayCommands);
  BSLHandBack(session.engine);
}
