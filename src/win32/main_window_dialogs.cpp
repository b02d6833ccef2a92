#include "win32/main_window_dialogs.h"

#include <commdlg.h>

#include "app/box_kinds.h"
#include "win32/centred_box.h"

namespace {

constexpr DWORD kPathChars = 32768;

// The system's filter: "Firmware File (*.txt)", "*.txt", ..., each ended by a null.
std::wstring FilterOf(const std::vector<FileFilter>& filters) {
  std::wstring filter;
  for (const FileFilter& each : filters) {
    const std::string pattern = each.pattern == "*" ? "*.*" : each.pattern;
    filter += WideFromUtf8(each.name + " (" + pattern + ")");
    filter.push_back(L'\0');
    filter += WideFromUtf8(pattern);
    filter.push_back(L'\0');
  }
  filter.push_back(L'\0');
  return filter;
}

std::string RunFileDialog(HWND owner, const FileRequest& request, bool open) {
  std::wstring path(kPathChars, L'\0');
  const std::wstring title = WideFromUtf8(request.title);
  const std::wstring folder = WideFromUtf8(request.folder);
  const std::wstring filter = FilterOf(request.filters);
  const std::wstring suffix = WideFromUtf8(request.defaultSuffix);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = request.filters.empty() ? nullptr : filter.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = kPathChars;
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING | OFN_EXPLORER | OFN_NOCHANGEDIR;
  // Open needs an existing file; a save over one asks first, so no file is lost unasked.
  dialog.Flags |= open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT;
  const BOOL chosen = open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
  if (!chosen) return {};
  path.resize(wcsnlen(path.c_str(), path.size()));
  return Utf8FromWide(path);
}

}  // namespace

UINT IconOfKind(int kind) {
  switch (kind) {
    case kBoxWarning: return MB_ICONEXCLAMATION;
    case kBoxError: return MB_ICONHAND;
    case kBoxInformation: return MB_ICONASTERISK;
    case kBoxConfirmation: return MB_ICONQUESTION;
    default: return 0;
  }
}

void Win32Dialogs::box(const std::string& text, const std::string& title, int kind) {
  CentredMessageBox(owner_, text, title, MB_OK | IconOfKind(kind));
}

bool Win32Dialogs::ask(const std::string& text, const std::string& title) {
  return CentredMessageBox(owner_, text, title, MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

int Win32Dialogs::choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                         const std::string& none) {
  MessageBeep(MB_ICONQUESTION);
  return ChooseInDialog(owner_, text, title, options, none);
}

std::string Win32Dialogs::openFile(const FileRequest& request) { return RunFileDialog(owner_, request, true); }

std::string Win32Dialogs::saveFile(const FileRequest& request) { return RunFileDialog(owner_, request, false); }
