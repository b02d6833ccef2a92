// A scripted SDI-12 bus behind a pass-through device, on the master side of a
// pseudo-terminal: '|' wakes the bus, text up to '!' is one command, which the
// script answers ("" stays silent). Between commands the mode bytes ']' '[' '`'
// switch the relay as the pass-through devices do: after ']' bytes are only recorded.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pty_pair.h"

class SdiBus {
 public:
  // Gets a command without its '!' and returns the whole answer, "\r\n" included.
  using Script = std::function<std::string(const std::string& command)>;

  SdiBus(const PtyPair& pty, Script script);
  ~SdiBus();
  SdiBus(const SdiBus&) = delete;
  SdiBus& operator=(const SdiBus&) = delete;

  std::vector<std::string> Commands() const;  // in order, without '!'
  std::string Raw() const;                    // every byte heard
  int Wakes() const;

 private:
  void Run();
  void Take(char byte);

  const PtyPair& pty_;
  Script script_;
  mutable std::mutex lock_;
  std::vector<std::string> commands_;
  std::string raw_;
  std::string pending_;
  bool relayingLoader_ = false;
  int wakes_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
