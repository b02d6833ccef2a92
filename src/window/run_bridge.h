// The window's side of an update run that works on a thread of its own, so that
// nothing the window does (a box opened from a menu, a window being dragged)
// holds up the conversation with the device. Every call the run makes on the
// person in front of it is carried to the window's thread in the order it was
// made; a box or a question holds the run until the person has answered it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "app/update_ui.h"

struct WindowClock;

struct RunGate {
  std::mutex lock;
  std::condition_variable answered;
  bool abandoned = false;  // the window is going away: nothing more is carried to it
};

class WindowRunUi : public UpdateUi {
 public:
  // clock: the way to the window's thread; windowUi: what shows the run there.
  WindowRunUi(WindowClock& clock, UpdateUi& windowUi);

  void stage(const std::string& text) override;
  void note(const std::string& text) override;
  void hideStage() override;
  void setBar(int position) override;
  void uploadBar(int position) override;
  int bar() const override { return position_.load(); }
  void setInstruction(const std::string& text) override;
  void box(const std::string& text, const std::string& title, int kind) override;
  bool ask(const std::string& text, const std::string& title) override;
  int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
             const std::string& none) override;
  void success() override;
  void busy(bool on) override;
  // The window's thread keeps its own events going: the run has nothing to dispatch.
  void pump() override {}

  // From the window's thread, when it goes away during a run: boxes are passed by and
  // questions answered Cancel, so the run comes to its end without the window.
  void Abandon();

 private:
  void Post(std::function<void(UpdateUi&)> call);
  bool WaitFor(std::function<bool(UpdateUi&)> call);

  WindowClock& clock_;
  UpdateUi& windowUi_;
  std::shared_ptr<RunGate> gate_ = std::make_shared<RunGate>();
  std::atomic<int> position_{0};
};
