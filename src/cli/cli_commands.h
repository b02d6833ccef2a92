// The commands of vornbsl-cli. Each takes the shared context and its own
// arguments (the command name removed) and returns the exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_context.h"

struct HostBSL;

using CommandArgs = std::vector<std::string>;

int RunDump(CliContext& context, CommandArgs args);
int RunLoaderUpload(CliContext& context, CommandArgs args);
int RunCheckVersion(CliContext& context, CommandArgs args);
int RunUpdateCommand(CliContext& context, CommandArgs args);
int RunPorts(CliContext& context, CommandArgs args);
int RunIdentify(CliContext& context, CommandArgs args);
int RunSettingsCommand(CliContext& context, CommandArgs args);

// Whether this build has the web services (check-version): a build without Qt has none.
bool WebServicesBuilt();

// Loads --firmware FILE into the engine when given; reports a failure the way
// the window's open command words it. Returns kExitSuccess or kExitFailed.
int LoadFirmwareOption(CliContext& context, HostBSL& engine, const std::string& path);
// Reports a failed engine construction; kExitSuccess when the engine is usable.
int CheckEngine(CliContext& context, const HostBSL& engine);

constexpr const char* kDumpUsage = "vornbsl-cli [--data-dir DIR] dump OUT [--firmware FILE]";
constexpr const char* kLoaderUploadUsage = "vornbsl-cli [--data-dir DIR] loader-upload --port PORT [--firmware FILE]";
constexpr const char* kCheckVersionUsage = "vornbsl-cli [--data-dir DIR] check-version [--host URL]";
constexpr const char* kUpdateUsage =
    "vornbsl-cli [--data-dir DIR] update --port PORT [--port PORT]... [--yes | --no] [--factory] [--repair]\n"
    "           [--firmware FILE] [--new-sn SN] [--no-erase] [--settings ID|FILE]";
constexpr const char* kSensorUpdateUsage =
    "vornbsl-cli [--data-dir DIR] update --port PORT [--type CODE] [--yes | --no] [--factory] [--repair]\n"
    "           [--firmware FILE] [--settings ID|FILE]";
// The update command's usage in this build.
const char* UpdateUsage();
constexpr const char* kPortsUsage = "vornbsl-cli ports [--all]";
constexpr const char* kIdentifyUsage = "vornbsl-cli [--data-dir DIR] identify --port PORT";
constexpr const char* kSettingsUsage =
    "vornbsl-cli [--data-dir DIR] settings list [--sn SN] [--json] | settings show ID |\n"
    "           settings restore --port PORT ID [--yes | --no]";
