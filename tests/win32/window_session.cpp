#include "window_session.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli_process.h"
#include "windows/wine_session.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kRunLimit = "400";
constexpr int kStartAttempts = 3;  // seconds: a hung wine ends the test, not the suite
// An address nothing answers on: the start-up version check fails at once, quietly.
constexpr const char* kNoWebHost = "http://127.0.0.1:9";

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows program's line end
    lines.push_back(line);
  }
  return lines;
}

// The screen's DPI as wine's windows read it: the user's setting and the machine's.
std::string SetDpi(int dpi) {
  const std::string value = std::to_string(dpi);
  for (const char* key : {"HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"}) {
    const std::string command = WineCommandLine("reg", {"add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                                                        value, "/f"}) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return std::string("cannot set LogPixels under ") + key;
  }
  return {};
}

}  // namespace

std::string WindowRun::Text() const {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool WindowRun::Has(const std::string& line) const {
  for (const std::string& each : lines) {
    if (each == line) return true;
  }
  return false;
}

std::vector<std::string> WindowRun::Starting(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::string WindowsBuildFile(const std::string& relative) { return std::string(VORN_WINDOWS_BUILD_DIR) + "/" + relative; }

WindowSession::WindowSession(const fs::path& folder, int dpi) : folder_(folder) {
  problem = PrepareWine();
  // Wine's own messages, when a failure needs them (they land in the test folder's wine.txt).
  if (const char* channels = std::getenv("VORN_WINE_DEBUG")) setenv("WINEDEBUG", channels, 1);
  if (problem.empty()) problem = SetDpi(dpi);
  // A wine server left from an earlier test keeps that test's desktop services, which talk to
  // an X server that is gone: each test starts its own.
  (void)std::system("wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1");
  StartX();
  setenv("VORNBSL_DATA_DIR", WindowsPath(folder_ / "data").c_str(), 1);
  setenv("VORNBSL_WEB_HOST", kNoWebHost, 1);
}

void WindowSession::StartX() {
  x_.reset();
  x_ = std::make_unique<XServer>(kDesktopWidth, kDesktopHeight);
  setenv("DISPLAY", x_->Name().c_str(), 1);
}

WindowRun WindowSession::Drive(const std::string& program, const std::string& port,
                               const std::vector<std::string>& steps, const std::vector<std::string>& arguments) {
  const fs::path report = folder_ / "driver.txt";
  std::vector<std::string> command{WindowsBuildFile("tests/win32/window_driver.exe"), WindowsPath(report),
                                   WindowsPath(program), port};
  command.insert(command.end(), steps.begin(), steps.end());
  if (!arguments.empty()) {
    command.push_back("--");
    command.insert(command.end(), arguments.begin(), arguments.end());
  }
  return RunInDesktop(command, report);
}

WindowRun WindowSession::CheckLayout(const std::string& program, const fs::path& pictureFolder) {
  return CheckLayoutOf({program}, pictureFolder);
}

WindowRun WindowSession::CheckLayoutOf(const std::vector<std::string>& command, const fs::path& pictureFolder) {
  const fs::path report = folder_ / "layout.txt";
  setenv("VORNBSL_LAYOUT_CHECK", WindowsPath(report).c_str(), 1);
  if (!pictureFolder.empty()) setenv("VORNBSL_PICTURE_DIR", WindowsPath(pictureFolder).c_str(), 1);
  WindowRun run = RunInDesktop(command, report);
  unsetenv("VORNBSL_LAYOUT_CHECK");
  unsetenv("VORNBSL_PICTURE_DIR");
  return run;
}

// The command runs in a wine desktop of its own name on the test's X server. Now and then
// (with other wine and X servers starting and stopping on the machine) the desktop finds no
// display driver and the program gets no window: the start is made again with a new X server
// and the prefix's wine server started afresh.
WindowRun WindowSession::RunInDesktop(const std::vector<std::string>& command, const fs::path& reportPath) {
  WindowRun run;
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    if (attempt > 0) {
      (void)std::system("wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1");
      StartX();
    }
    run = RunOnce(command, reportPath);
    const bool started = !run.lines.empty() && run.lines.front().rfind("fail launch", 0) != 0;
    if (started) break;
  }
  return run;
}

WindowRun WindowSession::RunOnce(const std::vector<std::string>& command, const fs::path& reportPath) {
  fs::remove(reportPath);
  std::vector<std::string> arguments{"/desktop=vorn" + std::to_string(::getpid()) + "," + std::to_string(kDesktopWidth) +
                                     "x" + std::to_string(kDesktopHeight)};
  arguments.insert(arguments.end(), command.begin(), command.end());
  const std::string line = std::string("timeout -k 10 ") + kRunLimit + " " + WineCommandLine("explorer", arguments) +
                           " >" + Quoted((folder_ / "wine.txt").string()) + " 2>&1 </dev/null";
  WindowRun run;
  run.status = std::system(line.c_str());
  run.lines = ReadLines(reportPath);
  return run;
}
