#include "win32/main_window_layout.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "win32/resource_ids.h"
#include "win32/window_ids.h"

namespace {

// The layout's lengths at 96 DPI; each is scaled to the window's DPI.
constexpr int kOuterMargin = 12;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kLineSpacing = 2;
constexpr int kRowSpacing = 6;
constexpr int kPanelMargin = 9;
constexpr int kLabelGap = 6;
constexpr int kButtonMinimumWidth = 96;
constexpr int kButtonPadding = 10;  // above and below a button's text, together
constexpr int kFieldPadding = 8;    // round an edit box's or a bar's text, together
constexpr int kComboPadding = 8;    // beside the port list's text, with the arrow
constexpr int kStatusMinimumChars = 12;
constexpr int kDroppedItems = 10;  // rows the opened port list shows before it scrolls
constexpr int kProgressStep = 2;
constexpr char kPortHint[] = "Pick your comm port from this list.";

HWND Child(HWND parent, HINSTANCE instance, const wchar_t* kind, DWORD style, int id, DWORD extended = 0) {
  return CreateWindowExW(extended, kind, L"", WS_CHILD | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

std::string TextOf(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return Utf8FromWide(text);
}

HFONT FontOf(HWND control) { return reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)); }

int LineWidth(HWND control) { return TextSize(FontOf(control), TextOf(control)).cx; }

int WrappedHeight(HWND control, int width) {
  return std::max(LineHeight(FontOf(control)), static_cast<int>(TextSize(FontOf(control), TextOf(control), width).cy));
}

bool Shown(HWND control) { return (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0; }

void AddHint(HWND window, HINSTANCE instance, HWND control, const char* hint) {
  HWND tips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance, nullptr);
  static std::wstring text = WideFromUtf8(hint);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text.data();
  SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The progress bar draws its position and, over it, the text the core gave it (its window text).
LRESULT CALLBACK BarWithText(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_SETTEXT) {
    const LRESULT result = DefSubclassProc(bar, message, wParam, lParam);
    InvalidateRect(bar, nullptr, TRUE);
    return result;
  }
  if (message != WM_PAINT) return DefSubclassProc(bar, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(bar, &paint);
  RECT room;
  GetClientRect(bar, &room);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP picture = CreateCompatibleBitmap(dc, room.right, room.bottom);
  HGDIOBJ previous = SelectObject(memory, picture);
  FillRect(memory, &room, GetSysColorBrush(COLOR_BTNFACE));
  DefSubclassProc(bar, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
  const int length = GetWindowTextLengthW(bar);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(bar, text.data(), length + 1);
  {
    const SelectedFont font(memory, FontOf(bar));
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(memory, text.c_str(), length, &room, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  BitBlt(dc, 0, 0, room.right, room.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteObject(picture);
  DeleteDC(memory);
  EndPaint(bar, &paint);
  return 0;
}

struct Metrics {
  int margin, iconSize, iconGap, lineSpacing, rowSpacing, panelMargin, labelGap;
  int normalLine, boldLine;
};

Metrics MetricsOf(const WindowFonts& fonts) {
  return Metrics{Scaled(fonts, kOuterMargin), Scaled(fonts, kIconSize),  Scaled(fonts, kIconGap),
                 Scaled(fonts, kLineSpacing), Scaled(fonts, kRowSpacing), Scaled(fonts, kPanelMargin),
                 Scaled(fonts, kLabelGap),    LineHeight(fonts.normal.get()), LineHeight(fonts.bold.get())};
}

int FieldHeight(const WindowFonts& fonts) { return LineHeight(fonts.normal.get()) + Scaled(fonts, kFieldPadding); }

int ComboFieldHeight(HWND combo) {
  RECT rect;
  GetWindowRect(combo, &rect);
  return rect.bottom - rect.top;
}

int SerialRowWidth(const MainControls& c, const WindowFonts& fonts, const Metrics& m) {
  const int edit = AverageCharWidth(fonts.normal.get()) * (kNewSerialNumberMax + 2) + Scaled(fonts, kFieldPadding);
  return LineWidth(c[Control::newSN]) + m.labelGap + edit;
}

// Where each control goes, computed once for measuring and for placing.
struct Placement {
  std::vector<std::pair<HWND, RECT>> rects;
  int bottom = 0;  // the foot of the panel: what the rows above the buttons need
  void Put(HWND control, int x, int y, int width, int height) {
    rects.push_back({control, RECT{x, y, x + width, y + height}});
  }
};

int PlaceHeader(const MainControls& c, const Metrics& m, int width, Placement& place) {
  const int textX = m.margin + m.iconSize + m.iconGap;
  const int textWidth = width - m.margin - textX;
  place.Put(c.image, m.margin, m.margin, m.iconSize, m.iconSize);
  place.Put(c[Control::userText1], textX, m.margin, textWidth, m.normalLine);
  place.Put(c[Control::userText2], textX, m.margin + m.normalLine + m.lineSpacing, textWidth, m.boldLine);
  return m.margin + std::max(m.iconSize, m.normalLine + m.lineSpacing + m.boldLine);
}

int PlacePanel(const MainControls& c, const WindowFonts& fonts, const Metrics& m, int width, int top,
               Placement& place) {
  const int left = m.margin + m.panelMargin;
  const int inner = width - 2 * left;
  int y = top + m.panelMargin;
  place.Put(c[Control::commLabel], left, y, inner, m.normalLine);
  y += m.normalLine + m.rowSpacing;
  const HWND combo = c[Control::cbCommPort];
  const int comboHeight = ComboFieldHeight(combo);
  const int itemHeight = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
  place.Put(combo, left, y, ComboWidth(combo, fonts), comboHeight + kDroppedItems * itemHeight);
  y += comboHeight + m.rowSpacing;
  const int statusLabelWidth = LineWidth(c.statusLabel);
  const int statusX = left + statusLabelWidth + m.labelGap;
  const int statusWidth = left + inner - statusX;
  const int statusHeight = WrappedHeight(c[Control::statusText], statusWidth);
  place.Put(c.statusLabel, left, y, statusLabelWidth, m.boldLine);
  place.Put(c[Control::statusText], statusX, y, statusWidth, statusHeight);
  y += std::max(m.boldLine, statusHeight) + m.rowSpacing;
  const HWND unfinished = c[Control::unfinishedLine];
  if (Shown(unfinished)) {
    const int height = WrappedHeight(unfinished, inner);
    place.Put(unfinished, left, y, inner, height);
    y += height + m.rowSpacing;
  }
  place.Put(c[Control::statusBar], left, y, inner, ProgressBarHeight(fonts));
  y += ProgressBarHeight(fonts) + m.rowSpacing;
  const int labelWidth = LineWidth(c[Control::newSN]);
  const int field = FieldHeight(fonts);
  place.Put(c[Control::newSN], left, y + (field - m.normalLine) / 2, labelWidth, m.normalLine);
  place.Put(c[Control::newSNstr], left + labelWidth + m.labelGap, y, inner - labelWidth - m.labelGap, field);
  y += field + m.panelMargin;
  place.Put(c.panel, m.margin, top, width - 2 * m.margin, y - top);
  return y;
}

// Everything but the buttons; the buttons sit at the foot of `height` (when known).
Placement PlaceAll(const MainControls& c, const WindowFonts& fonts, int width, int height) {
  const Metrics m = MetricsOf(fonts);
  Placement place;
  int y = PlaceHeader(c, m, width, place) + m.rowSpacing;
  place.Put(c[Control::lblConnect], m.margin, y, width - 2 * m.margin, m.boldLine);
  y += m.boldLine + m.rowSpacing;
  y = PlacePanel(c, fonts, m, width, y, place) + m.rowSpacing;
  const SIZE close = ButtonSize(c[Control::btnClose], fonts);
  const SIZE start = ButtonSize(c[Control::btnStart], fonts);
  const int buttonHeight = std::max(close.cy, start.cy);
  const int buttonTop = std::max(y, height - m.margin - buttonHeight);
  place.Put(c[Control::btnClose], m.margin, buttonTop, close.cx, buttonHeight);
  place.Put(c[Control::btnStart], width - m.margin - start.cx, buttonTop, start.cx, buttonHeight);
  place.bottom = y + buttonHeight + m.margin;
  return place;
}

}  // namespace

void CreateMainControls(HWND window, HINSTANCE instance, MainControls& c) {
  constexpr DWORD kLine = SS_LEFTNOWORDWRAP | SS_NOPREFIX | WS_VISIBLE;
  constexpr DWORD kWrapped = SS_LEFT | SS_NOPREFIX;
  c.image = Child(window, instance, WC_STATICW, SS_ICON | SS_REALSIZECONTROL | WS_VISIBLE, 0);
  c.byControl[Control::userText1] = Child(window, instance, WC_STATICW, kLine, ControlId(Control::userText1));
  c.byControl[Control::userText2] = Child(window, instance, WC_STATICW, kLine, ControlId(Control::userText2));
  c.byControl[Control::lblConnect] = Child(window, instance, WC_STATICW, kLine, ControlId(Control::lblConnect));
  c.panel = Child(window, instance, WC_STATICW, SS_ETCHEDFRAME | WS_VISIBLE, 0);
  c.byControl[Control::commLabel] = Child(window, instance, WC_STATICW, kLine, ControlId(Control::commLabel));
  const HWND combo = Child(window, instance, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_VISIBLE,
                           ControlId(Control::cbCommPort));
  c.byControl[Control::cbCommPort] = combo;
  AddHint(window, instance, combo, kPortHint);
  c.statusLabel = Child(window, instance, WC_STATICW, kLine, 0);
  SetWindowTextW(c.statusLabel, L"Status:");
  c.byControl[Control::statusText] = Child(window, instance, WC_STATICW, kWrapped, ControlId(Control::statusText));
  c.byControl[Control::unfinishedLine] =
      Child(window, instance, WC_STATICW, kWrapped, ControlId(Control::unfinishedLine));
  const HWND bar = Child(window, instance, PROGRESS_CLASSW, PBS_SMOOTH | WS_VISIBLE, ControlId(Control::statusBar));
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  SendMessageW(bar, PBM_SETSTEP, kProgressStep, 0);
  SetWindowSubclass(bar, BarWithText, 0, 0);
  c.byControl[Control::statusBar] = bar;
  c.byControl[Control::newSN] = Child(window, instance, WC_STATICW, SS_LEFTNOWORDWRAP, ControlId(Control::newSN));
  SetWindowTextW(c[Control::newSN], L"New Serial Number");
  const HWND serial = Child(window, instance, WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, ControlId(Control::newSNstr),
                            WS_EX_CLIENTEDGE);
  SendMessageW(serial, EM_SETLIMITTEXT, kNewSerialNumberMax, 0);
  c.byControl[Control::newSNstr] = serial;
  c.byControl[Control::btnClose] =
      Child(window, instance, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, ControlId(Control::btnClose));
  SetWindowTextW(c[Control::btnClose], L"Close");
  c.byControl[Control::btnStart] =
      Child(window, instance, WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE, ControlId(Control::btnStart));
  SetWindowTextW(c[Control::btnStart], L"Start");
}

void ApplyMainFonts(MainControls& c, HINSTANCE instance, const WindowFonts& fonts) {
  const auto setFont = [](HWND control, HFONT font) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  };
  for (const auto& [control, handle] : c.byControl) setFont(handle, fonts.normal.get());
  for (const Control bold : {Control::userText2, Control::lblConnect, Control::cbCommPort}) {
    setFont(c[bold], fonts.bold.get());
  }
  setFont(c.statusLabel, fonts.bold.get());
  const int size = Scaled(fonts, kIconSize);
  c.picture.reset(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  SendMessageW(c.image, STM_SETICON, reinterpret_cast<WPARAM>(c.picture.get()), 0);
}

SIZE ButtonSize(HWND button, const WindowFonts& fonts) {
  SIZE ideal{0, 0};
  if (!SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) {
    ideal = TextSize(FontOf(button), TextOf(button));
    ideal.cx += Scaled(fonts, kButtonPadding) * 2;
  }
  const int height = LineHeight(fonts.normal.get()) + Scaled(fonts, kButtonPadding);
  return SIZE{std::max(ideal.cx, static_cast<LONG>(Scaled(fonts, kButtonMinimumWidth))),
              std::max(ideal.cy, static_cast<LONG>(height))};
}

int ComboWidth(HWND combo, const WindowFonts& fonts) {
  const HFONT font = FontOf(combo);
  int widest = 0;
  const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const int length = static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
    std::wstring item(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<size_t>(std::max(length, 0)));
    widest = std::max(widest, static_cast<int>(TextSize(font, Utf8FromWide(item)).cx));
  }
  const int arrow = GetSystemMetricsForDpi(SM_CXVSCROLL, fonts.dpi);
  const int edges = 4 * GetSystemMetricsForDpi(SM_CXEDGE, fonts.dpi);
  return widest + arrow + edges + Scaled(fonts, kComboPadding);
}

int ProgressBarHeight(const WindowFonts& fonts) { return FieldHeight(fonts); }

int NaturalClientWidth(const MainControls& c, const WindowFonts& fonts) {
  const Metrics m = MetricsOf(fonts);
  const int header = m.iconSize + m.iconGap + std::max(LineWidth(c[Control::userText1]), LineWidth(c[Control::userText2]));
  const int connect = LineWidth(c[Control::lblConnect]);
  const int status = LineWidth(c.statusLabel) + m.labelGap + AverageCharWidth(fonts.normal.get()) * kStatusMinimumChars;
  const int panelInner = std::max({LineWidth(c[Control::commLabel]), ComboWidth(c[Control::cbCommPort], fonts), status,
                                   SerialRowWidth(c, fonts, m)});
  const int buttons = ButtonSize(c[Control::btnClose], fonts).cx + m.margin + ButtonSize(c[Control::btnStart], fonts).cx;
  const int contents = std::max({header, connect, panelInner + 2 * m.panelMargin, buttons});
  return std::max(Scaled(fonts, kClassicClientWidth), contents + 2 * m.margin);
}

int NeededClientHeight(const MainControls& c, const WindowFonts& fonts, int width) {
  return std::max(Scaled(fonts, kClassicClientHeight), PlaceAll(c, fonts, width, 0).bottom);
}

void PlaceMainControls(const MainControls& c, const WindowFonts& fonts, SIZE client) {
  const Placement place = PlaceAll(c, fonts, client.cx, client.cy);
  HDWP moves = BeginDeferWindowPos(static_cast<int>(place.rects.size()));
  for (const auto& [control, rect] : place.rects) {
    if (moves == nullptr) break;
    moves = DeferWindowPos(moves, control, nullptr, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (moves != nullptr) EndDeferWindowPos(moves);
  InvalidateRect(GetParent(c.image), nullptr, TRUE);
}
