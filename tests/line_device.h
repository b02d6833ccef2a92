// A command-line device scripted on the master side of a pseudo-terminal: it
// splits what the host sends into command lines (at each carriage return, and
// the bare "+++" of a radio modem) and answers each line with a canned reply.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pty_pair.h"

class LineDevice {
 public:
  explicit LineDevice(const PtyPair& pty);
  ~LineDevice();
  LineDevice(const LineDevice&) = delete;
  LineDevice& operator=(const LineDevice&) = delete;

  // Answers a line (given without its carriage return) with the replies in
  // turn; the last one repeats. An empty reply is silence.
  void On(const std::string& line, std::vector<std::string> replies);
  // The reply to lines without a rule; silence by default.
  void Otherwise(const std::string& reply);
  // A relay in front of the device: every byte comes straight back.
  void Echo(bool on);

  std::vector<std::string> Heard() const;  // every non-empty line, in order
  int Count(const std::string& line) const;
  int EmptyLines() const;  // bare carriage returns (the wake sequence)

 private:
  void Run();
  void Take(const std::string& line);

  const PtyPair& pty_;
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<std::string>> replies_;
  std::map<std::string, size_t> used_;
  std::string otherwise_;
  bool echo_ = false;
  std::vector<std::string> heard_;
  int emptyLines_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
