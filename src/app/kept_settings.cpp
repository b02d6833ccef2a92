// Which settings a run puts back when files of earlier runs lie in the data folder. A kept
// file stands in for the device's own settings only when the device is, beyond reasonable
// doubt, the one the file came from and has lost its settings: it sits in its loader, or an
// earlier run erased its settings memory and it shows the file's serial number or no settings
// of its own. Otherwise the device's own capture wins, and a file of another device is kept
// aside under a name that tells whose it is.
#include "app/kept_settings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/update_session.h"
#include "bsl/device_types.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"
#include "instrument/settings_file_platform.h"
#include "log/platform.h"
#include "sdi12/sdi_sensor.h"
#include "serial/serial_port.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kHostTag = "VornBSL Host";
constexpr std::string_view kTextSuffix = ".txt";
constexpr std::string_view kLineEnd = "\r\n";
constexpr size_t kKeptSerialKeep = 65;
constexpr size_t kMarkKeep = 8;
constexpr int kUniqueNamesMax = 1000;
// Lines that belong to the firmware or to this bookkeeping, not to the device's settings.
constexpr std::string_view kNotSettings[] = {"infoErased=", "identity=", "VornBuild=", "captured="};

struct KeptFile {
  std::string path;
  std::string text;
  bool exists = false;
};

KeptFile ReadKept(const std::string& path) {
  KeptFile file{path, {}, false};
  file.exists = ReadWholeFile(path, &file.text, kSettingsFileMaxBytes).error == 0;
  return file;
}

std::string SerialOf(const KeptFile& file) {
  std::string serial;
  ReadKeyText(file.text, "sn", &serial, kKeptSerialKeep);
  return serial;
}

// The mark holds the version of the image the marking run was writing.
bool InfoErased(const KeptFile& file) {
  std::string mark;
  return ReadKeyText(file.text, kInfoErasedKey, &mark, kMarkKeep);
}

// A device that lost its settings to the marking run and runs firmware again runs the image
// that run wrote; a device that was never set up runs the version it came with.
bool RunsImageOf(const KeptFile& file, uint32_t deviceVersion) {
  long version = 0;
  return ReadKeyNumber(file.text, kInfoErasedKey, &version) && version == static_cast<long>(deviceVersion);
}

// The run's settings file without ".txt": the stem of the files that belong to this run.
std::string RunStem(const UpdateSession& session) {
  const std::string& path = session.state.settingsFile;
  return path.size() > kTextSuffix.size() ? path.substr(0, path.size() - kTextSuffix.size()) : path;
}

// The computer's local time, as a piece of a file name.
std::string NowText() {
  using namespace std::chrono;
  const auto local = floor<seconds>(system_clock::now()) + seconds(LocalUtcOffset());
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

// Whose file it is, as a piece of a file name: the serial number, or when it was put aside.
std::string Who(const KeptFile& file) {
  std::string who;
  for (char c : SerialOf(file)) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       c == '-' || c == '_' || c == '.' || c == ' ';
    who.push_back(plain ? c : '_');
  }
  return who.empty() ? "no serial number " + NowText() : who;
}

std::string WhoShown(const KeptFile& file) {
  const std::string serial = SerialOf(file);
  return serial.empty() ? "without a serial number" : "serial number " + serial;
}

std::string UniquePath(const std::string& stem) {
  std::string path = stem + std::string(kTextSuffix);
  std::error_code ec;
  for (int n = 2; fs::exists(PathFromUtf8(path), ec) && n < kUniqueNamesMax; ++n) {
    path = stem + " (" + std::to_string(n) + ")" + std::string(kTextSuffix);
  }
  return path;
}

std::string AsidePath(const UpdateSession& session, const std::string& what, const KeptFile& file) {
  return UniquePath(session.state.dataFolder + "/" + session.state.modelName + ".settings." + what + " " + Who(file));
}

bool Rename(const UpdateSession& session, const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(PathFromUtf8(from), PathFromUtf8(to), ec);
  if (ec) {
    print_message(session.log, kLogFailure, kHostTag, "Could not rename %s to %s (error %d)", from.c_str(), to.c_str(),
                  ec.value());
  }
  return !ec;
}

void Remove(const std::string& path) {
  std::error_code ec;
  fs::remove(PathFromUtf8(path), ec);
}

// A file that is not this device's stays, under a name that tells whose it is, and the person
// is told where.
void MoveAside(UpdateSession& session, const KeptFile& file) {
  const std::string aside = AsidePath(session, "unfinished", file);
  if (!Rename(session, file.path, aside)) return;
  print_message(session.log, kLogFailure, kHostTag, "Kept the settings file of another device's unfinished update as %s",
                aside.c_str());
  const std::string& model = session.state.modelName;
  ShowErrorBox(session,
               "The " + session.state.caption + " found the settings of an unfinished update of another " + model +
                   " (" + WhoShown(file) + ").\n\nThis " + model + " keeps its own settings. The other " + model +
                   "'s settings are kept in\n\"" + aside + "\"\nand are restored when it is updated again.",
               "Unfinished Update", kBoxInformation);
}

