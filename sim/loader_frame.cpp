#include "loader_frame.h"

namespace {

constexpr uint32_t kChecksumBase = '.';
constexpr uint32_t kChecksumModulus = 0xFFFF;
constexpr size_t kMaxHexValueDigits = 8;

}  // namespace

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool HexValue(std::string_view digits, uint32_t& value) {
  if (digits.empty() || digits.size() > kMaxHexValueDigits) return false;
  value = 0;
  for (char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return true;
}

uint32_t FrameChecksum(char letter, std::string_view argument) {
  uint32_t sum = kChecksumBase + static_cast<unsigned char>(letter);
  for (char c : argument) sum += static_cast<unsigned char>(c);
  return sum % kChecksumModulus;
}

std::optional<LoaderFrame> ParseLoaderFrame(std::string_view line) {
  if (line.size() < 1 + kFrameTrailer || line[line.size() - kFrameTrailer] != '.') return std::nullopt;
  LoaderFrame frame;
  if (!HexValue(line.substr(line.size() - 4), frame.checksum)) return std::nullopt;
  frame.letter = line[0];
  frame.argument = std::string(line.substr(1, line.size() - 1 - kFrameTrailer));
  return frame;
}

bool FrameChecksumGood(const LoaderFrame& frame) {
  return FrameChecksum(frame.letter, frame.argument) == frame.checksum;
}
