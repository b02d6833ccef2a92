// The system's message box, centred on the window it belongs to (a CBT hook moves it as
// it is activated) and on top, with the sound of its kind.
#pragma once

#include <functional>
#include <string>

#include "log/win32_text.h"

// flags: MB_OK, MB_OKCANCEL or MB_YESNO with an icon; the button pressed (IDOK, ...). A text
// taller than the screen is shown by ScrollingMessageBox instead.
int CentredMessageBox(HWND owner, const std::string& text, const std::string& title, UINT flags);

// Hears of every box and dialog of this thread as it comes up, centred: the layout check
// measures it there and closes it. None by default.
void SetBoxObserver(std::function<void(HWND box)> observer);

// Moves a window to the centre of `owner` (of its monitor's work area without one),
// kept within that work area.
void CentreWindowOn(HWND window, HWND owner);

// A box of the same buttons and icon whose text scrolls (scrolling_box.cpp).
int ScrollingMessageBox(HWND owner, const std::string& text, const std::string& title, UINT flags);

// Calls the box observer, when there is one, for a dialog of this program's own.
void ObserveBox(HWND box);
