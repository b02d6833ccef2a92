#include "device.h"

#include <algorithm>

#include "device_models.h"

namespace {

// What a receiver makes of characters sent at another rate: printable characters as often as
// bytes of the upper half, never a line end (so noise cannot pass for a whole answer by itself).
constexpr int kNoiseLow = 0x20;
constexpr int kNoiseHigh = 0xFF;
constexpr int kDelete = 0x7F;
constexpr size_t kMaxFirmwareLine = 256;
constexpr uint32_t kResetVector = kVectorTable + 2 * (kVectorCount - 1);
constexpr uint16_t kErasedWord = 0xFFFF;
constexpr auto kMuteStartRetry = std::chrono::milliseconds(500);  // a mute start is tried again this often

// Power-on or restart: the reset vector and the firmware's own check decide where it comes up.
void DeviceStart(Device& device) {
  device.identity = CheckFirmwareIdentity(device.flash);
  const bool resetVectorErased = FlashWord(device.flash, kResetVector) == kErasedWord;
  if (device.hasLoader && (resetVectorErased || !device.identity.intact)) {
    device.mode = DeviceMode::Loader;
    LoaderStart(device.loader, kLoaderStartBaud);
    return;
  }
  device.mode = DeviceMode::Firmware;
  device.firmwareLine.clear();
  device.firmware->Start(device);
}

// Every byte reaches the command line as sent: values may hold any character.
void ReceiveFirmware(Device& device, uint8_t byte) {
  if (byte == '\n') return;
  if (device.firmware->Byte(device, byte)) return;
  if (byte != '\r') {
    if (device.firmwareLine.size() < kMaxFirmwareLine) device.firmwareLine.push_back(static_cast<char>(byte));
    return;
  }
  std::string line = std::move(device.firmwareLine);
  device.firmwareLine.clear();
  device.firmware->Line(device, std::move(line));
  device.garbleReplies = false;
}

void ApplyLoaderAction(Device& device, LoaderAction& action, SimClock::time_point now) {
  if (!action.reply.empty()) {
    std::string bytes = action.garble ? DeviceNoise(device, action.reply.size()) : std::move(action.reply);
    device.outbox.push_back(Reply{std::move(bytes), device.loader.baud});
  }
  switch (action.event) {
    case LoaderEvent::VectorsWritten:
      device.vectorsWritten = true;
      device.startingNewFirmware = true;
      device.mode = DeviceMode::Restarting;
      device.restartAt = now + device.restartDelay;
      break;
    case LoaderEvent::Reset: DeviceResetIntoLoader(device); break;
    case LoaderEvent::Hangup: device.hangupRequested = true; break;
    case LoaderEvent::None: break;
  }
}

// An injected fault as the new firmware starts; true when the start does not happen now.
// A start has no answer to refuse or bytes to lose, so nak, drop, echo and error do nothing.
bool RestartFault(Device& device, SimClock::time_point now) {
  const std::optional<FaultKind> fault = FaultAt(device.faults, {"restart"}, "restart");
  if (!fault) return false;
  switch (*fault) {
    case FaultKind::Silence:  // it stays mute as long as the fault lasts
      device.restartAt = now + kMuteStartRetry;
      return true;
    case FaultKind::Reset:  // a watchdog during the start: it comes up in its loader
      device.startingNewFirmware = false;
      DeviceResetIntoLoader(device);
      return true;
    case FaultKind::Garble: device.garbleReplies = true; return false;  // noise on its first answer
    case FaultKind::Hangup: device.hangupRequested = true; return false;
    case FaultKind::Nak:
    case FaultKind::Drop:
    case FaultKind::Echo:
    case FaultKind::Error: break;
  }
  return false;
}

}  // namespace

std::unique_ptr<Device> MakeDevice(const DeviceModel& model, const DeviceSetup& setup) {
  auto device = std::make_unique<Device>();
  device->model = &model;
  device->flash = MakeFlash(model.layout());
  device->hasLoader = setup.hasLoader;
  device->firmware = model.makeFirmware();
  device->faults.rules = setup.faults;
  device->restartDelay = setup.restartDelay;
  device->noise.seed(setup.seed);
  const uint32_t version = setup.firmwareVersion ? setup.firmwareVersion : model.defaultVersion;
  InstallOldFirmware(device->flash, std::string(model.name), version,
                     std::vector<ImageRange>(model.factoryImage.begin(), model.factoryImage.end()));
  device->loader.flash = &device->flash;
  device->loader.faults = &device->faults;
  device->loader.faultLog = &device->faultLog;
  device->loader.version = setup.loaderVersion ? setup.loaderVersion : model.loaderVersion;
  device->loader.fixedBaud = setup.loaderBaud.value_or(model.loaderBaud);
  device->firmware->Setup(*device, setup);
  if (setup.startInLoader && setup.hasLoader) {
    device->identity = CheckFirmwareIdentity(device->flash);
    DeviceStartLoader(*device);
  } else {
    DeviceStart(*device);
  }
  return device;
}

