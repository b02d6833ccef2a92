// vornbsl-devsim as a child process of a test: started with the test's arguments (a report
// file is added), its pseudo-terminal learnt from the first line it prints, stopped with
// SIGTERM and its JSON report read back.
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// A text of the report as the device holds it: the report shows each byte as the character of
// that code (U+0000-U+00FF); this gives the bytes back.
std::string ReportBytes(const nlohmann::json& text);

// The simulator binary: $VORN_DEVSIM, else the one this build made.
std::string DevsimPath();

struct DevsimProcess {
  pid_t pid = -1;
  std::string ptyPath;
  std::string reportPath;
  int exitStatus = -1;  // from waitpid, once it has ended

  // Throws std::runtime_error when the simulator does not start or prints no path.
  explicit DevsimProcess(const std::vector<std::string>& arguments);
  ~DevsimProcess();
  DevsimProcess(const DevsimProcess&) = delete;
  DevsimProcess& operator=(const DevsimProcess&) = delete;

  // SIGTERM, wait for the exit, return the report (throws when there is none).
  nlohmann::json Stop();
  // For runs that end by themselves (a hang-up, --exit-after-update): true once it has exited.
  bool WaitForExit(int timeoutMs);
  bool Running() const { return pid > 0; }
  // SIGUSR1: the injected faults end; returns the report of the device as it is now (throws
  // when none comes). The simulator plays on.
  nlohmann::json EndFaults();
  // The report of a simulator that has exited.
  nlohmann::json Report() const;

 private:
  std::string directory_;
  int stdout_ = -1;
};
