// The question of whose settings a device gets: the text, the options in a list that
// wraps them and scrolls when there are more than the screen holds, and OK. The first
// entry is `none`, chosen until the person picks another; closing the dialog is none too.
#include "log/win32_text.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/update_ui.h"
#include "win32/built_dialog.h"
#include "win32/centred_box.h"
#include "win32/main_window_dialogs.h"
#include "win32/window_fonts.h"

namespace {

constexpr int kTextColumns = 80;       // the width the text is wrapped at, in characters
constexpr int kScreenWidthShare = 60;  // percent of the work area's width the dialog may take
constexpr int kScreenHeightShare = 35;  // percent of its height the text, and the list, may take
constexpr int kMargin = 11;
constexpr int kSpacing = 7;
constexpr int kItemPadding = 4;
constexpr int kListId = 100;

struct Choice {
  std::string text;
  std::string title;
  std::vector<std::string> entries;  // none first
  WindowFonts fonts;
  HWND list = nullptr;
  int itemWidth = 0;
};

HWND Make(HWND dialog, const wchar_t* kind, DWORD style, int id, const Choice& choice) {
  return MakeDialogControl(dialog, kind, style, id, choice.fonts.normal.get());
}

void LayOut(HWND dialog, Choice& choice) {
  const WindowFonts& fonts = choice.fonts;
  const RECT area = WorkAreaOf(dialog);
  const int areaWidth = area.right - area.left;
  const int areaHeight = area.bottom - area.top;
  const int margin = Scaled(fonts, kMargin);
  const int spacing = Scaled(fonts, kSpacing);
  const int scrollBar = GetSystemMetricsForDpi(SM_CXVSCROLL, fonts.dpi);
  const int width = std::min(AverageCharWidth(fonts.normal.get()) * kTextColumns, areaWidth * kScreenWidthShare / 100);
  const int most = areaHeight * kScreenHeightShare / 100;

  const HWND text = Make(dialog, L"EDIT", ES_MULTILINE | ES_READONLY | WS_VSCROLL, 0, choice);
  SetWindowTextW(text, WideFromUtf8(choice.text).c_str());
  const int textHeight = std::min(static_cast<int>(TextSize(fonts.normal.get(), choice.text, width - scrollBar).cy), most);
  ShowScrollBar(text, SB_VERT, TextSize(fonts.normal.get(), choice.text, width - scrollBar).cy > most);
  MoveWindow(text, margin, margin, width, textHeight, FALSE);

  const int listTop = margin + textHeight + spacing;
  choice.list = Make(dialog, L"LISTBOX",
                     LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
                     kListId, choice);
  choice.itemWidth = width - scrollBar - 2 * GetSystemMetricsForDpi(SM_CXBORDER, fonts.dpi) -
                     2 * Scaled(fonts, kItemPadding);
  MoveWindow(choice.list, margin, listTop, width, most, FALSE);
  int rows = 2 * GetSystemMetricsForDpi(SM_CYBORDER, fonts.dpi);
  for (const std::string& entry : choice.entries) {
    SendMessageW(choice.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(entry).c_str()));
    rows += TextSize(fonts.normal.get(), entry, choice.itemWidth).cy + 2 * Scaled(fonts, kItemPadding);
  }
  SendMessageW(choice.list, LB_SETCURSEL, 0, 0);
  const int listHeight = std::min(rows, most);
  MoveWindow(choice.list, margin, listTop, width, listHeight, FALSE);

  const HWND ok = Make(dialog, L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, choice);
  SetWindowTextW(ok, L"OK");
  SIZE button{0, 0};
  SendMessageW(ok, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&button));
  button.cx = std::max(button.cx, static_cast<LONG>(Scaled(fonts, 75)));
  button.cy = std::max(button.cy, static_cast<LONG>(LineHeight(fonts.normal.get()) + Scaled(fonts, 10)));
  const int buttonTop = listTop + listHeight + spacing;
  MoveWindow(ok, margin + width - button.cx, buttonTop, button.cx, button.cy, FALSE);

  FitDialogToClient(dialog, width + 2 * margin, buttonTop + button.cy + margin, fonts.dpi);
  SetFocus(choice.list);
}

void MeasureItem(const Choice& choice, MEASUREITEMSTRUCT& item) {
  const std::string& entry = choice.entries.at(item.itemID);
  const int padding = 2 * Scaled(choice.fonts, kItemPadding);
  item.itemHeight = static_cast<UINT>(TextSize(choice.fonts.normal.get(), entry, choice.itemWidth).cy + padding);
}

void DrawItem(const Choice& choice, const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT room = item.rcItem;
  InflateRect(&room, -Scaled(choice.fonts, kItemPadding), -Scaled(choice.fonts, kItemPadding));
  const std::wstring text = WideFromUtf8(choice.entries.at(item.itemID));
  const SelectedFont font(item.hDC, choice.fonts.normal.get());
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &room, DT_WORDBREAK | DT_NOPREFIX);
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
}

INT_PTR CALLBACK ChoiceProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* choice = reinterpret_cast<Choice*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      choice = reinterpret_cast<Choice*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      choice->fonts = MakeWindowFonts(GetDpiForWindow(dialog));
      SetWindowTextW(dialog, WideFromUtf8(choice->title).c_str());
      LayOut(dialog, *choice);
      CentreWindowOn(dialog, GetWindow(dialog, GW_OWNER));
      ObserveBox(dialog);
      return FALSE;  // the focus is set
    }
    case WM_MEASUREITEM:
      if (choice == nullptr || choice->list == nullptr) return FALSE;
      MeasureItem(*choice, *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_DRAWITEM:
      DrawItem(*choice, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || (LOWORD(wParam) == kListId && HIWORD(wParam) == LBN_DBLCLK)) {
        EndDialog(dialog, SendMessageW(choice->list, LB_GETCURSEL, 0, 0));
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace

int ChooseInDialog(HWND owner, const std::string& text, const std::string& title,
                   const std::vector<std::string>& options, const std::string& none) {
  Choice choice;
  choice.text = text;
  choice.title = title;
  choice.entries.push_back(none);
  choice.entries.insert(choice.entries.end(), options.begin(), options.end());
  const INT_PTR picked = RunBuiltDialog(owner, ChoiceProcedure, reinterpret_cast<LPARAM>(&choice));
  // Entry 0 is "none of these"; a dialog that failed to come up chose nothing too.
  return picked > 0 ? static_cast<int>(picked) - 1 : kChoseNone;
}
