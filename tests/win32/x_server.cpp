#include "x_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace {

constexpr int kStartLimitMs = 20000;
constexpr int kAttempts = 5;

}  // namespace

// Xvfb picks a free display itself and writes its number to the descriptor it is given. Two
// servers starting at once may pick the same number, and one of them ends: it is started again.
XServer::XServer(int width, int height) {
  for (int attempt = 0; attempt < kAttempts && display < 0; ++attempt) Start(width, height);
  if (display < 0) throw std::runtime_error("Xvfb did not start");
}

void XServer::Start(int width, int height) {
  int pipe[2];
  if (::pipe(pipe) != 0) return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const std::string fd = std::to_string(pipe[1]);
  pid = fork();
  if (pid == 0) {
    ::close(pipe[0]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(pipe[1]);
  // Xvfb writes the number and the line's end in two writes, and ends itself if the second finds
  // the pipe closed: the line is read whole before the pipe is closed.
  std::string line;
  pollfd ready{pipe[0], POLLIN, 0};
  char chunk[16];
  while (line.find('\n') == std::string::npos && ::poll(&ready, 1, kStartLimitMs) == 1) {
    const ssize_t got = ::read(pipe[0], chunk, sizeof chunk);
    if (got <= 0) break;
    line.append(chunk, static_cast<size_t>(got));
  }
  if (line.find('\n') != std::string::npos) display = std::stoi(line);
  ::close(pipe[0]);
  if (display >= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

XServer::~XServer() {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}
