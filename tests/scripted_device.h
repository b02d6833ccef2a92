// A scripted device on the master side of a pseudo-terminal: what the host
// sends is split into messages (up to a "\r", or a lone "P"), each is recorded
// with its arrival time and answered with whatever the script returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pty_pair.h"

struct DeviceMessage {
  std::string text;
  uint32_t atMs = 0;  // MillisecondTick at arrival
};

class ScriptedDevice {
 public:
  // The script gets each message and returns the reply ("" stays silent).
  using Script = std::function<std::string(const std::string& message)>;

  ScriptedDevice(const PtyPair& pty, Script script);
  ~ScriptedDevice();
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  std::vector<DeviceMessage> Received() const;
  // Just the texts, in order.
  std::vector<std::string> Texts() const;

 private:
  void Run();

  const PtyPair& pty_;
  Script script_;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<DeviceMessage> received_;
  std::thread thread_;
};
