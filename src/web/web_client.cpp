#include "web/web_client.h"

#include <locale>
#include <optional>
#include <sstream>

#include "web/web_url.h"

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;

WebRequest MakeRequest(const WebClient& client, const std::string& path, int64_t maxBody) {
  WebRequest request;
  request.url = client.host + EncodedPath(path);
  request.maxBody = maxBody;
  request.maxRedirects = kMaxRedirects;
  request.transferTimeoutMs = client.transferTimeoutMs;
  return request;
}

// The failure when no request can be made at all.
std::optional<WebAnswer> Unsendable(const WebClient& client) {
  if (client.host.empty()) {
    WebAnswer answer;
    answer.error = "The web host address \"" + client.host + "\" is not a valid http or https address.";
    return answer;
  }
  if (client.transport == nullptr) {
    WebAnswer answer;
    answer.error = "This program has no way to reach the web host.";
    return answer;
  }
  return std::nullopt;
}

std::string Seconds(int milliseconds) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << milliseconds / kMillisecondsPerSecond;
  return text.str();
}

// Every transport tells its limits in the same words.
WebAnswer Concluded(WebAnswer answer, int64_t maxBody) {
  if (answer.tooLarge) {
    answer.ok = false;
    answer.error = "The answer of the web host is larger than " + std::to_string(maxBody) + " bytes.";
  } else if (answer.timedOutAfterMs > 0) {
    answer.ok = false;
    answer.error = "The web host did not answer within " + Seconds(answer.timedOutAfterMs) + " seconds.";
  }
  return answer;
}

}  // namespace

WebAnswer WebGet(WebClient& client, const std::string& path, int64_t maxBody) {
  if (std::optional<WebAnswer> failure = Unsendable(client)) return *failure;
  WebRequest request = MakeRequest(client, path, maxBody);
  request.deadlineMs = client.getDeadlineMs;
  return Concluded(client.transport->send(request, nullptr), maxBody);
}

WebAnswer WebPost(WebClient& client, const std::string& path, const MultipartForm& form, int64_t maxBody,
                  const UploadProgress& progress) {
  if (std::optional<WebAnswer> failure = Unsendable(client)) return *failure;
  WebRequest request = MakeRequest(client, path, maxBody);
  request.post = true;
  request.deadlineMs = client.postDeadlineMs;
  EncodedForm encoded = EncodeForm(form);
  request.contentType = std::move(encoded.contentType);
  request.body = std::move(encoded.body);
  client.posting = true;
  WebAnswer answer = client.transport->send(request, &progress);
  client.posting = false;
  return Concluded(std::move(answer), maxBody);
}

bool WebUploading(const WebClient& client) { return client.posting; }

void WebAbort(WebClient& client) {
  if (client.posting && client.transport != nullptr) client.transport->abort();
}

std::string WebHostName(const WebClient& client) {
  const std::optional<WebUrl> url = ParseWebUrl(client.host);
  return url ? url->host : std::string();
}
