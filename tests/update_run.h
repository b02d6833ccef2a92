// One update run as a front end makes it, for the tests of the update sequences: the updater's
// state filled for the program's built-in image (as the window's first showing fills it), the
// engine, the instrument link and the session, then the run frame. A test program links one
// built-in image; the sequence follows from it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/build_target.h"
#include "app/settings_archive.h"
#include "app/update_session.h"
#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "scripted_ui.h"
#include "test_folder.h"

struct TestUpdate {
  TestUpdate(std::string folder, MessageLog* messageLog, std::string portName)
      : dataFolder(std::move(folder)), log(messageLog), port(std::move(portName)) {}

  std::string dataFolder;
  MessageLog* log = nullptr;
  std::string port;
  std::string label;            // the port as the selector shows it; the port when empty
  bool repair = false;
  bool factory = false;         // turns on repair mode as well
  int restartWaitMs = -1;       // -1: the profile's restart delay
  uint32_t sensorType = 0;      // a sensor build's menu choice; 0 keeps the build's own
  std::string firmware;         // a firmware file opened instead of the built-in image
  std::string newSerialNumber;  // "Replace Serial Number" with this text
  bool dontEraseData = false;
  std::function<void(UpdaterState&)> adjust;  // anything else a test sets before the run

  std::string settingsFile;  // the run's settings file, set by Run
};

// Runs the update; a firmware file that does not load gives 0.
inline int RunTestUpdate(TestUpdate& update, ScriptedUi& ui) {
  HostBSL engine(update.log, BuiltInFirmware());
  UpdaterState state;
  state.dataFolder = update.dataFolder;
  TargetBuild(state, BuiltInFirmware());
  if (update.sensorType != 0) SelectSensorType(state, update.sensorType);
  state.portName = update.port;
  state.portLabel = update.label.empty() ? update.port : update.label;
  state.factoryMode = update.factory;
  state.repairMode = update.repair || update.factory;
  state.restartWaitMs = update.restartWaitMs;
  state.replaceSerialNumber = !update.newSerialNumber.empty();
  state.newSerialNumber = update.newSerialNumber;
  state.dontEraseData = update.dontEraseData;
  if (update.adjust) update.adjust(state);
  UpdateRun run{state, ui, engine, update.log};
  InstrumentLink link(update.log);
  UpdateSession session(run, link);
  if (!update.firmware.empty() && BSLLoadTIFile(engine, update.firmware) < 0) return 0;
  TargetImage(session, update.firmware.empty() ? BuiltInFirmware().imageVersion : engine.imageVersion);
  update.settingsFile = SettingsFilePath(session);
  return RunFrame(session);
}

// The settings archive of a data folder, oldest first.
inline std::vector<ArchiveEntry> ArchiveOf(const std::filesystem::path& dataFolder) {
  return ListArchive(dataFolder.string());
}

inline std::string ArchiveEntryText(const ArchiveEntry& entry) {
  std::string text;
  ReadEntry(entry, &text);
  return text;
}

// Every box a run showed, on one line, for failure messages.
inline std::string BoxesText(const ScriptedUi& ui) {
  std::string text;
  for (const ScriptedUi::Box& box : ui.boxes) text += "[" + box.title + ": " + box.text + "] ";
  return text;
}

// A test of whole update runs: a fresh data folder with its error file, kept when the test fails.
class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_run_");
    log_ = CreateMessageLog((dir_ / "errors.txt").string(), kLogProtocol, true);
  }
  void TearDown() override {
    if (!HasFailure()) std::filesystem::remove_all(dir_);
  }

  TestUpdate NewUpdate(const std::string& port) {
    TestUpdate update(dir_.string(), &log_, port);
    update.restartWaitMs = restartWaitMs_;
    return update;
  }
  int Run(TestUpdate& update, ScriptedUi& ui) {
    const int result = RunTestUpdate(update, ui);
    settingsFile_ = update.settingsFile;
    return result;
  }
  int Run(const std::string& port, ScriptedUi& ui) {
    TestUpdate update = NewUpdate(port);
    return Run(update, ui);
  }

  std::vector<std::filesystem::path> FilesNamed(const std::string& piece) const {
    std::vector<std::filesystem::path> found;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(dir_)) {
      if (entry.path().filename().string().find(piece) != std::string::npos) found.push_back(entry.path());
    }
    return found;
  }
  static std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string LogText() const { return FileText(dir_ / "errors.txt"); }

  // The settings archive of the test's data folder, oldest first, and its files in one state.
  std::vector<ArchiveEntry> Archive() const { return ArchiveOf(dir_); }
  std::vector<ArchiveEntry> ArchiveIn(ArchiveState state) const {
    std::vector<ArchiveEntry> found;
    for (const ArchiveEntry& entry : Archive()) {
      if (entry.state == state) found.push_back(entry);
    }
    return found;
  }
  // Whether the archive holds a file of an update that did not finish (a next run needs it).
  bool UnfinishedKept() const { return !ArchiveIn(ArchiveState::kUnfinished).empty(); }
  // The settings files left in the data folder itself (the archive keeps them all).
  std::vector<std::filesystem::path> LooseSettingsFiles() const { return FilesNamed(".settings."); }

  std::filesystem::path dir_;
  MessageLog log_;
  std::string settingsFile_;
  int restartWaitMs_ = -1;  // the profile's restart delay; a fast simulated device needs less
};
