// ports [--all]: the port table as the window's selector shows it.
#include <algorithm>
#include <cstdio>

#include "cli/cli_commands.h"
#include "serial/port_enum.h"

int RunPorts(CliContext& context, CommandArgs args) {
  const auto all = std::find(args.begin(), args.end(), "--all");
  const bool force = all != args.end();
  if (force) args.erase(all);
  if (!args.empty()) return ReportUsage("unexpected argument " + args[0], kPortsUsage);
  SerialPort record(&context.log);
  std::vector<CommPortEntry> table;
  int count = kPortTableCapacity;
  if (CommPortEnum(record, &table, &count, force) < 0 || table.empty()) {
    std::printf("No Comm Ports Found\n");
    return kExitSuccess;
  }
  std::printf("%-24s  %-5s  %s\n", "NAME", "BUSY", "LABEL");
  for (const CommPortEntry& entry : table) {
    std::printf("%-24s  %-5s  %s\n", entry.name.c_str(), entry.busy ? "yes" : "no", entry.description.c_str());
  }
  return kExitSuccess;
}
