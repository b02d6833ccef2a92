// Which settings a run puts back into a device, and the settings archive that keeps every
// capture (settings_archive.h).
//
// A file's settings are written into a device only when the file is this device's beyond doubt:
// the device shows the serial number the file was saved for. Where the device cannot say who
// it is (it sits in its loader, or shows no serial number) the person chooses among the files
// that may be its own, by model, serial number and date; the default, "none of these", keeps
// everything: the device's own settings stay in its memory (its INFO is not erased when no
// copy of them exists) and every file stays in the archive.
//
// The run's capture is written to "<model>[.<tag>].settings.capture.txt" beside where the
// settings file "<model>[.<tag>].settings.txt" was kept, and moved into the archive before
// anything on the device is changed. Before the INFO erase the
// settings the restore will put back are recorded in their archive file (the line
// infoErased="<version>", and carries="<serial>" for a new serial number), so that a next run
// knows that the device has lost them, even when this process is killed; during the restore
// the line restored="<bits>" follows what the device has taken back, so that a restore cut
// short is finished without undoing what a person set on the device since. An earlier version's
// settings files in the data folder are taken into the archive.
#pragma once

#include <string>
#include <vector>

#include "app/settings_archive.h"

struct UpdateSession;

constexpr const char* kInfoErasedKey = "infoErased";
constexpr const char* kCarriesKey = "carries";
constexpr const char* kRestoredKey = "restored";  // the setting bits a restore has written so far
// An update that cannot take the data folder's lock: another updater is at work there.
constexpr int kRunFolderBusy = -150;

// What a run knows about the settings it carries across the update.
struct RunSettings {
  ArchiveEntry capture;              // this run's capture, once archived
  ArchiveEntry chosen;               // what the restore puts back; no path: nothing
  bool chosenIsCapture = false;      // the link still holds them as captured
  bool keepInfo = false;             // no copy of the device's settings: its INFO is not erased
  bool infoErased = false;           // the run recorded the erase and went on to it
  bool partlyRestored = false;       // the device refused some of the chosen settings
  std::string carries;               // the serial number the chosen settings give the device
  std::vector<ArchiveEntry> superseded;  // older files of this device, not used once it is updated
  ArchiveEntry merged;               // a file joined from an interrupted restore and the device
  std::string mergedFrom;            // the path of the file it was joined from
  std::vector<std::string> claims;   // IDs of the files this run took from the archive
  ArchiveEntry named;                // the file the person named for the run (--settings)
  bool namedLooked = false;
};

// The start of a run: takes the data folder's lock (false after the "Updater Busy" box), and
// the first run of the process takes an earlier version's files into the archive and settles
// what a killed run left.
bool OpenSettings(UpdateSession& session);
// After the capture into the settings file: archives it, and chooses the settings the restore
// puts back (asking the person where the device cannot tell). `saved` is the capture's result.
// 0, or the code of an archive write that failed (its box shown: nothing was changed).
int ChooseSettingsAfterCapture(UpdateSession& session, int saved);
// Moves the capture from CapturePath into the archive, in this state. 0, or the code of a
// write that failed, after its box.
int KeepCapture(UpdateSession& session, ArchiveState state);
// A capture the run does not go on with: archived as it is.
void KeepDeclinedCapture(UpdateSession& session);
// A device found in its loader: the settings of its unfinished update, or the person's choice;
// with none, session.settings.keepInfo.
void ChooseSettingsInLoader(UpdateSession& session);
// Before the INFO erase: records it in the chosen settings' file. 0 or a negative system error
// number: the erase must not go ahead.
int RecordInfoErase(UpdateSession& session);
// Before the restore writes anything: from here the chosen file follows what the device takes.
void RecordRestoreBegins(UpdateSession& session);
// The serial number the restore gives the device: the person's new one, or the one the chosen
// settings were recorded to carry. Null for none.
const std::string* RestoreSerialNumber(const UpdateSession& session);
// The restore has ended. When it wrote every setting (wroteAll) the chosen
// file is restored and the others it stood for are settled.
void RecordRestoreEnds(UpdateSession& session, bool wroteAll);
// A restore that some values refused: the file is kept as partly restored; its path.
std::string KeepUnrestoredSettings(UpdateSession& session);
// The end of a run: every file it touched is named for what happened to it, a file a next run
// needs is announced, and the lock is released.
void CloseSettings(UpdateSession& session, int result);

// The text of the box when no settings were put back into a device found in its loader.
std::string NotRestoredText(const UpdateSession& session);
// A sentence naming the archive and the files that wait for their devices, or empty.
std::string WaitingSettingsSentence(const UpdateSession& session);
// Where the capture is written before it goes into the archive: "<model>[.<tag>].settings.capture.txt".
// A file left there by a process that died was taken from a device nothing had changed yet.
std::string CapturePath(const UpdateSession& session);
// The model whose archive folder a run uses.
std::string ArchiveModel(const UpdateSession& session);
// Whether an update of this model left settings that a next run puts back (the window says so
// under its status line).
bool UnfinishedUpdateWaiting(const std::string& dataFolder, const std::string& modelName);
// Whether two captures of one device kind hold the same settings (the identity line, the
// firmware build and the archive's own lines do not count).
bool SameSettings(const std::string& a, const std::string& b);
