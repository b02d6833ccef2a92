// Time helpers shared by every layer: the millisecond clock, the sleep that keeps
// the front end responsive, and the offset of local time from UTC.
#include <chrono>

#include "log/platform.h"
#include "serial/serial_platform.h"
#include "serial/serial_port.h"

namespace {

constexpr int kPumpFromMs = 170;  // shorter waits are plain sleeps
// The pump belongs to the thread that runs the window's events: an update running on
// another thread (several devices at once) must never dispatch them, it sleeps plainly.
thread_local PumpHook tPumpHook = nullptr;

}  // namespace

uint32_t MillisecondTick() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetPumpHook(PumpHook hook) { tPumpHook = hook; }

void SleepPumping(int milliseconds) {
  const PumpHook hook = tPumpHook;
  if (milliseconds < kPumpFromMs || hook == nullptr) {
    PlatformSleep(milliseconds);
    return;
  }
  const uint32_t start = MillisecondTick();
  for (;;) {
    const int elapsed = static_cast<int>(MillisecondTick() - start);
    if (elapsed >= milliseconds) return;
    hook(milliseconds - elapsed);
  }
}

int32_t LocalUtcOffset() { return LocalUtcOffsetSeconds(); }
