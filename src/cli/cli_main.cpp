// vornbsl-cli (and vornbsl-sensor-cli, the digital-sensor build): the update
// sequences headless, for scripts, factory lines and terminals. Global options,
// then one command from the table below.
#include <array>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_context.h"

namespace {

struct Command {
  const char* name;
  int (*run)(CliContext&, CommandArgs);
  const char* usage;
  const char* summary;
};

constexpr std::array<Command, 6> kCommands = {{
    {"dump", RunDump, kDumpUsage, "write the held firmware image in the dump format"},
    {"loader-upload", RunLoaderUpload, kLoaderUploadUsage,
     "start the device's loader, erase it and upload the held image"},
    {"update", RunUpdateCommand, kUpdateUsage, "update the device on the port: the whole sequence, settings kept"},
    {"identify", RunIdentify, kIdentifyUsage, "connect to the device on the port and print its profile"},
    {"ports", RunPorts, kPortsUsage, "list the serial ports (--all also probes the 16 native ports)"},
    {"check-version", RunCheckVersion, kCheckVersionUsage, "ask the web host for the newest firmware release"},
}};

constexpr const char* kGeneralUsage = "vornbsl-cli [--data-dir DIR] <command> [options] | --version | --help";

void PrintHelp() {
  std::cout << "usage: " << UsageText(kGeneralUsage) << "\n\ncommands:\n";
  for (const Command& command : kCommands) {
    const std::string usage = command.run == RunUpdateCommand ? UpdateUsage() : command.usage;
    std::cout << "  " << UsageText(usage) << "\n      " << command.summary << "\n";
  }
  std::cout << "\noptions:\n"
               "  --data-dir DIR   folder of the error file (default: $VORNBSL_DATA_DIR, else the\n"
               "                   per-user data folder + /Tessaly/VornBSL)\n"
               "  --version        print the program's version\n"
               "  --help           print this text\n"
               "\nexit status: 0 success, 1 the command failed, 2 bad usage\n";
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
  CliContext context;
  if (!OpenContext(context, dataDir)) {
    std::cerr << ProgramName() << ": cannot create the data folder\n";
    return kExitFailed;
  }
  return command->run(context, CommandArgs(args.begin() + static_cast<long>(at) + 1, args.end()));
}
