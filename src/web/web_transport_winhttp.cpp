#include "web/web_transport_winhttp.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "log/win32_text.h"
#include "web/web_url.h"

namespace {

constexpr size_t kWriteChunk = 64 * 1024;
constexpr DWORD kReadChunk = 64 * 1024;
constexpr int kWaitSliceMs = 10;  // how often the waiting side looks at the clock and the progress
constexpr int kFirstFailureStatus = 300;  // redirects are followed; one left over is no answer
constexpr char kStoppedText[] = "The transfer was stopped.";

struct InternetCloser {
  void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

}  // namespace

struct WinHttpTransport::Exchange {
  explicit Exchange(const WebRequest& made) : request(made) {}

  const WebRequest request;
  std::atomic<bool> stop{false};  // the waiting side gave up: nothing more is sent or read
  std::atomic<int64_t> sent{0};
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;  // guarded by mutex; the answer is complete
  WebAnswer answer;   // guarded by mutex
};

namespace {

using Exchange = WinHttpTransport::Exchange;

// The failure GetLastError tells; a time-out in either of its numbers is the transfer limit's.
WebAnswer Failed(const WebRequest& request, WebAnswer answer = {}) {
  const DWORD code = GetLastError();
  answer.ok = false;
  if (IsWinHttpTimeout(code)) {
    answer.timedOutAfterMs = request.transferTimeoutMs;
  } else {
    answer.error = WinHttpErrorText(code);
  }
  return answer;
}

std::wstring HostName(const WebUrl& url) {
  const bool bracketed = url.host.size() > 2 && url.host.front() == '[';
  return WideFromUtf8(bracketed ? url.host.substr(1, url.host.size() - 2) : url.host);
}

std::wstring ObjectName(const WebUrl& url) {
  std::string object = url.path.empty() ? "/" : url.path;
  if (url.query) object += '?' + *url.query;
  return WideFromUtf8(object);
}

// Every limit on the request handle itself: wine hands none of a session's down. Without
// the response time-out wine waits for the answer's headers for ever.
void SetLimits(HINTERNET handle, const WebRequest& request) {
  const int timeout = request.transferTimeoutMs;
  WinHttpSetTimeouts(handle, timeout, timeout, timeout, timeout);
  DWORD responseTimeout = static_cast<DWORD>(timeout);
  WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout, sizeof responseTimeout);
  DWORD redirects = static_cast<DWORD>(request.maxRedirects);
  WinHttpSetOption(handle, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
}

std::wstring Headers(const WebRequest& request) {
  std::string headers = std::string("Accept: ") + kAcceptTypes + "\r\n";
  if (request.post) headers += "Content-Type: " + request.contentType + "\r\n";
  return WideFromUtf8(headers);
}

bool SendRequest(Exchange& exchange, HINTERNET handle) {
  const std::string& body = exchange.request.body;
  const std::wstring headers = Headers(exchange.request);
  if (!WinHttpSendRequest(handle, headers.c_str(), static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0,
                          static_cast<DWORD>(body.size()), 0)) {
    return false;
  }
  for (size_t at = 0; at < body.size();) {
    if (exchange.stop) {
      SetLastError(ERROR_WINHTTP_OPERATION_CANCELLED);
      return false;
    }
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min(kWriteChunk, body.size() - at));
    if (!WinHttpWriteData(handle, body.data() + at, chunk, &written)) return false;
    at += written;
    exchange.sent = static_cast<int64_t>(at);
  }
  return true;
}

// Reads the body up to one byte past its limit; past it the request is cut off.
bool ReadBody(Exchange& exchange, HINTERNET handle, WebAnswer& answer) {
  const int64_t maxBody = exchange.request.maxBody;
  std::string chunk(kReadChunk, '\0');
  for (;;) {
    if (exchange.stop) {
      SetLastError(ERROR_WINHTTP_OPERATION_CANCELLED);
      return false;
    }
    DWORD got = 0;
    if (!WinHttpReadData(handle, chunk.data(), kReadChunk, &got)) return false;
    if (got == 0) return true;
    answer.body.append(chunk.data(), got);
    if (static_cast<int64_t>(answer.body.size()) > maxBody) {
      answer.tooLarge = true;
      answer.body.resize(static_cast<size_t>(maxBody));
      return true;
    }
  }
}

int StatusCode(HINTERNET handle) {
  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  return static_cast<int>(status);
}

std::string StatusText(HINTERNET handle) {
  wchar_t text[256] = {};
  DWORD size = sizeof text - sizeof text[0];
  if (!WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  return Utf8FromWide(std::wstring_view(text, size / sizeof text[0]));
}

// The whole request, on the exchange's own thread.
WebAnswer Perform(Exchange& exchange) {
  const WebRequest& request = exchange.request;
  const std::optional<WebUrl> url = ParseWebUrl(request.url);
  if (!url) return WebAnswer{false, false, 0, 0, {}, "\"" + request.url + "\" is not an http or https address."};
  const InternetHandle session(WinHttpOpen(WideFromUtf8(kUserAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Failed(request);
  const InternetHandle connection(
      WinHttpConnect(session.get(), HostName(*url).c_str(), static_cast<INTERNET_PORT>(EffectivePort(*url)), 0));
  if (!connection) return Failed(request);
  const DWORD flags = url->scheme == "https" ? WINHTTP_FLAG_SECURE : 0;
  const InternetHandle handle(WinHttpOpenRequest(connection.get(), request.post ? L"POST" : L"GET",
                                                 ObjectName(*url).c_str(), nullptr, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!handle) return Failed(request);
  SetLimits(handle.get(), request);
  if (!SendRequest(exchange, handle.get()) || !WinHttpReceiveResponse(handle.get(), nullptr)) return Failed(request);

  WebAnswer answer;
  answer.status = StatusCode(handle.get());
  if (!ReadBody(exchange, handle.get(), answer)) return Failed(request, std::move(answer));
  if (answer.tooLarge) return answer;
  if (answer.status >= kFirstFailureStatus || answer.status == 0) {
    answer.error = "The web host answered " + std::to_string(answer.status) + " " + StatusText(handle.get()) + ".";
    return answer;
  }
  answer.ok = true;
  return answer;
}

void Finish(Exchange& exchange, WebAnswer answer) {
  const std::lock_guard<std::mutex> lock(exchange.mutex);
  exchange.answer = std::move(answer);
  exchange.done = true;
  exchange.changed.notify_all();
}

// Takes the answer when it is in, waiting at most waitMs for it.
bool TakeAnswer(Exchange& exchange, WebAnswer& answer, int waitMs) {
  std::unique_lock<std::mutex> lock(exchange.mutex);
  exchange.changed.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return exchange.done || exchange.stop; });
  if (!exchange.done) return false;
  answer = std::move(exchange.answer);
  return true;
}

}  // namespace

WinHttpTransport::WinHttpTransport(std::function<void(int maxWaitMs)> pump) : pump_(std::move(pump)) {}

WinHttpTransport::~WinHttpTransport() { abort(); }

WebAnswer WinHttpTransport::send(const WebRequest& request, const UploadProgress* progress) {
  const auto exchange = std::make_shared<Exchange>(request);
  const std::shared_ptr<Exchange> outerUpload = upload_;
  if (request.post) upload_ = exchange;
  ++waiting_;
  std::thread([exchange] { Finish(*exchange, Perform(*exchange)); }).detach();

  const bool reporting = progress != nullptr && request.post;
  if (reporting && progress->begin) progress->begin(static_cast<int64_t>(request.body.size()));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(request.deadlineMs);
  int64_t reported = 0;
  WebAnswer answer;
  for (;;) {
    if (TakeAnswer(*exchange, answer, pump_ ? 0 : kWaitSliceMs)) break;
    if (exchange->stop) {
      answer.error = kStoppedText;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      answer.timedOutAfterMs = request.deadlineMs;
      break;
    }
    if (reporting && exchange->sent != reported && progress->work) progress->work(reported = exchange->sent);
    if (pump_) pump_(kWaitSliceMs);
  }
  // A thread still blocked in WinHTTP ends on its own time-outs; what it finds is dropped.
  exchange->stop = true;
  if (reporting && exchange->sent != reported && progress->work) progress->work(exchange->sent);
  if (reporting && progress->end) progress->end();
  if (request.post) upload_ = outerUpload;
  --waiting_;
  return answer;
}

void WinHttpTransport::abort() {
  if (!upload_) return;
  upload_->stop = true;
  upload_->changed.notify_all();
}

bool WinHttpTransport::busy() const { return waiting_ > 0; }
