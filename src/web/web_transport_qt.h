// The transport of the Qt builds: Qt Network, each request waited for in a nested
// event loop, so the window repaints and can be closed meanwhile.
#pragma once

#include <QNetworkAccessManager>
#include <QPointer>

#include "web/web_transport.h"

class QNetworkReply;

class QtWebTransport : public WebTransport {
 public:
  WebAnswer send(const WebRequest& request, const UploadProgress* progress) override;
  void abort() override;
  bool busy() const override;

 private:
  QNetworkAccessManager manager_;
  QPointer<QNetworkReply> upload_;  // the post in flight, for abort()
  int waiting_ = 0;                 // requests in flight, one inside another's wait at most
};
