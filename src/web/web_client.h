// The HTTP client of the web services: one GET or one multipart POST at a time through
// the transport, which keeps the front end's events running while it waits. Everything
// the network sends is untrusted: bodies are bounded, redirects limited and every
// request has a time limit.
#pragma once

#include <cstdint>
#include <string>

#include "web/multipart_form.h"
#include "web/web_transport.h"

constexpr int kMaxRedirects = 5;
constexpr int kTransferTimeoutMs = 30000;  // nothing moved in either direction for this long
constexpr int kGetDeadlineMs = 30000;      // a GET never waits longer than this in all
constexpr int kPostDeadlineMs = 600000;    // an upload of several megabytes on a slow line

struct WebClient {
  std::string host;                   // base URL of the web host (WebHostUrl); empty: every request fails
  WebTransport* transport = nullptr;  // not owned
  int transferTimeoutMs = kTransferTimeoutMs;
  int getDeadlineMs = kGetDeadlineMs;
  int postDeadlineMs = kPostDeadlineMs;
  bool posting = false;  // a post is in flight, for WebAbort
};

// GET host + path.
WebAnswer WebGet(WebClient& client, const std::string& path, int64_t maxBody);

// POST the form to host + path as multipart/form-data.
WebAnswer WebPost(WebClient& client, const std::string& path, const MultipartForm& form, int64_t maxBody,
                  const UploadProgress& progress = {});

// True while a post is in flight.
bool WebUploading(const WebClient& client);

// Cuts the post in flight off; the waiting WebPost then returns a failure.
void WebAbort(WebClient& client);

// The host's name as shown to the person.
std::string WebHostName(const WebClient& client);
