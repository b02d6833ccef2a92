// The window's timers (window-message timers) and its way back to the window's thread:
// a queue of calls, each announced by a message posted to the window.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "log/win32_text.h"
#include "window/window_clock.h"

class Win32WindowClock : public WindowClock {
 public:
  explicit Win32WindowClock(HWND window) : window_(window) {}

  void startTimer(TimerId id, int intervalMs) override;
  void stopTimer(TimerId id) override;
  void post(std::function<void()> call) override;

  // On the window's thread, for each kPostedCallMessage: runs the oldest call waiting.
  void RunPosted();

 private:
  HWND window_;
  std::mutex lock_;
  std::deque<std::function<void()>> calls_;
};
