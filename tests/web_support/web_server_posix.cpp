#include "web_support/web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr int kStartTimeoutMs = 10000;

std::string ReadLine(int fd) {
  std::string line;
  struct pollfd pfd {fd, POLLIN, 0};
  char c = 0;
  while (poll(&pfd, 1, kStartTimeoutMs) > 0 && read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

}  // namespace

WebServer::WebServer() {
  std::string pattern = (fs::temp_directory_path() / "vorn_web_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
  root = pattern;
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("no pipe");
  process_ = fork();
  if (process_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execlp("python3", "python3", VORN_WEB_SERVER, "--root", root.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  const std::string line = ReadLine(out[0]);
  close(out[0]);
  port = line.empty() ? 0 : std::stoi(line);
  if (port <= 0) throw std::runtime_error("the test web server did not start");
}

WebServer::~WebServer() {
  if (process_ > 0) {
    kill(process_, SIGTERM);
    waitpid(process_, nullptr, 0);
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<struct sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<struct sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}
