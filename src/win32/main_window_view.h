// The core's view of the native window: texts, visibility, the port list, the bar,
// the menus and the cursor, each handed to the controls as the core says.
#pragma once

#include "window/window_view.h"

class Win32MainWindow;

class Win32WindowView : public WindowView {
 public:
  explicit Win32WindowView(Win32MainWindow& window) : window_(window) {}

  void setText(Control control, const std::string& text) override;
  std::string text(Control control) const override;
  void setVisible(Control control, bool shown) override;
  void setEnabled(Control control, bool on) override;
  void setFocus(Control control) override;
  void setDefaultButton(Control button) override;
  void setPorts(const std::vector<std::string>& labels, int selected) override;
  void setProgress(int position, const std::string& text) override;
  void setMenuItem(MenuId id, const MenuState& state) override;
  void setMenuCaption(MenuId id, const std::string& caption) override;
  void setTitles(const std::string& window, const std::string& application) override;
  void beep(int kind) override;
  void setBusyCursor(bool busy) override;
  void closeWindow() override;

 private:
  struct HWND__* Handle(Control control) const;

  Win32MainWindow& window_;
};

// The system sound of a box kind (app/box_kinds.h), as MessageBeep plays it.
unsigned int SoundOfKind(int kind);
