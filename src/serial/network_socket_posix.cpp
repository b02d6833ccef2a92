// POSIX sockets under network serial ports.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "serial/network_socket.h"
#include "serial/serial_port.h"

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string ErrorText(int error) { return std::strerror(error); }

struct AddressList {
  addrinfo* first = nullptr;
  ~AddressList() {
    if (first != nullptr) freeaddrinfo(first);
  }
};

// Every small request waits for its answer: Nagle's delay would hold each one back.
void Configure(int fd) {
  const int on = 1;
  (void)setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// A server that holds back small writes until the last one is acknowledged (Nagle's rule)
// would otherwise wait for our delayed acknowledgement with every answer's second piece.
// The system turns quick acknowledgement off again by itself, so it is asked for after each read.
void QuickAcknowledge(int fd) {
#ifdef TCP_QUICKACK
  const int on = 1;
  (void)setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
  (void)fd;
#endif
}

// One address: 0, or the errno of the attempt (ETIMEDOUT when the deadline passed).
int TryAddress(const addrinfo& address, int64_t deadline, int* socket) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return errno;
  Configure(fd);
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  struct pollfd pfd {fd, POLLOUT, 0};
  int ready = 0;
  while ((ready = ::poll(&pfd, 1, static_cast<int>(std::max<int64_t>(0, deadline - NowMs())))) < 0 && errno == EINTR) {
  }
  int error = ready == 0 ? ETIMEDOUT : 0;
  socklen_t size = sizeof error;
  if (ready > 0) (void)getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
  if (error != 0) {
    ::close(fd);
    return error;
  }
  *socket = fd;
  return 0;
}

}  // namespace

int SocketConnect(const std::string& host, uint16_t port, int timeoutMs, int* socket, std::string* reason) {
  *socket = kNoSocket;
  addrinfo hints {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  AddressList list;
  const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list.first);
  if (resolved != 0) {
    *reason = "the host name \"" + host + "\" does not resolve (" + gai_strerror(resolved) + ")";
    return kSysPortMissing;
  }
  const int64_t deadline = NowMs() + timeoutMs;
  int error = 0;
  for (const addrinfo* address = list.first; address != nullptr; address = address->ai_next) {
    error = TryAddress(*address, deadline, socket);
    if (error == 0) return 0;
  }
  if (error == ECONNREFUSED) {
    *reason = "the server refused the connection: nothing listens on port " + std::to_string(port);
  } else if (error == ETIMEDOUT) {
    *reason = "no answer from the host within " + std::to_string(timeoutMs / 1000) + " s";
  } else {
    *reason = "the host cannot be reached (" + ErrorText(error) + ")";
  }
  return kSysPortMissing;
}

PlatformResult SocketReceive(int socket, char* destination, int maximum, int waitMs, std::string* reason) {
  if (maximum <= 0) return {0, 0};
  struct pollfd pfd {socket, POLLIN, 0};
  const int ready = ::poll(&pfd, 1, waitMs);
  if (ready <= 0) return {0, 0};  // nothing yet (or a signal): the caller reads again
  const ssize_t got = ::recv(socket, destination, static_cast<size_t>(maximum), 0);
  QuickAcknowledge(socket);
  if (got > 0) return {static_cast<int>(got), 0};
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return {0, 0};
  *reason = got == 0 || errno == ECONNRESET ? "the server closed the connection"
                                            : "the connection broke (" + ErrorText(errno) + ")";
  return {0, kSysDeviceFailed};
}

PlatformResult SocketSend(int socket, const char* source, int length, int timeoutMs, std::string* reason) {
  const int64_t deadline = NowMs() + timeoutMs;
  int done = 0;
  while (done < length) {
    const ssize_t put = ::send(socket, source + done, static_cast<size_t>(length - done), MSG_NOSIGNAL);
    if (put > 0) {
      done += static_cast<int>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) {
      *reason = errno == EPIPE || errno == ECONNRESET ? "the server closed the connection"
                                                      : "the connection broke (" + ErrorText(errno) + ")";
      return {done, kSysDeviceFailed};
    }
    const int64_t left = deadline - NowMs();
    if (left <= 0) {
      *reason = "the server took nothing for " + std::to_string(timeoutMs) + " ms";
      return {done, kSysDeviceFailed};
    }
    struct pollfd pfd {socket, POLLOUT, 0};
    (void)::poll(&pfd, 1, static_cast<int>(left));
  }
  return {done, 0};
}

void SocketEndSending(int socket) { (void)::shutdown(socket, SHUT_WR); }

void SocketClose(int socket) {
  if (socket != kNoSocket) ::close(socket);
}
