#include "win32/main_window_view.h"

#include "log/win32_text.h"

#include <commctrl.h>

#include "app/box_kinds.h"
#include "win32/main_window.h"

namespace {

std::string WindowText(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return Utf8FromWide(text);
}

// The controls whose text or presence changes the room the window needs.
bool ChangesLayout(Control control) {
  switch (control) {
    case Control::userText1:
    case Control::userText2:
    case Control::lblConnect:
    case Control::commLabel:
    case Control::statusText:
    case Control::unfinishedLine: return true;
    default: return false;
  }
}

}  // namespace

unsigned int SoundOfKind(int kind) {
  switch (kind) {
    case kBoxError: return MB_ICONHAND;
    case kBoxInformation: return MB_ICONASTERISK;
    case kBoxConfirmation: return MB_ICONQUESTION;
    default: return MB_ICONEXCLAMATION;
  }
}

HWND Win32WindowView::Handle(Control control) const { return window_.Controls()[control]; }

void Win32WindowView::setText(Control control, const std::string& text) {
  if (text == WindowText(Handle(control))) return;
  SetWindowTextW(Handle(control), WideFromUtf8(text).c_str());
  if (ChangesLayout(control)) window_.ContentsChanged();
}

std::string Win32WindowView::text(Control control) const { return WindowText(Handle(control)); }

void Win32WindowView::setVisible(Control control, bool shown) {
  const bool was = IsWindowVisible(Handle(control)) != FALSE;
  ShowWindow(Handle(control), shown ? SW_SHOWNA : SW_HIDE);
  if (was != shown && control == Control::unfinishedLine) window_.ContentsChanged();
}

void Win32WindowView::setEnabled(Control control, bool on) { EnableWindow(Handle(control), on ? TRUE : FALSE); }

void Win32WindowView::setFocus(Control control) { SetFocus(Handle(control)); }

void Win32WindowView::setDefaultButton(Control button) {
  for (const Control each : {Control::btnStart, Control::btnClose}) {
    SendMessageW(Handle(each), BM_SETSTYLE, each == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

void Win32WindowView::setPorts(const std::vector<std::string>& labels, int selected) {
  const HWND combo = Handle(Control::cbCommPort);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& label : labels) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(label).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  // A longer label widens the window; the list keeps its place and width while it is open.
  if (SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) == FALSE) window_.ContentsChanged();
}

void Win32WindowView::setProgress(int position, const std::string& text) {
  const HWND bar = Handle(Control::statusBar);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  SetWindowTextW(bar, WideFromUtf8(text).c_str());
}

void Win32WindowView::setMenuItem(MenuId id, const MenuState& state) { window_.Menus().Set(id, state); }

void Win32WindowView::setMenuCaption(MenuId id, const std::string& caption) {
  window_.Menus().SetCaption(id, caption);
}

// The task bar shows the window's own title: the application's has no other place here.
void Win32WindowView::setTitles(const std::string& window, const std::string&) {
  SetWindowTextW(window_.Handle(), WideFromUtf8(window).c_str());
}

void Win32WindowView::beep(int kind) { MessageBeep(SoundOfKind(kind)); }

void Win32WindowView::setBusyCursor(bool busy) { window_.SetBusy(busy); }

// As the close box does: the window asks the core first.
void Win32WindowView::closeWindow() { SendMessageW(window_.Handle(), WM_CLOSE, 0, 0); }
