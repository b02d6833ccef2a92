// The update sequences' front end on a terminal: the progress bar (or plain
// progress lines), boxes to stderr as "TITLE: TEXT", questions answered by
// --yes / --no or at a terminal prompt, and a stop asked for with Ctrl+C.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "app/update_ui.h"
#include "cli/cli_progress.h"

enum class CliAnswer { Prompt, Yes, No };

struct CliUpdateUi : UpdateUi {
  CliProgress progress = MakeCliProgress(stdout);
  CliAnswer answer = CliAnswer::Prompt;
  int position = 0;
  std::string linePrefix;  // "PORT: " before stderr lines when several devices are updated at once
  bool mayPrompt = true;   // false beside other running updates: only --yes / --no answer
  std::string stopState;   // what the device was left in when the run stopped on request
  std::atomic<bool> finished{false};  // the run is over: a stop request has nothing left to stop
  bool stageHidden = false;  // the run ended its stage line: the bar is not drawn again until a new stage

  void stage(const std::string& text) override;
  void note(const std::string& text) override;
  void hideStage() override;
  void setBar(int value) override;
  int bar() const override { return position; }
  void setInstruction(const std::string& text) override;
  void box(const std::string& text, const std::string& title, int kind) override;
  bool ask(const std::string& text, const std::string& title) override;
  int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
             const std::string& none) override;
  void success() override {}
  void busy(bool) override {}
  void pump() override {}
  bool stopRequested() const override;
  void holdStop(const std::string& why) override;
  void stopped(const std::string& state) override { stopState = state; }

  // Why the run cannot stop now; empty when it can. Read by the thread that answers Ctrl+C.
  std::string held() const;

 private:
  mutable std::mutex heldMutex_;
  std::string heldWhy_;
};
