#include "app/kept_settings.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/settings_merge.h"
#include "app/update_session.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"
#include "instrument/settings_file_platform.h"
#include "log/platform.h"
#include "sdi12/sdi_sensor.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kHostTag = "VornBSL Host";
constexpr std::string_view kTextSuffix = ".txt";
constexpr std::string_view kLineEnd = "\r\n";
constexpr size_t kKeptSerialKeep = 65;
constexpr size_t kMarkKeep = 12;
// Lines that belong to the firmware or to the archive's bookkeeping, not to the device's settings.
constexpr std::string_view kNotSettings[] = {"infoErased=", "identity=", "VornBuild=", "captured=", "carries=",
                                             "restored="};
// The files an earlier version kept in the data folder, after "<model>": a run's settings file
// (".settings.txt", or ".<port>.settings.txt" beside others), its fresh capture, an undecided
// capture, another device's unfinished update and what a restore could not put back.
constexpr std::string_view kSettingsSuffix = ".settings.txt";
constexpr std::string_view kCaptureSuffix = ".settings.capture.txt";
constexpr std::string_view kUndecidedSuffix = ".settings.undecided.txt";
constexpr std::string_view kUnrestoredPiece = ".settings.unrestored ";
constexpr std::string_view kUnfinishedPiece = ".settings.unfinished ";

const std::string& Model(const UpdateSession& session) { return session.state.modelName; }

std::string SerialOf(const std::string& text) {
  std::string serial;
  ReadKeyText(text, "sn", &serial, kKeptSerialKeep);
  return serial;
}

bool HasMark(const std::string& text, const char* key) {
  std::string mark;
  return ReadKeyText(text, key, &mark, kMarkKeep);
}

// The text with a bookkeeping line set to the value (added at the end, or replaced).
std::string WithLine(const std::string& text, const std::string& key, const std::string& value) {
  const std::string line = key + "=\"" + value + "\"" + std::string(kLineEnd);
  const std::string start = key + "=";
  size_t at = text.rfind(std::string(kLineEnd) + start);
  if (at != std::string::npos) at += kLineEnd.size();
  else if (text.compare(0, start.size(), start) == 0) at = 0;
  if (at == std::string::npos) return text + line;
  const size_t end = text.find(kLineEnd, at);
  return text.substr(0, at) + line + (end == std::string::npos ? "" : text.substr(end + kLineEnd.size()));
}

std::vector<std::string> SettingLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(kLineEnd, start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    bool setting = !line.empty();
    for (std::string_view key : kNotSettings) setting = setting && line.substr(0, key.size()) != key;
    if (setting) lines.emplace_back(line);
    start = end + kLineEnd.size();
  }
  return lines;
}

bool EndsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

uint32_t DeviceVersion(const UpdateSession& session) {
  return session.link.kind == kDeviceTypeDigitalSensor ? session.link.sdi->version : session.profile.version;
}

std::string ArchiveText(const ArchiveEntry& entry) {
  std::string text;
  ReadEntry(entry, &text);
  return text;
}

void LogArchive(const UpdateSession& session, const char* what, const ArchiveEntry& entry) {
  print_message(session.log, kLogFailure, kHostTag, "%s %s", what, ShownPath(entry.path).c_str());
}

void SetState(UpdateSession& session, ArchiveEntry* entry, ArchiveState state) {
  if (entry->path.empty() || entry->state == state) return;
  const int error = SetEntryState(entry, state);
  if (error != 0) {
    print_message(session.log, kLogFailure, kHostTag, "Could not rename %s in the settings archive (error %d)",
                  ShownPath(entry->path).c_str(), error);
  }
}

// ---- taking an earlier version's files and a killed run's into the archive ----

enum class OldFile { kNone, kSettings, kCapture, kUndecided, kUnrestored, kUnfinished };

