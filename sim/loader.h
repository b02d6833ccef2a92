// The resident bootstrap loader, device side. It knows nothing of the device around it: bytes
// go in, the answer and what the device must do next come out, so the same loader serves the
// instrument and, later, a sensor reached through a pass-through device. Its memory is a Flash
// with the owner's layout.
//
// Waiting: a "\r" is answered "$" and sets the rate (a loader that measures the rate hears it at
// any rate; one built for a fixed rate hears only that one); "P" attaches ("#").
// Attached: framed commands g @ W X V; an unframed line is answered "?\r".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fault_plan.h"
#include "flash_model.h"

constexpr uint32_t kLoaderStartBaud = 9600;

enum class LoaderState { Waiting, Attached };
enum class LoaderEvent { None, VectorsWritten, Reset, Hangup };

struct LoaderAction {
  std::string reply;
  bool garble = false;  // an injected fault spoils the answer on its way out
  LoaderEvent event = LoaderEvent::None;
};

struct Loader {
  Flash* flash = nullptr;                         // the owner's memory
  FaultPlan* faults = nullptr;                    // injected faults; none when null
  std::vector<std::string>* faultLog = nullptr;   // host errors the loader detects
  uint32_t version = 0;                           // reported to "g"
  LoaderState state = LoaderState::Waiting;
  uint32_t baud = kLoaderStartBaud;               // the rate it listens and answers at
  uint32_t fixedBaud = 0;                         // the only rate it knows; 0: it measures the host's
  uint32_t address = 0;                           // write address, advanced by "W"
  std::string line;                               // the command being received
  bool lineTooLong = false;
  uint32_t frameCount = 0;
  std::map<std::string, uint32_t> frames;         // frames received per command letter
};

// Starts (or restarts) the loader waiting for a host at the given rate (its fixed rate, if it has one).
void LoaderStart(Loader& loader, uint32_t baud);
// The rate at which the loader reads this byte: a waiting loader measures every "\r".
uint32_t LoaderListenBaud(const Loader& loader, uint8_t byte, uint32_t hostBaud);
LoaderAction LoaderReceive(Loader& loader, uint8_t byte, uint32_t hostBaud);
