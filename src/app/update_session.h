// The state an update run works with: what the window (or the command line)
// knows about the build, the port and the person's choices, the objects the run
// drives, and the device profile of the device being updated.
#pragma once

#include <cstdint>
#include <string>

#include "app/update_ui.h"
#include "bsl/device_profile.h"
#include "log/message_log.h"

struct HostBSL;
struct InstrumentLink;

// Results of an update run beyond the lower layers' codes.
constexpr int kRunConnectionFailed = -20;
constexpr int kRunDeclined = -40;
constexpr int kRunLoaderFailed = -110;
constexpr int kRunNoLoader = -112;
constexpr int kRunNotSupported = -120;
constexpr int kRunWrongDevice = -121;
constexpr int kRunBatteryLow = -130;
constexpr int kRunAlreadyActive = -140;  // a start request while a run is active: ignored

// The upload moves the bar by 69 x 512 / image length per callback, about 69 points in all.
constexpr float kUploadSpan = 35328.0F;
constexpr int kBuiltInImageVersion = 150;

struct UpdateSession {
  UpdateUi& ui;
  MessageLog* log;
  InstrumentLink& link;
  HostBSL& engine;

  std::string caption;       // model name + " Firmware Updater"
  std::string modelName;     // the display name of the image's device kind
  std::string portName;      // empty when no port exists
  std::string portLabel;     // the port as the selector shows it
  std::string dataFolder;
  std::string settingsFile;  // rebuilt at the start of each run
  int builtInKind = 16;      // the kind of the image compiled into the build
  uint32_t imageVersion = kBuiltInImageVersion;
  float uploadStep = 0.0F;
  float uploadPosition = 0.0F;
  int eraseStep = 1;
  bool repairMode = false;
  bool factoryMode = false;
  bool replaceSerialNumber = false;
  std::string newSerialNumber;  // at most 15 characters
  bool dontEraseData = false;
  bool calibrationReminder = false;
  bool keepGoing = true;
  bool updateInProgress = false;
  DeviceProfile profile;

  UpdateSession(UpdateUi& updateUi, MessageLog* messageLog, InstrumentLink& instrumentLink, HostBSL& hostEngine)
      : ui(updateUi), log(messageLog), link(instrumentLink), engine(hostEngine) {}
};

// Takes the model, caption, image version and upload step from the image the
// engine holds (kind 0 counts as the built-in kind).
void TargetImage(UpdateSession& session, uint32_t imageVersion);
// The device kind the held image is for.
int EngineKind(const UpdateSession& session);
std::string SettingsFilePath(const UpdateSession& session);

// The modal error box: shown, then its text logged with the tag "ErrorOK Told User:".
void ShowErrorBox(UpdateSession& session, const std::string& text, const std::string& title, int kind);

// The run frame: prepares the run, calls RunUpdate, reports the outcome and
// returns the window to idle. Returns RunUpdate's result.
int RunFrame(UpdateSession& session);
// The instrument update sequence: 1, or a negative code after the person was told.
int RunUpdate(UpdateSession& session);
// Called by the loader while it erases ('X') and uploads ('W'): moves the bar.
bool ProgressHook(UpdateSession& session, int total, int done, int phase, char kind);
bool CheckTestRunning(UpdateSession& session);
bool CheckSupportedVersion(UpdateSession& session, const DeviceProfile& profile);
void ShowCalibrationReminder(UpdateSession& session, int kind);
// The connection message for a failed connect (the box title is "Connection Error").
std::string ConnectionMessage(const UpdateSession& session, int result);
