// The main window's controls and their layout, measured from the fonts at the window's
// DPI by the rules the Qt face keeps: never smaller than the classic client area, the
// port list as wide as its longest label, wrapped status lines kept whole, and the rows
// that come and go (the status line, the serial number) keeping their room when hidden.
#pragma once

#include <map>
#include <memory>

#include "log/win32_text.h"
#include "win32/window_fonts.h"
#include "window/window_view.h"

struct IconDeleter {
  void operator()(HICON icon) const {
    if (icon != nullptr) DestroyIcon(icon);
  }
};
using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

struct MainControls {
  std::map<Control, HWND> byControl;
  HWND image = nullptr;        // the window's picture
  HWND panel = nullptr;        // the sunken frame round the port and the status
  HWND statusLabel = nullptr;  // "Status:"
  IconHandle picture;          // the picture at the window's DPI

  HWND operator[](Control control) const {
    const auto found = byControl.find(control);
    return found == byControl.end() ? nullptr : found->second;
  }
};

// The classic client area, at 96 DPI.
inline constexpr int kClassicClientWidth = 346;
inline constexpr int kClassicClientHeight = 262;
inline constexpr int kNewSerialNumberMax = 15;

void CreateMainControls(HWND window, HINSTANCE instance, MainControls& controls);
// The fonts (and the picture's size) of every control, for the window's DPI.
void ApplyMainFonts(MainControls& controls, HINSTANCE instance, const WindowFonts& fonts);

// The narrowest client width that shows every text whole.
int NaturalClientWidth(const MainControls& controls, const WindowFonts& fonts);
// The client height the contents need at this width.
int NeededClientHeight(const MainControls& controls, const WindowFonts& fonts, int width);
// Places every control in a client area of this size (the buttons at its foot).
void PlaceMainControls(const MainControls& controls, const WindowFonts& fonts, SIZE client);

// Texts measured as the window lays them out (the layout check uses them too).
SIZE ButtonSize(HWND button, const WindowFonts& fonts);
int ComboWidth(HWND combo, const WindowFonts& fonts);
// The room the progress bar's text has, and the port list's field.
int ProgressBarHeight(const WindowFonts& fonts);
