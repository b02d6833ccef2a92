// Helpers the command layer's units share: formatting, the log tag, the
// link's clock and sleep, and the common exchange shapes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "logger/device_link.h"

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline const char* Tag(const DeviceLink& link) { return link.port.portName.c_str(); }
// The link's clock, sleep and progress hook; an emptied hook falls back to the default.
inline uint32_t Now(const DeviceLink& link) { return link.hooks.tick ? link.hooks.tick() : MillisecondTick(); }
inline int Since(const DeviceLink& link, uint32_t start) { return static_cast<int>(Now(link) - start); }
inline void Pause(const DeviceLink& link, int milliseconds) {
  if (link.hooks.sleep) {
    link.hooks.sleep(milliseconds);
  } else {
    SleepPumping(milliseconds);
  }
}
// Asks the progress hook whether to go on; true when the link does not report progress.
inline bool Progress(const DeviceLink& link, int total, int done, int phase) {
  if (!link.config.progress || !link.hooks.progress) return true;
  return link.hooks.progress(total, done, phase);
}
inline bool IsRadio(const DeviceLink& link) { return link.params.connectionType == kConnectionRadio; }
inline bool HasCapability(const DeviceLink& link, uint32_t bit) { return (link.settings.capabilities & bit) != 0; }

// Passes a command or an answer to the trace hook when the trace level asks for it.
void TraceCommand(const DeviceLink& link, std::string_view text);
void TraceAnswer(const DeviceLink& link, std::string_view text);

// Writes raw bytes without waiting for an answer.
int WriteRaw(DeviceLink& link, std::string_view text);
