#include "win32/window_fonts.h"

namespace {

constexpr UINT kWrapFlags = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS;
constexpr UINT kLineFlags = DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX;

}  // namespace

WindowFonts MakeWindowFonts(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  }
  WindowFonts fonts;
  fonts.dpi = dpi;
  LOGFONTW face = metrics.lfMessageFont;
  fonts.normal.reset(CreateFontIndirectW(&face));
  face.lfWeight = FW_BOLD;
  fonts.bold.reset(CreateFontIndirectW(&face));
  return fonts;
}

int Scaled(const WindowFonts& fonts, int length) {
  return MulDiv(length, static_cast<int>(fonts.dpi), USER_DEFAULT_SCREEN_DPI);
}

SIZE TextSize(HFONT font, const std::string& text, int width) {
  const ScreenDc screen;
  const SelectedFont selected(screen.get(), font);
  const std::wstring wide = WideFromUtf8(text.empty() ? std::string(" ") : text);
  RECT rect{0, 0, width > 0 ? width : 0, 0};
  DrawTextW(screen.get(), wide.c_str(), static_cast<int>(wide.size()), &rect, width > 0 ? kWrapFlags : kLineFlags);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

int LineHeight(HFONT font) {
  const ScreenDc screen;
  const SelectedFont selected(screen.get(), font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen.get(), &metrics);
  return metrics.tmHeight;
}

int AverageCharWidth(HFONT font) {
  const ScreenDc screen;
  const SelectedFont selected(screen.get(), font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen.get(), &metrics);
  return metrics.tmAveCharWidth;
}
