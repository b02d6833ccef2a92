#include "web/check_version_command.h"

#include <QCoreApplication>

#include <memory>
#include <ostream>

#include "web/version_finder.h"
#include "web/web_host.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Messages go to the terminal; questions are answered No, so no browser starts.
struct TerminalWebUi : WebUi {
  TerminalWebUi(std::ostream& outStream, std::ostream& errStream) : out(outStream), err(errStream) {}

  bool AskUser(const QString& text, const QString& caption, bool, int kind) override {
    failed = failed || kind == kBoxError;
    std::ostream& to = kind == kBoxError || kind == kBoxWarning ? err : out;
    to << caption.toStdString() << ": " << text.toStdString() << '\n';
    return false;
  }
  bool OpenUrl(const QUrl&) override { return false; }
  QString ChooseFile(const QString&, const QString&, const QString&) override { return {}; }

  std::ostream& out;
  std::ostream& err;
  bool failed = false;
};

}  // namespace

int RunCheckVersionCommand(const CheckVersionCommand& command, std::ostream& out, std::ostream& err) {
  int argc = 1;
  char name[] = "vornbsl-cli";
  char* argv[] = {name, nullptr};
  std::unique_ptr<QCoreApplication> application;
  if (QCoreApplication::instance() == nullptr) application = std::make_unique<QCoreApplication>(argc, argv);

  const QString hostText = ConfiguredWebHost(QString::fromStdString(command.host));
  WebClient client;
  client.host = WebHostUrl(hostText);
  if (!client.host.isValid()) {
    err << "check-version: not an http or https address: " << hostText.toStdString() << '\n';
    return kExitUsage;
  }
  if (command.path.empty() || command.currentVersion == 0) {
    err << "check-version: this build has no version to check\n";
    return kExitFailed;
  }

  out << "current: " << VersionText(command.currentVersion).toStdString() << '\n';
  TerminalWebUi ui(out, err);
  VersionFile found;
  StartVersionCheck(client, ui, true, command.currentVersion, QString::fromStdString(command.path),
                    QString::fromStdString(command.deviceName), &found);
  if (ui.failed || found.result < 0) return kExitFailed;
  out << "latest: " << VersionText(found.version).toStdString() << '\n';
  out << "url: " << found.url.toStdString() << '\n';
  return kExitSuccess;
}
