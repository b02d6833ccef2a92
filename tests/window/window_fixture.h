// The window core under test: a recording view, dialogs, clock, platform and web
// services, a throw-away data folder and ports the test lists. The test's thread
// plays the window's: it ticks the timers and runs what a run posts.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/platform.h"
#include "test_folder.h"
#include "window/recording_clock.h"
#include "window/recording_dialogs.h"
#include "window/recording_platform.h"
#include "window/recording_view.h"
#include "window/recording_web.h"
#include "window/window_core.h"

inline constexpr char kCaption[] = "Pelloran TGX Firmware Updater";
inline constexpr char kModel[] = "Pelloran TGX";
inline constexpr int kWaitMs = 5000;

class WindowCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dataDir_ = FreshTestFolder("vorn_window_");
    platform_.variables["VORNBSL_DATA_DIR"] = DataFolder();
  }
  void TearDown() override {
    Close();
    std::error_code ignored;
    std::filesystem::remove_all(dataDir_, ignored);
  }

  // A window as a face makes it, not yet shown.
  WindowCore& Create(std::vector<std::string> arguments = {"vornbsl"}, const BuiltInImage* image = nullptr) {
    Close();
    platform_.commandLine = std::move(arguments);
    view_ = std::make_unique<RecordingView>();
    clock_ = std::make_unique<RecordingClock>();
    WindowOptions options{image, [this](const SerialPort&, std::vector<CommPortEntry>* table, int* count, bool force) {
                            return ListPorts(table, count, force);
                          }};
    core_ = std::make_unique<WindowCore>(WindowSeams{*view_, dialogs_, *clock_, platform_}, options);
    core_->SetWeb(&web_);
    view_->core = core_.get();
    return *core_;
  }
  WindowCore& Open(std::vector<std::string> arguments = {"vornbsl"}, const BuiltInImage* image = nullptr) {
    Create(std::move(arguments), image).shown();
    return *core_;
  }
  // The window goes away (the application quits), as a face destroys it.
  void Close() {
    core_.reset();
    clock_.reset();
    view_.reset();
  }

  // The ports the system lists from now on, each labelled as a plain port.
  void SetPorts(const std::vector<std::string>& names) {
    ports_.clear();
    for (const std::string& name : names) ports_.push_back(CommPortEntry{name, Label(name)});
  }
  static std::string Label(const std::string& name) { return name + " Communications Port"; }

  // A started timer ticks.
  void Tick(TimerId id) {
    ASSERT_TRUE(clock_->Active(id)) << TimerName(id);
    core_->timer(id);
  }
  // The window's thread runs what was posted to it until `done` holds.
  bool WaitFor(const std::function<bool()>& done, int ms = kWaitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      if (clock_->Pump() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // The start timer's tick runs the run; the window is idle again when this returns.
  void RunToEnd() {
    Tick(TimerId::timerStart);
    ASSERT_TRUE(WaitFor([&] { return !core_->RunActive(); }));
  }
  // From a run's own thread: call runs on the window's thread, and this waits for it.
  void OnWindowThread(const std::function<void()>& call) {
    std::promise<void> done;
    clock_->post([&] {
      call();
      done.set_value();
    });
    done.get_future().wait();
  }

  std::string DataFolder() const { return Utf8FromPath(dataDir_); }
  std::string DataPath(const std::string& name) const { return DataFolder() + "/" + name; }
  std::string ReadFile(const std::string& path) const {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string WriteFile(const std::string& name, const std::string& contents) const {
    const std::string path = DataPath(name);
    std::ofstream(PathFromUtf8(path), std::ios::binary) << contents;
    return path;
  }
  std::string ErrorFileText() const { return ReadFile(DataPath(std::string(kCaption) + ".errors.txt")); }

  std::filesystem::path dataDir_;
  RecordingDialogs dialogs_;
  RecordingPlatform platform_;
  RecordingWeb web_;
  std::unique_ptr<RecordingView> view_;
  std::unique_ptr<RecordingClock> clock_;
  std::unique_ptr<WindowCore> core_;
  std::vector<CommPortEntry> ports_;
  std::vector<bool> listings_;  // each listing's "force find all ports"

 private:
  int ListPorts(std::vector<CommPortEntry>* table, int* count, bool force) {
    listings_.push_back(force);
    const int listed = std::min(static_cast<int>(ports_.size()), *count);
    table->assign(ports_.begin(), ports_.begin() + listed);
    *count = listed;
    return static_cast<int>(ports_.size());
  }
};
