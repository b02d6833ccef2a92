// What an update sequence may do to the person in front of it. The window
// implements it with widgets and message boxes, the command line with a
// progress bar, stderr and prompts, tests with a scripted recorder.
#pragma once

#include <string>
#include <vector>

#include "app/box_kinds.h"

constexpr int kChoseNone = -1;

struct UpdateUi {
  virtual ~UpdateUi() = default;

  // The status line: shows the stage text, repaints and processes pending events.
  virtual void stage(const std::string& text) = 0;
  // A word about the run that is not a stage (the settings of an unfinished update are
  // used, say): the window shows it in the status line, the command line prints it.
  virtual void note(const std::string& text) { stage(text); }
  // Hides the status line (a run that failed).
  virtual void hideStage() = 0;
  // The progress bar, 0 to 100.
  virtual void setBar(int position) = 0;
  virtual int bar() const = 0;
  // The bar moved by the upload's progress: a front end may tell the time left from it.
  virtual void uploadBar(int position) { setBar(position); }
  // The instruction line above the port selector.
  virtual void setInstruction(const std::string& text) = 0;
  // A modal box with the single button OK. The caller logs the text afterwards.
  virtual void box(const std::string& text, const std::string& title, int kind) = 0;
  // An OK/Cancel question with the exclamation icon: true for OK.
  virtual bool ask(const std::string& text, const std::string& title) = 0;
  // Which of several settings files a device's own is, where only the person can tell: the
  // index of the option picked, or kChoseNone for `none`, which is the default and the safe
  // answer. A front end that cannot ask answers kChoseNone.
  virtual int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                     const std::string& none) {
    (void)text, (void)title, (void)options, (void)none;
    return kChoseNone;
  }
  // The system's "done" sound after a successful run.
  virtual void success() = 0;
  // The busy cursor on or off.
  virtual void busy(bool on) = 0;
  // Repaint and process pending events.
  virtual void pump() = 0;

  // Whether the person asked the run to stop (Ctrl+C at the command line). The sequences
  // ask only where stopping leaves the device in a state the next run takes up.
  virtual bool stopRequested() const { return false; }
  // The stretch that follows cannot stop; the text says so to a person who asks. Empty: the
  // run can stop again.
  virtual void holdStop(const std::string&) {}
  // The run stopped at the person's request; the text is the state the device is left in.
  virtual void stopped(const std::string& state) { note(state); }
};
