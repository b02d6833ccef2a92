// The transport of the Windows build: WinHTTP. A request blocked waiting for its answer
// cannot be cancelled (closing its handle does not wake it under wine), so each request
// runs on a thread of its own while the caller waits, handling the front end's events,
// and stops waiting at the deadline or on abort(); the thread ends on its own time-outs.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "web/web_transport.h"

class WinHttpTransport : public WebTransport {
 public:
  // pump, when given, handles the front end's pending events, waiting at most
  // maxWaitMs for them (the window's message loop); without it the wait is plain.
  explicit WinHttpTransport(std::function<void(int maxWaitMs)> pump = {});
  ~WinHttpTransport() override;
  WinHttpTransport(const WinHttpTransport&) = delete;
  WinHttpTransport& operator=(const WinHttpTransport&) = delete;

  WebAnswer send(const WebRequest& request, const UploadProgress* progress) override;
  void abort() override;
  bool busy() const override;

  struct Exchange;  // one request, shared with its thread

 private:
  std::function<void(int)> pump_;
  std::shared_ptr<Exchange> upload_;  // the post in flight, for abort()
  int waiting_ = 0;                   // requests in flight, one inside another's wait at most
};

// The words for a WinHTTP or Winsock error number, with the number: wine has no
// message table for them.
std::string WinHttpErrorText(unsigned long code);

// True for the error numbers a WinHTTP time-out comes back as (its own, and under wine
// the Winsock one).
bool IsWinHttpTimeout(unsigned long code);
