// Where the web host keeps the version file of a device kind. Standard C++ only:
// the window core and the command line ask it on every platform.
#pragma once

#include <string>

// The version file of a device kind on the web host; empty for kinds without one.
std::string VersionFinderPath(int deviceType);
