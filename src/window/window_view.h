// What the window core may do to the controls. A face (the Qt widgets, later the
// native Windows controls) creates the controls, lays them out from its fonts and
// implements this; it keeps no state of its own that the core needs.
#pragma once

#include <string>
#include <vector>

#include "window/menu_table.h"

// The window's controls, by the form's own names.
enum class Control {
  userText1,       // "This utility updates ... firmware to"
  userText2,       // the held image's label (bold)
  lblConnect,      // the instruction line (bold)
  commLabel,       // above the port selector
  cbCommPort,      // the port selector
  statusText,      // the stage of a run; hidden when idle
  unfinishedLine,  // a failed run's kept settings wait for the next Start
  statusBar,       // the progress bar
  newSN,           // "New Serial Number" (factory mode)
  newSNstr,        // its edit box, at most 15 characters
  btnStart,
  btnClose,
};

enum class Key { kEscape, kEnter };

struct WindowView {
  virtual ~WindowView() = default;

  virtual void setText(Control control, const std::string& text) = 0;
  // What the person typed into an edit box (newSNstr).
  virtual std::string text(Control control) const = 0;
  virtual void setVisible(Control control, bool shown) = 0;
  virtual void setEnabled(Control control, bool on) = 0;
  virtual void setFocus(Control control) = 0;
  // The button Enter presses: btnStart or btnClose.
  virtual void setDefaultButton(Control button) = 0;
  // The port selector's entries and the one shown.
  virtual void setPorts(const std::vector<std::string>& labels, int selected) = 0;
  // The progress bar: its position (0 to 100) and the text it shows.
  virtual void setProgress(int position, const std::string& text) = 0;
  virtual void setMenuItem(MenuId id, const MenuState& state) = 0;
  virtual void setMenuCaption(MenuId id, const std::string& caption) = 0;
  // The window's title bar and the application's own title (the task bar's).
  virtual void setTitles(const std::string& window, const std::string& application) = 0;
  // The system sound of a box kind (kBoxInformation: the "done" sound).
  virtual void beep(int kind) = 0;
  virtual void setBusyCursor(bool busy) = 0;
  // Closes the window as its close box does: the face asks WindowCore::closeRequested first.
  virtual void closeWindow() = 0;
};
