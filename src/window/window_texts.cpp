#include "window/window_texts.h"

#include "bsl/host_bsl.h"
#include "bsl/ti_text_reader.h"

namespace {

constexpr const char* kRestartAgain = "Please restart this application and try again.";

// The maker's details; configuration of this build, not of the program.
constexpr const char* kMakerContact =
    "Tessaly Devices, Inc.\n"
    "4100 Meridian Parkway\n"
    "North Alder, OR 97000\n"
    "Telephone: +1 555 0100\n"
    "Fax: +1 555 0199\n"
    "E-mail: support@tessaly.example\n"
    "Web: https://www.tessaly.example";
constexpr const char* kRightsNotice = "Copyright (C) 2026 Tessaly Devices, Inc. All rights reserved.";

// The system's reason on a line of its own, after the number that only support can read.
std::string WithReason(int error) {
  const std::string reason = TIFileErrorReason(error);
  return reason.empty() ? reason : "\n" + reason;
}

}  // namespace

std::string CaptionFor(const std::string& modelName) { return modelName + " Firmware Updater"; }

std::string UserText1For(const std::string& modelName) { return "This utility updates " + modelName + " firmware to"; }

std::string CommLabelFor(const std::string& modelName) { return "Connect to " + modelName + " with Comm Port"; }

std::string ConnectTextFor(const std::string& modelName) { return "Connect " + modelName + " to computer comm port."; }

std::string AboutTitleFor(const std::string& modelName) { return "About " + modelName + " Firmware Updater"; }

std::string SettingsFileFor(const std::string& dataFolder, const std::string& modelName) {
  return dataFolder + "/" + modelName + ".settings.txt";
}

std::string ConstructorErrorText(const std::string& caption, int error) {
  if (error == kBslNoMemory) {
    return "The " + caption + " ran out of memory while allocating internal buffers.\n\n" + kRestartAgain;
  }
  if (error == kBslImageCorrupt) {
    return "The internal firware file for this " + caption + " is corrupt.\n\n" + kRestartAgain;
  }
  return "The " + caption + " got an unexpected error starting up.\n" + "[Error: " + std::to_string(error) +
         "]\n\n" + kRestartAgain;
}

std::string DontQuitText(const std::string& caption, const std::string& modelName) {
  return "The " + caption + " is updating your " + modelName + "!\nThis process should NOT be interrupted.\n\n" +
         "Your " + modelName + " may be unusable or have missing settings\n" +
         "until you complete the firmware update process.\n\n" + "Click OK to continue updating your" + modelName +
         ".\n";
}

std::string OpenFileErrorText(const std::string& caption, const std::string& fileName, int error) {
  if (error == kTINotUsable) {
    return "The file \"" + fileName + "\" is not a valid firmware file.\n" +
           "Please choose a new firmware file to open.";
  }
  if (error == kBslNoMemory) {
    return "The " + caption + " ran out of memory opening \"" + fileName + "\".\n" + kRestartAgain;
  }
  return "The " + caption + " could not opening \"" + fileName + "\".\n" + "Please try again.\nError " +
         std::to_string(error) + WithReason(error);
}

std::string DumpErrorText(int error) {
  return "Error saving firmware image: " + std::to_string(error) + WithReason(error);
}

std::string UpdatesNotBuiltText(const std::string& caption) {
  return "This version of the " + caption + " cannot update devices yet.\n\n" +
         "Please use a newer version of this updater.";
}

std::string HelpText(const std::string& caption, const std::string& name, bool eraseWarning, bool sensorBuild) {
  std::string text = "The " + caption + " replaces the firmware that operates your " + name + ".\n";
  text += "Following the simple steps will help ensure a successful update.\n\n";
  if (eraseWarning) {
    text += "WARNING: Updating the firmware in your " + name + " will erase any stored measurement data.\n" +
            "Please download any measurement data stored in your" + name + " that you want to save.\n\n";
  }
  text += "Before beginning these steps, please make sure your instrument is powered on.\n\n";
  if (sensorBuild) {
    text += "Step 1. Connect your Fieldrex and " + name + " to an available serial communication port " +
            "\non your computer.\n\n";
  } else {
    text += "Step 1. Connect your " + name + " to an available serial communication port " + "on your computer.\n\n";
  }
  text += "Step 2. Select the correct serial port from the Comm Port control.\n\n";
  text += "Step 3. Click the \"Start\" button. The updater shows progress in the Status area.\n\n";
  text += "WARNING: Do not disconnect your " + name + " from the computer while the updater is running.\n";
  text += "An incomplete firmware update could leave your " + name + " unusable.\n\n";
  text += "WARNING: Do not quit the " + name + " Firmware Updater while the updater is running.\n";
  text += "An incomplete firmware update could leave your " + name + " unusable.\n\n";
  text += "Step 4. Once the update is complete, you can disconnect your " + name + " from the computer.\n";
  text += "Please verify your " + name + " configuration is correct. ";
  text += "Enjoy using the updated firmware version.\n\n";
  text += "If you have trouble with this " + name + " Firmware Updater, Please contact VANTO or\n" +
          "an authorized VANTO Group Distributor for help:\n\n";
  text += kMakerContact;
  return text;
}

std::string AboutText(const std::string& version) {
  return std::string("Firmware Updater for Windows\n\n") + "VornBSL Engine version " +
         (version.empty() ? "Unknown" : version) + "\nCommunication Protocol version " + kProtocolVersion + "\n\n" +
         kRightsNotice;
}
