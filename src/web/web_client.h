// The HTTP client of the web services: one GET or one multipart POST at a time,
// each waiting for its answer while the Qt event loop keeps running, so the
// window repaints and can be closed. Everything the network sends is untrusted:
// bodies are bounded, redirects limited and every request has a time limit.
#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <functional>
#include <memory>

class QHttpMultiPart;
class QNetworkReply;

constexpr int kMaxRedirects = 5;
constexpr int kTransferTimeoutMs = 30000;  // nothing moved in either direction for this long
constexpr int kGetDeadlineMs = 30000;      // a GET never waits longer than this in all
constexpr int kPostDeadlineMs = 600000;    // an upload of several megabytes on a slow line

struct WebClient {
  QUrl host;  // base URL of the web host (WebHostUrl); invalid: every request fails
  QNetworkAccessManager manager;
  int transferTimeoutMs = kTransferTimeoutMs;
  int getDeadlineMs = kGetDeadlineMs;
  int postDeadlineMs = kPostDeadlineMs;
  QPointer<QNetworkReply> upload;  // the post in flight, for WebAbort
};

struct WebAnswer {
  bool ok = false;        // a final answer with a success status arrived in full
  bool tooLarge = false;  // the body passed its limit and the request was cut off
  int status = 0;         // HTTP status of the final answer, 0 when none came
  QByteArray body;        // at most the limit's bytes
  QString error;          // the failure's message; empty on success
};

// Called during a post: begin once the upload size is known, work with the bytes
// sent so far, end when the request is over (also after a failure or an abort).
struct UploadProgress {
  std::function<void(qint64 total)> begin;
  std::function<void(qint64 sent)> work;
  std::function<void()> end;
};

// GET host + path.
WebAnswer WebGet(WebClient& client, const QString& path, qint64 maxBody);

// POST the form to host + path as multipart/form-data.
WebAnswer WebPost(WebClient& client, const QString& path, std::unique_ptr<QHttpMultiPart> form, qint64 maxBody,
                  const UploadProgress& progress = {});

// True while a post is in flight.
bool WebUploading(const WebClient& client);

// Cuts the post in flight off; the waiting WebPost then returns a failure.
void WebAbort(WebClient& client);

// The host's name as shown to the person.
QString WebHostName(const WebClient& client);
