#include "host_waits.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "device_models.h"

namespace {

constexpr double kMsPerSecond = 1000.0;
// The updater's fixed pauses (its connection, loader and update sequence units).
constexpr int kConnectPauseMs = 100;      // after opening the port for the command line
constexpr int kDisconnectPauseMs = 100;   // after every close
constexpr int kOpenSettleMs = 1000;       // after opening the port for the loader
constexpr int kBootReplyMs = 750;         // the boot word's answer window
constexpr int kHandshakeReplyMs = 100;    // each of the loader's "\r" and "P" answer windows
constexpr int kHandshakeSteps = 2;
constexpr int kVectorPauseMs = 50;        // before the vectors

struct RestartWait {
  std::string_view model;
  int ms;  // what the updater waits for this model to restart after its vectors
};
constexpr std::array<RestartWait, 3> kRestartWaits = {{{"TGX", 9500}, {"MQ2", 14000}, {"LX40", 3000}}};

int RestartWaitMs(const Device& device) {
  const auto it = std::find_if(kRestartWaits.begin(), kRestartWaits.end(),
                               [&](const RestartWait& row) { return row.model == device.model->name; });
  const int host = it == kRestartWaits.end() ? 0 : it->ms;
  const auto own = std::chrono::duration_cast<std::chrono::milliseconds>(device.restartDelay).count();
  return std::max(host, static_cast<int>(own));  // the device's own restart runs inside the wait
}

int WaitMs(HostWait wait, const Device& device) {
  switch (wait) {
    case HostWait::CommandLineOpen: return kConnectPauseMs;
    case HostWait::PortClosed: return kDisconnectPauseMs;
    case HostWait::BootWord: return kOpenSettleMs + kBootReplyMs;
    case HostWait::LoaderAttach: return kHandshakeSteps * kHandshakeReplyMs;
    case HostWait::Vectors: return kVectorPauseMs + RestartWaitMs(device);
  }
  return 0;
}

}  // namespace

std::string_view HostWaitName(HostWait wait) {
  switch (wait) {
    case HostWait::CommandLineOpen: return "commandLineOpen";
    case HostWait::PortClosed: return "portClosed";
    case HostWait::BootWord: return "bootWord";
    case HostWait::LoaderAttach: return "loaderAttach";
    case HostWait::Vectors: return "vectorsAndRestart";
  }
  return "";
}

void NoteHostWait(HostWaits& waits, HostWait wait, const Device& device) {
  waits.seconds += WaitMs(wait, device) / kMsPerSecond;
  ++waits.counts[std::string(HostWaitName(wait))];
}

void NoteHostOpen(HostWaits& waits) {
  if (waits.hostAttached) return;
  waits.hostAttached = true;
  waits.freshOpen = true;
}

// The pause after opening is known only once the session shows what it was: the loader's
// open settles longer and is counted with the boot word.
void EndSession(HostWaits& waits, const Device& device) {
  if (waits.commandLineSession) NoteHostWait(waits, HostWait::CommandLineOpen, device);
  waits.commandLineSession = false;
  waits.freshOpen = false;
}

void NoteHostClose(HostWaits& waits, const Device& device) {
  if (!waits.hostAttached) return;
  waits.hostAttached = false;
  EndSession(waits, device);
  NoteHostWait(waits, HostWait::PortClosed, device);
}

void FinishHostWaits(HostWaits& waits, const Device& device) { EndSession(waits, device); }

DeviceMarks MarkDevice(const Device& device) {
  return {device.mode, device.loader.state == LoaderState::Attached, device.vectorsWritten};
}

void NoteDeviceChange(HostWaits& waits, const DeviceMarks& before, const Device& device) {
  if (waits.freshOpen && before.mode == DeviceMode::Firmware) waits.commandLineSession = true;
  waits.freshOpen = false;
  if (before.mode == DeviceMode::Firmware && device.mode == DeviceMode::Loader) {
    waits.commandLineSession = false;
    NoteHostWait(waits, HostWait::BootWord, device);
  }
  if (device.mode == DeviceMode::Loader && !before.attached && device.loader.state == LoaderState::Attached) {
    NoteHostWait(waits, HostWait::LoaderAttach, device);
  }
  if (!before.vectorsWritten && device.vectorsWritten) NoteHostWait(waits, HostWait::Vectors, device);
}
