// The window's timers and its way back to the window's thread.
#pragma once

#include <functional>

enum class TimerId { timerStart, timerEraseWarn, timerConstructorErrors, tWebCheck };

inline constexpr TimerId kAllTimers[] = {TimerId::timerStart, TimerId::timerEraseWarn,
                                         TimerId::timerConstructorErrors, TimerId::tWebCheck};

// The timer's name as the form calls it.
const char* TimerName(TimerId id);

struct WindowClock {
  virtual ~WindowClock() = default;
  // The timer ticks every intervalMs (WindowCore::timer) until it is stopped.
  virtual void startTimer(TimerId id, int intervalMs) = 0;
  virtual void stopTimer(TimerId id) = 0;
  // From any thread: the call runs on the window's thread, after the calls posted before it.
  virtual void post(std::function<void()> call) = 0;
};