// The file of an unfinished update of this device stands in for the settings it lost.
void UseKept(UpdateSession& session) {
  ClearCapturedSettings(session.link);  // the restore reads the file
  print_message(session.log, kLogFailure, kHostTag, "Kept the settings file of an earlier, unfinished update");
  session.ui.note("The settings saved by an unfinished update will be restored.");
}

void TakeCapture(UpdateSession& session) {
  Rename(session, KeptCapturePath(session), session.state.settingsFile);
}

std::vector<KeptFile> MarkedWaitingFiles(const UpdateSession& session) {
  std::vector<KeptFile> marked;
  for (const std::string& path : WaitingSettingsFiles(session)) {
    KeptFile file = ReadKept(path);
    if (file.exists && InfoErased(file)) marked.push_back(std::move(file));
  }
  return marked;
}

// Another device's unfinished update that this device may be: the one with its serial number,
// or for a device without one, the only one waiting whose image it runs (any one waiting for a
// device in its loader, version 0). Empty path when there is none.
KeptFile WaitingFileFor(const UpdateSession& session, const std::string& serial, uint32_t version) {
  std::vector<KeptFile> marked = MarkedWaitingFiles(session);
  if (serial.empty() && version != 0) {
    std::erase_if(marked, [version](const KeptFile& file) { return !RunsImageOf(file, version); });
  }
  if (serial.empty()) return marked.size() == 1 ? marked.front() : KeptFile{};
  for (const KeptFile& file : marked) {
    if (SerialOf(file) == serial) return file;
  }
  return KeptFile{};
}

std::string DeviceSerial(const UpdateSession& session) { return CapturedSerialNumber(session.link); }

uint32_t DeviceVersion(const UpdateSession& session) {
  return session.link.kind == kDeviceTypeDigitalSensor ? session.link.sdi->version : session.profile.version;
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

// A device without a serial number and an earlier device's file that may be its own: the
// capture waits beside it until the device shows what it holds after this run's erase.
void HoldUndecided(UpdateSession& session) {
  Rename(session, KeptCapturePath(session), UndecidedSettingsPath(session));
  session.undecided = true;
  print_message(session.log, kLogFailure, kHostTag,
                "The device shows no serial number: its settings are compared with what it shows after the erase");
}

// A run killed while undecided left its capture. Marked, it is the only copy of its device's
// settings: a device without a serial number that shows the same had none of its own, and
// the settings file is its; one that shows others is that device after the erase. True when
// the choice is made.
bool SettleLeftUndecided(UpdateSession& session, const KeptFile& undecided, const std::string& capture,
                         const std::string& serial) {
  if (!InfoErased(undecided)) {
    Remove(undecided.path);  // killed before its erase: that device still holds its settings
    return false;
  }
  const KeptFile run = ReadKept(session.state.settingsFile);
  if (serial.empty() && RunsImageOf(undecided, DeviceVersion(session))) {
    if (run.exists && SameSettings(capture, undecided.text)) {
      Remove(undecided.path);
    } else {
      if (run.exists) MoveAside(session, run);
      Rename(session, undecided.path, session.state.settingsFile);
    }
    Remove(KeptCapturePath(session));
    UseKept(session);
    return true;
  }
  if (!run.exists || SerialOf(run) != serial) MoveAside(session, undecided);
  else Remove(undecided.path);  // the settings file's own device, restored half way
  return false;
}

// The capture succeeded: the device's serial number and settings decide.
void ChooseWithCapture(UpdateSession& session) {
  const std::string serial = DeviceSerial(session);
  const KeptFile captured = ReadKept(KeptCapturePath(session));
  const KeptFile undecided = ReadKept(UndecidedSettingsPath(session));
  if (undecided.exists && SettleLeftUndecided(session, undecided, captured.text, serial)) return;
  KeptFile run = ReadKept(session.state.settingsFile);
  if (!run.exists) {
    const KeptFile waiting = WaitingFileFor(session, serial, DeviceVersion(session));
    if (!waiting.exists || !Rename(session, waiting.path, session.state.settingsFile)) return TakeCapture(session);
    run = ReadKept(session.state.settingsFile);
  }
  const std::string fileSerial = SerialOf(run);
  if (InfoErased(run)) {
    if (!serial.empty() && serial == fileSerial) {
      Remove(KeptCapturePath(session));
      return UseKept(session);
    }
    if (serial.empty() && RunsImageOf(run, DeviceVersion(session))) return HoldUndecided(session);
    MoveAside(session, run);
    return TakeCapture(session);
  }
  // The device an unmarked file came from still holds its settings: the file is only kept when
  // it names another device.
  if (!fileSerial.empty() && fileSerial != serial) MoveAside(session, run);
  TakeCapture(session);
}

// No capture: a device that cannot be read (or a logger never set up) gets only a file its
// earlier run marked; a file nobody can attribute to it is put aside.
void ChooseWithoutCapture(UpdateSession& session, bool blank) {
  Remove(KeptCapturePath(session));
  KeptFile run = ReadKept(session.state.settingsFile);
  if (!run.exists && blank) {
    const KeptFile waiting = WaitingFileFor(session, {}, DeviceVersion(session));
    if (waiting.exists && Rename(session, waiting.path, session.state.settingsFile)) {
      run = ReadKept(session.state.settingsFile);
    }
  }
  if (!run.exists) return;
  if (InfoErased(run) && (!blank || RunsImageOf(run, DeviceVersion(session)))) return UseKept(session);
  MoveAside(session, run);
}

}  // namespace

