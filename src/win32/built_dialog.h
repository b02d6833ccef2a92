// The pieces of this program's own dialogs (the scrolling box, the choice of settings): an empty
// modal dialog whose procedure makes its controls at WM_INITDIALOG, measured from its fonts.
#pragma once

#include "log/win32_text.h"

// Runs the modal dialog: `procedure` gets `parameter` with WM_INITDIALOG. The value EndDialog
// was given, or 0 or -1 when the dialog did not come up.
INT_PTR RunBuiltDialog(HWND owner, DLGPROC procedure, LPARAM parameter);

// A visible child control of `dialog` in `font`, placed later.
HWND MakeDialogControl(HWND dialog, const wchar_t* kind, DWORD style, int id, HFONT font);

// The work area of the monitor the window is on (the primary one without a window).
RECT WorkAreaOf(HWND window);

// Gives the dialog the frame around a client area of `width` x `height` at `dpi`, on top.
void FitDialogToClient(HWND dialog, int width, int height, UINT dpi);
