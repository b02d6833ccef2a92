// TI-Text firmware files, and the label a file's name gives the image.
#include <string>

#include "bsl/ti_text_reader.h"
#include "fuzz_entry.h"

namespace {

constexpr size_t kMarkerDigits = 5;
constexpr size_t kWordDigits = 4;
constexpr uint32_t kWordMax = 0xFFFF;

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsHex(char c) { return IsUpperHex(c) || (c >= 'a' && c <= 'f'); }

// The image text's layout, which the upload relies on: "@" and five upper-case
// digits, then whole four-digit words, segment after segment.
bool WellFormedImageText(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] != '@' || at + 1 + kMarkerDigits > text.size()) return false;
    for (size_t i = at + 1; i <= at + kMarkerDigits; ++i) {
      if (!IsUpperHex(text[i])) return false;
    }
    at += 1 + kMarkerDigits;
    size_t digits = 0;
    for (; at < text.size() && text[at] != '@'; ++at, ++digits) {
      if (!IsHex(text[at])) return false;
    }
    if (digits % kWordDigits != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file = AsText(data, size);
  TIImage image;
  image.text = "unchanged";
  image.vectors.fill(1);
  const int result = ConvertTIText(file, &image);
  FUZZ_CHECK(result == 1 || result == kTINotUsable);
  if (result == 1) {
    FUZZ_CHECK(TITextStartsWell(file));
    FUZZ_CHECK(WellFormedImageText(image.text));
    for (const uint32_t word : image.vectors) FUZZ_CHECK(word <= kWordMax);
  } else {
    FUZZ_CHECK(image.text == "unchanged" && image.vectors[0] == 1);
  }

  const ImageLabel label = LabelFromPath(file);
  FUZZ_CHECK(label.modelName.size() <= kModelNameMax);
  FUZZ_CHECK(label.deviceType >= 0);
  return 0;
}
