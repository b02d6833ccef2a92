// What a front end lends an update run: the updater's state, the person in
// front of it and the loader engine. The window (or the command line) fills
// the state; the run reads it and writes back what it changes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/update_ui.h"
#include "log/message_log.h"

struct HostBSL;

struct UpdaterState {
  std::string caption;    // model name + " Firmware Updater"
  std::string modelName;  // the display name of the held image's kind
  int builtInKind = 0;    // the kind of the image built into the program
  std::string portName;   // empty when no port was found
  std::string portLabel;  // the port as the selector shows it; used in messages
  std::string dataFolder;
  std::string errorFile;
  std::string settingsFile;  // data folder + "/" + model name + ".settings.txt"
  std::string settingsFileTag;  // set when several devices are updated at once: the port, so each keeps its own file
  std::string versionFinderPath;
  uint32_t imageVersion = 0;  // hundredths: 150 for 1.50
  int eraseStep = 1;          // progress per erase callback
  float uploadStep = 0.0f;    // progress per upload callback: 35328 / image text length
  bool repairMode = false;
  bool factoryMode = false;
  bool forceFindAllPorts = false;
  bool verbose = true;
  bool replaceSerialNumber = false;
  std::string newSerialNumber;  // at most 15 characters
  bool dontEraseData = false;
  std::string settingsChoice;  // the settings file (archive ID or path) the person named for this run
  int restartWaitMs = -1;  // -1: the profile's restart delay; tests against a fast simulated device shorten it
  bool updateInProgress = false;
  bool keepGoing = true;  // what the progress hook returns
  bool digitalSensorBuild = false;  // the build's image is a digital sensor's: UpdateDigitalSensor runs
  uint32_t sensorType = 0;          // the "Set Digital Sensor to:" choice: a sensor code or a family 260-264
};

struct UpdateRun {
  UpdaterState& state;
  UpdateUi& ui;
  HostBSL& engine;
  MessageLog* log;  // never null while a run is active
};

// One run of the update between "start" and "idle": 1 on success, a negative
// code after the person has been told.
using UpdateRunner = std::function<int(UpdateRun& run)>;

constexpr const char* kToldUserTag = "ErrorOK Told User:";

// The error box: shown, then its text logged.
inline void TellUser(UpdateUi& ui, MessageLog* log, const std::string& text, const std::string& title, int kind) {
  ui.box(text, title, kind);
  print_message(log, kLogFailure, kToldUserTag, "%s", text.c_str());
}
inline void ShowErrorBox(UpdateRun& run, const std::string& text, const std::string& title, int kind) {
  TellUser(run.ui, run.log, text, title, kind);
}
