// Connecting, logging in, changing the link speed and disconnecting.
#include <array>
#include <optional>

#include "logger/answer_parsers.h"
#include "logger/device_link.h"
#include "logger/link_helpers.h"

namespace {

constexpr int kConnectPauseMs = 100;
constexpr int kLoginTimeoutMs = 1500;
constexpr int kLoginKeep = 10;
constexpr int kBaudTimeoutMs = 1500;
constexpr int kBaudKeep = 32;
constexpr int kBaudRetryPauseMs = 1500;
constexpr int kBaudSettlePauseMs = 100;
constexpr int kLogoutPauseMs = 100;
constexpr int kLogoutReadMax = 31;
constexpr int kRadioPasses = 2;
constexpr uint8_t kMaxBaudIndex = kBaudTableSize - 1;

// The rates a device can be moved to, by the code "set -baud" takes.
constexpr std::array<uint32_t, 7> kDeviceRates = {9600, 19200, 38400, 57600, 115200, 230400, 460800};

constexpr std::array<const char*, 25> kReservedNames = {
    "ERROR", "Unsupported", "volt",   "show", "yes",  "hertz", "time", "dump", "erase",
    "login", "logout",      "query",  "help", "temp", "scan",  "term", "ping", "post",
    "get",   "set",         "teltst", "ack",  "nack", "OK",    "boot"};
constexpr std::string_view kForbiddenNameCharacters = "?\\\"/<>*|:;,";

std::optional<int> BaudCode(uint32_t rate) {
  for (size_t code = 0; code < kDeviceRates.size(); ++code) {
    if (kDeviceRates[code] == rate) return static_cast<int>(code);
  }
  return std::nullopt;
}

bool IsKnownUnsupportedType(uint8_t type) {
  return type == 20 || type == 40 || type == 100 || type == 110 || type == 120;
}

// A failed connection returns to not connected; the port stays open at 9600
// only when the configuration asks for that.
void DropConnection(DeviceLink& link) {
  link.params.connectionType = kConnectionNone;
  if (link.config.keepPortOpen && VSHostBaud(link.port, kLinkBaud) >= 0) return;
  VSClose(link.port);
}

int OpenPort(DeviceLink& link, const std::string& name) {
  // A port kept open by the last connection is used as it is.
  if (link.port.handle != nullptr && link.port.portName == PortRecordName(name)) return kLinkOk;
  return VSOpen(link.port, name, kLinkBaud);
}

int ResultOfRadioPasses(DeviceLink& link, std::string* name) {
  int result = kLinkNoAnswer;
  for (int pass = 0; pass < kRadioPasses; ++pass) {
    if (pass > 0) {
      const int woke = SendWake(link);
      if (woke < 0) return woke;
    }
    if (name->empty()) {
      std::string heard;
      result = QueryCommand(link, &heard);
      if (result == kLinkCancelled) return result;
      if (result == kLinkNoAnswer || result == kLinkLastSilent) continue;
      if (result < 0) break;
      *name = heard;
    }
    result = LoginCommand(link, name);
    if (result >= 0) {
      StoreText(link.settings.deviceName, *name, kDeviceNameMax);
      return kLinkOk;
    }
    if (result != kLinkNoAnswer) break;
  }
  return result;
}

int RadioLogin(DeviceLink& link, std::string* name, uint8_t* baudIndex) {
  const int result = ResultOfRadioPasses(link, name);
  if (result == kLinkCancelled) return result;
  if (result == kLinkNoAnswer || result == kLinkLastSilent || (result >= 0 && link.settings.deviceName.empty())) {
    print_message(link.log, kLogFailure, Tag(link), "DeviceLogin: nothing is listening over the radio");
    return kLinkNotListening;
  }
  if (result == kLinkEcho) {
    print_message(link.log, kLogFailure, Tag(link), "DeviceLogin thinks a relay must be active");
    return kLinkRelay;
  }
  if (result < 0) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceLogin failed with error %d", result);
    return result;
  }
  *baudIndex = kBaudIndex9600;
  print_message(link.log, kLogProtocol, Tag(link), "DeviceLogin communicating with a device running %s at %d baud",
                link.settings.versionText.c_str(), static_cast<int>(link.port.hostBaud));
  return kLinkOk;
}

