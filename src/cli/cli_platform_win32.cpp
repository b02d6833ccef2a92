#include <io.h>
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/cli_platform.h"

namespace {

constexpr int kInterruptedExitStatus = 130;  // as a POSIX shell reports a Ctrl+C
constexpr const char* kDataSubfolder = "\\Tessaly\\VornBSL";

std::atomic<int> gStopRequests{0};  // the console runs its handler on a thread of its own

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      gStopRequests.fetch_add(1);
      return TRUE;
    default:
      return FALSE;
  }
}

// A wide path in the code page the C library opens narrow paths with.
std::string Narrow(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<size_t>(size - 1));
  return text;
}

std::string LocalAppDataFolder() {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path))) folder = Narrow(path);
  CoTaskMemFree(path);
  if (!folder.empty()) return folder;
  const char* variable = std::getenv("LOCALAPPDATA");
  return variable != nullptr ? variable : "";
}

HANDLE StreamHandle(FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

}  // namespace

void InstallStopHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

int StopRequests() { return gStopRequests.load(); }

int StopExitStatus() { return kInterruptedExitStatus; }

bool IsTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

LineStyle PrepareLineStyle(FILE* stream) {
  // The console's own calls clear a line on every console: those without escape processing,
  // and those that take the escape mode but print the escapes as text (wine's). A pipe or a
  // file (or a terminal emulator that gives the program pipes) has no console: plain lines.
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(StreamHandle(stream), &info)) return LineStyle::kConsoleCalls;
  return LineStyle::kPlainLines;
}

void ClearConsoleLine(FILE* stream) {
  std::fflush(stream);
  const HANDLE console = StreamHandle(stream);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(console, &info)) return;
  const COORD start{0, info.dwCursorPosition.Y};
  DWORD written = 0;
  FillConsoleOutputCharacterA(console, ' ', static_cast<DWORD>(info.dwSize.X), start, &written);
  SetConsoleCursorPosition(console, start);
}

int TerminalColumns(FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(StreamHandle(stream), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

bool ReadTerminalLine(std::string* line) {
  // A Ctrl+C ends the console read; the handler has counted it by the time it returns.
  line->clear();
  if (StopRequests() > 0) return false;
  const bool read = static_cast<bool>(std::getline(std::cin, *line));
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return read && StopRequests() == 0;
}

std::string UserDataFolder() {
  const std::string base = LocalAppDataFolder();
  return base.empty() ? std::string() : base + kDataSubfolder;
}

PlatformHelp HelpWords() {
  return {"a name such as COM3", "%VORNBSL_DATA_DIR%, else %LOCALAPPDATA%\\Tessaly\\VornBSL",
          "130 stopped by Ctrl+C, Ctrl+Break or closing the console window", "COM1..COM16"};
}
