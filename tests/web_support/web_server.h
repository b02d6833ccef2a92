// The web host of the web services' tests: web_server.py on a free loopback port,
// serving a fresh folder that the test fills. On Linux the test starts it; a Windows
// test under wine finds the one with-web-server started for it.
#pragma once

#include <string>
#include <vector>

// What the feedback script received, as web_server.py keeps it.
struct PostedPart {
  std::string name;
  std::string filename;  // empty for a text field
  std::string type;      // the part's content type; empty when none was sent
  std::string data;
};

struct PostedForm {
  std::string path;
  std::string contentType;
  std::string userAgent;
  std::string accept;
  std::vector<PostedPart> parts;
};

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
  // The last post the feedback script received.
  PostedForm Posted() const;

  std::string root;
  int port = 0;

 private:
  int process_ = -1;
};

// A loopback port nobody listens on.
int UnusedPort();
