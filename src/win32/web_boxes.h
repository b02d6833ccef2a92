// The web services' questions and messages as message boxes centred on the main window,
// the browser through the shell's "open", and the system's open-file dialog.
#pragma once

#include "log/win32_text.h"
#include "web/web_ui.h"

class Win32WebBoxes : public WebUi {
 public:
  explicit Win32WebBoxes(HWND owner) : owner_(owner) {}

  bool AskUser(const std::string& text, const std::string& caption, bool yesNo, int kind) override;
  bool OpenUrl(const std::string& url) override;
  std::string ChooseFile(const std::string& title, const std::string& folder, const std::string& filter) override;

 private:
  HWND owner_;
};
