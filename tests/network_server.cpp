#include "network_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr int kStartTimeoutMs = 10000;

bool BindLoopback(int fd, int port) {
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// Whether something listens on the port: it cannot be bound then. Asking by connecting would
// make ser2net open its device.
bool Listening(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool taken = !BindLoopback(fd, port);
  close(fd);
  return taken;
}

pid_t Spawn(std::vector<std::string> words, int stdoutFd, const std::string& errorFile = "/dev/null") {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + words[0]);
  return pid;
}

void Stop(pid_t& pid, int signal) {
  if (pid <= 0) return;
  kill(pid, signal);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address {};
  socklen_t size = sizeof address;
  if (!BindLoopback(fd, 0) || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    throw std::runtime_error("no free TCP port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

std::string LoopbackUrl(int port) { return "rfc2217://127.0.0.1:" + std::to_string(port); }

Ser2NetServer::Ser2NetServer(const std::vector<std::string>& deviceList, const std::filesystem::path& folder)
    : devices(deviceList), config_(folder / "ser2net.yaml") {
  std::ofstream yaml(config_);
  for (size_t i = 0; i < devices.size(); ++i) {
    ports.push_back(FreeTcpPort());
    // Answers go on at once: no wait for more characters, no wait for the last piece's
    // acknowledgement (nodelay), as the README's configuration has it.
    yaml << "connection: &port" << i << "\n"
         << "  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," << ports.back() << "\n"
         << "  connector: serialdev," << devices[i] << ",9600n81,local\n"
         << "  options:\n    chardelay: false\n";
  }
  yaml.close();
  Start();
}

Ser2NetServer::~Ser2NetServer() { Kill(); }

void Ser2NetServer::Start() {
  const fs::path folder = config_.parent_path();
  pid_ = Spawn({"ser2net", "-n", "-c", config_.string(), "-P", (folder / "ser2net.pid").string()}, -1,
               (folder / "ser2net.log").string());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  for (int port : ports) {
    while (!Listening(port)) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("ser2net does not listen");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

void Ser2NetServer::Kill() { Stop(pid_, SIGKILL); }

DelayProxy::DelayProxy(int targetPort, int roundTripMs) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the delay proxy");
  pid_ = Spawn({std::string(VORN_SOURCE_DIR) + "/tools/delay-proxy", "--to", "127.0.0.1:" + std::to_string(targetPort),
                "--round-trip-ms", std::to_string(roundTripMs)},
               ends[1]);
  close(ends[1]);
  std::string line;
  struct pollfd pfd {ends[0], POLLIN, 0};
  char c = 0;
  while (poll(&pfd, 1, kStartTimeoutMs) > 0 && read(ends[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(ends[0]);
  port = line.empty() ? 0 : std::stoi(line);
  if (port == 0) throw std::runtime_error("the delay proxy did not start");
}

DelayProxy::~DelayProxy() { Stop(pid_, SIGTERM); }
