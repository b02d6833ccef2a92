// The transports under the serial driver. VSOpen picks one from the port's name (a URL's scheme,
// else a local device) and the port record owns what it opened; every later operation goes
// straight to it. Results and errors are the platform's (serial_platform.h): system error
// numbers in the driver's numbering.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/serial_platform.h"

struct SerialPort;

// An open port. Destroying one that was not closed lets it go without the close's courtesies
// (lines left as they are, no goodbye to a server): that is how a failed open ends.
struct PortBackend {
  virtual ~PortBackend() = default;
  // The system's number for the port (a descriptor, a handle, a socket), for the log.
  virtual int descriptor() const = 0;
  // Drops DTR and RTS and lets go: 0 or a system error.
  virtual int close() = 0;
  // What is waiting, or waits at most waitMs for the first byte. A port whose device or
  // connection has gone is an error at once, never an empty read.
  virtual PlatformResult read(char* destination, int maximum, int waitMs) = 0;
  // Writes everything within timeoutMs.
  virtual PlatformResult write(const char* source, int length, int timeoutMs) = 0;
  virtual int setBaud(uint32_t baud) = 0;
  // Discards what has arrived and not been read.
  virtual void purgeInput() = 0;
  // How much later than on a local port answers come: every read time-out allows for it.
  virtual int roundTripMs() const { return 0; }
  // Why the last operation failed, in words, where the transport can tell more than a number.
  virtual std::string failure() const { return {}; }
};

// Opens the port named in the record at its host baud, with 8N1 and no flow control, DTR and
// RTS raised and input from before the open discarded: 0, or a system error with the failure
// logged (and, where the transport can tell, in words in port.failure).
using PortOpener = int (*)(SerialPort& port, std::unique_ptr<PortBackend>* opened);

// The opener for a port name: by the URL's scheme, else the local device's.
PortOpener ChoosePortOpener(const std::string& name);

// A device of this computer, in the set-up steps the driver reports on (local_port.cpp).
int OpenLocalPort(SerialPort& port, std::unique_ptr<PortBackend>* opened);
// A port on a network serial server, RFC 2217 (network_port.cpp). Fails with kSysPortMissing (a
// bad URL, no server there, a server without RFC 2217), kSysPortInUse (the server closed the
// connection: another client holds its port), or kSysDeviceFailed (the server refused a setting).
// Its close waits (briefly) until the server has let go of its port, so that the next open finds
// it free; its round trip is measured at the open.
int OpenNetworkPort(SerialPort& port, std::unique_ptr<PortBackend>* opened);
