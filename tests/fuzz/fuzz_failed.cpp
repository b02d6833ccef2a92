#include <cstdio>
#include <cstdlib>

#include "fuzz_entry.h"

void FuzzFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}
