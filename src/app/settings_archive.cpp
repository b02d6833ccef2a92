#include "app/settings_archive.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <regex>
#include <system_error>

#include "instrument/settings_file.h"
#include "instrument/settings_file_platform.h"
#include "log/platform.h"
#include "serial/serial_port.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTextSuffix = ".txt";
constexpr std::string_view kUnknownVersion = "unknown";
constexpr int kSameSecondMax = 1000;
constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;
constexpr int kHundredths = 100;
constexpr size_t kStampLength = 19;  // "2026-12-11 01.47.42"

struct StateName {
  ArchiveState state;
  std::string_view words;   // in the file name
  std::string_view shown;   // for people
};

constexpr std::array<StateName, 8> kStates = {{
    {ArchiveState::kInUse, "in use", "an update is working with them now"},
    {ArchiveState::kUnfinished, "unfinished",
     "its update stopped after the device's settings memory was erased; not put back yet"},
    {ArchiveState::kRestored, "restored", "put back by an update that finished"},
    {ArchiveState::kPartlyRestored, "partly restored", "put back, but the device refused some of them"},
    {ArchiveState::kUnchanged, "device unchanged", "its update stopped before the device was changed"},
    {ArchiveState::kNotUsed, "not used", "the device got other settings"},
    {ArchiveState::kReplaced, "replaced", "what the device held before archived settings were written into it"},
    {ArchiveState::kEarlier, "from an earlier version",
     "left by an earlier version of this updater; whether the device still holds them is not known"},
}};

bool PlainByte(unsigned char byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte == '-' ||
         byte == '_';
}

std::string Escaped(unsigned char byte) {
  char escaped[4];
  std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
  return escaped;
}

// Names Windows keeps for its devices cannot be folders: "CON", "com1" ...
bool ReservedName(const std::string& name) {
  static const std::regex kReserved("^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])$", std::regex::icase);
  return std::regex_match(name, kReserved);
}

std::string SerialFolderName(const std::string& serial) {
  if (serial.empty()) return kNoSerialFolder;
  std::string name;
  for (const char c : serial) {
    const auto byte = static_cast<unsigned char>(c);
    name += PlainByte(byte) ? std::string(1, c) : Escaped(byte);
  }
  // The same on every system, so an archive can move between them.
  if (ReservedName(name)) name = Escaped(static_cast<unsigned char>(name[0])) + name.substr(1);
  return name;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// False for a folder name that no serial number gives.
bool SerialFromFolder(const std::string& name, std::string* serial) {
  serial->clear();
  if (name == kNoSerialFolder) return true;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (PlainByte(byte)) {
      serial->push_back(name[i]);
      continue;
    }
    if (name[i] != '%' || i + 2 >= name.size() || HexDigit(name[i + 1]) < 0 || HexDigit(name[i + 2]) < 0) {
      return false;
    }
    serial->push_back(static_cast<char>(HexDigit(name[i + 1]) * 16 + HexDigit(name[i + 2])));
    i += 2;
  }
  return !serial->empty();
}

const StateName* StateByWords(std::string_view words) {
  for (const StateName& state : kStates) {
    if (state.words == words) return &state;
  }
  return nullptr;
}

const StateName& StateOf(ArchiveState state) {
  for (const StateName& name : kStates) {
    if (name.state == state) return name;
  }
  return kStates.front();
}

std::string VersionPart(const std::string& version) { return version.empty() ? std::string(kUnknownVersion) : version; }

std::string FileName(const ArchiveEntry& entry) {
  std::string name = entry.stamp + " " + std::string(StateOf(entry.state).words);
  if (!entry.before.empty() || !entry.after.empty()) {
    name += " (" + VersionPart(entry.before) + " to " + VersionPart(entry.after) + ")";
  }
  return name + std::string(kTextSuffix);
}

// "<stamp> <state words>[ (<before> to <after>)].txt"
bool ParseFileName(const std::string& name, ArchiveEntry* entry) {
  static const std::regex kShape(
      R"(^(\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d(?:-\d+)?) ([a-z ]+?)(?: \(([0-9.]+|unknown) to ([0-9.]+|unknown)\))?\.txt$)");
  std::smatch match;
  if (!std::regex_match(name, match, kShape)) return false;
  const StateName* state = StateByWords(match[2].str());
  if (state == nullptr) return false;
  entry->stamp = match[1].str();
  entry->state = state->state;
  entry->before = match[3].str() == kUnknownVersion ? "" : match[3].str();
  entry->after = match[4].str() == kUnknownVersion ? "" : match[4].str();
  return true;
}

