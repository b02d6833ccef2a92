// A virtual X server (Xvfb) of the test's own, on a free display, for wine's windows.
#pragma once

#include <sys/types.h>

#include <string>

struct XServer {
  pid_t pid = -1;
  int display = -1;

  // Starts Xvfb with a screen of this size; throws std::runtime_error when it does not start.
  XServer(int width, int height);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  std::string Name() const { return ":" + std::to_string(display); }

 private:
  void Start(int width, int height);
};
