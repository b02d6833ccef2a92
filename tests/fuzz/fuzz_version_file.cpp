// The version file the web host serves: a version, a separator and a URL.
#include <string>

#include "fuzz_entry.h"
#include "web/version_finder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string answer(reinterpret_cast<const char*>(data), size);
  const VersionFile file = ParseVersionFile(answer);
  FUZZ_CHECK(file.result == 0 || file.result == kVersionParseError);
  if (file.result == 0) {
    FUZZ_CHECK(file.url.rfind("http", 0) == 0);
    FUZZ_CHECK(file.url.size() <= kMaxVersionUrlLength);
  }
  VersionText(file.version);
  return 0;
}
