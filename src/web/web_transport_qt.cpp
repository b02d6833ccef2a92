#include "web/web_transport_qt.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace {

// Marks a reply that abort() or the program quitting cut off, as against Qt's own time-out.
constexpr char kCutOff[] = "vornCutOff";

struct DeleteLater {
  void operator()(QObject* object) const { object->deleteLater(); }
};
using ReplyHandle = std::unique_ptr<QNetworkReply, DeleteLater>;

QNetworkRequest MakeRequest(const WebRequest& request) {
  QNetworkRequest made(QUrl(QString::fromStdString(request.url), QUrl::StrictMode));
  made.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  made.setMaximumRedirectsAllowed(request.maxRedirects);
  made.setTransferTimeout(request.transferTimeoutMs);
  made.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
  made.setRawHeader("Accept", kAcceptTypes);
  if (request.post) made.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray::fromStdString(request.contentType));
  return made;
}

// Takes what has arrived, up to one byte past the limit; past it, cuts the request off.
void TakeBody(QNetworkReply& reply, WebAnswer& answer, int64_t maxBody) {
  const int64_t room = std::max<int64_t>(maxBody - static_cast<int64_t>(answer.body.size()), 0);
  answer.body += reply.read(room + 1).toStdString();
  if (static_cast<int64_t>(answer.body.size()) <= maxBody) return;
  answer.tooLarge = true;
  answer.body.resize(static_cast<size_t>(maxBody));
  reply.abort();
}

// How the request ended. Qt tells its own transfer time-out as a cancellation that
// nobody asked for.
void Conclude(QNetworkReply& reply, WebAnswer& answer, const WebRequest& request, bool pastDeadline) {
  const bool aborted = reply.property(kCutOff).toBool();
  if (!answer.tooLarge && reply.error() == QNetworkReply::NoError) TakeBody(reply, answer, request.maxBody);
  answer.status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const bool cancelled = reply.error() == QNetworkReply::OperationCanceledError;
  if (answer.tooLarge) return;
  if (pastDeadline) {
    answer.timedOutAfterMs = request.deadlineMs;
  } else if (cancelled && !aborted) {
    answer.timedOutAfterMs = request.transferTimeoutMs;
  } else if (reply.error() != QNetworkReply::NoError) {
    answer.error = reply.errorString().toStdString();
  } else {
    answer.ok = true;
  }
}

}  // namespace

WebAnswer QtWebTransport::send(const WebRequest& request, const UploadProgress* progress) {
  ReplyHandle reply(request.post ? manager_.post(MakeRequest(request), QByteArray::fromStdString(request.body))
                                 : manager_.get(MakeRequest(request)));
  const QPointer<QNetworkReply> outerUpload = upload_;
  if (request.post) upload_ = reply.get();
  ++waiting_;
  WebAnswer answer;
  bool pastDeadline = false;
  bool begun = false;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    pastDeadline = true;
    reply->abort();
  });
  QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
    if (!answer.tooLarge) TakeBody(*reply, answer, request.maxBody);
  });
  if (progress != nullptr) {
    // An aborted upload reports nothing of nothing: no progress to show.
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, [&](qint64 sent, qint64 total) {
      if (total <= 0) return;
      if (!begun && progress->begin) progress->begin(total);
      begun = true;
      if (progress->work) progress->work(sent);
    });
  }
  deadline.start(request.deadlineMs);
  if (!reply->isFinished()) loop.exec();
  deadline.stop();
  // The program quitting ends every event loop, this one too, before the answer is in.
  if (!reply->isFinished()) {
    reply->setProperty(kCutOff, true);
    reply->abort();
  }
  if (begun && progress->end) progress->end();
  Conclude(*reply, answer, request, pastDeadline);
  if (request.post) upload_ = outerUpload;
  --waiting_;
  return answer;
}

void QtWebTransport::abort() {
  QNetworkReply* reply = upload_.data();
  if (reply == nullptr) return;
  reply->setProperty(kCutOff, true);
  reply->abort();
}

bool QtWebTransport::busy() const { return waiting_ > 0; }
