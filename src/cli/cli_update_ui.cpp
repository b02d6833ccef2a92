#include "cli/cli_update_ui.h"

#include <iostream>

#include "cli/cli_context.h"
#include "cli/cli_platform.h"

void CliUpdateUi::stage(const std::string& text) {
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

void CliUpdateUi::hideStage() { EndProgress(progress); }

void CliUpdateUi::setBar(int value) {
  position = value;
  ShowPercent(progress, value);
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
  std::cerr << title << ":\n" << text << "\nOK or Cancel? [ok/cancel] " << std::flush;
  std::string reply;
  // Ctrl+C at the question cancels it, and with it the run.
  return ReadTerminalLine(&reply) && ReplyIsOneOf(reply, {"ok", "o", "y", "yes"});
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
