// What the web services ask of the system: its description, the running program's
// file, and a file's bytes for the feedback post. One small file per platform
// (web_platform_posix.cpp, web_platform_win32.cpp) implements them.
#pragma once

#include <cstdint>
#include <string>

// The running system in the shape of ComputerInformation: on Windows from its version
// record, elsewhere the system's product name and version.
std::string ComputerInformation();

// The full path of the running program (UTF-8, the system's separators); empty when unknown.
std::string ProgramFilePath();

// Reads at most maxBytes + 1 bytes of the file at a UTF-8 path (one more tells a file
// past the limit). False with the system's own message when it cannot be read.
bool ReadFileBytes(const std::string& path, int64_t maxBytes, std::string& bytes, std::string& failure);
