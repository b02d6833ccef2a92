#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "cli/cli_platform.h"

namespace {

constexpr int kSignalExitBase = 128;
constexpr int kPollMs = 100;  // how soon a stop ends a wait for typed input
constexpr const char* kDataSubfolder = "/Tessaly/VornBSL";

// Written by the signal handler, read by every thread of an update: lock-free atomics are
// safe in both places.
std::atomic<int> gStopRequests{0};
std::atomic<int> gFirstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
  int none = 0;
  gFirstSignal.compare_exchange_strong(none, signal);
  gStopRequests.fetch_add(1);
}

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

void InstallStopHandler() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  // Serial reads and writes carry on through a signal; the sequence looks at the count itself.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopRequests() { return gStopRequests.load(); }

int StopExitStatus() {
  const int signal = gFirstSignal.load();
  return kSignalExitBase + (signal != 0 ? signal : SIGINT);
}

bool IsTerminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

LineStyle PrepareLineStyle(FILE* stream) {
  // A terminal that says it cannot move the cursor (Emacs' shell, TERM=dumb) gets plain lines.
  if (!IsTerminal(stream) || EnvText("TERM") == "dumb") return LineStyle::kPlainLines;
  return LineStyle::kEscapes;
}

void ClearConsoleLine(FILE* stream) { std::fputs("\r\033[K", stream); }

int TerminalColumns(FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (!IsTerminal(stream)) return 0;
  return std::atoi(EnvText("COLUMNS").c_str());
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool ReadTerminalLine(std::string* line) {
  line->clear();
  for (;;) {
    if (StopRequests() > 0) return false;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, kPollMs);
    if (StopRequests() > 0) return false;
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    char c = 0;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return !line->empty();
    if (c == '\n') return true;
    if (c != '\r') line->push_back(c);
  }
}

std::string UserDataFolder() {
  const std::string xdg = EnvText("XDG_DATA_HOME");
  if (!xdg.empty()) return xdg + kDataSubfolder;
  return EnvText("HOME") + "/.local/share" + kDataSubfolder;
}

PlatformHelp HelpWords() {
  return {"a name such as ttyUSB0 (under /dev) or a path",
          "$VORNBSL_DATA_DIR, else ${XDG_DATA_HOME:-~/.local/share}/Tessaly/VornBSL",
          "130 stopped by Ctrl+C (143 by SIGTERM)", "ttyS0..ttyS15"};
}
