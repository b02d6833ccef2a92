// Steps both update sequences take: the failure box of a loader stage and the erase.
#include "app/kept_settings.h"
#include "app/update_session.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "logger/device_link.h"

namespace {

constexpr const char* kHostTag = "VornBSL Host";

}  // namespace

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
  if (session.keepInfo) {
    print_message(session.log, kLogFailure, kHostTag, "No settings file to restore: the INFO memory is not erased");
  } else {
    RecordInfoErase(session);
    const int e = BSLEraseINFO(session.engine, p.infoStart, p.infoSegments, p.infoSegmentSize, p.twentyBit);
    if (e < 0) return FailStage(session, "INFO Memory Erase Error", e);
  }
  const int e = BSLEraseFlash(session.engine, p.flashStart, p.flashEnd, p.twentyBit);
  if (e < 0) return FailStage(session, "Firmware Erase Error", e);
  return 0;
}
