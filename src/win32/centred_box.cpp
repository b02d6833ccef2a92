#include "win32/centred_box.h"

#include <algorithm>

namespace {

thread_local HHOOK hook = nullptr;
thread_local HWND centreOn = nullptr;

std::function<void(HWND)>& Observer() {
  static std::function<void(HWND)> shared;
  return shared;
}

LRESULT CALLBACK CentreOnActivate(int code, WPARAM wParam, LPARAM lParam) {
  const HHOOK self = hook;
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    UnhookWindowsHookEx(hook);
    hook = nullptr;
    CentreWindowOn(box, centreOn);
    ObserveBox(box);
    return 0;
  }
  return CallNextHookEx(self, code, wParam, lParam);
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return monitor.rcWork;
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
  hook = SetWindowsHookExW(WH_CBT, CentreOnActivate, nullptr, GetCurrentThreadId());
  // A box without an icon has no sound of its own: it gets the exclamation, as the others get theirs.
  if ((flags & MB_ICONMASK) == 0) MessageBeep(MB_ICONEXCLAMATION);
  const int pressed = MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(title).c_str(),
                                  flags | MB_TOPMOST | MB_SETFOREGROUND);
  if (hook != nullptr) {
    UnhookWindowsHookEx(hook);
    hook = nullptr;
  }
  return pressed;
}

void SetBoxObserver(std::function<void(HWND)> observe) { Observer() = std::move(observe); }

void ObserveBox(HWND box) {
  if (Observer()) Observer()(box);
}
