// The sockets under network serial ports, one small file per platform (POSIX sockets,
// Winsock). Errors come back in the serial driver's numbering with the reason in words.
#pragma once

#include <cstdint>
#include <string>

#include "serial/serial_platform.h"

constexpr int kNoSocket = -1;

// Resolves the host and connects within timeoutMs. 0, or kSysPortMissing (a name that does not
// resolve, a refused connection, a host that does not answer) with *reason saying which.
int SocketConnect(const std::string& host, uint16_t port, int timeoutMs, int* socket, std::string* reason);
// What has arrived, or waits at most waitMs for the first bytes. A connection the server closed
// or that broke is an error (kSysDeviceFailed) with *reason, never an empty read.
PlatformResult SocketReceive(int socket, char* destination, int maximum, int waitMs, std::string* reason);
// Sends everything within timeoutMs.
PlatformResult SocketSend(int socket, const char* source, int length, int timeoutMs, std::string* reason);
// No more data from this side: the server sees the end of the stream.
void SocketEndSending(int socket);
void SocketClose(int socket);