std::string NowStamp() { return ArchiveStamp(std::chrono::system_clock::now()); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Whether another entry of the folder already has this stamp (whatever its state).
bool StampTaken(const std::string& folder, const std::string& stamp) {
  std::error_code ec;
  for (const fs::directory_entry& file : fs::directory_iterator(PathFromUtf8(folder), ec)) {
    ArchiveEntry other;
    if (ParseFileName(Utf8FromPath(file.path().filename()), &other) && other.stamp == stamp) return true;
  }
  return false;
}

void ListFolder(const std::string& folder, const std::string& model, const std::string& serial,
                std::vector<ArchiveEntry>* entries) {
  std::error_code ec;
  for (const fs::directory_entry& file : fs::directory_iterator(PathFromUtf8(folder), ec)) {
    ArchiveEntry entry;
    const std::string name = Utf8FromPath(file.path().filename());
    if (!ParseFileName(name, &entry)) continue;
    // Built as every path of the archive is, whatever separator the system lists with.
    entry.path = folder + "/" + name;
    entry.model = model;
    entry.serial = serial;
    entries->push_back(std::move(entry));
  }
}

void ListModel(const std::string& dataFolder, const std::string& model, std::vector<ArchiveEntry>* entries) {
  std::error_code ec;
  const std::string modelFolder = ArchiveFolder(dataFolder) + "/" + model;
  for (const fs::directory_entry& folder : fs::directory_iterator(PathFromUtf8(modelFolder), ec)) {
    const std::string name = Utf8FromPath(folder.path().filename());
    std::string serial;
    if (!folder.is_directory(ec) || !SerialFromFolder(name, &serial)) continue;
    ListFolder(modelFolder + "/" + name, model, serial, entries);
  }
}

bool Older(const ArchiveEntry& a, const ArchiveEntry& b) {
  // "2026-12-11 01.47.42-2" sorts after "2026-12-11 01.47.42", and "-10" after "-9".
  if (a.stamp.size() != b.stamp.size() && a.stamp.compare(0, kStampLength, b.stamp, 0, kStampLength) == 0) {
    return a.stamp.size() < b.stamp.size();
  }
  return a.stamp < b.stamp;
}

void SortOldestFirst(std::vector<ArchiveEntry>* entries) { std::stable_sort(entries->begin(), entries->end(), Older); }

// Several updates of one process (several ports) add to one folder at once; another process
// cannot, as it waits for the data folder's lock. A stamp is chosen and taken in one step.
std::mutex& NamingMutex() {
  static std::mutex mutex;
  return mutex;
}

int MoveEntry(ArchiveEntry* entry, const std::string& folder) {
  const std::string to = folder + "/" + FileName(*entry);
  if (to == entry->path) return 0;
  std::error_code ec;
  fs::create_directories(PathFromUtf8(folder), ec);
  const int error = RenameReplacing(entry->path, to);
  if (error == 0) entry->path = to;
  return error;
}

}  // namespace

std::string ArchiveStamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto local = floor<seconds>(when) + seconds(LocalUtcOffset());
  const auto day = floor<days>(local);
  const year_month_day date{day};
  const hh_mm_ss time{local - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld.%02ld.%02ld", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()));
  return text;
}

std::string ArchiveFolder(const std::string& dataFolder) { return dataFolder + "/" + kArchiveFolderName; }

std::string DeviceArchiveFolder(const std::string& dataFolder, const std::string& model, const std::string& serial) {
  return ArchiveFolder(dataFolder) + "/" + model + "/" + SerialFolderName(serial);
}

