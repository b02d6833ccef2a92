// The update sequences' front end on a terminal: the progress bar (or plain
// progress lines), boxes to stderr as "TITLE: TEXT", questions answered by
// --yes / --no or at a terminal prompt.
#pragma once

#include <string>

#include "app/update_ui.h"
#include "cli/cli_progress.h"

enum class CliAnswer { Prompt, Yes, No };

struct CliUpdateUi : UpdateUi {
  CliProgress progress = MakeCliProgress(stdout);
  CliAnswer answer = CliAnswer::Prompt;
  int position = 0;
  bool* keepGoing = nullptr;  // cleared on Ctrl-C so the running loader step stops
  std::string linePrefix;     // "PORT: " before stderr lines when several devices are updated at once
  bool mayPrompt = true;      // false beside other running updates: only --yes / --no answer

  void stage(const std::string& text) override;
  void note(const std::string& text) override;
  void hideStage() override;
  void setBar(int value) override;
  int bar() const override { return position; }
  void setInstruction(const std::string& text) override;
  void box(const std::string& text, const std::string& title, int kind) override;
  bool ask(const std::string& text, const std::string& title) override;
  void success() override {}
  void busy(bool) override {}
  void pump() override;
};
