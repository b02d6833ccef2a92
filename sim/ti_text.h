// A small TI-Text reader of its own ("@ADDR" lines, hex byte pairs, "q"), so the simulator can
// judge an update against the file without trusting the updater's reading of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash_model.h"

struct TiSegment {
  uint32_t address = 0;
  std::vector<uint8_t> bytes;
};

bool ReadTiText(const std::string& path, std::vector<TiSegment>& segments, std::string& error);

struct ImageComparison {
  bool matches = true;
  uint64_t checked = 0;
  uint64_t mismatches = 0;
  uint32_t firstAddress = 0;  // of the first mismatch
  uint8_t expected = 0;
  uint8_t found = 0;
};

// Every byte of the file must be in flash (the loader's own area, which no host may write, is
// left out); the file's vector segment is part of flash like any other.
ImageComparison CompareImage(const Flash& flash, const std::vector<TiSegment>& segments);