std::string EntryId(const ArchiveEntry& entry) {
  uint32_t hash = kFnvOffset;
  for (const char c : entry.model + "/" + SerialFolderName(entry.serial) + "/" + entry.stamp) {
    hash = (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
  }
  char id[9];
  std::snprintf(id, sizeof id, "%08x", hash);
  return id;
}

std::string ArchiveVersionText(uint32_t version) {
  if (version == 0) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u", version / kHundredths, version % kHundredths);
  return text;
}

std::vector<ArchiveEntry> ListArchive(const std::string& dataFolder, const std::string& model) {
  std::vector<ArchiveEntry> entries;
  if (!model.empty()) {
    ListModel(dataFolder, model, &entries);
  } else {
    std::error_code ec;
    for (const fs::directory_entry& folder : fs::directory_iterator(PathFromUtf8(ArchiveFolder(dataFolder)), ec)) {
      if (folder.is_directory(ec)) ListModel(dataFolder, Utf8FromPath(folder.path().filename()), &entries);
    }
  }
  SortOldestFirst(&entries);
  return entries;
}

std::vector<ArchiveEntry> ListDeviceArchive(const std::string& dataFolder, const std::string& model,
                                            const std::string& serial) {
  std::vector<ArchiveEntry> entries;
  ListFolder(DeviceArchiveFolder(dataFolder, model, serial), model, serial, &entries);
  SortOldestFirst(&entries);
  return entries;
}

ArchiveEntry FindEntry(const std::string& dataFolder, const std::string& idOrPath) {
  const fs::path given = PathFromUtf8(idOrPath);
  for (ArchiveEntry& entry : ListArchive(dataFolder)) {
    if (EntryId(entry) == idOrPath) return entry;
    const fs::path path = PathFromUtf8(entry.path);
    std::error_code ec;
    if (path.filename() == given.filename() && fs::equivalent(path, given, ec)) return entry;
  }
  return {};
}

int AddToArchive(const std::string& dataFolder, ArchiveEntry* entry, std::string_view text) {
  const std::lock_guard<std::mutex> guard(NamingMutex());
  const std::string folder = DeviceArchiveFolder(dataFolder, entry->model, entry->serial);
  std::error_code ec;
  fs::create_directories(PathFromUtf8(folder), ec);
  // A given stamp (a file's own time) is kept; a new capture is named by the time now.
  const std::string stamp = entry->stamp.empty() ? NowStamp() : entry->stamp.substr(0, kStampLength);
  entry->stamp = stamp;
  for (int n = 2; StampTaken(folder, entry->stamp) && n < kSameSecondMax; ++n) {
    entry->stamp = stamp + "-" + std::to_string(n);
  }
  entry->path = folder + "/" + FileName(*entry);
  const FileOutcome written = ReplaceFile(entry->path, text);
  if (written.error != 0) entry->path.clear();
  return written.error;
}

int SetEntryState(ArchiveEntry* entry, ArchiveState state) {
  if (entry->path.empty() || entry->state == state) return 0;
  const std::lock_guard<std::mutex> guard(NamingMutex());
  const ArchiveState was = entry->state;
  entry->state = state;
  const int error = MoveEntry(entry, FolderOf(entry->path));
  if (error != 0) entry->state = was;
  return error;
}

int SetEntrySerial(const std::string& dataFolder, ArchiveEntry* entry, const std::string& serial) {
  if (entry->path.empty() || entry->serial == serial) return 0;
  const std::lock_guard<std::mutex> guard(NamingMutex());
  const std::string folder = DeviceArchiveFolder(dataFolder, entry->model, serial);
  std::error_code ec;
  fs::create_directories(PathFromUtf8(folder), ec);
  const std::string stamp = entry->stamp;
  for (int n = 2; StampTaken(folder, entry->stamp) && n < kSameSecondMax; ++n) {
    entry->stamp = stamp.substr(0, kStampLength) + "-" + std::to_string(n);
  }
  const int error = MoveEntry(entry, folder);
  if (error != 0) {
    entry->stamp = stamp;
    return error;
  }
  entry->serial = serial;
  return 0;
}

int RewriteEntry(const ArchiveEntry& entry, std::string_view text) { return ReplaceFile(entry.path, text).error; }

bool ReadEntry(const ArchiveEntry& entry, std::string* text) {
  return !entry.path.empty() && ReadWholeFile(entry.path, text, kSettingsFileMaxBytes).error == 0;
}

void PruneDeviceArchive(const std::string& dataFolder, const std::string& model, const std::string& serial) {
  const std::vector<ArchiveEntry> entries = ListDeviceArchive(dataFolder, model, serial);
  if (entries.size() <= kArchiveKeepPerDevice) return;
  size_t excess = entries.size() - kArchiveKeepPerDevice;
  for (size_t i = 0; i + 1 < entries.size() && excess > 0; ++i) {
    const ArchiveState state = entries[i].state;
    const bool settled = state == ArchiveState::kRestored || state == ArchiveState::kUnchanged ||
                         state == ArchiveState::kNotUsed || state == ArchiveState::kReplaced;
    if (!settled) continue;
    if (RemoveFileUtf8(entries[i].path)) --excess;
  }
}

bool EntryWaits(const ArchiveEntry& entry) {
  return entry.state == ArchiveState::kUnfinished || entry.state == ArchiveState::kEarlier;
}

std::string_view StateWords(ArchiveState state) { return StateOf(state).words; }

std::string StateShown(ArchiveState state) { return std::string(StateOf(state).shown); }

std::string StampShown(const ArchiveEntry& entry) {
  std::string shown = entry.stamp.substr(0, kStampLength);
  if (shown.size() == kStampLength) {
    shown[13] = ':';
    shown[16] = ':';
  }
  return shown;
}

std::string SerialShown(const std::string& serial) {
  return serial.empty() ? std::string(kNoSerialFolder) : "serial number " + serial;
}

std::string EntryShown(const ArchiveEntry& entry) {
  return entry.model + ", " + SerialShown(entry.serial) + ", saved " + StampShown(entry) + ": " +
         StateShown(entry.state);
}
