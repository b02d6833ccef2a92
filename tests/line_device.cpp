#include "line_device.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

LineDevice::LineDevice(const PtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}

LineDevice::~LineDevice() {
  stop_ = true;
  thread_.join();
}

void LineDevice::On(const std::string& line, std::vector<std::string> replies) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[line] = std::move(replies);
  used_[line] = 0;
}

void LineDevice::Otherwise(const std::string& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  otherwise_ = reply;
}

void LineDevice::Echo(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  echo_ = on;
}

std::vector<std::string> LineDevice::Heard() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return heard_;
}

int LineDevice::Count(const std::string& line) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count(heard_.begin(), heard_.end(), line));
}

int LineDevice::EmptyLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return emptyLines_;
}

void LineDevice::Take(const std::string& line) {
  std::string reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (line.empty()) {
      ++emptyLines_;
      return;
    }
    heard_.push_back(line);
    const auto rule = replies_.find(line);
    if (echo_) {
      return;  // the relay already sent everything back
    } else if (rule != replies_.end() && !rule->second.empty()) {
      size_t& next = used_[line];
      reply = rule->second[std::min(next, rule->second.size() - 1)];
      ++next;
    } else {
      reply = otherwise_;
    }
  }
  if (!reply.empty()) pty_.Send(reply);
}

void LineDevice::Run() {
  std::string pending;
  char chunk[512];
  while (!stop_) {
    struct pollfd pfd {
      pty_.master, POLLIN, 0
    };
    const int ready = poll(&pfd, 1, 10);
    if (ready <= 0 || (pfd.revents & POLLIN) == 0) {
      // No reader on the other side yet (or any more): wait a little.
      if (ready > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    const ssize_t got = read(pty_.master, chunk, sizeof chunk);
    if (got <= 0) continue;
    bool echo = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      echo = echo_;
    }
    if (echo) pty_.Send(std::string(chunk, static_cast<size_t>(got)));
    for (ssize_t i = 0; i < got; ++i) {
      if (chunk[i] == '\r') {
        Take(pending);
        pending.clear();
      } else {
        pending.push_back(chunk[i]);
      }
    }
    if (pending == "+++") {
      Take(pending);
      pending.clear();
    }
  }
}
