// The checks and messages an update run shares with the digital-sensor run:
// the error box, the progress hook, the running-test and version-window checks,
// the connection messages and the calibration reminders.
#include <cctype>
#include <cstdio>

#include "app/update_session.h"
#include "bsl/host_bsl.h"
#include "instrument/instrument_link.h"
#include "logger/device_link.h"
#include "serial/serial_port.h"

namespace {

constexpr int kPingTimeoutMs = 3000;
constexpr int kAnswerCapacity = 512;
constexpr long kTestIdle = -1;
constexpr const char* kSupportLiteratureUrl = "https://www.tessaly.example/support/literature";

std::string VersionShown(uint32_t version) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(version) / 100.0);
  return text;
}

// A decimal integer at the start of a text: white space and one sign allowed, no digits give 0.
long LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && value < 100000000; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::string UnableToConnect(const UpdateSession& session, const std::string& what) {
  return "The " + session.state.caption + " is unable to connect to your " + what + "\n on Comm Port \"" +
         session.state.portLabel + "\".\n\nPlease check your serial cable and Comm Port choice.";
}

}  // namespace

bool ProgressHook(UpdateSession& session, int, int, int, char kind) {
  if (kind == 'X') {
    session.ui.setBar(session.ui.bar() + session.state.eraseStep);
  } else if (kind == 'W') {
    session.uploadPosition += session.state.uploadStep;
    session.ui.uploadBar(static_cast<int>(session.uploadPosition + 0.5F));
  }
  session.ui.pump();
  // A stop asked for ends the erase or the upload between two frames: the loader waits for the next run.
  return session.state.keepGoing && !session.ui.stopRequested();
}

bool CheckTestRunning(UpdateSession& session) {
  std::string answer;
  int elapsed = 0;
  if (DeviceCommand(session.link.device, "ping -stat\r", '>', kPingTimeoutMs, &answer, kAnswerCapacity, &elapsed) < 0) {
    return false;
  }
  if (LeadingNumber(answer) == kTestIdle) return false;
  ShowErrorBox(session,
               "Your TGX is currently running a test.\n\nPlease stop the test and save the measurement\n data before "
               "updating the TGX firmware.",
               "Test Running Error", kBoxError);
  return true;
}

bool CheckSupportedVersion(UpdateSession& session, const DeviceProfile& profile) {
  if (!profile.versionWindow) return true;
  std::string text = "The " + session.state.caption + " doesn't support this " + session.state.modelName + "\nrunning version " +
                     VersionShown(profile.version) + ".\n\nThis updater only works with firmware version ";
  if (profile.version > profile.highestVersion) {
    text += VersionShown(profile.highestVersion) + " (or older).";
  } else if (profile.version < profile.lowestVersion) {
    text += VersionShown(profile.lowestVersion) + " (or newer).";
  } else {
    return true;
  }
  if (session.state.repairMode || session.state.factoryMode) {
    text += "\n\nClick OK to force the update anyway.";
    text += "\nClick CANCEL to quit the updater.";
    return session.ui.ask(text, "Wrong Firmware Version");
  }
  ShowErrorBox(session, text, "Wrong Firmware Version", kBoxError);
  return false;
}

void ShowCalibrationReminder(UpdateSession& session, int kind) {
  switch (kind) {
    case 7:
      ShowErrorBox(session,
                   "The calibration of your TK8 Pro is outdated or missing.\n\nPlease contact Tessaly or your authorized "
                   "Tessaly representative\nto have your TK8 Pro calibrated.",
                   "TK8 Pro Calibration", kBoxWarning);
      break;
    case 8:
      ShowErrorBox(session,
                   "Updating the firmware in your Lumeno LX-40 requires you to calibrate\nthe internal sensors using the "
                   "external sensor as a reference.\n\nPlease see your LX-40 user manual for probe calibration "
                   "instructions.\n\nPlease also reset the Daylight Savings setting in your Lumeno LX-40.",
                   "Please Calibrate Your LX-40", kBoxWarning);
      break;
    case 9:
      ShowErrorBox(session,
                   std::string("Updating the firmware in your Stomex requires you to calibrate\nthe the sensor head using "
                               "the Tessaly-supplied calibration plate.\n\nPlease see the Stomex user manual (version 7 "
                               "or newer) for\ncalibration instructions. The latest user manual is available for "
                               "download from:\n") +
                       kSupportLiteratureUrl,
                   "Please Calibrate Your Stomex", kBoxWarning);
      break;
    default:
      break;
  }
}

std::string PortOpenMessage(const std::string& port, int result) {
  switch (result) {
    case -5:
      return "Comm Port \"" + port + "\" is already in use by another application.\n" +
             "Please choose a new Comm Port to use or quit the application using this port.";
    case -2:
      return "Comm Port \"" + port + "\" isn't available.\nPlease choose a new Comm Port to use.";
    case -kSysPermission:
      return "Comm Port \"" + port + "\" can't be opened: your user account is not allowed to use serial ports.\n" +
             "Add it to the dialout group (sudo usermod -aG dialout $USER), log out and in again,\n" +
             "then start the update again.";
    default:
      return {};
  }
}

std::string PortFailureNote(const std::string& port, std::string& failure) {
  if (failure.empty()) return {};
  std::string note = "\n\nComm Port \"" + port + "\": " + failure + ".";
  failure.clear();
  return note;
}

std::string TakePortFailure(UpdateSession& session) {
  const std::string note = PortFailureNote(session.state.portLabel, session.link.device.port.failure);
  const std::string engine = PortFailureNote(session.state.portLabel, session.engine.port.failure);
  return note.empty() ? engine : note;
}

std::string ConnectionMessage(const UpdateSession& session, int result) {
  const std::string opening = PortOpenMessage(session.state.portLabel, result);
  if (!opening.empty()) return opening;
  switch (result) {
    case -20:
    case -21:
      return UnableToConnect(session, session.state.modelName);
    case kRunNotSupported:
      if (session.profile.kind != 0) {
        return "The " + session.state.caption + " does not support your " + session.profile.name + "\n" +
               "running version " + std::to_string(session.profile.version) + ".";
      }
      return UnableToConnect(session, "unknown device") + "\n\n" + "Please verify the device connected is a \"" +
             session.state.modelName + "\" and has a version of\nfirmware that supports updates.";
    default:
      return UnableToConnect(session, session.state.modelName) + "\nError " + std::to_string(result);
  }
}

std::string RestoreMessage(const UpdateSession& session, int e) {
  const std::string front = "The " + session.state.caption;
  const std::string& model = session.state.modelName;
  if (e == kSettingsFileMissing) {
    return front + " couldn't find the settings file for your " + model +
           ".\n\nPlease try again or contact Tessaly for help.";
  }
  if (e == kSettingsFileDenied || e == kSettingsFileBadHandle) {
    return front + " failed to read the settings file for your " + model +
           ".\n\nPlease try again or contact Tessaly for help." + "\n\nError: " + std::to_string(e);
  }
  if (e == kVPPartial) {
    return front + " failed to restore some of the settings for your " + model +
           ".\n\nPlease check the settings after this updater is finished.";
  }
  return front + " failed to restore the settings for your " + model + ".\n\nPlease try again.\n\n[Error " +
         std::to_string(e) + "]";
}
