// A message box whose text is taller than the screen: the system's box would run off it,
// so this one shows the text in a read-only field that scrolls, with the kind's icon and
// the same buttons, and keeps within the work area.
#include "log/win32_text.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "win32/built_dialog.h"
#include "win32/centred_box.h"
#include "win32/window_fonts.h"

namespace {

constexpr int kMargin = 11;
constexpr int kSpacing = 7;
constexpr int kTextColumns = 80;         // the width the text is wrapped at, in characters
constexpr int kScreenWidthShare = 75;    // percent of the work area's width the text may take
constexpr int kScreenHeightShare = 70;   // percent of its height the text may take
constexpr int kButtonWidth = 75;
constexpr int kButtonPadding = 10;

struct Button {
  int id;
  const wchar_t* text;
};

struct TallBox {
  std::string text;
  std::string title;
  UINT flags = 0;
  WindowFonts fonts;
};

std::vector<Button> ButtonsOf(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, L"OK"}, {IDCANCEL, L"Cancel"}};
    case MB_YESNO: return {{IDYES, L"&Yes"}, {IDNO, L"&No"}};
    default: return {{IDOK, L"OK"}};
  }
}

LPCWSTR IconOf(UINT flags) {
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND: return IDI_HAND;
    case MB_ICONQUESTION: return IDI_QUESTION;
    case MB_ICONEXCLAMATION: return IDI_EXCLAMATION;
    case MB_ICONASTERISK: return IDI_ASTERISK;
    default: return nullptr;
  }
}

HWND Make(HWND dialog, const wchar_t* kind, DWORD style, int id, const TallBox& box) {
  return MakeDialogControl(dialog, kind, style, id, box.fonts.normal.get());
}

void LayOut(HWND dialog, TallBox& box) {
  const WindowFonts& fonts = box.fonts;
  const RECT area = WorkAreaOf(GetWindow(dialog, GW_OWNER));
  const int margin = Scaled(fonts, kMargin);
  const int spacing = Scaled(fonts, kSpacing);
  const int scrollBar = GetSystemMetricsForDpi(SM_CXVSCROLL, fonts.dpi);
  int x = margin;
  if (const LPCWSTR icon = IconOf(box.flags)) {
    const HWND picture = Make(dialog, WC_STATICW, SS_ICON, 0, box);
    SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon)), 0);
    const int size = GetSystemMetricsForDpi(SM_CXICON, fonts.dpi);
    MoveWindow(picture, margin, margin, size, size, FALSE);
    x += size + spacing;
  }
  const int width = std::min(AverageCharWidth(fonts.normal.get()) * kTextColumns,
                             static_cast<int>(area.right - area.left) * kScreenWidthShare / 100);
  const int needed = TextSize(fonts.normal.get(), box.text, width - scrollBar).cy;
  const int height = std::min(needed, static_cast<int>(area.bottom - area.top) * kScreenHeightShare / 100);
  // The field shows the text as the box would, line ends as the system writes them.
  std::wstring shown;
  for (const wchar_t c : WideFromUtf8(box.text)) {
    if (c == L'\n') shown += L'\r';
    shown += c;
  }
  const HWND text = Make(dialog, WC_EDITW, ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_TABSTOP, 0, box);
  SetWindowTextW(text, shown.c_str());
  MoveWindow(text, x, margin, width, height, FALSE);

  const std::vector<Button> buttons = ButtonsOf(box.flags);
  const int buttonWidth = Scaled(fonts, kButtonWidth);
  const int buttonHeight = LineHeight(fonts.normal.get()) + Scaled(fonts, kButtonPadding);
  const int top = margin + height + spacing;
  int left = x + width - static_cast<int>(buttons.size()) * (buttonWidth + spacing) + spacing;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const HWND button = Make(dialog, WC_BUTTONW, (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP,
                             buttons[i].id, box);
    SetWindowTextW(button, buttons[i].text);
    MoveWindow(button, left, top, buttonWidth, buttonHeight, FALSE);
    left += buttonWidth + spacing;
    if (i == 0) SetFocus(button);
  }
  FitDialogToClient(dialog, x + width + margin, top + buttonHeight + margin, fonts.dpi);
}

INT_PTR CALLBACK TallBoxProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* box = reinterpret_cast<TallBox*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, static_cast<LONG_PTR>(box->flags));
      box->fonts = MakeWindowFonts(GetDpiForWindow(dialog));
      SetWindowTextW(dialog, WideFromUtf8(box->title).c_str());
      LayOut(dialog, *box);
      CentreWindowOn(dialog, GetWindow(dialog, GW_OWNER));
      ObserveBox(dialog);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDOK || id == IDCANCEL || id == IDYES || id == IDNO) {
        // Escape and the close box answer as the box's last button does (Cancel, No, or OK alone).
        const std::vector<Button> buttons = ButtonsOf(static_cast<UINT>(GetWindowLongPtrW(dialog, DWLP_USER)));
        EndDialog(dialog, id == IDCANCEL ? buttons.back().id : id);
        return TRUE;
      }
      return FALSE;
    }
    default: return FALSE;
  }
}

}  // namespace

int ScrollingMessageBox(HWND owner, const std::string& text, const std::string& title, UINT flags) {
  TallBox box{text, title, flags, {}};
  const INT_PTR pressed = RunBuiltDialog(owner, TallBoxProcedure, reinterpret_cast<LPARAM>(&box));
  return pressed > 0 ? static_cast<int>(pressed) : IDCANCEL;
}
