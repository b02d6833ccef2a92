// Helpers the command layer's units share: formatting, the log tag, the
// link's clock and sleep, and the common exchange shapes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "logger/device_link.h"

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline const char* Tag(const DeviceLink& link) { return link.port.portName.c_str(); }
inline uint32_t Now(const DeviceLink& link) { return link.hooks.tick(); }
inline int Since(const DeviceLink& link, uint32_t start) { return static_cast<int>(link.hooks.tick() - start); }
inline void Pause(const DeviceLink& link, int milliseconds) { link.hooks.sleep(milliseconds); }
inline bool IsRadio(const DeviceLink& link) { return link.params.connectionType == kConnectionRadio; }
inline bool HasCapability(const DeviceLink& link, uint32_t bit) { return (link.settings.capabilities & bit) != 0; }

// Passes a command or an answer to the trace hook when the trace level asks for it.
void TraceCommand(const DeviceLink& link, std::string_view text);
void TraceAnswer(const DeviceLink& link, std::string_view text);

// Writes raw bytes without waiting for an answer.
int WriteRaw(DeviceLink& link, std::string_view text);
