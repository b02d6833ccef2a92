#include <windows.h>
#include <winhttp.h>

#include "log/win32_text.h"
#include "web/web_text.h"
#include "web/web_transport_winhttp.h"

namespace {

// Winsock's numbers, as wine's WinHTTP passes them on (winsock2.h would have to come
// before windows.h).
constexpr unsigned long kWsaConnectionAborted = 10053;
constexpr unsigned long kWsaConnectionReset = 10054;
constexpr unsigned long kWsaNetworkUnreachable = 10051;
constexpr unsigned long kWsaTimedOut = 10060;
constexpr unsigned long kWsaConnectionRefused = 10061;
constexpr unsigned long kWsaHostUnreachable = 10065;
constexpr unsigned long kWsaHostNotFound = 11001;

constexpr unsigned long kFirstWinsockError = 10000;
constexpr unsigned long kFirstWinHttpError = 12000;
constexpr unsigned long kLastWinHttpError = 12999;

struct ErrorText {
  unsigned long code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {ERROR_WINHTTP_TIMEOUT, "The web host did not answer in time."},
    {kWsaTimedOut, "The web host did not answer in time."},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, "The web host's name could not be found."},
    {kWsaHostNotFound, "The web host's name could not be found."},
    {ERROR_WINHTTP_CANNOT_CONNECT, "No connection could be made to the web host."},
    {kWsaConnectionRefused, "The web host refused the connection."},
    {kWsaHostUnreachable, "The web host cannot be reached from this computer."},
    {kWsaNetworkUnreachable, "The network is unreachable."},
    {ERROR_WINHTTP_CONNECTION_ERROR, "The connection to the web host was reset or broken."},
    {kWsaConnectionReset, "The web host reset the connection."},
    {kWsaConnectionAborted, "The connection to the web host was broken."},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "The web host's answer is not valid HTTP."},
    {ERROR_WINHTTP_REDIRECT_FAILED,
     "The web host redirected the request too many times, or to an address less safe than its own."},
    {ERROR_WINHTTP_SECURE_FAILURE, "The web host's secure connection was refused: its certificate is not valid."},
    {ERROR_WINHTTP_SECURE_INVALID_CA, "The web host's certificate comes from an authority this computer does not trust."},
    {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, "The web host's certificate is made out to another name."},
    {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, "The web host's certificate has expired or is not yet valid."},
    {ERROR_WINHTTP_SECURE_CERT_REVOKED, "The web host's certificate has been revoked."},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, "The secure connection to the web host failed."},
    {ERROR_WINHTTP_OPERATION_CANCELLED, "The request was cancelled."},
    {ERROR_WINHTTP_INVALID_URL, "The web host address is not valid."},
    {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, "The web host address is not an http or https address."},
    {ERROR_WINHTTP_SHUTDOWN, "The system's HTTP service is shutting down."},
    {ERROR_WINHTTP_INTERNAL_ERROR, "The system's HTTP service failed."},
};

// The system's own words for other errors (out of memory and the like).
std::string SystemMessage(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Trimmed(Utf8FromWide(std::wstring_view(buffer, length))) : std::string();
  LocalFree(buffer);
  return text;
}

std::string Numbered(unsigned long code) {
  const char* kind = code >= kFirstWinHttpError && code <= kLastWinHttpError ? "WinHTTP"
                     : code >= kFirstWinsockError                            ? "Winsock"
                                                                             : "Windows";
  return std::string(kind) + " error " + std::to_string(code);
}

}  // namespace

std::string WinHttpErrorText(unsigned long code) {
  for (const ErrorText& known : kErrorTexts) {
    if (known.code == code) return std::string(known.text) + " (" + Numbered(code) + ")";
  }
  const std::string system = code < kFirstWinsockError ? SystemMessage(code) : std::string();
  if (!system.empty()) return system + " (" + Numbered(code) + ")";
  return "The request to the web host failed (" + Numbered(code) + ").";
}

bool IsWinHttpTimeout(unsigned long code) { return code == ERROR_WINHTTP_TIMEOUT || code == kWsaTimedOut; }
