// POSIX termios backend of the serial driver: every system call of the driver lives here.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include <cerrno>
#include <chrono>
#include <thread>

#include "serial/serial_platform.h"
#include "serial/serial_port.h"

namespace {

struct BaudEntry {
  uint32_t rate;
  speed_t code;
};

constexpr BaudEntry kBaudTable[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
    {921600, B921600},
};

bool BaudCode(uint32_t rate, speed_t* code) {
  for (const BaudEntry& entry : kBaudTable) {
    if (entry.rate == rate) {
      *code = entry.code;
      return true;
    }
  }
  return false;
}

// The driver's numbering: what the layers above must tell apart gets a fixed number.
int SystemError(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return kSysPortMissing;
    case EBUSY:
    case EWOULDBLOCK:
      return kSysPortInUse;
    case EACCES:
    case EPERM:
    case EROFS:
      return kSysPermission;
    case EIO:
      return kSysDeviceFailed;
    default:
      return 1000 + error;
  }
}

// A pseudo-terminal or a native UART has no low-latency setting: nothing to report.
bool IsUnsupported(int error) { return error == ENOTTY || error == EINVAL || error == EOPNOTSUPP; }

void SetModemLines(int fd, bool raise) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  // A pseudo-terminal has no modem lines and refuses this; that is fine.
  (void)ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &lines);
}

// USB-serial adapters hold received bytes for their latency timer (16 ms is usual) before
// passing them on; every loader frame waits for one answer, so the timer would add up over an
// upload. Ask for the driver's low-latency mode. Returns 0, or the error of a port that has
// the setting but refused it.
int RequestLowLatency(int fd) {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
  struct serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return IsUnsupported(errno) ? 0 : SystemError(errno);
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return 0;
  serial.flags |= ASYNC_LOW_LATENCY;
  if (ioctl(fd, TIOCSSERIAL, &serial) == 0) return 0;
  return IsUnsupported(errno) ? 0 : SystemError(errno);
#else
  (void)fd;
  return 0;
#endif
}

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int PlatformOpen(const std::string& path, int* handle) {
  *handle = -1;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SystemError(errno);
  // TIOCEXCL keeps other programs out; the lock also keeps out programs running as root.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return SystemError(error == EWOULDBLOCK ? EBUSY : error);
  }
  (void)ioctl(fd, TIOCEXCL);
  *handle = fd;
  return 0;
}

int PlatformSetQueues(int handle) { return RequestLowLatency(handle); }

int PlatformReadSettings(int handle) {
  struct termios tio {};
  return tcgetattr(handle, &tio) == 0 ? 0 : SystemError(errno);
}

int PlatformApplySettings(int handle, uint32_t baud) {
  struct termios tio {};
  if (tcgetattr(handle, &tio) != 0) return SystemError(errno);
  speed_t code;
  if (!BaudCode(baud, &code)) return SystemError(EINVAL);
  const cc_t minimum = tio.c_cc[VMIN];
  const cc_t time = tio.c_cc[VTIME];
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = minimum;  // the read time-outs are a step of their own
  tio.c_cc[VTIME] = time;
  cfsetispeed(&tio, code);
  cfsetospeed(&tio, code);
  return tcsetattr(handle, TCSANOW, &tio) == 0 ? 0 : SystemError(errno);
}

int PlatformSetTimeouts(int handle) {
  // Reads never block: each waits in poll() for at most its own time, then takes what is there.
  const int flags = fcntl(handle, F_GETFL);
  if (flags < 0 || fcntl(handle, F_SETFL, flags | O_NONBLOCK) != 0) return SystemError(errno);
  struct termios tio {};
  if (tcgetattr(handle, &tio) != 0) return SystemError(errno);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return tcsetattr(handle, TCSANOW, &tio) == 0 ? 0 : SystemError(errno);
}

void PlatformStartLines(int handle) {
  SetModemLines(handle, true);
  tcflush(handle, TCIFLUSH);
}

void PlatformRelease(int handle) {
  (void)ioctl(handle, TIOCNXCL);
  ::close(handle);
}

int PlatformClose(int handle) {
  SetModemLines(handle, false);
  (void)ioctl(handle, TIOCNXCL);
  return ::close(handle) == 0 ? 0 : SystemError(errno);
}

PlatformResult PlatformRead(int handle, char* destination, int maximum, int waitMs) {
  if (maximum <= 0) return {0, 0};
  struct pollfd pfd {handle, POLLIN, 0};
  const int ready = ::poll(&pfd, 1, waitMs);
  if (ready < 0) return errno == EINTR ? PlatformResult{0, 0} : PlatformResult{0, SystemError(errno)};
  if (ready == 0) return {0, 0};
  if ((pfd.revents & POLLNVAL) != 0) return {0, SystemError(EBADF)};
  const ssize_t got = ::read(handle, destination, static_cast<size_t>(maximum));
  if (got > 0) return {static_cast<int>(got), 0};
  // A port whose device went away (an adapter pulled out, the far side of a pseudo-terminal
  // closed) polls as hung up and reads nothing, at once and for ever: that is no silence.
  const bool hungUp = (pfd.revents & (POLLHUP | POLLERR)) != 0;
  if (got == 0 || errno == EAGAIN) return hungUp ? PlatformResult{0, kSysDeviceFailed} : PlatformResult{0, 0};
  if (errno == EINTR) return {0, 0};
  return {0, SystemError(errno)};
}

PlatformResult PlatformWrite(int handle, const char* source, int length, int timeoutMs) {
  const int64_t deadline = NowMs() + timeoutMs;
  int done = 0;
  while (done < length) {
    const ssize_t put = ::write(handle, source + done, static_cast<size_t>(length - done));
    if (put > 0) {
      done += static_cast<int>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return {done, SystemError(errno)};
    const int64_t left = deadline - NowMs();
    if (left <= 0) return {done, SystemError(ETIMEDOUT)};
    struct pollfd pfd {handle, POLLOUT, 0};
    (void)::poll(&pfd, 1, static_cast<int>(left));
  }
  return {done, 0};
}

int PlatformSetBaud(int handle, uint32_t baud) {
  struct termios tio {};
  if (tcgetattr(handle, &tio) != 0) return SystemError(errno);
  speed_t code;
  if (!BaudCode(baud, &code)) return SystemError(EINVAL);
  cfsetispeed(&tio, code);
  cfsetospeed(&tio, code);
  return tcsetattr(handle, TCSADRAIN, &tio) == 0 ? 0 : SystemError(errno);
}

void PlatformPurgeInput(int handle) { tcflush(handle, TCIFLUSH); }

int PlatformErrorNumber(int error) { return SystemError(error); }

void PlatformSleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
