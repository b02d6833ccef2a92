// The web host of the web services' tests: web_server.py on a free loopback
// port, serving a fresh folder that the test fills.
#pragma once

#include <sys/types.h>

#include <string>

class WebServer {
 public:
  WebServer();
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  std::string Url() const;  // "http://127.0.0.1:PORT"
  // Writes a file below the served folder (folders are created).
  void Put(const std::string& path, const std::string& contents) const;
  // A file below the served folder, empty when missing.
  std::string Read(const std::string& path) const;
  bool Has(const std::string& path) const;

  std::string root;
  int port = 0;

 private:
  pid_t pid_ = -1;
};

// A loopback port nobody listens on.
int UnusedPort();
