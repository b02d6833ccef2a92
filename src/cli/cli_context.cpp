#include "cli/cli_context.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/build_target.h"
#include "bsl/builtin_image.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "cli/cli_platform.h"
#include "log/platform.h"
#include "serial/network_port_name.h"

namespace {

constexpr const char* kDataDirVariable = "VORNBSL_DATA_DIR";
constexpr const char* kErrorFileSuffix = ".errors.txt";
constexpr const char* kCliTag = "VornBSL cli";
constexpr const char* kInstrumentProgram = "vornbsl-cli";
constexpr const char* kSensorProgram = "vornbsl-sensor-cli";

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string ResolveDataDir(const std::string& given) {
  std::string dir = given;
  if (dir.empty()) dir = EnvText(kDataDirVariable);
  if (dir.empty()) dir = UserDataFolder();
  if (dir.empty()) return {};
  std::error_code error;
  std::filesystem::create_directories(PathFromUtf8(dir), error);
  return std::filesystem::is_directory(PathFromUtf8(dir), error) ? dir : "";
}

std::string BuildCaption() {
  UpdaterState state;
  TargetBuild(state, BuiltInFirmware());
  return state.caption;
}

std::string ProgramName() { return DigitalSensorBuild(BuiltInFirmware()) ? kSensorProgram : kInstrumentProgram; }

std::string UsageText(const std::string& usage) {
  const std::string_view own = kInstrumentProgram;
  if (usage.rfind(own, 0) != 0) return usage;
  return ProgramName() + usage.substr(own.size());
}

bool OpenContext(CliContext& context, const std::string& givenDataDir) {
  context.caption = BuildCaption();
  context.dataDir = ResolveDataDir(givenDataDir);
  if (context.dataDir.empty()) return false;
  context.log = CreateMessageLog(context.dataDir + "/" + context.caption + kErrorFileSuffix, kLogProtocol, false);
  return true;
}

std::string OneLine(const std::string& text) {
  std::string line;
  bool lineStart = false;  // the spaces that begin a line fold into the one that ends the previous
  for (const char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() != ' ') line += ' ';
      lineStart = true;
    } else if (c != ' ' || !lineStart || line.empty()) {
      line += c;
      lineStart = false;
    }
  }
  return line;
}

int ReportFailure(const CliContext& context, const std::string& title, const std::string& text, int code) {
  std::string line = OneLine(text);
  const std::string codeText = std::to_string(code);
  if (line.find(codeText) == std::string::npos) line += " [Error " + codeText + "]";
  WriteLine(stderr, context.linePrefix + title + ": " + line);
  print_message(&context.log, kLogFailure, kCliTag, "%s: %s", title.c_str(), line.c_str());
  return kExitFailed;
}

int ReportUsage(const std::string& message, const std::string& usage) {
  std::cerr << ProgramName() << ": " << message << "\nusage: " << UsageText(usage) << "\n";
  return kExitUsage;
}

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string* value, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != name) continue;
    if (i + 1 >= args.size()) {
      *error = name + " needs a value";
      return false;
    }
    *value = args[i + 1];
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return true;
  }
  return true;
}

bool PortNameValid(const std::string& port, std::string* error) {
  NetworkPortAddress address;
  std::string reason;
  if (!LooksLikeUrl(port) || ParseNetworkPortName(port, &address, &reason)) return true;
  *error = "--port " + port + " is not a network port: " + reason;
  return false;
}

bool TakeOptions(std::vector<std::string>& args, const std::string& name, std::vector<std::string>* values,
                 std::string* error) {
  while (std::find(args.begin(), args.end(), name) != args.end()) {
    std::string value;
    if (!TakeOption(args, name, &value, error)) return false;
    values->push_back(value);
  }
  return true;
}

bool ReplyIsOneOf(std::string reply, std::initializer_list<const char*> words) {
  for (char& c : reply) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return std::find(words.begin(), words.end(), reply) != words.end();
}