OldFile OldFileKind(const std::string& name, const std::string& model) {
  if (name.rfind(model + ".", 0) != 0 || !EndsWith(name, kTextSuffix)) return OldFile::kNone;
  const std::string rest = name.substr(model.size());
  if (rest.rfind(kUnrestoredPiece, 0) == 0) return OldFile::kUnrestored;
  if (rest.rfind(kUnfinishedPiece, 0) == 0) return OldFile::kUnfinished;
  if (EndsWith(rest, kCaptureSuffix)) return OldFile::kCapture;
  if (EndsWith(rest, kUndecidedSuffix)) return OldFile::kUndecided;
  // ".settings.txt" or ".<port>.settings.txt"; the port tag holds no dots.
  if (!EndsWith(rest, kSettingsSuffix)) return OldFile::kNone;
  const std::string tag = rest.substr(0, rest.size() - kSettingsSuffix.size());
  return tag.empty() || (tag[0] == '.' && tag.find('.', 1) == std::string::npos) ? OldFile::kSettings : OldFile::kNone;
}

ArchiveState ImportedState(OldFile kind, const std::string& text) {
  if (HasMark(text, kInfoErasedKey)) return ArchiveState::kUnfinished;
  if (kind == OldFile::kUnrestored) return ArchiveState::kPartlyRestored;
  // A fresh capture was made moments before its run chose: that device was not changed.
  if (kind == OldFile::kCapture) return ArchiveState::kUnchanged;
  return ArchiveState::kEarlier;
}

std::string FileStamp(const fs::path& path) {
  std::error_code ec;
  const auto written = fs::last_write_time(path, ec);
  return ec ? std::string() : ArchiveStamp(std::chrono::file_clock::to_sys(written));
}

void ImportOldFile(UpdateSession& session, const fs::path& path, OldFile kind) {
  const std::string file = Utf8FromPath(path);
  std::string text;
  if (ReadWholeFile(file, &text, kSettingsFileMaxBytes).error != 0) return;
  ArchiveEntry entry;
  entry.model = ArchiveModel(session);
  entry.serial = SerialOf(text);
  entry.state = ImportedState(kind, text);
  entry.stamp = FileStamp(path);
  if (AddToArchive(session.state.dataFolder, &entry, text) != 0) {
    print_message(session.log, kLogFailure, kHostTag, "Could not take %s into the settings archive",
                  ShownPath(file).c_str());
    return;
  }
  RemoveFileUtf8(file);
  print_message(session.log, kLogFailure, kHostTag, "Took %s into the settings archive as %s",
                ShownPath(file).c_str(), ShownPath(entry.path).c_str());
}

void ImportOldFiles(UpdateSession& session) {
  std::error_code ec;
  for (const fs::directory_entry& file : fs::directory_iterator(PathFromUtf8(session.state.dataFolder), ec)) {
    const OldFile kind = OldFileKind(Utf8FromPath(file.path().filename()), Model(session));
    if (kind != OldFile::kNone && file.is_regular_file(ec)) ImportOldFile(session, file.path(), kind);
  }
}

// A run of this version that was killed left its capture "in use": recorded for the erase,
// its device needs it; otherwise that device was not changed.
void SettleKilledRuns(UpdateSession& session) {
  for (ArchiveEntry& entry : ListArchive(session.state.dataFolder, ArchiveModel(session))) {
    if (entry.state != ArchiveState::kInUse) continue;
    const bool erased = HasMark(ArchiveText(entry), kInfoErasedKey);
    SetState(session, &entry, erased ? ArchiveState::kUnfinished : ArchiveState::kUnchanged);
  }
}

// ---- the question ----

std::string ArchiveShown(const UpdateSession& session) { return ShownPath(ArchiveFolder(session.state.dataFolder)); }

ArchiveEntry FindNamedFile(UpdateSession& session) {
  const std::string& named = session.state.settingsChoice;
  ArchiveEntry entry = FindEntry(session.state.dataFolder, named);
  if (!entry.path.empty()) return entry;
  std::string text;
  if (ReadWholeFile(named, &text, kSettingsFileMaxBytes).error != 0) {
    print_message(session.log, kLogFailure, kHostTag, "The settings file %s named for this run cannot be read",
                  ShownPath(named).c_str());
    return {};
  }
  entry.model = ArchiveModel(session);
  entry.serial = SerialOf(text);
  entry.state = ArchiveState::kEarlier;
  if (AddToArchive(session.state.dataFolder, &entry, text) != 0) return {};
  LogArchive(session, "Took the named settings file into the settings archive as", entry);
  return entry;
}

