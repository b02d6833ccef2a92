// The fonts of a window at its DPI: the system's message font and its bold form,
// as the system's own dialogs use them. Made again whenever the window's DPI changes.
#pragma once

#include <memory>
#include <string>

#include "log/win32_text.h"

struct FontDeleter {
  void operator()(HFONT font) const {
    if (font != nullptr) DeleteObject(font);
  }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

struct WindowFonts {
  UINT dpi = USER_DEFAULT_SCREEN_DPI;
  FontHandle normal;
  FontHandle bold;
};

WindowFonts MakeWindowFonts(UINT dpi);

// A length of the classic 96-DPI layout at this DPI.
int Scaled(const WindowFonts& fonts, int length);

// The size a text needs in a font: one line, or wrapped at `width` when width > 0.
SIZE TextSize(HFONT font, const std::string& text, int width = 0);

// The line height of a font.
int LineHeight(HFONT font);

// The average character width of a font (as the system's dialog units use).
int AverageCharWidth(HFONT font);

// Selects a font into a device context for the life of the object.
class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font) : dc_(dc), previous_(SelectObject(dc, font)) {}
  ~SelectedFont() { SelectObject(dc_, previous_); }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A device context of the screen for measuring, released at the end of the scope.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() { ReleaseDC(nullptr, dc_); }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};
