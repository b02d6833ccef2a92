#include "bsl/ti_text_reader.h"

#include <cstdio>
#include <limits>
#include <optional>

#include "bsl/device_types.h"

namespace {

constexpr size_t kGroupDigits = 4;       // one 16-bit word
constexpr uint32_t kVectorLast = 0xFFFE;
constexpr uint32_t kSkippedLow = 0xFA00;  // the loader's own area: segments starting here never reach the image
constexpr uint32_t kSkippedHigh = 0xFDFE;
constexpr uint32_t kMaxAddress = 0xFFFFF;  // five digits in the image text
constexpr size_t kTypeKeyMax = 31;
constexpr int kVersionDigitsMax = 11;
constexpr std::string_view kTextSuffix = ".txt";

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

uint32_t HexValue(char c) {
  if (c <= '9') return static_cast<uint32_t>(c - '0');
  if (c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
  return static_cast<uint32_t>(c - 'a' + 10);
}

std::string_view UpToNul(std::string_view file) { return file.substr(0, file.find('\0')); }

// The address after an "@": blanks, then any number of hex digits. Addresses
// beyond five digits would break the image text's fixed-width markers.
std::optional<uint32_t> ReadAddress(std::string_view text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  if (at >= text.size() || !IsHexDigit(text[at])) return std::nullopt;
  uint32_t value = 0;
  for (; at < text.size() && IsHexDigit(text[at]); ++at) {
    value = value * 16 + HexValue(text[at]);
    if (value > kMaxAddress) return std::nullopt;
  }
  return value;
}

// Every hex digit of a segment's data, in file order; anything else is skipped.
std::string HexDigits(std::string_view data) {
  std::string digits;
  digits.reserve(data.size());
  for (const char c : data) {
    if (IsHexDigit(c)) digits.push_back(c);
  }
  return digits;
}

// The file lists the low byte first; the image holds the word value.
void AppendSwapped(std::string& out, std::string_view group) {
  out.push_back(group[2]);
  out.push_back(group[3]);
  out.push_back(group[0]);
  out.push_back(group[1]);
}

void ConvertData(uint32_t address, std::string_view data, std::string& out) {
  char marker[8];
  std::snprintf(marker, sizeof marker, "@%05X", static_cast<unsigned>(address));
  out += marker;
  std::string digits = HexDigits(data);
  if (digits.size() % kGroupDigits != 0) digits.resize(digits.size() + kGroupDigits - digits.size() % kGroupDigits, 'F');
  for (size_t i = 0; i < digits.size(); i += kGroupDigits) AppendSwapped(out, std::string_view(digits).substr(i, kGroupDigits));
}

// A vector segment fills the table from its own index on. Words beyond the
// 16th entry, or a partial last word, make the file unusable.
bool ConvertVectors(uint32_t address, std::string_view data, VectorTable& vectors) {
  const std::string digits = HexDigits(data);
  if (digits.size() % kGroupDigits != 0) return false;
  size_t index = (address - kVectorBase) / 2;
  if (index + digits.size() / kGroupDigits > vectors.size()) return false;
  for (size_t i = 0; i < digits.size(); i += kGroupDigits, ++index) {
    std::string word;
    AppendSwapped(word, std::string_view(digits).substr(i, kGroupDigits));
    uint32_t value = 0;
    for (const char c : word) value = value * 16 + HexValue(c);
    vectors[index] = value;
  }
  return true;
}

bool ConvertSegment(std::string_view text, size_t at, size_t end, TIImage& out, bool* sawVectors) {
  const std::optional<uint32_t> address = ReadAddress(text, at + 1);
  if (!address) return false;
  const size_t lineEnd = text.find('\n', at + 1);
  if (lineEnd == std::string_view::npos) return false;
  const std::string_view data = lineEnd + 1 < end ? text.substr(lineEnd + 1, end - lineEnd - 1) : std::string_view();
  if (*address >= kVectorBase && *address <= kVectorLast) {
    *sawVectors = true;
    return ConvertVectors(*address, data, out.vectors);
  }
  if (*address >= kSkippedLow && *address <= kSkippedHigh) return true;
  ConvertData(*address, data, out.text);
  return true;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int TypeFromLabel(std::string_view label) {
  std::string key(label.substr(0, label.find_first_of(" -_")));
  if (key.size() > kTypeKeyMax) return kDeviceTypeUnknown;
  for (char& c : key) c = AsciiUpper(c);
  return DeviceTypeFromTag(key);
}

// Every digit after the first " " or "-", at most eleven of them.
uint32_t VersionFromLabel(std::string_view label) {
  uint64_t value = 0;
  int digits = 0;
  bool passed = false;
  for (const char c : label) {
    if (passed && IsDecimalDigit(c) && digits < kVersionDigitsMax) {
      value = value * 10 + static_cast<uint64_t>(c - '0');
      ++digits;
    }
    if (c == ' ' || c == '-') passed = true;
  }
  // Eleven digits overflow 32 bits: an absurd version saturates instead of wrapping to a small one.
  return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(value);
}

}  // namespace

bool TITextStartsWell(std::string_view file) {
  const std::string_view text = UpToNul(file);
  return !text.empty() && text[0] == '@' && text.find('q') != std::string_view::npos;
}

int ConvertTIText(std::string_view file, TIImage* image) {
  const std::string_view text = UpToNul(file);
  if (!TITextStartsWell(text)) return kTINotUsable;
  const size_t end = text.find('q');
  TIImage converted;
  converted.vectors.fill(kErasedWord);
  bool sawVectors = false;
  for (size_t at = 0; at < end;) {
    size_t next = text.find('@', at + 1);
    if (next == std::string_view::npos || next > end) next = end;
    if (!ConvertSegment(text, at, next, converted, &sawVectors)) return kTINotUsable;
    at = next;
  }
  if (!sawVectors) return kTINotUsable;
  *image = std::move(converted);
  return 1;
}

ImageLabel LabelFromPath(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  ImageLabel label;
  label.modelName = std::string(base.substr(0, kModelNameMax));
  const size_t suffix = label.modelName.find(kTextSuffix);
  if (suffix != std::string::npos) label.modelName.resize(suffix);
  label.deviceType = TypeFromLabel(label.modelName);
  label.imageVersion = VersionFromLabel(label.modelName);
  std::string& name = label.modelName;
  const size_t dash = name.find('-');
  if (dash != std::string::npos && dash > 0 && dash + 1 < name.size() && IsDecimalDigit(name[dash - 1]) &&
      IsDecimalDigit(name[dash + 1])) {
    name[dash] = '.';
  }
  return label;
}
