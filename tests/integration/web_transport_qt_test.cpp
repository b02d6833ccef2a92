// What only the Qt transport can meet: the program quitting while a request waits in
// its nested event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

#include "web/web_client.h"
#include "web/web_host.h"
#include "web/web_transport_qt.h"
#include "web_support/test_transport.h"
#include "web_support/web_server.h"

namespace {

TEST(QtWebTransport, QuittingEndsAWaitAsAFailure) {
  const WebServer server;
  QtWebTransport transport;
  WebClient client;
  client.transport = &transport;
  client.host = WebHostUrl(server.Url());
  QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
  const auto start = std::chrono::steady_clock::now();
  const WebAnswer answer = WebGet(client, "/stall", 1024);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(answer.ok);
  EXPECT_FALSE(answer.error.empty());
  EXPECT_EQ(answer.timedOutAfterMs, 0) << "a quit is no time-out";
  EXPECT_FALSE(transport.busy());

  // The quit stays pending for every later loop until the application's own loop has run.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) { return RunWebTests(argc, argv); }
