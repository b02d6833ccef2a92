// The firmware image compiled into the program. The build converts the
// release's TI-Text file into this record (cmake/EmbedImage.cmake); a program
// links exactly one image library, which defines BuiltInFirmware().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bsl/ti_text_reader.h"

struct BuiltInImage {
  std::string_view label;  // "TGX 1.50"
  int deviceType = 0;
  uint32_t imageVersion = 0;
  std::string_view text;   // the image text, without a terminator
  VectorTable vectors{};
  uint32_t sensorType = 0;   // the SDI-12 sensor type a digital-sensor image is for; 0 for others
  size_t checkLength = 0;    // the release's check: the text's length and the sum of its
  uint32_t checkSum = 0;     // characters, each taken as a signed byte
};

const BuiltInImage& BuiltInFirmware();
