// The system's transport as a window would use it, for the web services' tests on
// every platform: Qt Network on Linux, WinHTTP in the Windows build.
#pragma once

#include <memory>

#include "web/web_transport.h"

// The transport; `handled` counts the front end's events handled while a request
// waits (timer ticks under Qt, calls of the window's pump under WinHTTP).
std::unique_ptr<WebTransport> MakeTestTransport(int* handled);

// main() of the web services' tests: what the transport needs around them (Qt's
// application object and throw-away preferences), then every test.
int RunWebTests(int argc, char** argv);
