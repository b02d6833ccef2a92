#include "sdi_bus.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

SdiBus::SdiBus(const PtyPair& pty, Script script) : pty_(pty), script_(std::move(script)), thread_([this] { Run(); }) {}

SdiBus::~SdiBus() {
  stop_ = true;
  thread_.join();
}

std::vector<std::string> SdiBus::Commands() const {
  std::lock_guard<std::mutex> hold(lock_);
  return commands_;
}

std::string SdiBus::Raw() const {
  std::lock_guard<std::mutex> hold(lock_);
  return raw_;
}

int SdiBus::Wakes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return wakes_;
}

void SdiBus::Take(char byte) {
  std::string command;
  {
    std::lock_guard<std::mutex> hold(lock_);
    raw_.push_back(byte);
    const bool between = pending_.empty() || relayingLoader_;
    if (between && (byte == ']' || byte == '[' || byte == '`')) {
      relayingLoader_ = byte == ']';
      pending_.clear();
      return;
    }
    if (relayingLoader_) return;
    if (byte == '|') {
      ++wakes_;
      pending_.clear();
      return;
    }
    if (byte != '!') {
      pending_.push_back(byte);
      return;
    }
    command = std::move(pending_);
    pending_.clear();
    commands_.push_back(command);
  }
  const std::string answer = script_(command);
  if (!answer.empty()) pty_.Send(answer);
}

void SdiBus::Run() {
  char chunk[512];
  while (!stop_) {
    struct pollfd pfd {
      pty_.master, POLLIN, 0
    };
    const int ready = poll(&pfd, 1, 10);
    if (ready <= 0 || (pfd.revents & POLLIN) == 0) {
      if (ready > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    const ssize_t n = read(pty_.master, chunk, sizeof chunk);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    for (ssize_t i = 0; i < n; ++i) Take(chunk[i]);
  }
}
