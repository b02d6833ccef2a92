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

int ApplyRaw(int fd, uint32_t baud) {
  struct termios tio {};
  if (tcgetattr(fd, &tio) != 0) return SystemError(errno);
  speed_t code;
  if (!BaudCode(baud, &code)) return SystemError(EINVAL);
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, code);
  cfsetospeed(&tio, code);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return SystemError(errno);
  return 0;
}

void SetModemLines(int fd, bool raise) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  // A pseudo-terminal has no modem lines and refuses this; that is fine.
  (void)ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &lines);
}

// USB-serial adapters hold received bytes for their latency timer (16 ms is usual) before
// passing them on; every loader frame waits for one answer, so the timer would add up over an
// upload. Ask for the driver's low-latency mode; ports without it (a pseudo-terminal, a native
// UART) refuse, which changes nothing.
bool RequestLowLatency(int fd) {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
  struct serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return true;
  serial.flags |= ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
  (void)fd;
  return false;
#endif
}

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PlatformResult PlatformOpen(const std::string& path, uint32_t baud, int* handle) {
  *handle = -1;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {0, SystemError(errno)};
  // TIOCEXCL keeps other programs out; the lock also keeps out programs running as root.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return {0, SystemError(error == EWOULDBLOCK ? EBUSY : error)};
  }
  (void)ioctl(fd, TIOCEXCL);
  const int error = ApplyRaw(fd, baud);
  if (error != 0) {
    ::close(fd);
    return {0, error};
  }
  SetModemLines(fd, true);
  (void)RequestLowLatency(fd);
  tcflush(fd, TCIFLUSH);
  *handle = fd;
  return {1, 0};
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
  const ssize_t got = ::read(handle, destination, static_cast<size_t>(maximum));
  if (got >= 0) return {static_cast<int>(got), 0};
  if (errno == EAGAIN || errno == EINTR) return {0, 0};
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

int PlatformProbe(const std::string& path) {
  int fd = -1;
  const PlatformResult opened = PlatformOpen(path, kDefaultBaud, &fd);
  if (opened.error != 0) return opened.error;
  PlatformClose(fd);
  return 0;
}

void PlatformSleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
