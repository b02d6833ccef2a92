// Steps both update sequences take: the failure box of a loader stage and the erase.
#include "app/kept_settings.h"
#include "app/update_session.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "log/platform.h"
#include "logger/device_link.h"

namespace {

constexpr const char* kHostTag = "VornBSL Host";
// System error numbers as the settings file reports them, negated.
constexpr int kWriteMissingFolder = -2;
constexpr int kWriteDenied = -5;
constexpr int kWriteDiskFull = -28;
constexpr int kWriteReadOnly = -30;
constexpr int kWriteQuotaFull = -122;

std::string WriteFailureReason(int code) {
  switch (code) {
    case kWriteDiskFull:
    case kWriteQuotaFull: return "The disk is full.";
    case kWriteDenied:
    case kWriteReadOnly: return "The folder is read-only, or the file may not be written there.";
    case kWriteMissingFolder: return "The folder does not exist.";
    default: return "The disk reported an error.";
  }
}

}  // namespace

bool SettingsFileNotWritten(const UpdateSession& session, int saved) {
  // The capture marks the settings as held before it writes them; a failed capture does not.
  return saved < 0 && saved != kVPPartial && saved != kVPUninitialised && session.link.settingsSaved;
}

int FailSettingsWrite(UpdateSession& session, int code, const std::string& path) {
  const std::string& model = session.state.modelName;
  ShowErrorBox(session,
               "The " + session.state.caption + " could not write the settings file for your " + model + ":\n\"" +
                   ShownPath(path) + "\"\n\n" + WriteFailureReason(code) + "\n\nNothing on your " + model +
                   " was changed. Please make room on the disk or choose another data folder, and try again." +
                   "\n\n[Error " + std::to_string(code) + "]",
               "Settings Error", kBoxError);
  return code;
}

int FailStage(UpdateSession& session, const std::string& title, int code) {
  // A loader stage that the person stopped did not fail: the run tells its stop instead.
  if (code == kBslCancelled && session.ui.stopRequested()) return kRunStopped;
  ShowErrorBox(session,
               "The " + session.state.caption + " encountered an error working with your " + session.state.modelName +
                   ".\n\nPlease try again.\n\n[Error " + std::to_string(code) + "]",
               title, kBoxError);
  return code;
}

bool RestoreMetNoAnswer(int code) {
  return code == kLinkNoAnswer || code == kLinkLastSilent || code == kLinkEcho || code == kLinkRelay;
}

int EraseFirmwareMemory(UpdateSession& session) {
  const DeviceProfile& p = session.profile;
  if (session.settings.keepInfo) {
    print_message(session.log, kLogFailure, kHostTag, "No settings file to restore: the INFO memory is not erased");
  } else {
    // Without the record a next run could not know that the device lost its settings.
    const int recorded = RecordInfoErase(session);
    if (recorded != 0) return recorded;
    const int e = BSLEraseINFO(session.engine, p.infoStart, p.infoSegments, p.infoSegmentSize, p.twentyBit);
    if (e < 0) return FailStage(session, "INFO Memory Erase Error", e);
  }
  const int e = BSLEraseFlash(session.engine, p.flashStart, p.flashEnd, p.twentyBit);
  if (e < 0) return FailStage(session, "Firmware Erase Error", e);
  return 0;
}

int RestoreChosenSettings(UpdateSession& session, bool* noneChosen) {
  *noneChosen = session.settings.keepInfo;
  if (*noneChosen) {
    ShowErrorBox(session, NotRestoredText(session), "Settings Not Restored", kBoxWarning);
    return 0;
  }
  RecordRestoreBegins(session);
  const int e = VPRestoreInfo(session.link, session.state.settingsFile, RestoreSerialNumber(session));
  RecordRestoreEnds(session, e >= 0);
  return e;
}

std::string RestoreFailureNote(UpdateSession& session, int e) {
  if (e == kSettingsFileMissing) return WaitingSettingsSentence(session);
  if (RestoreMetNoAnswer(e)) return {};
  const std::string kept = KeepUnrestoredSettings(session);
  return kept.empty() ? std::string() : "\n\nThe settings are kept in \"" + ShownPath(kept) + "\".";
}
