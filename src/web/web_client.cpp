#include "web/web_client.h"

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

namespace {

constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";
constexpr char kAccept[] = "text/html, */*";

struct DeleteLater {
  void operator()(QObject* object) const { object->deleteLater(); }
};
using ReplyHandle = std::unique_ptr<QNetworkReply, DeleteLater>;

QNetworkRequest MakeRequest(const WebClient& client, const QString& path) {
  QUrl url = client.host;
  url.setPath(client.host.path() + path);
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(kMaxRedirects);
  request.setTransferTimeout(client.transferTimeoutMs);
  request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
  request.setRawHeader("Accept", kAccept);
  return request;
}

WebAnswer InvalidHost(const WebClient& client) {
  WebAnswer answer;
  answer.error = QStringLiteral("The web host address \"%1\" is not a valid http or https address.")
                     .arg(client.host.toString());
  return answer;
}

// Takes what has arrived, up to one byte past the limit; past it, cuts the request off.
void TakeBody(QNetworkReply& reply, WebAnswer& answer, qint64 maxBody) {
  const qint64 room = std::max<qint64>(maxBody - answer.body.size(), 0);
  answer.body += reply.read(room + 1);
  if (answer.body.size() <= maxBody) return;
  answer.tooLarge = true;
  answer.body.truncate(maxBody);
  reply.abort();
}

// Takes the rest of the body and tells success from failure; timedOutAfterMs is 0 when in time.
void Conclude(QNetworkReply& reply, WebAnswer& answer, qint64 maxBody, int timedOutAfterMs) {
  if (!answer.tooLarge && reply.error() == QNetworkReply::NoError) TakeBody(reply, answer, maxBody);
  answer.status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (answer.tooLarge) {
    answer.error = QStringLiteral("The answer of the web host is larger than %1 bytes.").arg(maxBody);
  } else if (timedOutAfterMs > 0) {
    answer.error = QStringLiteral("The web host did not answer within %1 seconds.").arg(timedOutAfterMs / 1000.0);
  } else if (reply.error() != QNetworkReply::NoError) {
    answer.error = reply.errorString();
  } else {
    answer.ok = true;
  }
}

// Waits for the reply with a nested event loop; the deadline aborts it.
WebAnswer Await(ReplyHandle reply, qint64 maxBody, int deadlineMs, const UploadProgress* progress) {
  WebAnswer answer;
  bool timedOut = false;
  bool begun = false;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    timedOut = true;
    reply->abort();
  });
  QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
    if (!answer.tooLarge) TakeBody(*reply, answer, maxBody);
  });
  if (progress != nullptr) {
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, [&](qint64 sent, qint64 total) {
      if (!begun && total > 0 && progress->begin) progress->begin(total);
      begun = begun || total > 0;
      if (begun && progress->work) progress->work(sent);
    });
  }
  deadline.start(deadlineMs);
  if (!reply->isFinished()) loop.exec();
  deadline.stop();
  // The program quitting ends every event loop, this one too, before the answer is in.
  if (!reply->isFinished()) reply->abort();
  if (begun && progress->end) progress->end();
  Conclude(*reply, answer, maxBody, timedOut ? deadlineMs : 0);
  return answer;
}

}  // namespace

WebAnswer WebGet(WebClient& client, const QString& path, qint64 maxBody) {
  if (!client.host.isValid()) return InvalidHost(client);
  ReplyHandle reply(client.manager.get(MakeRequest(client, path)));
  return Await(std::move(reply), maxBody, client.getDeadlineMs, nullptr);
}

WebAnswer WebPost(WebClient& client, const QString& path, std::unique_ptr<QHttpMultiPart> form, qint64 maxBody,
                  const UploadProgress& progress) {
  if (!client.host.isValid()) return InvalidHost(client);
  ReplyHandle reply(client.manager.post(MakeRequest(client, path), form.get()));
  form.release()->setParent(reply.get());  // the form is read while the reply lives
  client.upload = reply.get();
  WebAnswer answer = Await(std::move(reply), maxBody, client.postDeadlineMs, &progress);
  client.upload = nullptr;
  return answer;
}

bool WebUploading(const WebClient& client) { return !client.upload.isNull(); }

void WebAbort(WebClient& client) {
  QNetworkReply* reply = client.upload.data();
  if (reply != nullptr) reply->abort();
}

QString WebHostName(const WebClient& client) { return client.host.host(); }
