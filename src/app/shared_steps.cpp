// Steps both update sequences take: the failure box of a loader stage, the
// erase, and the settings file a failed run left behind. After an update that
// erased the device's settings memory that file is the only copy of the
// settings, so a later run keeps it instead of capturing the defaults over it.
#include <fstream>

#include "app/update_session.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"
#include "instrument/settings_file_platform.h"

namespace {

constexpr size_t kFileSerialMax = 64;
constexpr const char* kHostTag = "VornBSL Host";

}  // namespace

int FailStage(UpdateSession& session, const std::string& title, int code) {
  ShowErrorBox(session,
               "The " + session.state.caption + " encountered an error working with your " + session.state.modelName +
                   ".\n\nPlease try again.\n\n[Error " + std::to_string(code) + "]",
               title, kBoxError);
  return code;
}

std::string EarlierSettings(const std::string& path) {
  std::string text;
  if (ReadWholeFile(path, &text, kSettingsFileMaxBytes).error != 0) return {};
  return text;
}

bool EarlierSettingsExist(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

// The device then shows its defaults and no serial number or, restored half way,
// the file's serial number; a serial number of its own means another device.
bool KeepEarlierSettings(const std::string& earlier, const std::string& deviceSerial) {
  if (earlier.empty()) return false;
  std::string fileSerial;
  ReadKeyText(earlier, "sn", &fileSerial, kFileSerialMax);
  return deviceSerial.empty() || deviceSerial == fileSerial;
}

void PutBackEarlierSettings(UpdateSession& session, const std::string& earlier) {
  const FileOutcome written = ReplaceFile(session.state.settingsFile, earlier);
  ClearCapturedSettings(session.link);  // the restore reads the file
  print_message(session.log, kLogFailure, kHostTag, "Kept the settings file of an earlier, unfinished update%s",
                written.error == 0 ? "" : " (it could not be written back)");
}

int EraseFirmwareMemory(UpdateSession& session) {
  const DeviceProfile& p = session.profile;
  if (session.keepInfo) {
    print_message(session.log, kLogFailure, kHostTag, "No settings file to restore: the INFO memory is not erased");
  } else {
    const int e = BSLEraseINFO(session.engine, p.infoStart, p.infoSegments, p.infoSegmentSize, p.twentyBit);
    if (e < 0) return FailStage(session, "INFO Memory Erase Error", e);
  }
  const int e = BSLEraseFlash(session.engine, p.flashStart, p.flashEnd, p.twentyBit);
  if (e < 0) return FailStage(session, "Firmware Erase Error", e);
  return 0;
}