// Moves device and host to the requested rate when the device can change it.
int ChangeLinkRate(DeviceLink& link, uint8_t* baudIndex) {
  uint32_t rate = BaudOfIndex(*baudIndex);
  // A rate the device has no code for would leave the device at 9600 and the host elsewhere.
  if (!BaudCode(rate)) rate = kLinkBaud;
  if (!HasCapability(link, kCapBaudChange) || rate == link.port.hostBaud) {
    *baudIndex = kBaudIndex9600;
    return kLinkOk;
  }
  const int changed = SetBaudCommand(link, rate);
  if (changed < 0) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceLogin: device didn't change baud rate (error %d)", changed);
    *baudIndex = kBaudIndex9600;
    return kLinkOk;
  }
  const int host = VSHostBaud(link.port, rate);
  if (host < 0) {
    print_message(link.log, kLogFailure, Tag(link), "DeviceLogin: host reports it can't change baud (error %d)", host);
    return kLinkNotListening;
  }
  return kLinkOk;
}

int SerialLogin(DeviceLink& link, uint8_t* baudIndex) {
  const int result = VerCommand(link, true);
  if (result == kLinkNoAnswer) {
    print_message(link.log, kLogFailure, Tag(link), "DeviceLogin: nothing is listening over the serial port");
    return kLinkNotListening;
  }
  if (result < 0) {
    print_message(link.log, kLogProtocol, Tag(link), "DeviceLogin failed with error %d", result);
    return result;
  }
  const int changed = ChangeLinkRate(link, baudIndex);
  if (changed < 0) return changed;
  print_message(link.log, kLogProtocol, Tag(link), "DeviceLogin communicating with a device running %s at %d baud",
                link.settings.versionText.c_str(), static_cast<int>(link.port.hostBaud));
  return kLinkOk;
}

int RadioLogout(DeviceLink& link) {
  for (uint32_t attempt = 0; attempt < link.currentTries; ++attempt) {
    VSPurge(link.port, kPurgeReceive);
    link.answerLength = 0;
    link.answerBuffer[0] = '\0';
    WriteRaw(link, "logout\r");
    Pause(link, kLogoutPauseMs);
    WriteRaw(link, Format("login %s\r", link.settings.deviceName.c_str()));
    std::array<char, kLogoutReadMax + 1> heard{};
    int count = 0;
    const int read = VSRead(link.port, heard.data(), kLogoutReadMax, &count);
    if (read == 0) return kLinkOk;  // silence: the device has left its command line
    if (count > 0) TraceAnswer(link, std::string_view(heard.data(), static_cast<size_t>(count)));
    print_message(link.log, kLogProtocol, Tag(link), "DisconnectDevice: Device didn't disconnect, retrying");
  }
  return kLinkLastSilent;
}

}  // namespace

int ConnectDevice(DeviceLink& link, ConnectParams* params) {
  if (params == nullptr) return kLinkMissing;
  if (link.status != kLinkOk) return kLinkNoMemory;
  link.settings = LoggerSettings{};
  link.resets = 0;
  if (params->connectionType == kConnectionNone) return kLinkInvalid;
  if (params->connectionType == kConnectionSerial) {
    link.currentTries = link.config.serialTries;
  } else if (params->connectionType == kConnectionRadio) {
    link.currentTries = link.config.radioTries;
  } else {
    return IsKnownUnsupportedType(params->connectionType) ? kLinkUnsupported : kLinkMissing;
  }
  if (params->baudIndex == 0) params->baudIndex = kBaudIndex9600;
  if (params->baudIndex > kMaxBaudIndex) return kLinkInvalid;
  if (!IsConnected(link)) {
    const int opened = OpenPort(link, params->portName);
    if (opened < 0) return opened;
  }
  link.params = *params;
  Pause(link, kConnectPauseMs);
  if (IsRadio(link) && link.params.configureRadio) {
    link.currentTries = 3;
    uint32_t mask = kBitRadioChannel | kBitRadioSubChannel;
    const int configured =
        Rq4Config(link, &link.params.radioChannel, &link.params.radioSubChannel, nullptr, true, &mask);
    if (configured != kLinkOk) {
      DropConnection(link);
      return kLinkRadioConfig;
    }
    link.currentTries = link.config.radioTries;
  }
  const int result = DeviceLogin(link, &link.params.deviceName, &link.params.baudIndex);
  params->baudIndex = link.params.baudIndex;
  if (result < 0) DropConnection(link);
  return result;
}

int DeviceLogin(DeviceLink& link, std::string* name, uint8_t* baudIndex) {
  if (name == nullptr || baudIndex == nullptr) return kLinkMissing;
  if (link.port.hostBaud != kLinkBaud) {
    const int changed = VSHostBaud(link.port, kLinkBaud);
    if (changed < 0) {
      print_message(link.log, kLogProtocol, Tag(link), "DeviceLogin: host reports it can't change baud (error %d)",
                    changed);
      return kLinkNotListening;
    }
  }
  return IsRadio(link) ? RadioLogin(link, name, baudIndex) : SerialLogin(link, baudIndex);
}

