#include "cli/cli_update_ui.h"

#include <cstdlib>

#include "cli/cli_context.h"
#include "cli/cli_platform.h"

void CliUpdateUi::stage(const std::string& text) {
  stageHidden = false;
  if (!progress.terminal) {
    ShowStage(progress, text);
    ShowPercent(progress, position);
    return;
  }
  // The bar keeps its position across stages: redraw it with the new text only.
  progress.stage = text;
  progress.percent = -1;
  ShowPercent(progress, position);
}

// A line of its own; on a terminal the bar comes back under it with the next stage or position.
void CliUpdateUi::note(const std::string& text) {
  EndProgress(progress);
  WriteLine(stdout, (progress.terminal ? linePrefix : linePrefix + "note: ") + OneLine(text));
}

// The bar stays on the screen where it stood; the run's reset to 0 that follows a failure or
// a stop is not drawn, so the last bar shows how far the run came.
void CliUpdateUi::hideStage() {
  EndProgress(progress);
  stageHidden = true;
}

void CliUpdateUi::setBar(int value) {
  position = value;
  if (!stageHidden) ShowPercent(progress, value);
}

void CliUpdateUi::setInstruction(const std::string&) {}

void CliUpdateUi::box(const std::string& text, const std::string& title, int) {
  EndProgress(progress);
  WriteLine(stderr, linePrefix + title + ": " + OneLine(text));
}

bool CliUpdateUi::ask(const std::string& text, const std::string& title) {
  EndProgress(progress);
  const std::string line = linePrefix + title + ": " + OneLine(text);
  if (answer != CliAnswer::Prompt) {
    const bool ok = answer == CliAnswer::Yes;
    WriteLine(stderr, line + (ok ? " [OK]" : " [Cancel]"));
    return ok;
  }
  if (stopRequested()) {
    WriteLine(stderr, line + " [Cancel: the update is stopping]");
    return false;
  }
  if (!mayPrompt) {
    WriteLine(stderr, line + " [Cancel: several devices at once, use --yes or --no]");
    return false;
  }
  if (!InputIsTerminal()) {
    WriteLine(stderr, line + " [Cancel: no terminal to ask, use --yes or --no]");
    return false;
  }
  WriteLine(stderr, title + ":");
  WriteLine(stderr, text);
  WritePrompt(stderr, "OK or Cancel? [ok/cancel] ");
  std::string reply;
  // Ctrl+C at the question cancels it, and with it the run.
  return ReadTerminalLine(&reply) && ReplyIsOneOf(reply, {"ok", "o", "y", "yes"});
}

namespace {

// A typed number among 0..count; an empty reply is the default, 0.
int ChoiceNumber(std::string reply, size_t count) {
  reply.erase(0, reply.find_first_not_of(" \t"));
  reply.erase(reply.find_last_not_of(" \t") + 1);
  if (reply.empty()) return 0;
  if (reply.size() > 4 || reply.find_first_not_of("0123456789") != std::string::npos) return -1;
  const auto number = static_cast<size_t>(std::strtoul(reply.c_str(), nullptr, 10));
  return number <= count ? static_cast<int>(number) : -1;
}

}  // namespace

// Whose settings a device gets is the person's to say: --yes and --no do not answer it, and
// where nobody can be asked the answer is "none of these".
int CliUpdateUi::choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                        const std::string& none) {
  EndProgress(progress);
  const std::string line = linePrefix + title + ": " + OneLine(text);
  std::string why;
  if (stopRequested()) why = "the update is stopping";
  else if (!mayPrompt) why = "several devices at once; update this one alone to choose";
  else if (!InputIsTerminal()) why = "no terminal to ask; name the file with --settings FILE";
  if (!why.empty()) {
    WriteLine(stderr, line + " [" + none + ": " + why + "]");
    return kChoseNone;
  }
  WriteLine(stderr, title + ":");
  WriteLine(stderr, text);
  WriteLine(stderr, "  0  " + none + " (the default)");
  for (size_t i = 0; i < options.size(); ++i) WriteLine(stderr, "  " + std::to_string(i + 1) + "  " + options[i]);
  for (;;) {
    WritePrompt(stderr, "Choose a number [0]: ");
    std::string reply;
    // Ctrl+C at the question answers it with the default, and stops the run after it.
    if (!ReadTerminalLine(&reply)) return kChoseNone;
    const int number = ChoiceNumber(reply, options.size());
    if (number >= 0) return number - 1;
    WriteLine(stderr, "Please type a number from 0 to " + std::to_string(options.size()) + ".");
  }
}

bool CliUpdateUi::stopRequested() const { return StopRequests() > 0; }

void CliUpdateUi::holdStop(const std::string& why) {
  const std::lock_guard<std::mutex> lock(heldMutex_);
  heldWhy_ = why;
}

std::string CliUpdateUi::held() const {
  const std::lock_guard<std::mutex> lock(heldMutex_);
  return heldWhy_;
}