// The file the person named for this run (--settings), taken into the archive when it lies
// elsewhere; looked up once a run. No path when none was named or it cannot be read.
const ArchiveEntry& NamedFile(UpdateSession& session) {
  RunSettings& settings = session.settings;
  if (!settings.namedLooked && !session.state.settingsChoice.empty()) settings.named = FindNamedFile(session);
  settings.namedLooked = true;
  return settings.named;
}

// The person's choice among the files: an index, or kChoseNone. A file named for the run
// answers the question; it need not be among the candidates.
int AskWhose(UpdateSession& session, const std::string& text, std::vector<ArchiveEntry>* candidates,
             const std::string& none) {
  const ArchiveEntry named = NamedFile(session);
  if (!named.path.empty()) {
    for (size_t i = 0; i < candidates->size(); ++i) {
      if ((*candidates)[i].path == named.path) return static_cast<int>(i);
    }
    candidates->push_back(named);
    return static_cast<int>(candidates->size() - 1);
  }
  std::vector<std::string> options;
  for (const ArchiveEntry& entry : *candidates) options.push_back(EntryShown(entry));
  const int picked = session.ui.choose(text, "Whose Settings", options, none);
  const std::string answer = picked >= 0 ? EntryShown((*candidates)[static_cast<size_t>(picked)]) : none;
  print_message(session.log, kLogFailure, kHostTag, "Asked whose settings these are: %s", answer.c_str());
  return picked >= 0 && static_cast<size_t>(picked) < candidates->size() ? picked : kChoseNone;
}

// The files the runs of this process (several ports at once) have taken, by their IDs: a file
// one run puts back is offered to no other.
std::mutex& ClaimsMutex() {
  static std::mutex mutex;
  return mutex;
}

std::set<std::string>& Claims() {
  static std::set<std::string> claims;
  return claims;
}

bool Claimed(const ArchiveEntry& entry) {
  const std::lock_guard<std::mutex> guard(ClaimsMutex());
  return Claims().count(EntryId(entry)) != 0;
}

// False when another run of this process took it first.
bool Claim(UpdateSession& session, const ArchiveEntry& entry) {
  const std::lock_guard<std::mutex> guard(ClaimsMutex());
  if (!Claims().insert(EntryId(entry)).second) return false;
  session.settings.claims.push_back(EntryId(entry));
  return true;
}

void ReleaseClaims(UpdateSession& session) {
  const std::lock_guard<std::mutex> guard(ClaimsMutex());
  for (const std::string& id : session.settings.claims) Claims().erase(id);
  session.settings.claims.clear();
}

std::vector<ArchiveEntry> Waiting(std::vector<ArchiveEntry> entries) {
  std::erase_if(entries, [](const ArchiveEntry& entry) { return !EntryWaits(entry) || Claimed(entry); });
  std::reverse(entries.begin(), entries.end());  // newest first
  return entries;
}

std::vector<ArchiveEntry> WaitingEntries(const UpdateSession& session) {
  return Waiting(ListArchive(session.state.dataFolder, ArchiveModel(session)));
}

// ---- the choice ----

void UseCapture(UpdateSession& session) {
  session.settings.chosen = session.settings.capture;
  session.settings.chosenIsCapture = true;
  session.settings.carries.clear();
}

// The settings of an earlier run stand in for the ones the device holds.
// False when another update of this process took the file first.
bool UseEntry(UpdateSession& session, const ArchiveEntry& entry) {
  RunSettings& settings = session.settings;
  if (!Claim(session, entry)) {
    LogArchive(session, "Another update of this process took", entry);
    return false;
  }
  settings.chosen = entry;
  settings.chosenIsCapture = false;
  const std::string text = ArchiveText(entry);
  settings.carries.clear();
  ReadKeyText(text, kCarriesKey, &settings.carries, kKeptSerialKeep);
  ClearCapturedSettings(session.link);  // the restore reads the chosen file
  session.state.settingsFile = entry.path;
  LogArchive(session, "The restore puts back the settings of", entry);
  const std::string serial = !settings.carries.empty() ? settings.carries : entry.serial;
  session.ui.note("The settings of the " + Model(session) + " with " + SerialShown(serial) + ", saved on " +
                  StampShown(entry) + ", will be restored.");
  return true;
}

