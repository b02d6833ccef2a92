// Winsock under network serial ports.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "serial/network_socket.h"
#include "serial/serial_port.h"

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Winsock is started once for the process and left running until it ends.
bool StartWinsock() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data {};
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

// Socket values are kernel handles: 32 bits carry them, as with the serial driver's handles.
SOCKET ToSocket(int socket) { return static_cast<SOCKET>(static_cast<unsigned int>(socket)); }
int FromSocket(SOCKET socket) { return static_cast<int>(static_cast<unsigned int>(socket)); }

std::string ErrorText(int error) { return "Winsock error " + std::to_string(error); }

struct AddressList {
  ADDRINFOA* first = nullptr;
  ~AddressList() {
    if (first != nullptr) freeaddrinfo(first);
  }
};

// Every small request waits for its answer: Nagle's delay would hold each one back. A server that
// holds back small writes until the last one is acknowledged would wait for Windows' delayed
// acknowledgement (up to 200 ms) with every answer's second piece: every segment is acknowledged
// at once instead (where the system offers it).
void Configure(SOCKET socket) {
  const BOOL on = TRUE;
  (void)setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  DWORD everySegment = 1;
  DWORD returned = 0;
  (void)WSAIoctl(socket, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0, &returned,
                 nullptr, nullptr);
  u_long nonBlocking = 1;
  (void)ioctlsocket(socket, FIONBIO, &nonBlocking);
}

// Waits until the socket can be read (or written); the count select() returns.
int WaitFor(SOCKET socket, bool write, int waitMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(socket, &failed);
  timeval wait {waitMs / 1000, (waitMs % 1000) * 1000};
  return select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &wait);
}

int TryAddress(const ADDRINFOA& address, int64_t deadline, SOCKET* socket) {
  const SOCKET s = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  Configure(s);
  if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
    const int error = WSAGetLastError();
    closesocket(s);
    return error;
  }
  const int ready = WaitFor(s, true, static_cast<int>(std::max<int64_t>(0, deadline - NowMs())));
  int error = ready == 0 ? WSAETIMEDOUT : 0;
  int size = sizeof error;
  if (ready != 0) (void)getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
  if (error != 0) {
    closesocket(s);
    return error;
  }
  *socket = s;
  return 0;
}

}  // namespace

int SocketConnect(const std::string& host, uint16_t port, int timeoutMs, int* socket, std::string* reason) {
  *socket = kNoSocket;
  if (!StartWinsock()) {
    *reason = "the network could not be started (" + ErrorText(WSAGetLastError()) + ")";
    return kSysPortMissing;
  }
  ADDRINFOA hints {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  AddressList list;
  const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list.first);
  if (resolved != 0) {
    *reason = "the host name \"" + host + "\" does not resolve (" + ErrorText(resolved) + ")";
    return kSysPortMissing;
  }
  const int64_t deadline = NowMs() + timeoutMs;
  int error = 0;
  for (const ADDRINFOA* address = list.first; address != nullptr; address = address->ai_next) {
    SOCKET s = INVALID_SOCKET;
    error = TryAddress(*address, deadline, &s);
    if (error == 0) {
      *socket = FromSocket(s);
      return 0;
    }
  }
  if (error == WSAECONNREFUSED) {
    *reason = "the server refused the connection: nothing listens on port " + std::to_string(port);
  } else if (error == WSAETIMEDOUT) {
    *reason = "no answer from the host within " + std::to_string(timeoutMs / 1000) + " s";
  } else {
    *reason = "the host cannot be reached (" + ErrorText(error) + ")";
  }
  return kSysPortMissing;
}

PlatformResult SocketReceive(int socket, char* destination, int maximum, int waitMs, std::string* reason) {
  if (maximum <= 0) return {0, 0};
  const SOCKET s = ToSocket(socket);
  if (WaitFor(s, false, waitMs) <= 0) return {0, 0};
  const int got = recv(s, destination, maximum, 0);
  if (got > 0) return {got, 0};
  if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return {0, 0};
  const int error = got == 0 ? 0 : WSAGetLastError();
  *reason = error == 0 || error == WSAECONNRESET || error == WSAECONNABORTED
                ? "the server closed the connection"
                : "the connection broke (" + ErrorText(error) + ")";
  return {0, kSysDeviceFailed};
}

PlatformResult SocketSend(int socket, const char* source, int length, int timeoutMs, std::string* reason) {
  const SOCKET s = ToSocket(socket);
  const int64_t deadline = NowMs() + timeoutMs;
  int done = 0;
  while (done < length) {
    const int put = send(s, source + done, length - done, 0);
    if (put > 0) {
      done += put;
      continue;
    }
    const int error = put < 0 ? WSAGetLastError() : 0;
    if (put < 0 && error != WSAEWOULDBLOCK) {
      *reason = error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN
                    ? "the server closed the connection"
                    : "the connection broke (" + ErrorText(error) + ")";
      return {done, kSysDeviceFailed};
    }
    const int64_t left = deadline - NowMs();
    if (left <= 0) {
      *reason = "the server took nothing for " + std::to_string(timeoutMs) + " ms";
      return {done, kSysDeviceFailed};
    }
    (void)WaitFor(s, true, static_cast<int>(left));
  }
  return {done, 0};
}

void SocketEndSending(int socket) { (void)shutdown(ToSocket(socket), SD_SEND); }

void SocketClose(int socket) {
  if (socket != kNoSocket) closesocket(ToSocket(socket));
}
