// The one clock of the simulator: timers and byte pacing never go backwards.
#pragma once

#include <chrono>

using SimClock = std::chrono::steady_clock;