std::string NoSerialQuestion(const UpdateSession& session) {
  const std::string& model = Model(session);
  return "Your " + model + " shows no serial number, so the " + session.state.caption + " cannot tell which " +
         model + " it is.\n\nThe settings archive holds the settings of updates that did not finish. If one of " +
         "them is this " + model + "'s own, choose it: it is put back after the update. Otherwise the " + model +
         " keeps the settings it holds now.\n\nThe archive is in \"" + ArchiveShown(session) + "\".";
}

std::string LoaderQuestion(const UpdateSession& session) {
  const std::string& model = Model(session);
  return "Your " + model + " is in its firmware loader, where it cannot tell which " + model + " it is.\n\n" +
         "The settings archive holds the settings of updates that did not finish. If one of them is this " + model +
         "'s own, choose it: it is put back after the update. Otherwise the " + model + " keeps the settings it " +
         "holds: its settings memory is not erased.\n\nThe archive is in \"" + ArchiveShown(session) + "\".";
}

std::string ChangedQuestion(const UpdateSession& session, const ArchiveEntry& entry) {
  const std::string& model = Model(session);
  return "Your " + model + " (" + SerialShown(entry.serial) + ") holds settings that differ from the ones an " +
         "earlier version of this updater saved for it on " + StampShown(entry) + ". That update may have lost " +
         "them, or they were changed since.\n\nChoose the saved settings to put them back, or keep the settings " +
         "it holds now. Both stay in the settings archive in \"" + ArchiveShown(session) + "\".";
}

// The bits an interrupted restore wrote into the device (0: none, or it never began).
uint32_t TakenBits(const std::string& text) {
  std::string taken;
  if (!ReadKeyText(text, kRestoredKey, &taken, kMarkKeep)) return 0;
  return static_cast<uint32_t>(std::strtoul(taken.c_str(), nullptr, 16));
}

// The text without the archive's bookkeeping of an earlier run.
std::string WithoutMarks(const std::string& text) {
  std::string kept;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(kLineEnd, start);
    end = end == std::string::npos ? text.size() : end + kLineEnd.size();
    const std::string_view line(text.data() + start, end - start);
    if (line.rfind(std::string(kInfoErasedKey) + "=", 0) != 0 && line.rfind(std::string(kRestoredKey) + "=", 0) != 0) {
      kept.append(line);
    }
    start = end;
  }
  return kept;
}

// An earlier restore of this device was cut short: the device gets the values it holds now of
// what that restore wrote, and the saved values of the rest, as a new file of the archive.
void UseMerged(UpdateSession& session, const ArchiveEntry& saved, const std::string& savedText,
               const std::string& held, uint32_t taken) {
  const std::string merged = MergeRestored(session.link.kind, WithoutMarks(savedText), held, taken);
  ArchiveEntry entry = saved;
  entry.state = ArchiveState::kInUse;
  entry.stamp.clear();
  if (AddToArchive(session.state.dataFolder, &entry, merged) != 0) {
    UseEntry(session, saved);
    return;
  }
  session.settings.superseded.push_back(saved);
  LogArchive(session, "Joined what the device holds of an interrupted restore with the rest of its settings in", entry);
  if (!UseEntry(session, entry)) return;
  session.settings.merged = entry;
  session.settings.mergedFrom = saved.path;
}

// The device showed its serial number: only files of that serial number can be its own.
void ChooseForSerial(UpdateSession& session, const std::string& serial) {
  std::vector<ArchiveEntry> mine =
      Waiting(ListDeviceArchive(session.state.dataFolder, ArchiveModel(session), serial));
  UseCapture(session);
  if (mine.empty()) return;
  const ArchiveEntry newest = mine.front();
  session.settings.superseded.assign(mine.begin() + 1, mine.end());
  const std::string text = ArchiveText(newest);
  std::string held;
  ReadEntry(session.settings.capture, &held);
  if (newest.state == ArchiveState::kUnfinished) {
    // Its update erased the settings: the device shows what its firmware makes of an erased
    // memory, and what a restore cut short gave back.
    const uint32_t taken = TakenBits(text);
    if (taken == 0) {
      UseEntry(session, newest);
      return;
    }
    return UseMerged(session, newest, text, held, taken);
  }
  // An earlier version's file: whether the device lost those settings is not known.
  if (SameSettings(held, text)) {
    session.settings.superseded.push_back(newest);
    return;
  }
  std::vector<ArchiveEntry> candidates = {newest};
  if (AskWhose(session, ChangedQuestion(session, newest), &candidates, "Keep the settings it holds now") >= 0 &&
      UseEntry(session, candidates.front())) {
    return;
  }
  session.settings.superseded.push_back(newest);
}

