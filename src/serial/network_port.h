// Serial ports behind a network serial server (RFC 2217): the network backend of the serial
// driver. A network port's handle is its socket, so a handle lent from one link to another
// (BSLHandOff) reaches the same connection; the driver asks NetworkPortOwns which backend a
// handle belongs to. Results and errors are the platform's (serial_platform.h), in the
// driver's numbering, with the reason in words.
#pragma once

#include <cstdint>
#include <string>

#include "serial/serial_platform.h"

// Connects, agrees on the COM-PORT-OPTION and binary transfer, sets the baud with 8N1, raises
// DTR and RTS, discards input from before the open and measures the round trip.
// 0 or kSysPortMissing (a bad URL, no server there, a server without RFC 2217),
// kSysPortInUse (the server closed the connection: another client holds its port), or
// kSysDeviceFailed (the server refused a setting).
int NetworkPortOpen(const std::string& url, uint32_t baud, int* handle, std::string* reason);
bool NetworkPortOwns(int handle);
// Drops DTR and RTS, ends the connection and waits (briefly) until the server has let go of its
// port, so that the next open finds it free.
int NetworkPortClose(int handle);
PlatformResult NetworkPortRead(int handle, char* destination, int maximum, int waitMs);
PlatformResult NetworkPortWrite(int handle, const char* source, int length, int timeoutMs);
int NetworkPortSetBaud(int handle, uint32_t baud);
// Discards what has arrived, and asks the server to discard what it holds.
void NetworkPortPurgeInput(int handle);
// The link's round trip as measured when the port opened (0 for a handle that is no network port).
int NetworkPortRoundTripMs(int handle);
// Why the port's last operation failed, in words (empty when none did).
std::string NetworkPortFailure(int handle);