int DisconnectDevice(DeviceLink& link) {
  if (!IsConnected(link)) return 0;
  int result = kLinkLastSilent;
  if (IsRadio(link)) {
    result = RadioLogout(link);
  } else {
    if (link.port.hostBaud != kLinkBaud) SetBaudCommand(link, kLinkBaud);
    result = kLinkOk;
  }
  link.settings = LoggerSettings{};
  link.resets = 0;
  link.params.connectionType = kConnectionNone;
  if (link.config.keepPortOpen) {
    const int host = VSHostBaud(link.port, kLinkBaud);
    if (host < 0) {
      VSClose(link.port);
      print_message(link.log, kLogFailure, Tag(link),
                    "DisconnectDevice: Error setting host baud rate; can't keep port open (error %d)", host);
    }
  } else {
    VSClose(link.port);
  }
  if (result > 0) print_message(link.log, kLogProtocol, Tag(link), "DisconnectDevice successful");
  return result;
}

int LoginCommand(DeviceLink& link, const std::string* name) {
  if (name != nullptr && name->size() > kDeviceNameMax) {
    print_message(link.log, kLogFailure, Tag(link), "LoginCommand: Device name %s is wrong length (%d characters)",
                  name->c_str(), static_cast<int>(name->size()));
    return kNameTooLong;
  }
  const std::string command = (name == nullptr || name->empty()) ? "login\r" : Format("login %s\r", name->c_str());
  std::string answer;
  const int result = DeviceCommand(link, command, '>', kLoginTimeoutMs, &answer, kLoginKeep, nullptr);
  if (result == kLinkEmptyAnswer) return kLinkOk;
  if (result < 0) return result;
  return result > 0 && Contains(answer, ">") ? kLinkOk : kLinkNotUnderstood;
}

int ValidateDeviceName(const std::string* name) {
  if (name == nullptr || name->empty()) return kNameEmpty;
  if (name->size() > kDeviceNameMax) return kNameTooLong;
  for (const char* reserved : kReservedNames) {
    if (*name == reserved) return kNameReserved;
  }
  for (const char raw : *name) {
    const auto c = static_cast<unsigned char>(raw);
    if (c < '!' || c == 127 || c == 255) return kNameBadCharacter;
    if (kForbiddenNameCharacters.find(raw) != std::string_view::npos) return kNameForbidden;
    if (c >= 128) return kNameNotAscii;
  }
  return kLinkOk;
}

int SetBaudCommand(DeviceLink& link, uint32_t rate) {
  const uint32_t start = Now(link);
  if (!link.settings.newFirmware) {
    print_message(link.log, kLogProtocol, Tag(link), "SetBaudCommand: device (%s) can't change baud rate",
                  link.settings.deviceName.c_str());
    return kLinkNothing;
  }
  std::optional<int> code = BaudCode(rate);
  if (!code) {
    print_message(link.log, kLogProtocol, Tag(link), "SetBaudCommand: unsupported baud rate %d, using 9600",
                  static_cast<int>(rate));
    code = 0;
    rate = kLinkBaud;
  }
  const std::string command = Format("set -baud %d\r", *code);
  int result = kLinkNoAnswer;
  for (uint32_t attempt = 0; attempt < link.currentTries; ++attempt) {
    std::string answer;
    const int heard = DeviceCommand(link, command, 'K', kBaudTimeoutMs, &answer, kBaudKeep, nullptr);
    if (heard >= 0) {
      if (Contains(answer, "OK")) {
        print_message(link.log, kLogProtocol, Tag(link), "SetBaudCommand set device baud rate to %d (%d ms)",
                      static_cast<int>(rate), Since(link, start));
        result = kLinkOk;
        break;
      }
      result = kLinkNotUnderstood;
      if (Contains(answer, "\r>")) {
        print_message(link.log, kLogProtocol, Tag(link), "SetBaudCommand failed (heard prompt): trying again (%d ms)",
                      Since(link, start));
        continue;
      }
      print_message(link.log, kLogProtocol, Tag(link), "SetBaudCommand failed: heard: %s (%d ms)", answer.c_str(),
                    Since(link, start));
      break;
    }
    if (heard == kLinkNoAnswer) {
      // Moving back to 9600 the device may already have switched and cannot hear us.
      if (rate == kLinkBaud) {
        result = kLinkOk;
        break;
      }
      result = kLinkNoAnswer;
      if (link.port.hostBaud == kLinkBaud) Pause(link, kBaudRetryPauseMs);
      continue;
    }
    result = heard;
  }
  if (result < 0) {
    print_message(link.log, kLogFailure, Tag(link), "SetBaudCommand failed with error %d (%d ms)", result,
                  Since(link, start));
  }
  Pause(link, kBaudSettlePauseMs);
  return result;
}
