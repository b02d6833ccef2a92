// Writing an archived configuration into an attached device: connect, check that it is a
// device of the archive file's model, keep what it holds now in the archive, ask first when the
// file is another serial number's, then the same restore an update ends with.
#include "app/restore_archived.h"

#include "app/kept_settings.h"
#include "app/update_session.h"
#include "bsl/device_types.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"
#include "logger/device_link.h"
#include "logger/logger_settings.h"
#include "sdi12/sdi_sensor.h"
#include "serial/serial_port.h"

namespace {

constexpr int kGoOn = 0;
constexpr int kRelayPauseMs = 500;
constexpr size_t kSerialKeep = 65;
constexpr char kUpdatedSensorAddress = '0';

void ModeByte(UpdateSession& session, char byte) { VSWriteText(session.link.device.port, std::string(1, byte)); }

int Connect(UpdateSession& session) {
  const int result =
      VPConnect(session.link, session.state.portName, kVPBaudIndex9600, kVPConnectTries, &session.profile);
  if (result >= 0) return kGoOn;
  ShowErrorBox(session, ConnectionMessage(session, result), "Connection Error", kBoxError);
  return kRunConnectionFailed;
}

int WrongDevice(UpdateSession& session, const std::string& expected, const std::string& found) {
  ShowErrorBox(session,
               "The " + session.state.caption + " expected to find a " + expected + ";\nhowever, it found a " + found +
                   ".\n\nThese settings can only be written into a " + expected + ".",
               "Wrong Device", kBoxError);
  return kRunWrongDevice;
}

// An instrument or logger of the build's kind, logged in; a sensor behind a pass-through
// device that relays its SDI-12 commands.
int ReachDevice(UpdateSession& session) {
  if (const int connected = Connect(session); connected != kGoOn) return connected;
  if (!session.state.digitalSensorBuild) {
    if (session.profile.kind != EngineKind(session)) {
      return WrongDevice(session, session.state.modelName, session.profile.name);
    }
    if (session.profile.login && VPLogin(session.link) < 0) {
      ShowErrorBox(session,
                   "This " + session.state.caption + " failed to log into your " + session.state.modelName +
                       ".\nPlease check the settings on your instrument or contact Tessaly for help.",
                   "Login Error", kBoxError);
      return kVPLoginFailed;
    }
    return kGoOn;
  }
  const uint8_t deviceClass = session.link.settings.deviceClass;
  if (deviceClass != kClassCommDevice && deviceClass != kClassFieldrex) {
    return WrongDevice(session, "Fieldrex (or AQUIN Comm Device)", session.profile.name);
  }
  ModeByte(session, kRelaySdi);
  SleepPumping(kRelayPauseMs);
  session.link.kind = static_cast<uint8_t>(kDeviceTypeDigitalSensor);
  return kGoOn;
}

// What the device holds now goes into the archive before anything is written over it.
int KeepWhatItHolds(UpdateSession& session) {
  session.ui.stage("Saving settings for this " + session.state.modelName + "...");
  const int saved = VPSaveInfo(session.link, CapturePath(session));
  if (saved == kVPUninitialised) return kGoOn;  // a logger never set up holds nothing to keep
  if (saved < 0 && saved != kVPPartial) {
    if (SettingsFileNotWritten(session, saved)) return FailSettingsWrite(session, saved, CapturePath(session));
    ShowErrorBox(session,
                 "This " + session.state.caption + " could not retrieve the settings from your " +
                     session.state.modelName + ", so it cannot keep them before writing others.\nPlease try again " +
                     "or contact Tessaly for help.",
                 "Settings Error", kBoxError);
    return saved;
  }
  const int kept = KeepCapture(session, ArchiveState::kReplaced);
  // The restore gives a sensor its address from '0', where a sensor answers after an update.
  SDISensor& sensor = *session.link.sdi;
  if (kept == kGoOn && session.link.kind == kDeviceTypeDigitalSensor && sensor.address != kUpdatedSensorAddress) {
    const int moved = SDIMoveSensorAddress(sensor, sensor.address, kUpdatedSensorAddress);
    if (moved < 0) {
      ShowErrorBox(session, RestoreMessage(session, moved), "Settings Error", kBoxError);
      return moved;
    }
  }
  return kept;
}

std::string CarriedSerial(const ArchiveEntry& entry) {
  std::string text, carries;
  ReadEntry(entry, &text);
  return ReadKeyText(text, kCarriesKey, &carries, kSerialKeep) ? carries : entry.serial;
}

// Another serial number's settings go in only when the person says so.
int ConfirmOtherDevice(UpdateSession& session, const ArchiveEntry& entry) {
  const std::string fileSerial = CarriedSerial(entry);
  const std::string deviceSerial = CapturedSerialNumber(session.link);
  if (fileSerial == deviceSerial) return kGoOn;
  const std::string& model = session.state.modelName;
  const std::string text = "These settings were saved on " + StampShown(entry) + " for the " + model + " with " +
                           SerialShown(fileSerial) + ".\nThe " + model + " on Comm Port \"" +
                           session.state.portLabel + "\" shows " + SerialShown(deviceSerial) +
                           ".\n\nClick OK to write them into it anyway; the settings it holds now are kept in the " +
                           "settings archive.\nClick CANCEL to leave it as it is.";
  return session.ui.ask(text, "Another Device's Settings") ? kGoOn : kRunDeclined;
}

int WriteSettings(UpdateSession& session, const ArchiveEntry& entry) {
  session.ui.stage("Restoring settings...");
  ClearCapturedSettings(session.link);
  session.settings.chosen = entry;
  session.state.settingsFile = entry.path;
  const std::string carried = CarriedSerial(entry);
  const bool newSerial = !carried.empty() && carried != entry.serial;
  const int e = VPRestoreInfo(session.link, entry.path, newSerial ? &carried : nullptr);
  if (e >= 0) {
    if (EntryWaits(entry)) RecordRestoreEnds(session, true);
    return 1;
  }
  ShowErrorBox(session, RestoreMessage(session, e), "Settings Error", kBoxError);
  return e;
}

}  // namespace

int RestoreArchivedSettings(UpdateSession& session, const ArchiveEntry& entry) {
  int result = ReachDevice(session);
  if (result == kGoOn) result = KeepWhatItHolds(session);
  if (result == kGoOn) result = ConfirmOtherDevice(session, entry);
  if (result == kGoOn) result = WriteSettings(session, entry);
  if (session.state.digitalSensorBuild && session.link.kind == kDeviceTypeDigitalSensor) {
    ModeByte(session, kRelayCommands);
  }
  VPDisconnect(session.link, result >= 0);
  return result;
}
