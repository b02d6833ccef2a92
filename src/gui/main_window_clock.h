// The window core's timers as QTimers (children of the window, named as the form
// names them) and its way back to the window's thread as queued calls.
#pragma once

#include <functional>
#include <map>

#include "window/window_clock.h"

class QObject;
class QTimer;

class QtWindowClock : public WindowClock {
 public:
  // tick: what a timer's tick runs (the core's timer event).
  QtWindowClock(QObject* window, std::function<void(TimerId)> tick);

  void startTimer(TimerId id, int intervalMs) override;
  void stopTimer(TimerId id) override;
  void post(std::function<void()> call) override;

 private:
  QObject* window_;
  std::map<TimerId, QTimer*> timers_;  // owned by the window
};
