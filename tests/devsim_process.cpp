#include "devsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

constexpr int kStartTimeoutMs = 10000;  // a sanitizer build starts slowly
constexpr int kStopTimeoutMs = 10000;

std::string ReadFirstLine(int fd) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    struct pollfd pfd {fd, POLLIN, 0};
    if (poll(&pfd, 1, 50) <= 0) continue;
    char c = 0;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line.push_back(c);
  }
  return {};
}

}  // namespace

std::string ReportBytes(const nlohmann::json& text) {
  const std::string utf8 = text.get<std::string>();
  std::string bytes;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80 || i + 1 >= utf8.size()) {
      bytes.push_back(static_cast<char>(lead));
    } else {  // two-byte sequences only: every code is below U+0100
      bytes.push_back(static_cast<char>((lead & 0x03) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3F)));
    }
  }
  return bytes;
}

std::string DevsimPath() {
  const char* path = std::getenv("VORN_DEVSIM");
  if (path && *path) return path;
#ifdef VORN_DEVSIM_PATH
  return VORN_DEVSIM_PATH;
#else
  return "vornbsl-devsim";
#endif
}

DevsimProcess::DevsimProcess(const std::vector<std::string>& arguments) {
  char pattern[] = "/tmp/vorn-devsim-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder for the simulator");
  directory_ = pattern;
  reportPath = directory_ + "/report.json";

  std::vector<std::string> words = {DevsimPath()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  words.insert(words.end(), {"--report", reportPath});
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the simulator");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  stdout_ = pipeFds[0];
  if (spawned != 0) {
    pid = -1;
    throw std::runtime_error("cannot start " + words[0]);
  }
  ptyPath = ReadFirstLine(stdout_);
  if (ptyPath.empty()) throw std::runtime_error(words[0] + " printed no pseudo-terminal path");
}

DevsimProcess::~DevsimProcess() {
  if (Running()) {
    kill(pid, SIGTERM);
    if (!WaitForExit(kStopTimeoutMs)) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  if (stdout_ >= 0) close(stdout_);
  if (!directory_.empty()) {
    unlink(reportPath.c_str());
    unlink((reportPath + ".tmp").c_str());
    rmdir(directory_.c_str());
  }
}

bool DevsimProcess::WaitForExit(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Running()) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      exitStatus = status;
      pid = -1;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

nlohmann::json DevsimProcess::Stop() {
  if (Running()) {
    kill(pid, SIGTERM);
    if (!WaitForExit(kStopTimeoutMs)) throw std::runtime_error("the simulator did not stop on SIGTERM");
  }
  return Report();
}

nlohmann::json DevsimProcess::Report() const {
  std::ifstream in(reportPath);
  if (!in) throw std::runtime_error("the simulator left no report (wait status " + std::to_string(exitStatus) + ")");
  return nlohmann::json::parse(in);
}

nlohmann::json DevsimProcess::EndFaults() {
  unlink(reportPath.c_str());
  if (!Running() || kill(pid, SIGUSR1) != 0) throw std::runtime_error("the simulator is not running");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopTimeoutMs);
  while (access(reportPath.c_str(), F_OK) != 0) {
    if (std::chrono::steady_clock::now() >= deadline) throw std::runtime_error("the simulator wrote no report");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Report();
}
