// Runs a command-line program as a script would: its arguments quoted for the shell,
// no input, what it printed on each stream and its exit status; or beside the test, to be
// signalled while it runs.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Quoted(const std::string& arg) {
  std::string quoted = "'";
  for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// stderr goes through `errFile`, which is overwritten.
inline CliRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& errFile) {
  std::string command = Quoted(program);
  for (const std::string& arg : args) command += " " + Quoted(arg);
  command += " 2>" + Quoted(errFile.string()) + " </dev/null";
  CliRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) run.out.append(chunk, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errFile, std::ios::binary);
  std::stringstream text;
  text << err.rdbuf();
  run.err = text.str();
  return run;
}

// A command-line program running beside the test: stdout on a pipe read line by line, stderr
// into a file, input from /dev/null or a terminal. The test signals it and waits for its exit status.
struct CliProcess {
  pid_t pid = -1;
  int out = -1;
  std::string seen;  // stdout so far

  // `input` is what the program reads: nothing, or a terminal such as a pseudo-terminal's slave.
  CliProcess(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& errFile,
             const std::string& input = "/dev/null") {
    int ends[2];
    if (pipe(ends) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(ends[1], STDOUT_FILENO);
      const int in = open(input.c_str(), O_RDWR | O_NOCTTY);
      dup2(in, STDIN_FILENO);
      const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, STDERR_FILENO);
      close(ends[0]);
      std::vector<std::string> copies = args;
      copies.insert(copies.begin(), program);
      std::vector<char*> argv;
      for (std::string& arg : copies) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(ends[1]);
    out = ends[0];
  }
  ~CliProcess() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Reads stdout until a line equals `line`; false when the program ends first.
  bool WaitForLine(const std::string& line) {
    std::string pending;
    char chunk[512];
    for (;;) {
      const ssize_t got = read(out, chunk, sizeof chunk);
      if (got <= 0) return false;
      pending.append(chunk, static_cast<size_t>(got));
      for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        const std::string text = pending.substr(0, end);
        pending.erase(0, end + 1);
        seen += text + "\n";
        if (text == line) return true;
      }
    }
  }

  // Reads the rest of stdout and returns the exit status (-1 when it did not exit).
  int Wait() {
    char chunk[512];
    for (ssize_t got; (got = read(out, chunk, sizeof chunk)) > 0;) seen.append(chunk, static_cast<size_t>(got));
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
