// What the command line needs of the system, one file per platform: stop requests
// (Ctrl+C and the like), whether a stream is a terminal, a line typed at one, and the
// per-user data folder. Nothing else in the command line calls the system.
#pragma once

#include <cstdio>
#include <string>

// From here on Ctrl+C and a polite termination request (SIGINT and SIGTERM; on Windows
// Ctrl+C, Ctrl+Break and closing the console) no longer end the process at once: each one
// counts as a request to stop, which the running command honours where that is safe.
void InstallStopHandler();
// The number of stop requests so far.
int StopRequests();
// The exit status of a command that stopped on request: 128 + the signal (130 for Ctrl+C).
int StopExitStatus();

bool IsTerminal(FILE* stream);
// Whether the standard input is a terminal a question can be asked at.
bool InputIsTerminal();
// One line typed at the terminal, without its line end. False at the end of the input and
// once a stop has been requested (before or while waiting).
bool ReadTerminalLine(std::string* line);

// The per-user data folder of the program ("<data home>/Tessaly/VornBSL"); empty when the
// system names none (Windows without a local application-data folder).
std::string UserDataFolder();
