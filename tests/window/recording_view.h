// The window's controls as a record: what the core last set on each, and what it
// asked of the window. Used on the window's thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "window/window_core.h"
#include "window/window_view.h"

struct RecordingView : WindowView {
  RecordingView() {
    // As a face starts: the run's lines and the serial number row hidden, Start the default.
    for (const Control hidden : {Control::statusText, Control::unfinishedLine, Control::newSN, Control::newSNstr}) {
      visible[hidden] = false;
    }
    for (const MenuEntry& row : MenuTable()) menu[row.id] = row.start;
  }

  void setText(Control control, const std::string& text) override { texts[control] = text; }
  std::string text(Control control) const override { return Text(control); }
  void setVisible(Control control, bool shown) override { visible[control] = shown; }
  void setEnabled(Control control, bool on) override { enabled[control] = on; }
  void setFocus(Control control) override { focused.push_back(control); }
  void setDefaultButton(Control button) override { defaultButton = button; }
  void setPorts(const std::vector<std::string>& labels, int selected) override {
    ports = labels;
    selectedPort = selected;
  }
  void setProgress(int position, const std::string& text) override {
    bar = position;
    barText = text;
  }
  void setMenuItem(MenuId id, const MenuState& state) override { menu[id] = state; }
  void setMenuCaption(MenuId id, const std::string& caption) override { captions[id] = caption; }
  void setTitles(const std::string& window, const std::string& application) override {
    title = window;
    applicationTitle = application;
  }
  void beep(int kind) override { beeps.push_back(kind); }
  void setBusyCursor(bool on) override { busy = on; }
  // As a face's close box: through the core's close guard.
  void closeWindow() override {
    ++closeRequests;
    if (core != nullptr && core->closeRequested()) closed = true;
  }

  std::string Text(Control control) const {
    const auto found = texts.find(control);
    return found == texts.end() ? std::string() : found->second;
  }
  bool Visible(Control control) const {
    const auto found = visible.find(control);
    return found == visible.end() || found->second;
  }
  bool Enabled(Control control) const {
    const auto found = enabled.find(control);
    return found == enabled.end() || found->second;
  }
  std::string PortShown() const {
    return selectedPort >= 0 && selectedPort < static_cast<int>(ports.size()) ? ports[selectedPort] : std::string();
  }

  WindowCore* core = nullptr;
  std::map<Control, std::string> texts;
  std::map<Control, bool> visible;
  std::map<Control, bool> enabled;
  std::vector<Control> focused;
  Control defaultButton = Control::btnStart;
  std::vector<std::string> ports;
  int selectedPort = -1;
  int bar = 0;
  std::string barText;
  std::map<MenuId, MenuState> menu;
  std::map<MenuId, std::string> captions;
  std::string title;
  std::string applicationTitle;
  std::vector<int> beeps;
  bool busy = false;
  int closeRequests = 0;
  bool closed = false;
};
