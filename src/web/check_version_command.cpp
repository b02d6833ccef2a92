#include "web/check_version_command.h"

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

  bool AskUser(const std::string& text, const std::string& caption, bool, int kind) override {
    failed = failed || kind == kBoxError;
    std::ostream& to = kind == kBoxError || kind == kBoxWarning ? err : out;
    to << caption << ": " << text << '\n';
    return false;
  }
  bool OpenUrl(const std::string&) override { return false; }
  std::string ChooseFile(const std::string&, const std::string&, const std::string&) override { return {}; }

  std::ostream& out;
  std::ostream& err;
  bool failed = false;
};

}  // namespace

int RunCheckVersionCommand(const CheckVersionCommand& command, WebTransport& transport, const WebSettings* settings,
                           std::ostream& out, std::ostream& err) {
  const std::string hostText = ConfiguredWebHost(command.host, settings);
  WebClient client;
  client.host = WebHostUrl(hostText);
  client.transport = &transport;
  client.transferTimeoutMs = ConfiguredWebTimeoutMs(kTransferTimeoutMs);
  client.getDeadlineMs = ConfiguredWebTimeoutMs(kGetDeadlineMs);
  if (client.host.empty()) {
    err << "check-version: not an http or https address: " << hostText << '\n';
    return kExitUsage;
  }
  if (command.path.empty() || command.currentVersion == 0) {
    err << "check-version: this build has no version to check\n";
    return kExitFailed;
  }

  out << "current: " << VersionText(command.currentVersion) << '\n';
  TerminalWebUi ui(out, err);
  VersionFile found;
  StartVersionCheck(client, ui, true, command.currentVersion, command.path, command.deviceName, &found);
  if (ui.failed || found.result < 0) return kExitFailed;
  out << "latest: " << VersionText(found.version) << '\n';
  out << "url: " << found.url << '\n';
  return kExitSuccess;
}
