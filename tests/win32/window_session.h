// The native window of the cross build under wine, on a virtual X server of the test's
// own: a wine desktop of a fixed size in which the window (and the driver that plays the
// person) runs, with the data folder and web host the test gives it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "x_server.h"

inline constexpr int kDesktopWidth = 1280;
inline constexpr int kDesktopHeight = 1024;

struct WindowRun {
  int status = -1;
  std::vector<std::string> lines;  // of the report the program or the driver wrote
  std::string Text() const;
  bool Has(const std::string& line) const;
  // The lines that start with `prefix`.
  std::vector<std::string> Starting(const std::string& prefix) const;
};

class WindowSession {
 public:
  // Makes the wine prefix on first use; `dpi` is its screen's (the prefix's LogPixels).
  WindowSession(const std::filesystem::path& folder, int dpi);

  // The driver plays `steps` on PROGRAM (a path of the cross build) against COM port `port`.
  WindowRun Drive(const std::string& program, const std::string& port, const std::vector<std::string>& steps,
                  const std::vector<std::string>& arguments = {});
  // The program's own layout check; its pictures go to pictureFolder when it is not empty.
  WindowRun CheckLayout(const std::string& program, const std::filesystem::path& pictureFolder);
  // The same check of a window started by a command run in the desktop (a shortcut's, say).
  WindowRun CheckLayoutOf(const std::vector<std::string>& command, const std::filesystem::path& pictureFolder);

  std::string problem;  // what kept the session from starting; empty when it started

 private:
  WindowRun RunInDesktop(const std::vector<std::string>& command, const std::filesystem::path& reportPath);
  WindowRun RunOnce(const std::vector<std::string>& command, const std::filesystem::path& reportPath);

  void StartX();

  std::filesystem::path folder_;
  std::unique_ptr<XServer> x_;
};

// The cross build's programs.
std::string WindowsBuildFile(const std::string& relative);
