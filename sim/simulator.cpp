#include "simulator.h"

#include <cstdio>
#include <thread>

#include "device_models.h"
#include "report.h"

namespace {

constexpr int kPollMs = 50;
constexpr auto kHangupPause = std::chrono::milliseconds(20);  // nobody has the port open
constexpr auto kReplugPause = std::chrono::milliseconds(200);  // the cable is out this long
constexpr int kLastBytesMs = 20;  // the kernel may still be passing the host's last bytes through the pty

void SendReplies(Simulator& sim) {
  Device& device = *sim.device;
  for (Reply& reply : device.outbox) {
    const uint32_t hostBaud = PtyLinkHostBaud(sim.link);
    if (hostBaud != reply.baud) {
      reply.bytes = DeviceNoise(device, reply.bytes.size());
      device.garbledSent += reply.bytes.size();
    }
    PtyLinkWrite(sim.link, reply.bytes, hostBaud);
  }
  device.outbox.clear();
}

// False when the host has gone away in the middle of reading.
bool Receive(Simulator& sim) {
  std::string bytes;
  uint32_t hostBaud = 0;
  if (!PtyLinkRead(sim.link, bytes, hostBaud)) return false;
  for (char byte : bytes) {
    const DeviceMarks before = MarkDevice(*sim.device);
    DeviceReceive(*sim.device, static_cast<uint8_t>(byte), hostBaud, SimClock::now());
    NoteDeviceChange(sim.waits, before, *sim.device);
    if (sim.device->hangupRequested) return true;
  }
  SendReplies(sim);
  return true;
}

// The faults have passed: the rules go, what fired stays in the report.
void EndFaults(Simulator& sim) {
  sim.device->faults.rules.clear();
  std::string error;
  if (!SimulatorWriteReport(sim, error)) std::fprintf(stderr, "vornbsl-devsim: %s\n", error.c_str());
}

// The pulled cable goes back in; false when there is no new link.
bool Replug(Simulator& sim) {
  std::this_thread::sleep_for(kReplugPause);
  sim.device->hangupRequested = false;
  std::string error;
  if (PtyLinkOpen(sim.link, sim.options.linkPath, error)) return true;
  std::fprintf(stderr, "vornbsl-devsim: %s\n", error.c_str());
  return false;
}

// Bytes the host wrote before the stop still reach the device, so the report sees them.
void TakeInPendingBytes(Simulator& sim) {
  while (PtyLinkWait(sim.link, kLastBytesMs) == LinkEvent::Data && Receive(sim) && !sim.device->hangupRequested) {
  }
}

}  // namespace

bool SimulatorSetup(Simulator& sim, std::string& error) {
  const DeviceModel* model = FindDeviceModel(sim.options.model);
  if (!model) {
    error = "unknown device model " + sim.options.model;
    return false;
  }
  if (!sim.options.imagePath.empty() && !ReadTiText(sim.options.imagePath, sim.image, error)) return false;
  DeviceSetup setup;
  setup.firmwareVersion = sim.options.firmwareVersion;
  setup.loaderVersion = sim.options.loaderVersion;
  setup.loaderBaud = sim.options.loaderBaud;
  setup.hasLoader = !sim.options.noLoader;
  setup.startInLoader = sim.options.startInLoader;
  setup.restartDelay = std::chrono::milliseconds(sim.options.restartMs);
  setup.seed = sim.options.seed;
  setup.unit = sim.options.unit;
  setup.faults = sim.options.faults;
  setup.modelOptions = sim.options.modelOptions;
  setup.passThrough = sim.options.passThrough;
  setup.passThrough.sensorImage = sim.image;  // --image is judged against the sensor's flash too
  setup.instrument = sim.options.instrument;
  sim.device = MakeDevice(*model, setup);
  sim.link.baudTiming = sim.options.baudTiming;
  sim.link.adapterLatency = std::chrono::milliseconds(sim.options.adapterLatencyMs);
  return PtyLinkOpen(sim.link, sim.options.linkPath, error);
}

void RunSimulator(Simulator& sim, const volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t* faultsEnd) {
  Device& device = *sim.device;
  while (!stop) {
    if (faultsEnd && *faultsEnd) {
      *faultsEnd = 0;
      EndFaults(sim);
    }
    const LinkEvent event = PtyLinkWait(sim.link, DeviceMsToTimer(device, SimClock::now(), kPollMs));
    DeviceTick(device, SimClock::now());
    if (event == LinkEvent::Failed) return;
    if (event == LinkEvent::Hangup) {
      NoteHostClose(sim.waits, device);
      if (sim.options.exitAfterUpdate && device.updateFinished) return;
      std::this_thread::sleep_for(kHangupPause);
      continue;
    }
    if (event == LinkEvent::Data) NoteHostOpen(sim.waits);
    if (event == LinkEvent::Data && !Receive(sim)) {
      std::this_thread::sleep_for(kHangupPause);
      continue;
    }
    SendReplies(sim);
    if (device.hangupRequested) {
      PtyLinkClose(sim.link);  // the pulled cable
      if (!sim.options.replug || !Replug(sim)) return;
    }
  }
  TakeInPendingBytes(sim);
}

bool SimulatorWriteReport(const Simulator& sim, std::string& error) {
  if (sim.options.reportPath.empty()) return true;
  nlohmann::json report = MakeReport(*sim.device, sim.link, sim.options.imagePath.empty() ? nullptr : &sim.image);
  HostWaits waits = sim.waits;
  FinishHostWaits(waits, *sim.device);
  report["hostWaits"] = waits.counts;
  report["hostWaitSeconds"] = waits.seconds;
  // No erase or write times are modelled: the flash takes what the wire brings at once.
  report["updateBoundSeconds"] = sim.link.wireSeconds + waits.seconds;
  return WriteReport(sim.options.reportPath, report, error);
}
