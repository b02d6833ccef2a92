// The window as the person in front of an update run sees it: the status line,
// the progress bar, the instruction line and the window's boxes. Used on the
// window's thread only; a run on its own thread reaches it through WindowRunUi.
#pragma once

#include "app/update_ui.h"
#include "window/progress_display.h"

struct WindowDialogs;
struct WindowView;

struct WindowUi : UpdateUi {
  WindowUi(WindowView& view, WindowDialogs& dialogs);
  ~WindowUi() override;
  WindowUi(const WindowUi&) = delete;
  WindowUi& operator=(const WindowUi&) = delete;

  void stage(const std::string& text) override;
  void hideStage() override;
  void setBar(int position) override;
  void uploadBar(int position) override;
  int bar() const override;
  void setInstruction(const std::string& text) override;
  void box(const std::string& text, const std::string& title, int kind) override;
  bool ask(const std::string& text, const std::string& title) override;
  int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
             const std::string& none) override;
  void success() override;
  void busy(bool on) override;
  // The window's own event loop repaints and dispatches: nothing to do here.
  void pump() override {}

 private:
  void ShowProgress();

  WindowView& view_;
  WindowDialogs& dialogs_;
  bool busy_ = false;
  ProgressDisplay progress_;
};
