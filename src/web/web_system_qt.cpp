#include <QCoreApplication>

#include "web/web_settings_qt.h"
#include "web/web_system.h"
#include "web/web_transport_qt.h"

namespace {

// Qt Network waits in an event loop, which needs an application object; a program
// without one gets one for as long as the transport lives.
class ApplicationTransport : public WebTransport {
 public:
  WebAnswer send(const WebRequest& request, const UploadProgress* progress) override {
    return transport_.send(request, progress);
  }
  void abort() override { transport_.abort(); }
  bool busy() const override { return transport_.busy(); }

 private:
  static std::unique_ptr<QCoreApplication> ApplicationIfNone() {
    static int argc = 1;
    static char name[] = "vornbsl";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() != nullptr) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
  }

  std::unique_ptr<QCoreApplication> application_ = ApplicationIfNone();  // first made, last gone
  QtWebTransport transport_;
};

}  // namespace

std::unique_ptr<WebTransport> MakeSystemWebTransport() { return std::make_unique<ApplicationTransport>(); }

std::unique_ptr<WebSettings> MakeSystemWebSettings() { return std::make_unique<QtWebSettings>(); }
