#include "ti_text.h"

#include <fstream>
#include <sstream>

#include "loader_frame.h"

namespace {

constexpr size_t kMaxAddressDigits = 8;

bool AddBytes(const std::string& token, TiSegment& segment) {
  if (token.size() % 2 != 0) return false;
  for (size_t at = 0; at < token.size(); at += 2) {
    const int high = HexDigit(token[at]);
    const int low = HexDigit(token[at + 1]);
    if (high < 0 || low < 0) return false;
    segment.bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return true;
}

}  // namespace

bool ReadTiText(const std::string& path, std::vector<TiSegment>& segments, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read image " + path;
    return false;
  }
  std::stringstream text;
  text << file.rdbuf();
  std::string token;
  segments.clear();
  while (text >> token) {
    if (token == "q" || token == "Q") return true;
    if (token[0] == '@') {
      TiSegment segment;
      if (token.size() > 1 + kMaxAddressDigits || !HexValue(token.substr(1), segment.address)) {
        error = path + ": bad address \"" + token + "\"";
        return false;
      }
      segments.push_back(segment);
    } else if (segments.empty() || !AddBytes(token, segments.back())) {
      error = path + ": unexpected \"" + token + "\"";
      return false;
    }
  }
  error = path + ": no \"q\" at the end";
  return false;
}

ImageComparison CompareImage(const Flash& flash, const std::vector<TiSegment>& segments) {
  ImageComparison result;
  for (const TiSegment& segment : segments) {
    for (size_t i = 0; i < segment.bytes.size(); ++i) {
      const uint32_t address = segment.address + static_cast<uint32_t>(i);
      const FlashRegion* region = FlashRegionAt(flash, address);
      if (region && region->kind == RegionKind::Loader) continue;
      ++result.checked;
      const uint8_t found = FlashRead(flash, address);
      if (region && found == segment.bytes[i]) continue;
      if (result.mismatches++ == 0) {
        result.firstAddress = address;
        result.expected = segment.bytes[i];
        result.found = found;
      }
    }
  }
  result.matches = result.mismatches == 0;
  return result;
}
