#include "win32/main_window.h"

#include <commctrl.h>

#include "win32/main_window_clock.h"
#include "win32/main_window_dialogs.h"
#include "win32/main_window_platform.h"
#include "win32/main_window_view.h"
#include "win32/main_window_web.h"
#include "win32/message_loop.h"
#include "win32/resource_ids.h"
#include "win32/window_ids.h"

namespace {

constexpr wchar_t kClassName[] = L"VornBSLMainWindow";
// A fixed single border with the system menu and the close box only.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExtendedStyle = WS_EX_CONTROLPARENT;

HICON AppIcon(HINSTANCE instance, int metric) {
  const int size = GetSystemMetrics(metric);
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, size, size, LR_SHARED));
}

bool Plain() { return GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_SHIFT) >= 0; }

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance, MessageLoop& loop) : instance_(instance), loop_(loop) {}

// The core goes first: a run still active is let finish while the controls exist.
Win32MainWindow::~Win32MainWindow() {
  core_.reset();
  web_.reset();
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

bool Win32MainWindow::Create() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance_;
  windowClass.hIcon = AppIcon(instance_, SM_CXICON);
  windowClass.hIconSm = AppIcon(instance_, SM_CXSMICON);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kClassName;
  if (RegisterClassExW(&windowClass) == 0) return false;
  const HMENU bar = menus_.Build();
  window_ = CreateWindowExW(kExtendedStyle, kClassName, L"VornBSL", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, bar, instance_, this);
  if (window_ == nullptr) return false;
  fonts_ = MakeWindowFonts(GetDpiForWindow(window_));
  CreateMainControls(window_, instance_, controls_);
  ApplyMainFonts(controls_, instance_, fonts_);
  view_ = std::make_unique<Win32WindowView>(*this);
  dialogs_ = std::make_unique<Win32Dialogs>(window_);
  clock_ = std::make_unique<Win32WindowClock>(window_);
  platform_ = std::make_unique<Win32WindowPlatform>();
  web_ = std::make_unique<Win32WindowWeb>(instance_, window_, loop_);
  core_ = std::make_unique<WindowCore>(WindowSeams{*view_, *dialogs_, *clock_, *platform_});
  core_->SetWeb(web_.get());
  loop_.AddFilter([this](MSG& message) { return TakeKey(message); });
  return true;
}

void Win32MainWindow::Show(int showCommand) {
  // The core sets the texts at the first showing; the window is then fitted to them and
  // centred, so it does not grow off the centre afterwards.
  if (!core_->Shown()) {
    core_->shown();
    if (!IsWindow(window_)) return;  // the start-up closed it
    Fit(true);
    CentreOnScreen();
  }
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
}

WindowView& Win32MainWindow::View() { return *view_; }

WindowDialogs& Win32MainWindow::Dialogs() { return *dialogs_; }

void Win32MainWindow::Post(std::function<void()> call) { clock_->post(std::move(call)); }

bool Win32MainWindow::PortListOpen() const {
  return SendMessageW(controls_[Control::cbCommPort], CB_GETDROPPEDSTATE, 0, 0) != FALSE;
}

// Return, Enter and Escape reach the window as a dialog's do, only when no popup took them:
// with the port list open they pick or close the list and do nothing more. Then the menus'
// shortcuts, then the dialog keys (Tab between the controls).
bool Win32MainWindow::TakeKey(const MSG& message) {
  if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) return false;
  MSG copy = message;
  const bool enterOrEscape = (message.message == WM_KEYDOWN || message.message == WM_CHAR) &&
                             (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE);
  if (enterOrEscape && PortListOpen()) {
    TranslateMessage(&copy);
    DispatchMessageW(&copy);
    return true;
  }
  if (enterOrEscape && message.message == WM_KEYDOWN && Plain()) {
    core_->keyPressed(message.wParam == VK_ESCAPE ? Key::kEscape : Key::kEnter);
    return true;
  }
  if (enterOrEscape) return message.message == WM_CHAR;  // the character of a key the window took
  if (TranslateAcceleratorW(window_, menus_.Accelerators(), &copy)) return true;
  return IsDialogMessageW(window_, &copy) != FALSE;
}

LRESULT CALLBACK Win32MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->core_ == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT Win32MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: Command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_TIMER: core_->timer(TimerOfNumber(wParam)); return 0;
    case kPostedCallMessage: clock_->RunPosted(); return 0;
    case WM_CLOSE:
      if (!closing_ && core_->closeRequested()) {
        closing_ = true;
        DestroyWindow(window_);
      }
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED: DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
    default: break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32MainWindow::Command(int id, int code) {
  if (IsMenuCommand(id)) {
    core_->menu(MenuOfCommand(id));
  } else if (id == ControlId(Control::btnStart) && code == BN_CLICKED) {
    core_->startPressed();
  } else if (id == ControlId(Control::btnClose) && code == BN_CLICKED) {
    core_->closePressed();
  } else if (id == ControlId(Control::cbCommPort)) {
    const int index = static_cast<int>(SendMessageW(controls_[Control::cbCommPort], CB_GETCURSEL, 0, 0));
    // The list is listed afresh as it opens; a pick counts when the list closes on it (or when
    // the closed list's selection moves with the keys), never while the person browses it.
    if (code == CBN_DROPDOWN) core_->portListOpening();
    if (code == CBN_SELENDOK || (code == CBN_SELCHANGE && !PortListOpen())) core_->portPicked(index);
  }
}

void Win32MainWindow::DpiChanged(UINT dpi, const RECT& suggested) {
  fonts_ = MakeWindowFonts(dpi);
  ApplyMainFonts(controls_, instance_, fonts_);
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Fit(true);
}

void Win32MainWindow::ContentsChanged() {
  if (core_ != nullptr && core_->Shown()) Fit(false);
}

// The window has a fixed border: its size is the one its contents need, and the person
// cannot change it. It grows when a text needs more room and otherwise keeps its size, so
// it does not jump as stage texts come and go; after a change of DPI it is measured afresh.
void Win32MainWindow::Fit(bool afresh) {
  const int natural = NaturalClientWidth(controls_, fonts_);
  const int width = afresh ? natural : std::max(natural, static_cast<int>(client_.cx));
  int height = NeededClientHeight(controls_, fonts_, width);
  if (!afresh) height = std::max(height, static_cast<int>(client_.cy));
  client_ = SIZE{width, height};
  RECT frame{0, 0, width, height};
  AdjustWindowRectExForDpi(&frame, kStyle, TRUE, kExtendedStyle, fonts_.dpi);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A menu bar that takes more or less room than one line changes the client area: the frame follows.
  RECT client;
  GetClientRect(window_, &client);
  const int shortBy = height - static_cast<int>(client.bottom);
  if (shortBy != 0) {
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + shortBy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  PlaceMainControls(controls_, fonts_, client_);
}

void Win32MainWindow::CentreOnScreen() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT frame;
  GetWindowRect(window_, &frame);
  const RECT& area = monitor.rcWork;
  const LONG x = (area.left + area.right - (frame.right - frame.left)) / 2;
  const LONG y = (area.top + area.bottom - (frame.bottom - frame.top)) / 2;
  SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::SetBusy(bool busy) {
  busy_ = busy;
  POINT at;
  RECT frame;
  if (GetCursorPos(&at) && GetWindowRect(window_, &frame) && PtInRect(&frame, at)) {
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
  }
}