// The device showed no serial number, or nothing could be read from it.
void ChooseWithoutSerial(UpdateSession& session, bool captured, int saved) {
  std::vector<ArchiveEntry> candidates = WaitingEntries(session);
  if (captured) UseCapture(session);
  // Nothing could be read: its settings are still in its memory, the only copy. A logger never
  // set up has none to lose.
  const bool keep = !captured && saved != kVPUninitialised;
  if (!candidates.empty() || !session.state.settingsChoice.empty()) {
    const std::string none = "None of these: keep the settings this " + Model(session) + " holds";
    const int picked = AskWhose(session, NoSerialQuestion(session), &candidates, none);
    if (picked >= 0 && UseEntry(session, candidates[static_cast<size_t>(picked)])) return;
  }
  session.settings.keepInfo = keep;
}

// The archive's failure box: nothing on the device was changed.
int FailArchive(UpdateSession& session, int error, const std::string& path) {
  return FailSettingsWrite(session, -error, path);
}

}  // namespace

int KeepCapture(UpdateSession& session, ArchiveState state) {
  const std::string working = CapturePath(session);
  std::string text;
  const FileOutcome read = ReadWholeFile(working, &text, kSettingsFileMaxBytes);
  if (read.error != 0) return FailArchive(session, read.error, working);
  ArchiveEntry entry;
  entry.model = ArchiveModel(session);
  entry.serial = CapturedSerialNumber(session.link);
  entry.before = ArchiveVersionText(DeviceVersion(session));
  entry.after = ArchiveVersionText(session.state.imageVersion);
  entry.state = state;
  const int error = AddToArchive(session.state.dataFolder, &entry, text);
  if (error != 0) {
    return FailArchive(session, error, DeviceArchiveFolder(session.state.dataFolder, entry.model, entry.serial));
  }
  RemoveFileUtf8(working);
  // While the run lasts its capture is no other run's to choose.
  Claim(session, entry);
  session.settings.capture = entry;
  session.state.settingsFile = entry.path;
  LogArchive(session, "Kept the settings in the settings archive as", entry);
  return 0;
}

namespace {

void FollowChosen(UpdateSession& session) {
  if (!session.settings.chosen.path.empty()) session.state.settingsFile = session.settings.chosen.path;
}

// The device has the chosen settings now (all, or all it took): every file that stood for them
// is settled.
void RecordRestored(UpdateSession& session, bool partly) {
  RunSettings& settings = session.settings;
  settings.partlyRestored = partly;
  SetState(session, &settings.chosen, partly ? ArchiveState::kPartlyRestored : ArchiveState::kRestored);
  if (settings.chosenIsCapture) settings.capture = settings.chosen;
  else SetState(session, &settings.capture, ArchiveState::kNotUsed);
  for (ArchiveEntry& entry : settings.superseded) SetState(session, &entry, ArchiveState::kNotUsed);
  settings.superseded.clear();
  FollowChosen(session);
}

std::string ArchiveModelFor(const std::string& modelName) {
  for (int kind = kDeviceTypeUnknown; kind <= kDeviceTypeLast; ++kind) {
    if (ProfileName(kind) == modelName) return modelName;
  }
  // Only a digital-sensor build names its model after something else: the sensor type.
  return std::string(ProfileName(kDeviceTypeDigitalSensor));
}

void AnnounceUnfinished(UpdateSession& session) {
  const ArchiveEntry& chosen = session.settings.chosen;
  if (chosen.path.empty() || chosen.state != ArchiveState::kUnfinished) return;
  const std::string& model = Model(session);
  const std::string serial = session.settings.carries.empty() ? chosen.serial : session.settings.carries;
  session.ui.note("The settings of this " + model + " (" + SerialShown(serial) +
                  ") are kept in the settings archive:\n\"" + ShownPath(chosen.path) + "\"\nUpdate this " + model +
                  " again to put them back.");
}

}  // namespace

