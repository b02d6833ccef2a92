#include "terminal_session.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli_process.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kSession = "vorn";
constexpr auto kPoll = std::chrono::milliseconds(100);
constexpr int kPollsPerSecond = 10;
constexpr int kSignalExitBase = 128;

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, got);
  pclose(pipe);
  return out;
}

}  // namespace

TerminalSession::TerminalSession(const std::string& commandLine, const fs::path& folder, int columns, int rows)
    : socket_((folder / "tmux.socket").string()) {
  // The pane stays after the program ends, so its last screen and exit status can be read;
  // the history keeps what scrolled away.
  const fs::path config = folder / "tmux.conf";
  std::ofstream(config) << "set -g remain-on-exit on\nset -g history-limit 20000\nset -g status off\n";
  // The program replaces the shell that starts it, so the keys' signals and the exit status are its own.
  Output("tmux -S " + Quoted(socket_) + " -f " + Quoted(config.string()) + " new-session -d -s " + kSession +
         " -x " + std::to_string(columns) + " -y " + std::to_string(rows) + " " + Quoted("exec " + commandLine) +
         " 2>&1");
}

TerminalSession::~TerminalSession() { Tmux("kill-server"); }

std::string TerminalSession::Tmux(const std::string& arguments) const {
  return Output("tmux -S " + Quoted(socket_) + " " + arguments + " 2>/dev/null");
}

std::string TerminalSession::Screen() const {
  std::string screen = Tmux(std::string("capture-pane -p -S - -E - -t ") + kSession);
  // The rows below the last written one are blank.
  while (screen.size() >= 2 && screen.compare(screen.size() - 2, 2, "\n\n") == 0) screen.pop_back();
  return screen;
}

bool TerminalSession::WaitFor(const std::string& text, int seconds) const {
  for (int polls = 0; polls < seconds * kPollsPerSecond; ++polls) {
    if (Screen().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(kPoll);
  }
  return false;
}

void TerminalSession::Keys(const std::string& keys) const {
  Tmux(std::string("send-keys -t ") + kSession + " " + Quoted(keys));
}

int TerminalSession::WaitExit(int seconds) const {
  for (int polls = 0; polls < seconds * kPollsPerSecond; ++polls) {
    // "DEAD:STATUS:SIGNAL:SERVER", the middle two empty until tmux has the program's end.
    std::istringstream state(Tmux(std::string("display-message -p -t ") + kSession +
                                  " '#{pane_dead}:#{pane_dead_status}:#{pane_dead_signal}:#{pid}'"));
    std::string dead, status, signal, server;
    std::getline(state, dead, ':');
    std::getline(state, status, ':');
    std::getline(state, signal, ':');
    std::getline(state, server);
    if (dead == "1" && !status.empty()) return std::stoi(status);
    // A program a signal ended reports as a shell does.
    if (dead == "1" && !signal.empty()) return kSignalExitBase + std::stoi(signal);
    // tmux may see the terminal close and miss the program's end (it stays a zombie): its
    // server looks for ended children again when told one has ended.
    if (dead == "1" && !server.empty()) ::kill(std::stoi(server), SIGCHLD);
    std::this_thread::sleep_for(kPoll);
  }
  return -1;
}
