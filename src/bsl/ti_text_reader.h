// Reading TI-Text firmware files into the engine's image text, and what a
// file's name says about the image it holds. No files and no log here, so the
// build's image embedding tool uses exactly the reader the engine uses.
//
// Image text: segments one after another, each "@" + five upper-case address
// digits + the data as 16-bit words, four digits each, most significant digit
// first. Hex letters keep the case they were read in. The vector area
// 0xFFE0-0xFFFF never enters the text; its 16 words are kept apart.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int kTINotUsable = -100;  // not a usable TI-Text file
constexpr int kVectorCount = 16;
constexpr uint32_t kVectorBase = 0xFFE0;
constexpr uint32_t kErasedWord = 0xFFFF;
constexpr size_t kModelNameMax = 64;

using VectorTable = std::array<uint32_t, kVectorCount>;

struct TIImage {
  std::string text;
  VectorTable vectors{};
};

// Whether a walk can start at all: the text begins with "@" and holds a "q".
// A file failing this is refused without a word in the log.
bool TITextStartsWell(std::string_view file);

// Converts a whole TI-Text file. Returns 1, or kTINotUsable with 'image' left
// as it was. Any bytes are accepted as input; the text is read up to its first
// NUL, as a C text would be.
int ConvertTIText(std::string_view file, TIImage* image);

struct ImageLabel {
  std::string modelName;      // "TGX 1.50" from "TGX 1-50.txt"
  int deviceType = 0;         // index into the device type table, 0 when the name names none
  uint32_t imageVersion = 0;  // hundredths: 150
};

// Label, device type and version from a file's path ("/" and "\\" both separate).
ImageLabel LabelFromPath(std::string_view path);
