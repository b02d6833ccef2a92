// The window's timers as a record, and its thread as a queue of posted calls that the
// test runs (Pump) on its own thread, which plays the window's.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "window/window_clock.h"

struct RecordingClock : WindowClock {
  void startTimer(TimerId id, int intervalMs) override {
    active[id] = true;
    intervals[id] = intervalMs;
  }
  void stopTimer(TimerId id) override { active[id] = false; }
  void post(std::function<void()> call) override {
    const std::lock_guard<std::mutex> guard(lock_);
    posted_.push_back(std::move(call));
  }

  bool Active(TimerId id) const {
    const auto found = active.find(id);
    return found != active.end() && found->second;
  }
  // Runs the calls posted so far, and those they post, in order; the number run.
  int Pump() {
    int run = 0;
    for (std::function<void()> call; Next(call); ++run) call();
    return run;
  }

  std::map<TimerId, bool> active;
  std::map<TimerId, int> intervals;

 private:
  bool Next(std::function<void()>& call) {
    const std::lock_guard<std::mutex> guard(lock_);
    if (posted_.empty()) return false;
    call = std::move(posted_.front());
    posted_.pop_front();
    return true;
  }

  std::mutex lock_;
  std::deque<std::function<void()>> posted_;
};
