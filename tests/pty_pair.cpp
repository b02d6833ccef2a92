#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

PtyPair::PtyPair() {
  master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("no pseudo-terminal");
  slavePath = ptsname(master);
  struct termios tio {};
  tcgetattr(master, &tio);
  cfmakeraw(&tio);
  tcsetattr(master, TCSANOW, &tio);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
  if (master >= 0) close(master);
  master = -1;
}

void PtyPair::Send(const std::string& bytes) const {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = write(master, bytes.data() + done, bytes.size() - done);
    if (put <= 0) throw std::runtime_error("pty write failed");
    done += static_cast<size_t>(put);
  }
}

std::string PtyPair::Receive(int waitMs) const {
  std::string got;
  char chunk[4096];
  struct pollfd pfd {master, POLLIN, 0};
  while (poll(&pfd, 1, waitMs) > 0 && (pfd.revents & POLLIN)) {
    const ssize_t n = read(master, chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<size_t>(n));
  }
  return got;
}

unsigned PtyPair::SlaveBaud() const {
  struct termios tio {};
  tcgetattr(master, &tio);
  switch (cfgetospeed(&tio)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}
