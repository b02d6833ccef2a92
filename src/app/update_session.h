// The state an update run works with: what the window (or the command line)
// knows about the build, the port and the person's choices, the objects the run
// drives, and the device profile of the device being updated.
#pragma once

#include <string>

#include "app/folder_lock.h"
#include "app/kept_settings.h"
#include "app/update_run.h"
#include "app/update_ui.h"
#include "bsl/device_profile.h"
#include "log/message_log.h"

struct HostBSL;
struct InstrumentLink;

// Results of an update run beyond the lower layers' codes.
constexpr int kRunConnectionFailed = -20;
constexpr int kRunDeclined = -40;
// The person stopped the run (Ctrl+C): a Cancel, as a declined question is.
constexpr int kRunStopped = kRunDeclined;
constexpr int kRunLoaderFailed = -110;
constexpr int kRunNoLoader = -112;
constexpr int kRunNotSupported = -120;
constexpr int kRunWrongDevice = -121;
constexpr int kRunBatteryLow = -130;

// The upload moves the bar by 69 x 512 / image length per callback, about 69 points in all.
constexpr float kUploadSpan = 35328.0F;
constexpr int kBuiltInImageVersion = 150;

struct UpdateSession {
  UpdaterState& state;
  UpdateUi& ui;
  MessageLog* log;
  InstrumentLink& link;
  HostBSL& engine;
  float uploadPosition = 0.0F;       // progress during the upload, 21.0 at its start
  bool calibrationReminder = false;  // set at the end of a successful run when the device needs it
  RunSettings settings;              // the settings the run carries across the update
  DataFolderLock folderLock;         // one updater per data folder
  bool stopHeld = false;             // the run is in a stretch it cannot stop in
  DeviceProfile profile;

  UpdateSession(UpdateRun& run, InstrumentLink& instrumentLink)
      : state(run.state), ui(run.ui), log(run.log), link(instrumentLink), engine(run.engine) {}
};

// Takes the model, caption, image version and upload step from the image the
// engine holds (kind 0 counts as the built-in kind).
void TargetImage(UpdateSession& session, uint32_t imageVersion);
// The device kind the held image is for.
int EngineKind(const UpdateSession& session);
// data folder + "/" + model name + ".settings.txt"; with a settings-file tag the tag goes
// before ".settings.txt", so devices updated side by side never share a file.
std::string SettingsFilePath(const UpdateSession& session);
// A port name as a file-name tag: "/dev/pts/3" -> "pts_3", "ttyUSB0" stays.
std::string PortFileTag(const std::string& portName);

// The modal error box: shown, then its text logged with the tag "ErrorOK Told User:".
// A network port's failure in words follows the text: why the server could not be reached or
// the connection ended.
std::string TakePortFailure(UpdateSession& session);
inline void ShowErrorBox(UpdateSession& session, const std::string& text, const std::string& title, int kind) {
  TellUser(session.ui, session.log, text + TakePortFailure(session), title, kind);
}

// The run frame: prepares the run, calls the build's sequence (RunUpdate, or
// UpdateDigitalSensor in a digital-sensor build), reports the outcome and
// returns the window to idle. Returns the sequence's result. The front end
// keeps a second start request out while a run is active.
int RunFrame(UpdateSession& session);
// The runners a front end plugs in: one run frame with an instrument link of its own.
UpdateRunner InstrumentUpdateRunner();
UpdateRunner DigitalSensorUpdateRunner();
// The digital-sensor update sequence: 1, or a negative code after the person was told.
int UpdateDigitalSensor(UpdateSession& session);
// The sensor type check: a family selection (260, 261, 262, 264) accepts its
// members, any other selection only its own type.
bool SensorTypeAccepted(uint32_t selected, uint32_t sensorType);
// A failed digital-sensor run's share of the cleanup: the pass-through device
// back to its own command line and the lent port back to the link.
void SensorRunCleanup(UpdateSession& session);
// The instrument update sequence: 1, or a negative code after the person was told.
int RunUpdate(UpdateSession& session);
// Called by the loader while it erases ('X') and uploads ('W'): moves the bar.
bool ProgressHook(UpdateSession& session, int total, int done, int phase, char kind);
bool CheckTestRunning(UpdateSession& session);
bool CheckSupportedVersion(UpdateSession& session, const DeviceProfile& profile);
void ShowCalibrationReminder(UpdateSession& session, int kind);
// The connection message for a failed connect (the box title is "Connection Error").
std::string ConnectionMessage(const UpdateSession& session, int result);
// The box text of a restore that failed with e (the settings file missing or unreadable, some
// settings or all refused).
std::string RestoreMessage(const UpdateSession& session, int e);
// Why the port itself could not be opened (in use, missing, not allowed); empty for other results.
std::string PortOpenMessage(const std::string& port, int result);
// "\n\nComm Port "PORT": FAILURE." for a network port's failure in words, which is taken (told
// once); empty when there is none.
std::string PortFailureNote(const std::string& port, std::string& failure);

// Shared by both sequences.
// The box of a failed loader stage ("... encountered an error working with your ..."); returns code.
int FailStage(UpdateSession& session, const std::string& title, int code);
// Erases the INFO memory (unless session.settings.keepInfo) and the flash; 0, or the failing code after its box.
int EraseFirmwareMemory(UpdateSession& session);
// A capture whose settings were read from the device but could not be written to the settings
// file (a full disk, a read-only data folder): the disk is at fault, not the device.
bool SettingsFileNotWritten(const UpdateSession& session, int saved);
// Its box, titled "Settings Error": which file could not be written and why (code: a negated
// system error number); returns code.
int FailSettingsWrite(UpdateSession& session, int code, const std::string& path);
// Puts the chosen settings back, following in the archive what the device takes: VPRestoreInfo's
// result, or 0 when none were chosen (*noneChosen; the box says so: the device kept its memory).
int RestoreChosenSettings(UpdateSession& session, bool* noneChosen);
// What a failed restore's box adds: where the settings are kept now.
std::string RestoreFailureNote(UpdateSession& session, int e);
// Restore results after which a next run can still put the settings back: the device gave
// no answer, echoed, or fell into its loader. The run ends there and keeps the settings file.
bool RestoreMetNoAnswer(int code);
