// The updater's main window in plain Win32: it creates the controls, lays them out
// from its fonts at its DPI, builds the menus from the core's table, implements the
// core's seams and hands every event to the WindowCore, which decides.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "log/win32_text.h"
#include "win32/main_window_layout.h"
#include "win32/main_window_menus.h"
#include "win32/window_fonts.h"
#include "window/window_core.h"

class MessageLoop;
class Win32Dialogs;
class Win32WindowClock;
class Win32WindowPlatform;
class Win32WindowView;
class Win32WindowWeb;

class Win32MainWindow {
 public:
  Win32MainWindow(HINSTANCE instance, MessageLoop& loop);
  ~Win32MainWindow();
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  // Creates the window, its controls and its core; false when the system refused.
  bool Create();
  // Shows it: the first showing builds everything (the core's FormShow), fits and centres it.
  void Show(int showCommand);

  HWND Handle() const { return window_; }
  WindowCore& Core() { return *core_; }
  const MainControls& Controls() const { return controls_; }
  const WindowFonts& Fonts() const { return fonts_; }
  Win32MainMenus& Menus() { return menus_; }

  // Return, Enter and Escape of a message not yet dispatched: they act on the window only
  // when they came to it or one of its controls and the port list is closed. True when taken.
  bool TakeKey(const MSG& message);
  // The contents changed: the window grows when they need more room, and keeps its size otherwise.
  void ContentsChanged();
  void SetBusy(bool busy);
  // Runs the call on the window's thread, after the calls posted before it.
  void Post(std::function<void()> call);
  Win32WindowWeb& Web() { return *web_; }
  WindowView& View();
  WindowDialogs& Dialogs();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int id, int code);
  void DpiChanged(UINT dpi, const RECT& suggested);
  void ApplyFonts();
  void Fit(bool afresh);
  void CentreOnScreen();
  bool PortListOpen() const;

  HINSTANCE instance_;
  MessageLoop& loop_;
  HWND window_ = nullptr;
  MainControls controls_;
  WindowFonts fonts_;
  Win32MainMenus menus_;
  std::unique_ptr<Win32WindowView> view_;
  std::unique_ptr<Win32Dialogs> dialogs_;
  std::unique_ptr<Win32WindowClock> clock_;
  std::unique_ptr<Win32WindowPlatform> platform_;
  std::unique_ptr<Win32WindowWeb> web_;
  std::unique_ptr<WindowCore> core_;
  SIZE client_{0, 0};  // the client size kept so far
  bool busy_ = false;
  bool closing_ = false;
};