void DeviceReceive(Device& device, uint8_t byte, uint32_t hostBaud, SimClock::time_point now) {
  if (device.mode == DeviceMode::Restarting) return;  // nobody listens while it restarts
  const uint32_t listening = device.mode == DeviceMode::Firmware ? device.firmware->Baud()
                                                                  : LoaderListenBaud(device.loader, byte, hostBaud);
  if (hostBaud != listening) {
    ++device.garbledReceived;
    // A character at the wrong rate has a framing error: the command line drops it.
    if (device.mode == DeviceMode::Firmware) return;
    byte = static_cast<uint8_t>(DeviceNoise(device, 1)[0]);
  }
  if (device.mode == DeviceMode::Firmware) {
    ReceiveFirmware(device, byte);
    return;
  }
  LoaderAction action = LoaderReceive(device.loader, byte, hostBaud);
  ApplyLoaderAction(device, action, now);
}

void DeviceTick(Device& device, SimClock::time_point now) {
  if (device.mode != DeviceMode::Restarting || now < device.restartAt) return;
  if (device.startingNewFirmware && RestartFault(device, now)) return;
  device.startingNewFirmware = false;
  ++device.restarts;
  DeviceStart(device);
  if (device.vectorsWritten) device.updateFinished = true;
}

int DeviceMsToTimer(const Device& device, SimClock::time_point now, int limit) {
  if (device.mode != DeviceMode::Restarting) return limit;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(device.restartAt - now).count();
  return static_cast<int>(std::clamp<long long>(left, 0, limit));
}

uint32_t DeviceBaud(const Device& device) {
  return device.mode == DeviceMode::Loader ? device.loader.baud : device.firmware->Baud();
}

const char* DeviceModeName(const Device& device) {
  switch (device.mode) {
    case DeviceMode::Firmware: return "firmware";
    case DeviceMode::Restarting: return "restarting";
    case DeviceMode::Loader: break;
  }
  return device.loader.state == LoaderState::Attached ? "loader-attached" : "loader-waiting";
}

void DeviceSend(Device& device, const std::string& bytes) {
  if (bytes.empty()) return;
  device.outbox.push_back(Reply{device.garbleReplies ? DeviceNoise(device, bytes.size()) : bytes, DeviceBaud(device)});
}

void DeviceStartLoader(Device& device) {
  uint32_t start = 0, end = 0;
  FlashErase(device.flash, kVectorTable, start, end);
  device.mode = DeviceMode::Loader;
  LoaderStart(device.loader, kLoaderStartBaud);
}

void DeviceResetIntoLoader(Device& device) {
  if (!device.hasLoader) {
    device.mode = DeviceMode::Restarting;
    device.restartAt = SimClock::now() + device.restartDelay;
    return;
  }
  device.mode = DeviceMode::Loader;
  device.firmwareLine.clear();
  LoaderStart(device.loader, kLoaderStartBaud);
}

bool DeviceLineFault(Device& device, std::string_view stage, std::string& line, const std::string& nak) {
  const std::optional<FaultKind> fault = FaultAt(device.faults, {stage}, std::string(stage));
  if (!fault) return true;
  switch (*fault) {
    case FaultKind::Silence: return false;
    case FaultKind::Nak: DeviceSend(device, nak); return false;
    case FaultKind::Garble: device.garbleReplies = true; return true;
    case FaultKind::Drop:
      if (!line.empty()) line.erase(line.size() / 2, 1);
      return true;
    case FaultKind::Reset:
      // Running firmware reaches its loader only by the boot path, which erases the vectors.
      if (device.mode == DeviceMode::Firmware && device.hasLoader) {
        DeviceStartLoader(device);
      } else {
        DeviceResetIntoLoader(device);
      }
      return false;
    case FaultKind::Hangup: device.hangupRequested = true; return false;
    case FaultKind::Echo:
      DeviceSend(device, "\r" + line + "\r");
      return true;
    case FaultKind::Error: DeviceSend(device, "ERROR\r>"); return false;
  }
  return false;
}

std::string DeviceNoise(Device& device, size_t count) {
  std::string bytes;
  std::uniform_int_distribution<int> value(kNoiseLow, kNoiseHigh - 1);  // DEL is skipped below
  for (size_t i = 0; i < count; ++i) {
    int byte = value(device.noise);
    if (byte >= kDelete) ++byte;
    bytes.push_back(static_cast<char>(byte));
  }
  return bytes;
}
