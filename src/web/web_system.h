// The system's own transport and preferences for a program without a window (the
// command line): Qt Network and QSettings where Qt is, WinHTTP and the registry on
// Windows. CMake links the one file that defines them.
#pragma once

#include <memory>

#include "web/web_settings.h"
#include "web/web_transport.h"

std::unique_ptr<WebTransport> MakeSystemWebTransport();
std::unique_ptr<WebSettings> MakeSystemWebSettings();
