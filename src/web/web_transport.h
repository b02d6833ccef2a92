// The HTTP transport under the web services: one request at a time, sent and waited
// for while the front end's events keep running. Qt Network (web_transport_qt) and
// WinHTTP (web_transport_winhttp) implement it; everything above it is standard C++.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Sent with every request, as the web host's scripts have always seen them.
inline constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";
inline constexpr char kAcceptTypes[] = "text/html, */*";

struct WebRequest {
  std::string url;  // an absolute http or https URL, already encoded
  bool post = false;
  std::string contentType;  // of the body, for a post
  std::string body;
  int64_t maxBody = 0;         // answer bytes kept; one more cuts the request off
  int maxRedirects = 0;        // redirects followed, none to a less safe scheme
  int transferTimeoutMs = 0;   // nothing moved in either direction for this long
  int deadlineMs = 0;          // the whole request, however busy, ends by then
};

struct WebAnswer {
  bool ok = false;          // a final answer with a success status arrived in full
  bool tooLarge = false;    // the body passed its limit and the request was cut off
  int timedOutAfterMs = 0;  // the time limit that ended the request; 0 when none did
  int status = 0;           // HTTP status of the final answer, 0 when none came
  std::string body;         // at most the limit's bytes
  std::string error;        // the failure's message; empty on success
};

// Called during a post on the thread that waits: begin once with the upload's size,
// work with the bytes sent so far, end when the request is over (also after a failure).
struct UploadProgress {
  std::function<void(int64_t total)> begin;
  std::function<void(int64_t sent)> work;
  std::function<void()> end;
};

struct WebTransport {
  virtual ~WebTransport() = default;
  // Sends the request and waits for the whole answer; progress, when given, hears of
  // the upload. A time limit or a body past its limit ends the request as a failure.
  virtual WebAnswer send(const WebRequest& request, const UploadProgress* progress) = 0;
  // Cuts the post in flight off, from an event handled while its send waits (the feedback
  // window closing): that send returns a failure at once. A request that only fetches
  // (perhaps one started by another event meanwhile) ends by its own time limits.
  virtual void abort() = 0;
  // True while any request waits.
  virtual bool busy() const = 0;
};
