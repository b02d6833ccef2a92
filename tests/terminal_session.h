// A real terminal for a command-line program: tmux, on a server of the test's own, with one
// window of a given size. The test types keys into it (Ctrl+C as a person presses it) and reads
// the screen as a person sees it: lines wrapped where the terminal wrapped them, a line redrawn
// in place showing only its last text.
#pragma once

#include <filesystem>
#include <string>

struct TerminalSession {
  // Starts `commandLine` (run by sh) in a terminal of `columns` x `rows`; `folder` keeps the
  // server's socket and configuration.
  TerminalSession(const std::string& commandLine, const std::filesystem::path& folder, int columns, int rows = 60);
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // Everything the terminal shows and has scrolled away, line by line, trailing blanks cut.
  std::string Screen() const;
  // Waits until the screen shows `text`; false when it did not within `seconds`.
  bool WaitFor(const std::string& text, int seconds) const;
  // Types keys as tmux names them ("C-c", "Enter", or text).
  void Keys(const std::string& keys) const;
  // Waits until the program has ended; its exit status, or -1 when it did not within `seconds`.
  int WaitExit(int seconds) const;

 private:
  std::string Tmux(const std::string& arguments) const;
  std::string socket_;
};
