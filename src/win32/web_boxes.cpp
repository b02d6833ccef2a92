#include "win32/web_boxes.h"

#include <shellapi.h>

#include "win32/centred_box.h"
#include "win32/main_window_dialogs.h"
#include "window/window_dialogs.h"

namespace {

// ShellExecute's result above this is success.
constexpr INT_PTR kShellSucceededAbove = 32;

// "Any File Type (*)" becomes the system's "Any File Type (*.*)".
FileFilter FilterOf(const std::string& filter) {
  const size_t open = filter.find(" (");
  if (open == std::string::npos) return FileFilter{filter, "*"};
  std::string pattern = filter.substr(open + 2, filter.size() - open - 3);
  return FileFilter{filter.substr(0, open), pattern};
}

}  // namespace

bool Win32WebBoxes::AskUser(const std::string& text, const std::string& caption, bool yesNo, int kind) {
  // Every box of the web services has an icon: an unknown kind is a warning.
  const UINT icon = IconOfKind(kind) != 0 ? IconOfKind(kind) : MB_ICONEXCLAMATION;
  return CentredMessageBox(owner_, text, caption, (yesNo ? MB_YESNO : MB_OK) | icon) == IDYES;
}

bool Win32WebBoxes::OpenUrl(const std::string& url) {
  const HINSTANCE result = ShellExecuteW(owner_, L"open", WideFromUtf8(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > kShellSucceededAbove;
}

std::string Win32WebBoxes::ChooseFile(const std::string& title, const std::string& folder, const std::string& filter) {
  Win32Dialogs dialogs(owner_);
  return dialogs.openFile(FileRequest{title, folder, {FilterOf(filter)}, {}});
}
