// dump OUT [--firmware FILE]: writes the held image in the dump format.
#include <filesystem>
#include <system_error>

#include "bsl/host_bsl.h"
#include "cli/cli_commands.h"
#include "log/platform.h"

namespace {

// Why a path the engine would not read cannot be a firmware file, when it names no file at all;
// empty otherwise. (A folder fails with the system's own reason.)
std::string NotAFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(path), error);
  switch (status.type()) {
    case std::filesystem::file_type::fifo: return "It is a named pipe, not a file.";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character: return "It is a device, not a file.";
    case std::filesystem::file_type::socket: return "It is a socket, not a file.";
    default: return {};
  }
}

// The system's reason for a failed open, read or write, on a line of its own.
std::string ReasonLine(int result) {
  const std::string reason = TIFileErrorReason(result);
  return reason.empty() ? reason : "\n" + reason;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int CheckEngine(CliContext& context, const HostBSL& engine) {
  const int error = engine.constructorError;
  if (error >= 0) return kExitSuccess;
  const std::string again = "Please restart this application and try again.";
  std::string text;
  if (error == kBslNoMemory) {
    text = "The " + context.caption + " ran out of memory while allocating internal buffers.\n\n" + again;
  } else if (error == kBslImageCorrupt) {
    text = "The internal firware file for this " + context.caption + " is corrupt.\n\n" + again;
  } else {
    text = "The " + context.caption + " got an unexpected error starting up.\n[Error: " + std::to_string(error) +
           "]\n\n" + again;
  }
  return ReportFailure(context, "Application Launch Error", text, error);
}

int LoadFirmwareOption(CliContext& context, HostBSL& engine, const std::string& path) {
  if (path.empty()) return kExitSuccess;
  const int result = BSLLoadTIFile(engine, path);
  if (result >= 0) return kExitSuccess;
  const std::string name = BaseName(path);
  std::string text;
  if (result == kTINotUsable) {
    text = "The file \"" + name + "\" is not a valid firmware file.\nPlease choose a new firmware file to open.";
  } else if (result == kBslNoMemory) {
    text = "The " + context.caption + " ran out of memory opening \"" + name +
           "\".\nPlease restart this application and try again.";
  } else {
    text = "The " + context.caption + " could not opening \"" + name + "\".\nPlease try again.\nError " +
           std::to_string(result) + ReasonLine(result);
  }
  const std::string why = result == kTINotUsable ? NotAFile(path) : std::string();
  if (!why.empty()) text += "\n" + why;
  return ReportFailure(context, "File Error", text, result);
}

int RunDump(CliContext& context, CommandArgs args) {
  std::string firmware, error;
  if (!TakeOption(args, "--firmware", &firmware, &error)) return ReportUsage(error, kDumpUsage);
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return ReportUsage("dump needs one OUT file", kDumpUsage);
  HostBSL engine(&context.log, BuiltInFirmware());
  if (CheckEngine(context, engine) != kExitSuccess) return kExitFailed;
  if (LoadFirmwareOption(context, engine, firmware) != kExitSuccess) return kExitFailed;
  const int written = BSLWriteTIFile(engine, args[0]);
  if (written < 0) {
    return ReportFailure(context, "Error",
                         "Error saving firmware image: " + std::to_string(written) + ReasonLine(written),
                         written);
  }
  return kExitSuccess;
}
