// The waits an instrument update must make on top of the wire time, counted from what the
// device sees: the updater's fixed pauses around opening and closing the port, the answer
// windows of the loader's start, the pause before the vectors and the restart wait. With the
// wire time they bound how fast a whole update can be (the report's "updateBoundSeconds").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "device.h"

enum class HostWait { CommandLineOpen, PortClosed, BootWord, LoaderAttach, Vectors };

struct HostWaits {
  double seconds = 0;
  std::map<std::string, uint32_t> counts;  // by wait, for the report
  bool hostAttached = false;               // someone has the port open
  bool freshOpen = false;                  // opened, nothing received yet
  bool commandLineSession = false;         // this open began on the command line, not with the boot word
};

// Counts one wait; the restart wait after the vectors depends on the device model.
void NoteHostWait(HostWaits& waits, HostWait wait, const Device& device);
// The link's view of the port: an open (data after a hang-up) and a close (a hang-up).
void NoteHostOpen(HostWaits& waits);
void NoteHostClose(HostWaits& waits, const Device& device);
// Counts the waits of a session still open (the report is written while the host holds the port).
void FinishHostWaits(HostWaits& waits, const Device& device);
// Around one received byte: compares the device before and after to spot the boot word, the
// loader attaching, the vectors and the first command line byte after an open.
struct DeviceMarks {
  DeviceMode mode = DeviceMode::Firmware;
  bool attached = false;
  bool vectorsWritten = false;
};
DeviceMarks MarkDevice(const Device& device);
void NoteDeviceChange(HostWaits& waits, const DeviceMarks& before, const Device& device);
std::string_view HostWaitName(HostWait wait);
