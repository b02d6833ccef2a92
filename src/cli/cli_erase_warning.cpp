#include "cli/cli_erase_warning.h"

#include "app/erase_warning.h"
#include "app/update_run.h"
#include "cli/cli_platform.h"

namespace {

constexpr const char* kCliTag = "VornBSL cli";

int NotStarted(const CliContext& context, const std::string& text, const std::string& why) {
  print_message(&context.log, kLogFailure, kToldUserTag, "%s", text.c_str());
  WriteLine(stderr, ProgramName() + ": the update was not started: " + why);
  print_message(&context.log, kLogFailure, kCliTag, "The update was not started: %s", why.c_str());
  return kExitFailed;
}

}  // namespace

int ConfirmDataErase(const CliContext& context, const UpdaterState& state, int kind, CliAnswer answer,
                     std::string* told) {
  if (!EraseWarningDue(state, kind)) return kExitSuccess;
  const std::string text = EraseWarningText(state.caption, state.modelName);
  *told = text;
  WriteLine(stderr, std::string(kEraseWarningTitle) + ": " + OneLine(text));
  if (answer == CliAnswer::Yes) return kExitSuccess;
  if (answer == CliAnswer::No) return NotStarted(context, text, "--no declines the erase of the measurement data.");
  if (!InputIsTerminal()) {
    return NotStarted(context, text,
                      "there is no terminal to ask whether the measurement data may be erased; add --yes to go on.");
  }
  WritePrompt(stderr, "Go on and erase the measurement data? [y/N] ");
  std::string reply;
  if (ReadTerminalLine(&reply) && ReplyIsOneOf(reply, {"y", "yes"})) return kExitSuccess;
  if (StopRequests() > 0) {
    WriteLine(stderr, "\nCancelled: the " + state.modelName + " was not changed.");
    return StopExitStatus();
  }
  return NotStarted(context, text, "the erase of the measurement data was declined.");
}
