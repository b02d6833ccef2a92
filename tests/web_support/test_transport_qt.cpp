#include <QCoreApplication>
#include <QTimer>

#include "web/web_transport_qt.h"
#include "web_support/qt_test_main.h"
#include "web_support/test_transport.h"

namespace {

// Qt's transport with a timer that ticks while the nested event loop waits.
class TickingTransport : public QtWebTransport {
 public:
  explicit TickingTransport(int* handled) {
    QObject::connect(&ticker_, &QTimer::timeout, [handled] { ++*handled; });
    ticker_.start(kTickMs);
  }

 private:
  static constexpr int kTickMs = 20;
  QTimer ticker_;
};

}  // namespace

std::unique_ptr<WebTransport> MakeTestTransport(int* handled) { return std::make_unique<TickingTransport>(handled); }

int RunWebTests(int argc, char** argv) { return RunQtTests<QCoreApplication>(argc, argv); }
