// The settings loop: one setting command per step, in a fixed order, with a
// fresh login when the device goes silent.
#include "logger/settings_loop.h"

#include <array>
#include <bit>

#include "logger/link_helpers.h"
#include "logger/setting_commands.h"

namespace {

constexpr int kStepPauseMs = 100;
constexpr int kProgressStepPhase = 1;
constexpr int kProgressDonePhase = 2;
constexpr const char* kReconnectTag = "******";
constexpr uint32_t kOldSetClears = kBitName | kBitSerialNumber | kBitVersion | kBitWake | kBitRmode;
constexpr uint32_t kOldSetCredits = kBitName | kBitVersion | kBitWake | kBitRmode;
constexpr uint32_t kOldShowBits = kBitName | kBitWake | kBitRmode;

struct SettingsRun {
  DeviceLink& link;
  int direction;
  uint32_t pending;
  uint32_t done = 0;
  bool unsupported = false;  // an old-command-set model too old to be handled
};

bool IsOldCommandSet(const LoggerSettings& settings) {
  return settings.deviceClass == kClassLg2 && !settings.newFirmware;
}

// Clears a step's bits and credits them when the command succeeded.
int Settle(SettingsRun& run, uint32_t bits, int result) {
  run.pending &= ~bits;
  if (result > 0) run.done |= bits;
  return result;
}

int VersionStep(SettingsRun& run) {
  if (run.direction == kWrite) return Settle(run, kBitVersion, 0);
  const LoggerSettings& s = run.link.settings;
  const bool known = s.deviceClass != kClassUnknown && !s.versionText.empty() && s.versionNumber > 0;
  const int result = known ? kLinkOk : VerCommand(run.link, false);
  run.unsupported = result == kLinkUnsupported;
  if (!IsOldCommandSet(run.link.settings)) return Settle(run, kBitVersion, result);
  run.pending &= ~kOldSetClears;
  if (result > 0) run.done |= kOldSetCredits;
  return result;
}

int OldShowStep(SettingsRun& run) {
  const int result = ParseShowCommand(run.link, nullptr);
  run.pending &= ~(kBitName | kBitSerialNumber | kBitWake | kBitRmode);
  if (result > 0) run.done |= kOldSetCredits;
  return result;
}

bool OldShowApplies(const SettingsRun& run) { return run.direction != kWrite && IsOldCommandSet(run.link.settings); }

// Position and site are dropped from the record when they cannot be read or written.
int ForgetOnFailure(SettingsRun& run, uint32_t bit, int result) {
  if (result < 0) run.link.settings.present &= ~bit;
  return Settle(run, bit, result);
}

int RadioStep(SettingsRun& run) {
  LoggerSettings& s = run.link.settings;
  uint32_t mask = run.pending & kBitsRadio;
  run.pending &= ~kBitsRadio;
  if (run.direction != kWrite && RadioTrait(s) == 0) return kLinkRadioConfig;
  const int result =
      MSRadioCommand(run.link, &s.radioChannel, &s.radioSubChannel, &s.radioVersion, &mask, run.direction);
  run.done |= mask;
  return result;
}

// A step that runs one command on one field of the record.
template <uint32_t Bit, auto Member, auto Command>
int FieldStep(SettingsRun& run) {
  return Settle(run, Bit, Command(run.link, &(run.link.settings.*Member), run.direction));
}

template <uint32_t Bit, auto Member, auto Command>
int ForgetfulStep(SettingsRun& run) {
  return ForgetOnFailure(run, Bit, Command(run.link, &(run.link.settings.*Member), run.direction));
}

template <uint32_t Bit, int Kind, auto Slopes, auto Offsets>
int CalibrationStep(SettingsRun& run) {
  LoggerSettings& s = run.link.settings;
  return Settle(run, Bit, ADCcalCommand(run.link, Kind, &(s.*Slopes), &(s.*Offsets), run.direction));
}

struct Step {
  uint32_t bits;
  int (*run)(SettingsRun&);
  bool (*applies)(const SettingsRun&);
};

using LS = LoggerSettings;

// The order in which pending settings are handled.
constexpr std::array<Step, 27> kSteps{{
    {kBitVersion, VersionStep, nullptr},
    {kOldShowBits, OldShowStep, OldShowApplies},
    {kBitName, FieldStep<kBitName, &LS::deviceName, NameCommand>, nullptr},
    {kBitDeviceId, FieldStep<kBitDeviceId, &LS::deviceId, DeviceIDCommand>, nullptr},
    {kBitReport, FieldStep<kBitReport, &LS::report, ReportCommand>, nullptr},
    {kBitDepths, FieldStep<kBitDepths, &LS::depths, DepthCommand>, nullptr},
    {kBitLatitude, ForgetfulStep<kBitLatitude, &LS::latitude, LatitudeCommand>, nullptr},
    {kBitLongitude, ForgetfulStep<kBitLongitude, &LS::longitude, LongitudeCommand>, nullptr},
    {kBitTimeZone, FieldStep<kBitTimeZone, &LS::timeZone, TimeZoneCommand>, nullptr},
    {kBitSite, ForgetfulStep<kBitSite, &LS::site, SiteCommand>, nullptr},
    {kBitSerialNumber, FieldStep<kBitSerialNumber, &LS::serialNumber, SNCommand>, nullptr},
    {kBitWake, FieldStep<kBitWake, &LS::wake, WakeCommand>, nullptr},
    {kBitPadc, FieldStep<kBitPadc, &LS::padc, PADCCommand>, nullptr},
    {kBitPorts, FieldStep<kBitPorts, &LS::ports, PortsCommand>, nullptr},
    {kBitTrait, FieldStep<kBitTrait, &LS::trait, TraitCommand>, nullptr},
    {kBitRmode, FieldStep<kBitRmode, &LS::rmode, RmodeCommand>, nullptr},
    {kBitsRadio, RadioStep, nullptr},
    {kBitDataParameter, FieldStep<kBitDataParameter, &LS::dataParameter, DataParameterCommand>, nullptr},
    {kBitVornBuild, FieldStep<kBitVornBuild, &LS::vornBuild, VornBuildCommand>, nullptr},
    {kBitAdc30, CalibrationStep<kBitAdc30, kAdc30, &LS::adc30Slopes, &LS::adc30Offsets>, nullptr},
    {kBitAdc15, CalibrationStep<kBitAdc15, kAdc15, &LS::adc15Slopes, &LS::adc15Offsets>, nullptr},
    {kBitApn, FieldStep<kBitApn, &LS::apn, APNCommand>, nullptr},
    {kBitApnUser, FieldStep<kBitApnUser, &LS::apnUser, APNUserCommand>, nullptr},
    {kBitApnPassword, FieldStep<kBitApnPassword, &LS::apnPassword, APNPasswdCommand>, nullptr},
    {kBitAuthKey, FieldStep<kBitAuthKey, &LS::authKey, AuthKeyCommand>, nullptr},
    {kBitHost, FieldStep<kBitHost, &LS::host, HostCommand>, nullptr},
    {kBitIpPort, FieldStep<kBitIpPort, &LS::ipPort, IPPortCommand>, nullptr},
}};

int RunNextStep(SettingsRun& run) {
  for (const Step& step : kSteps) {
    if ((run.pending & step.bits) == 0) continue;
    if (step.applies != nullptr && !step.applies(run)) continue;
    return step.run(run);
  }
  run.pending = 0;  // nothing left that a step handles
  return 0;
}

int Bits(uint32_t mask) { return std::popcount(mask); }

bool CarryOn(const DeviceLink& link, int total, uint32_t pending) {
  const int done = total - Bits(pending);
  return Progress(link, total, done < 0 ? 0 : done, kProgressStepPhase);
}

void ProgressDone(const DeviceLink& link, int total, int done) { Progress(link, total, done, kProgressDonePhase); }

// The loop's memory of where it stood before the step that ran last.
struct LoopState {
  int result = kLinkOk;
  int last = 0;
  uint32_t retries = 0;
  uint32_t savedPending = 0;
  int savedResult = kLinkOk;
};

// After a silent step: log in again and rerun that step. False ends the loop.
bool Reconnect(SettingsRun& run, LoopState& state) {
  DeviceLink& link = run.link;
  if (state.retries >= link.currentTries || IsRadio(link)) {
    state.result = kLinkNoAnswer;
    return false;
  }
  ++state.retries;
  const int login = DeviceLogin(link, &link.params.deviceName, &link.params.baudIndex);
  if (login > 0) {
    print_message(link.log, kLogProtocol, kReconnectTag, "DeviceSettings re-connected to device");
    run.pending = state.savedPending;
    state.result = state.savedResult;
    return true;
  }
  if (login == kLinkNotListening) {
    state.result = kLinkNoAnswer;
    return false;
  }
  return true;  // go on with the next pending step
}

// One turn of the loop before the next step runs. False ends the loop.
bool BeforeStep(SettingsRun& run, LoopState& state) {
  if (state.last == kLinkEcho || state.last == kLinkRelay || state.last == kLinkEmptyName) {
    state.result = state.last;
    return false;
  }
  if (state.last < 0) {
    state.result = kLinkPartial;
    Pause(run.link, kStepPauseMs);
  }
  if (state.last == kLinkNoAnswer) return Reconnect(run, state);
  if (run.pending == 0 || run.pending == state.savedPending) return false;
  state.savedPending = run.pending;
  state.savedResult = state.result;
  state.retries = 0;
  return true;
}

// In read mode the version is always known at the end, and the radio step needs the trait.
uint32_t ReadRequest(const LoggerSettings& settings, uint32_t request, uint32_t* done) {
  uint32_t pending = request;
  if (settings.versionNumber > 0) {
    *done |= kBitVersion;
    pending &= ~kBitVersion;
  } else {
    pending |= kBitVersion;
  }
  if ((pending & kBitsRadio) != 0 && (settings.present & kBitTrait) == 0) pending |= kBitTrait;
  return pending;
}

}  // namespace

