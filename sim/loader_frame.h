// A framed loader command as it arrives: letter, hex argument, ".", four hex checksum digits;
// the "\r" has already been taken off. The checksum is 46 (the ".") plus the codes of the letter
// and every argument character, modulo 65535.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr size_t kFrameTrailer = 5;  // "." and four checksum digits

struct LoaderFrame {
  char letter = 0;
  std::string argument;
  uint32_t checksum = 0;  // as sent
};

uint32_t FrameChecksum(char letter, std::string_view argument);
// A line with the frame's trailer; nullopt for an unframed line (a bare "\r", text, noise).
std::optional<LoaderFrame> ParseLoaderFrame(std::string_view line);
bool FrameChecksumGood(const LoaderFrame& frame);

// Hex helpers shared by the loader's argument readers.
bool HexValue(std::string_view digits, uint32_t& value);
int HexDigit(char c);  // -1 for a non-digit
