// The settings archive: every capture of a device's settings is kept in the data folder, one
// folder per model and serial number, one file per capture, so that no run can lose a
// device's settings and a person can always find them again:
//
//   <data folder>/Settings Archive/<model>/<serial number>/<date> <time> <what happened> (<from> to <to>).txt
//
// The serial number folder is "no serial number" for a device that showed none; other bytes
// than letters, digits, '-' and '_' are written as %XX, so every serial number has a folder of
// its own whatever it holds. The file name tells what the run did with the capture; a run
// renames it as that changes. The text is the settings file of the capture, readable by the
// settings file readers.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ArchiveState {
  kInUse,           // an update is working with these settings right now
  kUnfinished,      // the update erased the device's settings memory and did not put them back
  kRestored,        // put back by an update that finished
  kPartlyRestored,  // put back, but the device refused some of them
  kUnchanged,       // the update stopped before the device was changed: the device kept them
  kNotUsed,         // the device got other settings (its own, or a file the person chose)
  kReplaced,        // what the device held before a person wrote an archived configuration into it
  kEarlier,         // left in the data folder by an earlier version; whether its device still holds them is not known
};

struct ArchiveEntry {
  std::string path;    // UTF-8; empty for no entry
  std::string model;
  std::string serial;  // empty: the device showed no serial number
  std::string stamp;   // "2026-12-11 01.47.42", with "-2" and up for a second capture in one second
  std::string before;  // firmware before the update, "1.40"; empty when not known
  std::string after;   // the firmware the update loads
  ArchiveState state = ArchiveState::kInUse;
};

constexpr const char* kArchiveFolderName = "Settings Archive";
constexpr const char* kNoSerialFolder = "no serial number";
// Old captures are pruned only past this many of one device, and never one that is waiting.
constexpr size_t kArchiveKeepPerDevice = 100;

std::string ArchiveFolder(const std::string& dataFolder);
// A time as an entry's stamp, in the computer's local time: "2026-12-11 01.47.42".
std::string ArchiveStamp(std::chrono::system_clock::time_point when);
std::string DeviceArchiveFolder(const std::string& dataFolder, const std::string& model, const std::string& serial);
// A short, stable name of an entry for people and scripts: eight hex digits.
std::string EntryId(const ArchiveEntry& entry);
// A version in hundredths as shown: 150 -> "1.50"; 0 -> "" (not known).
std::string ArchiveVersionText(uint32_t version);

// The entries of one model (all models when empty), and of one serial number when given,
// oldest first. Reads only names: fast for any number of entries.
std::vector<ArchiveEntry> ListArchive(const std::string& dataFolder, const std::string& model = {});
std::vector<ArchiveEntry> ListDeviceArchive(const std::string& dataFolder, const std::string& model,
                                            const std::string& serial);
// The entry with this ID or file path; an entry with an empty path when there is none.
ArchiveEntry FindEntry(const std::string& dataFolder, const std::string& idOrPath);

// A new entry for a capture's text, named by the time now. The entry gives model, serial,
// versions and state; its path and stamp are filled in. 0 or a system error number.
int AddToArchive(const std::string& dataFolder, ArchiveEntry* entry, std::string_view text);
// Renames an entry for what happened to it now. 0 or a system error number.
int SetEntryState(ArchiveEntry* entry, ArchiveState state);
// Moves an entry to the folder of another serial number (the device will carry it). 0 or an error.
int SetEntrySerial(const std::string& dataFolder, ArchiveEntry* entry, const std::string& serial);
// Writes an entry's text anew, durably. 0 or a system error number.
int RewriteEntry(const ArchiveEntry& entry, std::string_view text);
// The entry's text; false when it cannot be read.
bool ReadEntry(const ArchiveEntry& entry, std::string* text);
// Past kArchiveKeepPerDevice entries of one device, its oldest settled ones go.
void PruneDeviceArchive(const std::string& dataFolder, const std::string& model, const std::string& serial);

// Whether a later run may need the entry: its device may have lost these settings.
bool EntryWaits(const ArchiveEntry& entry);
// What happened to the entry, for file names ("unfinished") and for people.
std::string_view StateWords(ArchiveState state);
std::string StateShown(ArchiveState state);
// The entry's date and time as people read them: "2026-12-11 01:47:42".
std::string StampShown(const ArchiveEntry& entry);
// "serial number TGX-014577", or "no serial number".
std::string SerialShown(const std::string& serial);
// One line naming the entry for a person: model, serial number, date and what happened.
std::string EntryShown(const ArchiveEntry& entry);