std::string KeptCapturePath(const UpdateSession& session) { return RunStem(session) + ".capture.txt"; }

std::string UndecidedSettingsPath(const UpdateSession& session) { return RunStem(session) + ".undecided.txt"; }

bool SameSettings(const std::string& a, const std::string& b) { return SettingLines(a) == SettingLines(b); }

void ChooseSettingsAfterCapture(UpdateSession& session, int saved) {
  if (saved >= 0 || saved == kVPPartial) {
    ChooseWithCapture(session);
  } else {
    ChooseWithoutCapture(session, saved == kVPUninitialised);
  }
}

void DiscardCapture(UpdateSession& session) { Remove(KeptCapturePath(session)); }

void ChooseSettingsInLoader(UpdateSession& session) {
  const KeptFile undecided = ReadKept(UndecidedSettingsPath(session));
  KeptFile run = ReadKept(session.state.settingsFile);
  if (undecided.exists && run.exists) {
    session.undecided = true;
    return;
  }
  if (undecided.exists && Rename(session, undecided.path, session.state.settingsFile)) {
    run = ReadKept(session.state.settingsFile);
  }
  if (!run.exists) {
    const KeptFile waiting = WaitingFileFor(session, {}, 0);
    if (waiting.exists && Rename(session, waiting.path, session.state.settingsFile)) {
      run = ReadKept(session.state.settingsFile);
    }
  }
  session.keepInfo = !run.exists;
  if (run.exists) UseKept(session);
}

void RecordInfoErase(UpdateSession& session) {
  for (const std::string& path : {session.state.settingsFile, UndecidedSettingsPath(session)}) {
    const KeptFile file = ReadKept(path);
    if (!file.exists || InfoErased(file)) continue;
    const std::string marked = file.text + kInfoErasedKey + "=\"" + std::to_string(session.state.imageVersion) +
                               "\"" + std::string(kLineEnd);
    if (ReplaceFile(path, marked).error != 0) {
      print_message(session.log, kLogFailure, kHostTag, "Could not mark %s before the INFO erase", path.c_str());
    }
  }
}

void SettleUndecidedSettings(UpdateSession& session) {
  if (!session.undecided) return;
  session.undecided = false;
  const KeptFile undecided = ReadKept(UndecidedSettingsPath(session));
  const int saved = VPSaveInfo(session.link, KeptCapturePath(session));
  const KeptFile erased = ReadKept(KeptCapturePath(session));
  Remove(KeptCapturePath(session));
  ClearCapturedSettings(session.link);  // the restore reads the chosen file
  const bool blank = (saved >= 0 || saved == kVPPartial) && erased.exists && SameSettings(undecided.text, erased.text);
  if (blank) {
    Remove(undecided.path);
    print_message(session.log, kLogFailure, kHostTag, "The device had no settings of its own before the erase");
    UseKept(session);
    return;
  }
  // Its own settings (or no way to tell): the device gets its own capture back.
  const KeptFile run = ReadKept(session.state.settingsFile);
  if (run.exists) MoveAside(session, run);
  Rename(session, undecided.path, session.state.settingsFile);
}

std::string KeepUnrestoredSettings(UpdateSession& session) {
  const KeptFile run = ReadKept(session.state.settingsFile);
  if (!run.exists) return {};
  const std::string aside = AsidePath(session, "unrestored", run);
  return Rename(session, run.path, aside) ? aside : run.path;
}

std::vector<std::string> WaitingSettingsFiles(const UpdateSession& session) {
  const std::string prefix = session.state.modelName + ".settings.unfinished ";
  std::vector<std::string> files;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(PathFromUtf8(session.state.dataFolder), ec)) {
    const std::string name = Utf8FromPath(entry.path().filename());
    const bool text = name.size() > kTextSuffix.size() && name.compare(name.size() - kTextSuffix.size(),
                                                                      kTextSuffix.size(), kTextSuffix) == 0;
    if (name.rfind(prefix, 0) == 0 && text) files.push_back(Utf8FromPath(entry.path()));
  }
  return files;
}

std::string WaitingSettingsSentence(const UpdateSession& session) {
  const std::vector<std::string> files = WaitingSettingsFiles(session);
  if (files.empty()) return {};
  std::string sentence = "\n\nSettings of unfinished updates are kept in:";
  for (const std::string& file : files) sentence += "\n\"" + file + "\"";
  return sentence;
}

bool UnfinishedUpdateWaiting(const std::string& dataFolder, const std::string& modelName) {
  std::error_code ec;
  return fs::exists(PathFromUtf8(dataFolder + "/" + modelName + ".settings.txt"), ec);
}
