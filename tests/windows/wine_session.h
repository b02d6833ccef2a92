// The Windows programs of the cross build, run under wine against the Linux simulator. All
// tests share one wine prefix, made once; a COM port is a link in the prefix's dosdevices
// folder to the simulator's pseudo-terminal, one port number per test at a time.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli_process.h"

// Makes the prefix on first use (several test processes may ask at once) and points this
// process's wine at it. Returns "" or what went wrong.
std::string PrepareWine();

// A COM port number of the prefix, held for one test; its link goes when the port does.
struct WinePort {
  int number = 0;
  std::string link;  // <prefix>/dosdevices/comN: the simulator's --link
  int claim = -1;    // a locked claim file: parallel tests never share a number

  WinePort();
  ~WinePort();
  WinePort(const WinePort&) = delete;
  WinePort& operator=(const WinePort&) = delete;
  std::string Name() const { return "COM" + std::to_string(number); }
};

// The dosdevices link of COM port `number` (for ports a test makes by hand).
std::string WineDeviceLink(int number);

// A Linux path as a Windows program sees it (the Z: drive).
std::string WindowsPath(const std::filesystem::path& path);

// The shell command line that runs a cross-built program under wine (as a user without root's
// overrides), for a terminal to run it in.
std::string WineCommandLine(const std::string& program, const std::vector<std::string>& args);

// Runs a cross-built program under wine as a script would: no input, its streams in files
// of `folder` (wine's own noise lands in the same stderr file, shown only on failure).
CliRun RunWindowsProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder);
