// Network serial servers for the tests: Debian's ser2net offering pseudo-terminals as RFC 2217
// ports on loopback, and tools/delay-proxy in front of one for a long link. Both run as child
// processes and are stopped (SIGTERM) when the object goes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// A loopback TCP port nothing listens on right now.
int FreeTcpPort();
// "rfc2217://127.0.0.1:PORT".
std::string LoopbackUrl(int port);

struct Ser2NetServer {
  std::vector<std::string> devices;  // the device each port offers
  std::vector<int> ports;            // one loopback TCP port per device

  // Throws std::runtime_error when ser2net does not start listening.
  Ser2NetServer(const std::vector<std::string>& deviceList, const std::filesystem::path& folder);
  ~Ser2NetServer();
  Ser2NetServer(const Ser2NetServer&) = delete;
  Ser2NetServer& operator=(const Ser2NetServer&) = delete;

  std::string Url(size_t index = 0) const { return LoopbackUrl(ports[index]); }
  // Kills the server (its connections break at once), or starts it again on the same ports.
  void Kill();
  void Start();

 private:
  std::filesystem::path config_;
  pid_t pid_ = -1;
};

// tools/delay-proxy forwarding a loopback port to another with the given round trip.
struct DelayProxy {
  int port = 0;
  DelayProxy(int targetPort, int roundTripMs);
  ~DelayProxy();
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;

 private:
  pid_t pid_ = -1;
};
