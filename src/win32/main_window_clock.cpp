#include "win32/main_window_clock.h"

#include "win32/window_ids.h"

void Win32WindowClock::startTimer(TimerId id, int intervalMs) {
  SetTimer(window_, TimerNumber(id), static_cast<UINT>(intervalMs), nullptr);
}

void Win32WindowClock::stopTimer(TimerId id) { KillTimer(window_, TimerNumber(id)); }

// One message per call: calls run in the order they were posted, also when a box opened
// by one of them runs a message loop of its own. None runs once the window is gone.
void Win32WindowClock::post(std::function<void()> call) {
  const std::lock_guard<std::mutex> hold(lock_);
  calls_.push_back(std::move(call));
  PostMessageW(window_, kPostedCallMessage, 0, 0);
}

void Win32WindowClock::RunPosted() {
  std::function<void()> call;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    if (calls_.empty()) return;
    call = std::move(calls_.front());
    calls_.pop_front();
  }
  call();
}
