// Under wine the test cannot start a Linux program; with-web-server starts web_server.py
// for the test process and names its port and folder in the environment.
#include "web_support/web_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kPortVariable[] = "VORN_TEST_WEB_PORT";
constexpr char kRootVariable[] = "VORN_TEST_WEB_ROOT";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(name) + " is not set: run the test through tests/web_support/with-web-server");
  }
  return value;
}

}  // namespace

WebServer::WebServer() {
  port = std::stoi(Environment(kPortVariable));
  root = "Z:" + Environment(kRootVariable);  // the Linux folder, through wine's drive of the whole file system
  // One server serves every test of the process: each starts with an empty folder.
  for (const fs::directory_entry& entry : fs::directory_iterator(root)) fs::remove_all(entry.path());
}

WebServer::~WebServer() = default;

int UnusedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  bind(socket, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
  closesocket(socket);
  WSACleanup();
  return ntohs(address.sin_port);
}
