#include "win32/centred_box.h"

#include <algorithm>

#include "win32/built_dialog.h"

namespace {

thread_local HHOOK hook = nullptr;
thread_local HWND centreOn = nullptr;
thread_local bool tooTall = false;  // the box that came up was taller than the screen

std::function<void(HWND)>& Observer() {
  static std::function<void(HWND)> shared;
  return shared;
}

bool TallerThanScreen(HWND box) {
  RECT frame;
  GetWindowRect(box, &frame);
  const RECT area = WorkAreaOf(box);
  return frame.bottom - frame.top > area.bottom - area.top;
}

LRESULT CALLBACK CentreOnActivate(int code, WPARAM wParam, LPARAM lParam) {
  const HHOOK self = hook;
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    UnhookWindowsHookEx(hook);
    hook = nullptr;
    if (TallerThanScreen(box)) {
      // Closed unseen: the text is shown in a box that scrolls instead.
      tooTall = true;
      SetWindowPos(box, nullptr, -32000, -32000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      PostMessageW(box, WM_COMMAND, GetDlgItem(box, IDNO) != nullptr ? IDNO : IDCANCEL, 0);
      return 0;
    }
    CentreWindowOn(box, centreOn);
    ObserveBox(box);
    return 0;
  }
  return CallNextHookEx(self, code, wParam, lParam);
}


}  // namespace

void CentreWindowOn(HWND window, HWND owner) {
  RECT box;
  GetWindowRect(window, &box);
  const RECT area = WorkAreaOf(owner != nullptr ? owner : window);
  RECT around = area;
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
  const LONG width = box.right - box.left;
  const LONG height = box.bottom - box.top;
  LONG x = (around.left + around.right - width) / 2;
  LONG y = (around.top + around.bottom - height) / 2;
  x = std::max(area.left, std::min(x, area.right - width));
  y = std::max(area.top, std::min(y, area.bottom - height));
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CentredMessageBox(HWND owner, const std::string& text, const std::string& title, UINT flags) {
  centreOn = owner;
  tooTall = false;
  hook = SetWindowsHookExW(WH_CBT, CentreOnActivate, nullptr, GetCurrentThreadId());
  // A box without an icon has no sound of its own: it gets the exclamation, as the others get theirs.
  if ((flags & MB_ICONMASK) == 0) MessageBeep(MB_ICONEXCLAMATION);
  const int pressed = MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(title).c_str(),
                                  flags | MB_TOPMOST | MB_SETFOREGROUND);
  if (hook != nullptr) {
    UnhookWindowsHookEx(hook);
    hook = nullptr;
  }
  return tooTall ? ScrollingMessageBox(owner, text, title, flags) : pressed;
}

void SetBoxObserver(std::function<void(HWND)> observe) { Observer() = std::move(observe); }

void ObserveBox(HWND box) {
  if (Observer()) Observer()(box);
}
