// A front end for update sequences in tests: records every stage, bar position,
// box and question, and answers questions from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/update_ui.h"

struct ScriptedUi : UpdateUi {
  struct Box {
    std::string text;
    std::string title;
    int kind;
  };
  std::vector<std::string> stages;
  std::vector<std::string> notes;
  std::vector<int> bars;  // every distinct position, in order
  std::vector<Box> boxes;
  std::vector<Box> questions;
  std::deque<bool> answers;  // next answers; when empty, questions get Cancel
  struct Choice {
    std::string text;
    std::vector<std::string> options;
    std::string none;
  };
  std::vector<Choice> choices;
  std::deque<int> picks;  // next choices (an option's index, or kChoseNone); when empty: none
  std::function<int(const Choice&)> chooser;  // when set, it answers instead of picks
  std::function<void(const std::string&)> onStage;  // runs at every stage, before the run goes on
  std::string instruction;
  bool stageVisible = false;
  int position = 0;
  int successes = 0;

  void stage(const std::string& text) override {
    stages.push_back(text);
    stageVisible = true;
    if (onStage) onStage(text);
  }
  void note(const std::string& text) override { notes.push_back(text); }
  void hideStage() override { stageVisible = false; }
  void setBar(int value) override {
    if (bars.empty() || bars.back() != value) bars.push_back(value);
    position = value;
  }
  int bar() const override { return position; }
  void setInstruction(const std::string& text) override { instruction = text; }
  void box(const std::string& text, const std::string& title, int kind) override {
    boxes.push_back({text, title, kind});
  }
  bool ask(const std::string& text, const std::string& title) override {
    questions.push_back({text, title, -1});
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int choose(const std::string& text, const std::string&, const std::vector<std::string>& options,
             const std::string& none) override {
    choices.push_back({text, options, none});
    if (chooser) return chooser(choices.back());
    if (picks.empty()) return kChoseNone;
    const int pick = picks.front();
    picks.pop_front();
    return pick;
  }
  void success() override { ++successes; }
  void busy(bool) override {}
  void pump() override {}
};
