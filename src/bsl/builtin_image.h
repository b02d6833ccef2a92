// The firmware image compiled into the program. The build converts the
// release's TI-Text file into this record (cmake/EmbedImage.cmake); a program
// links exactly one image library, which defines BuiltInFirmware().
#pragma once

#include <cstdint>
#include <string_view>

#include "bsl/ti_text_reader.h"

struct BuiltInImage {
  std::string_view label;  // "TGX 1.50"
  int deviceType = 0;
  uint32_t imageVersion = 0;
  std::string_view text;   // the image text, without a terminator
  VectorTable vectors{};
};

const BuiltInImage& BuiltInFirmware();