std::string CapturePath(const UpdateSession& session) {
  const std::string path = SettingsFilePath(session);
  return path.substr(0, path.size() - kTextSuffix.size()) + ".capture.txt";
}

std::string ArchiveModel(const UpdateSession& session) {
  if (session.state.digitalSensorBuild) return std::string(ProfileName(kDeviceTypeDigitalSensor));
  return session.state.modelName;
}

bool OpenSettings(UpdateSession& session) {
  std::string holder;
  const std::string& port = session.state.portName.empty() ? session.state.portLabel : session.state.portName;
  const FolderLockResult taken = session.folderLock.Take(session.state.dataFolder, port, &holder, [&session] {
    ImportOldFiles(session);
    SettleKilledRuns(session);
  });
  if (taken == FolderLockResult::kTaken) return true;
  if (taken == FolderLockResult::kFailed) {
    FailSettingsWrite(session, -std::atoi(holder.c_str()), session.state.dataFolder + "/" + kFolderLockName);
    return false;
  }
  ShowErrorBox(session,
               "Another updater is at work with the data folder\n\"" + ShownPath(session.state.dataFolder) + "\":\n" +
                   holder + ".\n\nNothing was sent to the " + Model(session) + " on Comm Port \"" + session.state.portLabel +
                   "\". Please wait until the other update has finished, then try again.",
               "Updater Busy", kBoxWarning);
  return false;
}

int ChooseSettingsAfterCapture(UpdateSession& session, int saved) {
  const bool captured = saved >= 0 || saved == kVPPartial;
  if (captured) {
    const int kept = KeepCapture(session, ArchiveState::kInUse);
    if (kept != 0) return kept;
  }
  const std::string serial = captured ? CapturedSerialNumber(session.link) : std::string();
  if (!serial.empty()) {
    ChooseForSerial(session, serial);
  } else {
    ChooseWithoutSerial(session, captured, saved);
  }
  FollowChosen(session);
  const ArchiveEntry& named = NamedFile(session);
  const bool namedUsed = session.settings.chosen.path == named.path || session.settings.mergedFrom == named.path;
  if (!named.path.empty() && !namedUsed) {
    session.ui.note("The settings file named for this run was not used: the " + Model(session) + " showed its " +
                    SerialShown(serial) + ".");
  }
  return 0;
}

void KeepDeclinedCapture(UpdateSession& session) {
  std::error_code ec;
  if (!fs::exists(PathFromUtf8(CapturePath(session)), ec)) return;
  if (KeepCapture(session, ArchiveState::kUnchanged) != 0) return;
  session.settings.capture = ArchiveEntry{};
}

void ChooseSettingsInLoader(UpdateSession& session) {
  std::vector<ArchiveEntry> candidates = WaitingEntries(session);
  const bool resume = candidates.size() == 1 && candidates.front().state == ArchiveState::kUnfinished &&
                      session.state.settingsChoice.empty();
  if (resume && UseEntry(session, candidates.front())) return;
  if (!candidates.empty() || !session.state.settingsChoice.empty()) {
    const std::string none = "None of these: keep the settings this " + Model(session) + " holds";
    const int picked = AskWhose(session, LoaderQuestion(session), &candidates, none);
    if (picked >= 0 && UseEntry(session, candidates[static_cast<size_t>(picked)])) return;
  }
  session.settings.keepInfo = true;
}

int RecordInfoErase(UpdateSession& session) {
  RunSettings& settings = session.settings;
  if (settings.keepInfo || settings.chosen.path.empty()) return 0;
  std::string text;
  if (!ReadEntry(settings.chosen, &text)) return FailArchive(session, kFileMissing, settings.chosen.path);
  std::string marked = text;
  if (!HasMark(text, kInfoErasedKey)) {
    marked = WithLine(marked, kInfoErasedKey, std::to_string(session.state.imageVersion));
  }
  if (session.state.replaceSerialNumber && !session.state.newSerialNumber.empty()) {
    settings.carries = session.state.newSerialNumber;
    marked = WithLine(marked, kCarriesKey, settings.carries);
  }
  int error = marked == text ? 0 : RewriteEntry(settings.chosen, marked);
  if (error == 0) error = SetEntryState(&settings.chosen, ArchiveState::kUnfinished);
  if (error == 0 && !settings.carries.empty()) {
    error = SetEntrySerial(session.state.dataFolder, &settings.chosen, settings.carries);
  }
  if (settings.chosenIsCapture) settings.capture = settings.chosen;
  FollowChosen(session);
  if (error != 0) return FailArchive(session, error, settings.chosen.path);
  settings.infoErased = true;
  LogArchive(session, "Recorded the INFO erase in", settings.chosen);
  return 0;
}

