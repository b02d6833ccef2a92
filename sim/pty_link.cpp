#include "pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr double kBitsPerByte = 10.0;  // start bit, 8 data bits, stop bit
constexpr size_t kReadChunk = 4096;

struct SpeedEntry {
  speed_t code;
  uint32_t rate;
};

constexpr SpeedEntry kSpeeds[] = {
    {B300, 300},       {B600, 600},       {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
    {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
    {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

SimClock::duration ByteTime(size_t count, uint32_t baud) {
  const double seconds = static_cast<double>(count) * kBitsPerByte / static_cast<double>(baud ? baud : 9600);
  return std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(seconds));
}

void Count(PtyLink& link, uint32_t baud, size_t received, size_t sent) {
  TrafficCount& count = link.traffic[baud];
  count.received += received;
  count.sent += sent;
  if (baud) link.wireSeconds += static_cast<double>(received + sent) * kBitsPerByte / baud;
}

}  // namespace

PtyLink::~PtyLink() { PtyLinkClose(*this); }

bool PtyLinkOpen(PtyLink& link, const std::string& symlinkPath, std::string& error) {
  link.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (link.master < 0 || grantpt(link.master) != 0 || unlockpt(link.master) != 0) {
    error = std::string("no pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  link.slavePath = ptsname(link.master);
  // A host that is slow to read must not stall the device: its answers are lost instead.
  fcntl(link.master, F_SETFL, fcntl(link.master, F_GETFL) | O_NONBLOCK);
  if (!symlinkPath.empty()) {
    unlink(symlinkPath.c_str());
    if (symlink(link.slavePath.c_str(), symlinkPath.c_str()) != 0) {
      error = "cannot make link " + symlinkPath + ": " + std::strerror(errno);
      return false;
    }
    link.symlinkPath = symlinkPath;
  }
  return true;
}

void PtyLinkClose(PtyLink& link) {
  if (!link.symlinkPath.empty()) unlink(link.symlinkPath.c_str());
  link.symlinkPath.clear();
  if (link.master >= 0) close(link.master);
  link.master = -1;
}

LinkEvent PtyLinkWait(PtyLink& link, int timeoutMs) {
  if (link.master < 0) return LinkEvent::Failed;
  struct pollfd pfd {link.master, POLLIN, 0};
  const int ready = poll(&pfd, 1, timeoutMs);
  if (ready < 0) return errno == EINTR ? LinkEvent::Idle : LinkEvent::Failed;
  if (ready == 0) return LinkEvent::Idle;
  if (pfd.revents & POLLIN) return LinkEvent::Data;
  if (pfd.revents & POLLHUP) return LinkEvent::Hangup;
  return LinkEvent::Failed;
}

bool PtyLinkRead(PtyLink& link, std::string& bytes, uint32_t& hostBaud) {
  bytes.resize(kReadChunk);
  const ssize_t got = read(link.master, bytes.data(), bytes.size());
  if (got <= 0) {
    bytes.clear();
    return got < 0 && (errno == EAGAIN || errno == EINTR);
  }
  bytes.resize(static_cast<size_t>(got));
  hostBaud = PtyLinkHostBaud(link);
  Count(link, hostBaud, bytes.size(), 0);
  if (link.baudTiming) {
    link.receiveFree = std::max(link.receiveFree, SimClock::now()) + ByteTime(bytes.size(), hostBaud);
    std::this_thread::sleep_until(link.receiveFree);
  }
  return true;
}

uint32_t PtyLinkHostBaud(const PtyLink& link) {
  struct termios tio {};
  if (link.master < 0 || tcgetattr(link.master, &tio) != 0) return 0;
  const speed_t code = cfgetospeed(&tio);
  for (const SpeedEntry& entry : kSpeeds) {
    if (entry.code == code) return entry.rate;
  }
  return 0;
}

void PtyLinkWrite(PtyLink& link, const std::string& bytes, uint32_t hostBaud) {
  if (link.master < 0) return;
  Count(link, hostBaud, 0, bytes.size());
  if (link.adapterLatency > SimClock::duration::zero()) std::this_thread::sleep_for(link.adapterLatency);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (link.baudTiming) {
      link.transmitFree = std::max(link.transmitFree, SimClock::now()) + ByteTime(1, hostBaud);
      std::this_thread::sleep_until(link.transmitFree);
    }
    // Without pacing the whole answer goes at once.
    const size_t length = link.baudTiming ? 1 : bytes.size() - i;
    const ssize_t put = write(link.master, bytes.data() + i, length);
    if (put <= 0) return;
    i += static_cast<size_t>(put) - 1;
  }
}
