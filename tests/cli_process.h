// Runs a command-line program as a script would: its arguments quoted for the shell,
// no input, what it printed on each stream and its exit status.
#pragma once

#include <sys/wait.h>

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