void RecordRestoreBegins(UpdateSession& session) {
  RunSettings& settings = session.settings;
  std::string text;
  if (settings.chosen.path.empty() || !ReadEntry(settings.chosen, &text)) return;
  // Durable before the first write: from here the device may hold part of the file.
  text = WithLine(text, kRestoredKey, "0");
  if (RewriteEntry(settings.chosen, text) != 0) {
    LogArchive(session, "Could not record the restore's start in", settings.chosen);
    return;
  }
  auto taken = std::make_shared<uint32_t>(0);
  session.link.restoreTaken = [&session, text, taken](uint32_t bits) {
    *taken |= bits;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", *taken);
    const std::string noted = WithLine(text, kRestoredKey, hex);
    ReplaceFile(session.settings.chosen.path, noted, Durability::kInCache);
  };
}

void RecordRestoreEnds(UpdateSession& session, bool wroteAll) {
  session.link.restoreTaken = nullptr;
  if (wroteAll) RecordRestored(session, false);
}

const std::string* RestoreSerialNumber(const UpdateSession& session) {
  if (session.state.replaceSerialNumber && !session.state.newSerialNumber.empty()) {
    return &session.state.newSerialNumber;
  }
  return session.settings.carries.empty() ? nullptr : &session.settings.carries;
}

std::string KeepUnrestoredSettings(UpdateSession& session) {
  if (session.settings.chosen.path.empty()) return {};
  RecordRestored(session, true);
  return session.settings.chosen.path;
}

void CloseSettings(UpdateSession& session, int result) {
  RunSettings& settings = session.settings;
  if (settings.capture.state == ArchiveState::kInUse) {
    SetState(session, &settings.capture, settings.infoErased ? ArchiveState::kNotUsed : ArchiveState::kUnchanged);
    if (settings.chosenIsCapture) settings.chosen = settings.capture;
  }
  // A joined file the run did not get as far as recording: the file it was joined from waits.
  if (!settings.merged.path.empty() && settings.chosen.state == ArchiveState::kInUse) {
    SetState(session, &settings.chosen, ArchiveState::kNotUsed);
  }
  if (result < 0) AnnounceUnfinished(session);
  for (const ArchiveEntry* entry : {&settings.capture, &settings.chosen}) {
    if (!entry->path.empty()) PruneDeviceArchive(session.state.dataFolder, entry->model, entry->serial);
  }
  RemoveFileUtf8(CapturePath(session));
  ReleaseClaims(session);
  session.folderLock.Release();
}

std::string NotRestoredText(const UpdateSession& session) {
  const std::string& model = Model(session);
  return "The " + session.state.caption + " did not put settings back into your " + model +
         ": no saved settings were chosen as its own. Its settings memory was not erased, so it keeps the " +
         "settings it held." + WaitingSettingsSentence(session);
}

std::string WaitingSettingsSentence(const UpdateSession& session) {
  if (WaitingEntries(session).empty()) return {};
  return "\n\nThe settings of updates that did not finish are kept in the settings archive:\n\"" +
         ArchiveShown(session) + "\"";
}

bool UnfinishedUpdateWaiting(const std::string& dataFolder, const std::string& modelName) {
  std::error_code ec;
  if (fs::exists(PathFromUtf8(dataFolder + "/" + modelName + std::string(kSettingsSuffix)), ec)) return true;
  for (const ArchiveEntry& entry : ListArchive(dataFolder, ArchiveModelFor(modelName))) {
    if (entry.state == ArchiveState::kUnfinished) return true;
  }
  return false;
}

bool SameSettings(const std::string& a, const std::string& b) { return SettingLines(a) == SettingLines(b); }

