// The simulator's loop: one device behind one pseudo-terminal.
#pragma once

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "device.h"
#include "host_waits.h"
#include "options.h"
#include "pty_link.h"
#include "ti_text.h"

struct Simulator {
  SimOptions options;
  PtyLink link;
  std::unique_ptr<Device> device;
  std::vector<TiSegment> image;  // the --image file, when given
  HostWaits waits;               // the updater's mandated waits seen so far
};

// Builds the device, reads the image and opens the pseudo-terminal; false with a message.
bool SimulatorSetup(Simulator& sim, std::string& error);
// Plays the device until `stop` is set, an injected hang-up pulls the cable, or (with
// --exit-after-update) the host has closed the port after the device restarted from its update.
// `faultsEnd` (SIGUSR1) ends the injected faults and writes the report of the state so far;
// with --replug an injected hang-up is followed by a new pseudo-terminal at the --link path.
void RunSimulator(Simulator& sim, const volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t* faultsEnd = nullptr);
bool SimulatorWriteReport(const Simulator& sim, std::string& error);
