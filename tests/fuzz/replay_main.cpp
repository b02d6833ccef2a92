// Runs a fuzz target once over every file of its corpus directories, so the
// ordinary test builds (g++, and the sanitizer build) replay what the fuzzer
// found without clang. An empty or missing directory fails: a moved corpus
// must not pass silently.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_entry.h"

namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int ReplayDirectory(const std::filesystem::path& directory) {
  std::error_code error;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    if (!entry.is_regular_file()) continue;
    const std::vector<uint8_t> input = ReadFile(entry.path());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    ++count;
  }
  if (error) std::fprintf(stderr, "cannot read %s: %s\n", directory.string().c_str(), error.message().c_str());
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR...\n", argv[0]);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    const int count = ReplayDirectory(argv[i]);
    std::printf("%s: %d inputs\n", argv[i], count);
    if (count == 0) return 1;
  }
  return 0;
}
