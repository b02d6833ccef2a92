// The program's message loop. Each window lends a filter that may take a message
// before it is dispatched (its keys, its accelerators, dialog navigation); the same
// filters serve the loop of the program and the waits that pump messages (the web
// requests), so keys act alike in both.
#pragma once

#include <functional>
#include <vector>

#include "log/win32_text.h"

class MessageLoop {
 public:
  using Filter = std::function<bool(MSG& message)>;  // true: taken, not dispatched

  void AddFilter(Filter filter) { filters_.push_back(std::move(filter)); }
  // Until WM_QUIT: its exit code.
  int Run();
  // Handles the messages waiting, waiting at most maxWaitMs for one to come.
  void Pump(int maxWaitMs);

 private:
  void Dispatch(MSG& message);

  std::vector<Filter> filters_;
  bool quitting_ = false;
  int exitCode_ = 0;
};
