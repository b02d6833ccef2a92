// The entry point every fuzz target defines: libFuzzer calls it in the fuzz
// build, replay_main.cpp calls it over a corpus in the test builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A finding stops the run at once, whichever build it is: libFuzzer saves the input.
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) FuzzFailed(#condition, __FILE__, __LINE__); \
  } while (false)

[[noreturn]] void FuzzFailed(const char* condition, const char* file, int line);

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}
