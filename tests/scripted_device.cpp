#include "scripted_device.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>

#include "serial/serial_port.h"

namespace {

constexpr int kPollMs = 10;

std::optional<std::string> TakeMessage(std::string& pending) {
  if (pending.empty()) return std::nullopt;
  size_t length = 0;
  if (pending[0] == 'P') {
    length = 1;
  } else {
    const size_t end = pending.find('\r');
    if (end == std::string::npos) return std::nullopt;
    length = end + 1;
  }
  std::string message = pending.substr(0, length);
  pending.erase(0, length);
  return message;
}

}  // namespace

ScriptedDevice::ScriptedDevice(const PtyPair& pty, Script script)
    : pty_(pty), script_(std::move(script)), thread_([this] { Run(); }) {}

ScriptedDevice::~ScriptedDevice() {
  stop_ = true;
  thread_.join();
}

std::vector<DeviceMessage> ScriptedDevice::Received() const {
  std::lock_guard<std::mutex> guard(lock_);
  return received_;
}

std::vector<std::string> ScriptedDevice::Texts() const {
  std::vector<std::string> texts;
  for (const DeviceMessage& message : Received()) texts.push_back(message.text);
  return texts;
}

void ScriptedDevice::Run() {
  std::string pending;
  char chunk[4096];
  while (!stop_) {
    struct pollfd pfd {pty_.master, POLLIN, 0};
    if (poll(&pfd, 1, kPollMs) <= 0 || (pfd.revents & POLLIN) == 0) {
      // A closed slave side reports a hang-up until it is opened again.
      if (pfd.revents & POLLHUP) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    const ssize_t got = read(pty_.master, chunk, sizeof chunk);
    if (got <= 0) continue;
    pending.append(chunk, static_cast<size_t>(got));
    while (std::optional<std::string> message = TakeMessage(pending)) {
      {
        std::lock_guard<std::mutex> guard(lock_);
        received_.push_back({*message, MillisecondTick()});
      }
      const std::string reply = script_(*message);
      try {
        if (!reply.empty()) pty_.Send(reply);
      } catch (const std::exception&) {
        // The host closed its side already: the reply goes nowhere, as on a real line.
      }
    }
  }
}
