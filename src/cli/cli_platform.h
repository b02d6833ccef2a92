// What the command line needs of the system, one file per platform: stop requests
// (Ctrl+C and the like), whether a stream is a terminal and how a line is redrawn on it, a
// line typed at one, the per-user data folder and the platform's words in --help. Nothing
// else in the command line calls the system.
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
// How a line of `stream` is redrawn in place: by escape sequences (a terminal), by the
// console's own calls (a Windows console, which may print escapes as text), or not at all (a
// file, a pipe): plain lines then.
enum class LineStyle { kPlainLines, kEscapes, kConsoleCalls };
LineStyle PrepareLineStyle(FILE* stream);
// Blanks the line the cursor is on and puts the cursor at its start (LineStyle::kConsoleCalls).
void ClearConsoleLine(FILE* stream);
// Columns of the terminal `stream` writes to; 0 when it is none or does not tell.
int TerminalColumns(FILE* stream);
// Whether the standard input is a terminal a question can be asked at.
bool InputIsTerminal();
// One line typed at the terminal, without its line end. False at the end of the input and
// once a stop has been requested (before or while waiting).
bool ReadTerminalLine(std::string* line);

// The per-user data folder of the program ("<data home>/Tessaly/VornBSL"); empty when the
// system names none (Windows without a local application-data folder).
std::string UserDataFolder();

// The platform's own words in --help: how a port is named, where the data folder is, and the
// exit status of a stopped command.
struct PlatformHelp {
  const char* portName;    // "a name such as ttyUSB0 (under /dev) or a path"
  const char* dataFolder;  // the default data folder, as the platform writes it
  const char* stopStatus;  // the exit status of a stop, and what asks for one
  const char* nativePorts;  // the 16 numbered native ports
};
PlatformHelp HelpWords();
