// The window's own texts, joined from fixed pieces and the names the
// window holds, so the texts can be checked piece by piece.
#pragma once

#include <string>

#include "app/erase_warning.h"

constexpr const char* kProtocolVersion = "1.8.4";
constexpr const char* kNoPortsText = "No Comm Ports Found";
constexpr const char* kUnfinishedText = "The update is unfinished: press Start to resume it.";

std::string CaptionFor(const std::string& modelName);
std::string UserText1For(const std::string& modelName);
std::string CommLabelFor(const std::string& modelName);
std::string ConnectTextFor(const std::string& modelName);
std::string AboutTitleFor(const std::string& modelName);
// Where a run keeps the device's settings across the update.
std::string SettingsFileFor(const std::string& dataFolder, const std::string& modelName);

std::string ConstructorErrorText(const std::string& caption, int error);
std::string DontQuitText(const std::string& caption, const std::string& modelName);
std::string OpenFileErrorText(const std::string& caption, const std::string& fileName, int error);
std::string DumpErrorText(int error);
std::string UpdatesNotBuiltText(const std::string& caption);

// The step-by-step instructions; sensorBuild names the pass-through device in step 1.
std::string HelpText(const std::string& caption, const std::string& name, bool eraseWarning, bool sensorBuild);
// The program's version and the protocol version; an empty version reads "Unknown".
std::string AboutText(const std::string& version);
