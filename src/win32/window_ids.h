// The numbers the native Windows face gives its controls, menu commands, timers and
// private messages: each derived from the core's own enumerations, so one table serves.
#pragma once

#include "log/win32_text.h"
#include "window/menu_table.h"
#include "window/window_clock.h"
#include "window/window_view.h"

inline constexpr int kControlIdBase = 100;
inline constexpr int kMenuIdBase = 1000;
inline constexpr UINT_PTR kTimerIdBase = 1;

// A call posted to the window's thread waits in the clock's queue.
inline constexpr UINT kPostedCallMessage = WM_APP + 1;

inline int ControlId(Control control) { return kControlIdBase + static_cast<int>(control); }
inline int MenuCommandId(MenuId id) { return kMenuIdBase + static_cast<int>(id); }
inline MenuId MenuOfCommand(int command) { return static_cast<MenuId>(command - kMenuIdBase); }
inline bool IsMenuCommand(int command) { return command >= kMenuIdBase; }
inline UINT_PTR TimerNumber(TimerId id) { return kTimerIdBase + static_cast<UINT_PTR>(id); }
inline TimerId TimerOfNumber(UINT_PTR number) { return static_cast<TimerId>(number - kTimerIdBase); }
