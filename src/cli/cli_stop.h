// Answers Ctrl+C while updates run: each update says at once whether it stops at its next
// safe point or cannot stop yet, and when it will. A thread of its own, so the answer comes
// even while an update waits on its device; the updates themselves stop on their own thread.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

struct CliUpdateUi;

class StopNotices {
 public:
  explicit StopNotices(std::vector<const CliUpdateUi*> uis);
  ~StopNotices();
  StopNotices(const StopNotices&) = delete;
  StopNotices& operator=(const StopNotices&) = delete;

 private:
  void Watch();

  std::vector<const CliUpdateUi*> uis_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// The line a stop request gets from one update: where it stops, or why it cannot yet.
std::string StopNotice(const CliUpdateUi& ui);
