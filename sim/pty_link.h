// The simulator's end of the wire: the master side of a pseudo-terminal whose slave the host
// opens as its serial port. The host's line settings are read from the master (on Linux they
// are the slave's), so the simulator knows the rate of every byte. The host may close and
// reopen the slave any number of times; while nobody has it open the master reports a hang-up.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "sim_clock.h"

struct TrafficCount {
  uint64_t received = 0;
  uint64_t sent = 0;
};

struct PtyLink {
  int master = -1;
  std::string slavePath;
  std::string symlinkPath;  // made by PtyLinkOpen, removed when the link closes
  bool baudTiming = false;  // pace every byte at the host's rate, 10 bits a byte
  SimClock::duration adapterLatency{};  // each answer held this long, as a USB-serial adapter's latency timer does
  SimClock::time_point receiveFree{};   // when the wire into the device is next idle
  SimClock::time_point transmitFree{};  // when the wire out of the device is next idle
  std::map<uint32_t, TrafficCount> traffic;  // by the host's rate
  double wireSeconds = 0;                    // sum over all bytes of 10 / rate

  PtyLink() = default;
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;
  ~PtyLink();
};

enum class LinkEvent { Idle, Data, Hangup, Failed };

// Creates the pseudo-terminal (and the symlink when a path is given); false with a message.
bool PtyLinkOpen(PtyLink& link, const std::string& symlinkPath, std::string& error);
void PtyLinkClose(PtyLink& link);
// Waits up to timeoutMs for bytes from the host; Hangup when no one has the slave open.
LinkEvent PtyLinkWait(PtyLink& link, int timeoutMs);
// What has arrived and the rate it was sent at; with baud timing it returns once the last byte
// would have crossed the wire. False when the host has gone.
bool PtyLinkRead(PtyLink& link, std::string& bytes, uint32_t& hostBaud);
uint32_t PtyLinkHostBaud(const PtyLink& link);
// Sends bytes at the host's current rate (paced with baud timing); bytes the host cannot take
// are lost, as on a real line.
void PtyLinkWrite(PtyLink& link, const std::string& bytes, uint32_t hostBaud);
