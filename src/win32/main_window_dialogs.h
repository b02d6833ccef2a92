// The window's boxes and file dialogs in Win32: message boxes centred on the window,
// the choice among settings files, and the system's open and save dialogs.
#pragma once

#include "log/win32_text.h"
#include "window/window_dialogs.h"

class Win32Dialogs : public WindowDialogs {
 public:
  explicit Win32Dialogs(HWND owner) : owner_(owner) {}

  void box(const std::string& text, const std::string& title, int kind) override;
  bool ask(const std::string& text, const std::string& title) override;
  int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
             const std::string& none) override;
  std::string openFile(const FileRequest& request) override;
  std::string saveFile(const FileRequest& request) override;

 private:
  HWND owner_;
};

// The icon flag of a box kind (app/box_kinds.h); 0 for a plain box.
UINT IconOfKind(int kind);

// The choice dialog (choice_dialog.cpp): `none` first and chosen; the option's index or kChoseNone.
int ChooseInDialog(HWND owner, const std::string& text, const std::string& title,
                   const std::vector<std::string>& options, const std::string& none);
