// vornbsl-cli (and vornbsl-sensor-cli, the digital-sensor build): the update
// sequences headless, for scripts, factory lines and terminals. Global options,
// then one command from the table below.
#include <array>
#include <iostream>
#include <string>
#include <vector>

#include "app/build_target.h"
#include "bsl/builtin_image.h"
#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "cli/cli_platform.h"

namespace {

struct Command {
  const char* name;
  int (*run)(CliContext&, CommandArgs);
  const char* usage;
  const char* summary;
  bool needsWeb = false;  // only a build with the web services has it
};

constexpr std::array<Command, 7> kCommands = {{
    {"dump", RunDump, kDumpUsage, "write the held firmware image in the dump format"},
    {"loader-upload", RunLoaderUpload, kLoaderUploadUsage,
     "start the device's loader, erase it and upload the held image"},
    {"update", RunUpdateCommand, kUpdateUsage, "update the device on the port: the whole sequence, settings kept"},
    {"identify", RunIdentify, kIdentifyUsage, "connect to the device on the port and print its profile"},
    {"ports", RunPorts, kPortsUsage, "list the serial ports (--all also probes the 16 native ports)"},
    {"settings", RunSettingsCommand, kSettingsUsage,
     "the settings archive: every device's saved settings; list, show one, or write one into a device"},
    {"check-version", RunCheckVersion, kCheckVersionUsage, "ask the web host for the newest firmware release", true},
}};

constexpr const char* kGeneralUsage = "vornbsl-cli [--data-dir DIR] <command> [options] | --version | --help";

constexpr const char* kUpdateOptions =
    "  --no             answer Cancel to every question; without --yes or --no, questions are\n"
    "                   asked at a terminal and answered Cancel elsewhere\n"
    "  --firmware FILE  load this TI-Text firmware file instead of the built-in image\n"
    "  --settings ID|FILE\n"
    "                   the saved settings that are this device's own, by their ID in the settings\n"
    "                   archive (settings list) or a file: it answers the question asked when a\n"
    "                   device in its loader or without a serial number cannot tell which it is\n"
    "                   (off a terminal that question is answered \"none of these\"); one --port only\n";
constexpr const char* kInstrumentUpdateOptions =
    "  --yes            answer OK to every question, the data-erase warning included\n"
    "  --factory        factory mode (and repair mode): no data-erase warning and no question\n"
    "                   about newer firmware; a device of another kind may be loaded after a question\n"
    "  --repair         repair mode: no data-erase warning; a settings capture that fails asks\n"
    "                   whether to go on\n"
    "  --new-sn SN      give the device this serial number (at most 15 characters) when its\n"
    "                   settings are restored; one --port only\n"
    "  --no-erase       keep the measurement data stored in the device (no data erase)\n"
    "  An update that erases the device's measurement data shows a warning first and asks\n"
    "  whether to go on; off a terminal it needs --yes.\n";
constexpr const char* kSensorUpdateOptions =
    "  --yes            answer OK to every question\n"
    "  --factory        factory mode (and repair mode)\n"
    "  --repair         repair mode: a settings capture that fails asks whether to go on\n"
    "  --type CODE      the sensor type to set after the update (the \"Set Digital Sensor to:\"\n"
    "                   choice), one of the codes\n"
    "                  ";
constexpr const char* kOtherOptions =
    "  dump OUT         the file the image is written to\n"
    "  dump, loader-upload --firmware FILE\n"
    "                   the TI-Text file to hold instead of the built-in image\n"
    "  loader-upload, identify --port PORT\n"
    "                   the device's serial port\n"
    "  settings list --sn SN\n"
    "                   only the settings of this serial number\n"
    "  settings list --json\n"
    "                   one JSON object a line: id, model, serialNumber, date, firmwareBefore,\n"
    "                   firmwareAfter, state, stateText, file\n"
    "  settings restore --port PORT ID\n"
    "                   write the archived settings ID into the device on PORT, after keeping what\n"
    "                   it holds in the archive; --yes or --no answers the question asked when ID\n"
    "                   is another serial number's\n";
constexpr const char* kCheckVersionOptions =
    "  check-version --host URL\n"
    "                   the web host to ask (default: the maker's)\n";

// What this build holds: a build without the web services leaves out what needs them.
bool Built(const Command& command) { return !command.needsWeb || WebServicesBuilt(); }

void PrintUpdateOptions() {
  std::cout << "\nupdate options:\n"
            << "  --port PORT      the device's serial port: " << HelpWords().portName << "\n"
            << "                   or a network serial server's port: rfc2217://HOST:PORT\n"
            << "                   repeat it to update several devices at once\n"
            << kUpdateOptions;
  if (DigitalSensorBuild(BuiltInFirmware())) {
    std::cout << kSensorUpdateOptions;
    for (const SensorMenuItem& item : SensorMenuItems()) std::cout << " " << item.type;
    std::cout << "\n";
  } else {
    std::cout << kInstrumentUpdateOptions;
  }
  std::cout << "  Ctrl+C stops an update at its next safe point; the next update finishes it.\n";
}

void PrintHelp() {
  std::cout << "usage: " << UsageText(kGeneralUsage) << "\n\ncommands:\n";
  for (const Command& command : kCommands) {
    if (!Built(command)) continue;
    const std::string usage = command.run == RunUpdateCommand ? UpdateUsage() : command.usage;
    std::cout << "  " << UsageText(usage) << "\n      " << command.summary << "\n";
  }
  PrintUpdateOptions();
  const PlatformHelp words = HelpWords();
  std::cout << "\nother command options:\n"
            << "  ports --all      also probe the 16 numbered native ports (" << words.nativePorts << ")\n"
            << kOtherOptions << (WebServicesBuilt() ? kCheckVersionOptions : "");
  std::cout << "\ngeneral options:\n"
               "  --data-dir DIR   folder of the error file and the settings archive (default:\n"
               "                   "
            << words.dataFolder
            << ")\n"
               "  --version        print the program's version\n"
               "  --help           print this text\n"
               "\nexit status: 0 success, 1 the command failed, 2 bad usage,\n"
            << words.stopStatus << "; the next update finishes a stopped one\n";
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dataDir;
  size_t at = 0;
  for (; at < args.size() && args[at].rfind("--", 0) == 0; ++at) {
    if (args[at] == "--version") {
      std::cout << ProgramName() << " " << VORN_VERSION_TEXT << "\n";
      return kExitSuccess;
    }
    if (args[at] == "--help") {
      PrintHelp();
      return kExitSuccess;
    }
    if (args[at] != "--data-dir" || at + 1 >= args.size()) return ReportUsage("bad option " + args[at], kGeneralUsage);
    dataDir = args[++at];
  }
  if (at >= args.size()) return ReportUsage("no command given", kGeneralUsage);
  const Command* command = FindCommand(args[at]);
  if (command == nullptr) return ReportUsage("unknown command " + args[at], kGeneralUsage);
  if (!Built(*command)) return ReportUsage(args[at] + " is not in this build: it has no web services", kGeneralUsage);
  CliContext context;
  if (!OpenContext(context, dataDir)) {
    std::cerr << ProgramName() << ": cannot create the data folder\n";
    return kExitFailed;
  }
  return command->run(context, CommandArgs(args.begin() + static_cast<long>(at) + 1, args.end()));
}
