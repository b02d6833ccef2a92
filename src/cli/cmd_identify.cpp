// identify --port PORT: connect, print the device profile, disconnect.
#include <cstdio>

#include "app/update_session.h"
#include "cli/cli_commands.h"
#include "instrument/instrument_link.h"

namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

void PrintProfile(const DeviceProfile& p) {
  std::printf("kind: %d\nname: %s\nversion: %u.%02u\nupdatable: %s\n", p.kind, p.name.c_str(), p.version / 100,
              p.version % 100, YesNo(p.updatable));
  std::printf("save settings: %s\nerase data: %s\ncheck battery: %s\nlogin: %s\nset time: %s\n", YesNo(p.saveSettings),
              YesNo(p.eraseData), YesNo(p.checkBattery), YesNo(p.login), YesNo(p.setTime));
  std::printf("restart delay: %u ms\nloader: flash 0x%X-0x%X, INFO 0x%X x %u x %u, %s addresses, %u baud\n",
              p.restartDelayMs, p.flashStart, p.flashEnd, p.infoStart, p.infoSegments, p.infoSegmentSize,
              p.twentyBit ? "20-bit" : "16-bit", p.loaderBaud);
  if (p.versionWindow) std::printf("supported versions: %u-%u\n", p.lowestVersion, p.highestVersion);
}

}  // namespace

int RunIdentify(CliContext& context, CommandArgs args) {
  std::string port, error;
  if (!TakeOption(args, "--port", &port, &error)) return ReportUsage(error, kIdentifyUsage);
  if (port.empty() || !args.empty()) return ReportUsage("identify needs --port PORT and nothing else", kIdentifyUsage);
  if (!PortNameValid(port, &error)) return ReportUsage(error, kIdentifyUsage);
  InstrumentLink link(&context.log);
  DeviceProfile profile;
  const int result = VPConnect(link, port, kVPBaudIndex9600, kVPConnectTries, &profile);
  if (result < 0 && result != kVPNotSupported) {
    const std::string opening = PortOpenMessage(port, result);
    const std::string text = opening.empty() ? "No device answered on " + port + "." : opening;
    return ReportFailure(context, "Connection Error", text + PortFailureNote(port, link.device.port.failure), result);
  }
  PrintProfile(profile);
  VPDisconnect(link, false);
  return result < 0 ? kExitFailed : kExitSuccess;
}
