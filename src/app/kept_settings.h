// The settings files that carry a device's settings from one run to the next,
// and the rules that decide which of them belongs to the device now attached.
//
// Beside the run's settings file S ("<model>[.<tag>].settings.txt") a data
// folder may hold:
//   "<model>[.<tag>].settings.capture.txt"    a fresh capture before it is chosen;
//   "<model>[.<tag>].settings.undecided.txt"  the capture of a device that shows no serial
//       number while S, from an update that erased its device's settings, may be its own;
//       the run decides once it has seen what the device shows after its own erase;
//   "<model>.settings.unfinished <who>.txt"   the file of another device's unfinished update,
//       restored when that device comes back;
//   "<model>.settings.unrestored <who>.txt"   what a partial restore could not put back, kept
//       for the person and never read by a run.
// S and an undecided capture carry the line infoErased="1" once the run that wrote them has
// started to erase the device's INFO memory, where the device keeps its settings.
#pragma once

#include <string>
#include <vector>

struct UpdateSession;

constexpr const char* kInfoErasedKey = "infoErased";

// After the capture into KeptCapturePath: chooses the settings the restore puts back (the
// capture, or the file of an unfinished update of this device) and moves another device's
// file aside. `saved` is the capture's result; -36 (a logger never set up) has no settings
// of its own.
void ChooseSettingsAfterCapture(UpdateSession& session, int saved);
// A capture the run does not go on with: the files stay as they were.
void DiscardCapture(UpdateSession& session);
// A device found in its loader: the settings of its unfinished update, when one is known;
// otherwise session.keepInfo is set (INFO still holds the only copy, or nothing is known).
void ChooseSettingsInLoader(UpdateSession& session);
// Before the INFO erase: the files the restore needs are marked, so a next run knows that
// the device's settings memory is being erased, even when this process is killed.
void RecordInfoErase(UpdateSession& session);
// Once the new firmware runs: settles an undecided capture by what the device shows after
// the erase (a capture equal to that had no settings of its own).
void SettleUndecidedSettings(UpdateSession& session);
// A restore that some values refused: the settings file is renamed for the person; the path.
std::string KeepUnrestoredSettings(UpdateSession& session);
// The unfinished updates of other devices that wait in the data folder.
std::vector<std::string> WaitingSettingsFiles(const UpdateSession& session);
// A sentence naming those files, or empty.
std::string WaitingSettingsSentence(const UpdateSession& session);

// Whether an update of this model left settings that a next run puts back (the window says so
// under its status line).
bool UnfinishedUpdateWaiting(const std::string& dataFolder, const std::string& modelName);

std::string KeptCapturePath(const UpdateSession& session);
std::string UndecidedSettingsPath(const UpdateSession& session);
// Whether two captures of one device kind hold the same settings (the identity line and
// the firmware build belong to the firmware and do not count).
bool SameSettings(const std::string& a, const std::string& b);
