#include "win32/built_dialog.h"

namespace {

// A dialog template with no controls, no menu, the standard class and no title.
struct alignas(4) EmptyTemplate {
  DLGTEMPLATE dialog;
  WORD menu = 0;
  WORD windowClass = 0;
  WORD title = 0;
};

}  // namespace

INT_PTR RunBuiltDialog(HWND owner, DLGPROC procedure, LPARAM parameter) {
  EmptyTemplate form{};
  form.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &form.dialog, owner, procedure, parameter);
}

HWND MakeDialogControl(HWND dialog, const wchar_t* kind, DWORD style, int id, HFONT font) {
  const HWND control = CreateWindowExW(0, kind, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, dialog,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return monitor.rcWork;
}

void FitDialogToClient(HWND dialog, int width, int height, UINT dpi) {
  RECT frame{0, 0, width, height};
  AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)), dpi);
  SetWindowPos(dialog, HWND_TOPMOST, 0, 0, frame.right - frame.left, frame.bottom - frame.top, SWP_NOMOVE);
}