int DeviceSettings(DeviceLink& link, LoggerSettings* record, uint32_t* mask, int set) {
  if (record == nullptr || mask == nullptr) return kLinkMissing;
  if (set != 0 && set != 1) return kLinkInvalid;
  const int direction = set == 1 ? kWrite : kRead;
  if (direction == kWrite) link.settings = *record;
  const uint32_t request = *mask;
  SettingsRun run{link, direction, request & kAllSettingBits};
  if (direction == kRead) run.pending = ReadRequest(link.settings, run.pending, &run.done);
  const int total = Bits(request);
  LoopState state;
  state.savedPending = ~run.pending;  // differs from pending, so the first step runs
  for (;;) {
    if (!CarryOn(link, total, run.pending)) {
      print_message(link.log, kLogProtocol, Tag(link),
                    "DeviceSettings canceled by user after getting %d of %d settings", total - Bits(run.pending),
                    total);
      ProgressDone(link, total, total - Bits(run.pending));
      return kLinkCancelled;
    }
    if (!BeforeStep(run, state)) break;
    const uint32_t doneBefore = run.done;
    state.last = RunNextStep(run);
    if (direction == kWrite && run.done != doneBefore && link.hooks.settingsTaken) {
      link.hooks.settingsTaken(run.done & ~doneBefore);
    }
    if (run.unsupported) {
      print_message(link.log, kLogProtocol, Tag(link), "DeviceSettings: old Holdwell model 007 not supported");
      *mask = run.done;
      return kLinkUnsupported;
    }
  }
  if (run.done == 0 && state.result == kLinkOk && request != 0) state.result = kLinkNothing;
  *mask = run.done;
  if (direction == kRead) {
    link.settings.present |= run.done;
    *record = link.settings;
  }
  ProgressDone(link, total, total);
  return state.result;
}
