#include "logger/answer_parsers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr size_t kVersionLineMax = 20;
constexpr size_t kShowNameMax = 8;
constexpr size_t kShowVersionMax = 20;
constexpr std::string_view kDateLabel = "Date\\Time:";

struct ShowLabel {
  std::string_view label;
  size_t valueOffset;  // the label and one space
};
constexpr ShowLabel kShowId{"ID:", 4};
constexpr ShowLabel kShowVersion{"Version:", 9};
constexpr ShowLabel kShowRadio{"Radio:", 7};
constexpr ShowLabel kShowWake{"Wake:", 6};
constexpr ShowLabel kShowResets{"Resets:", 8};

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsEnd(char c) { return c == '\r' || c == '\0'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool AtEnd(const AnswerScan& scan) { return scan.position >= scan.text.size(); }
char Peek(const AnswerScan& scan, size_t ahead = 0) {
  const size_t at = scan.position + ahead;
  return at < scan.text.size() ? scan.text[at] : '\0';
}

// Accumulates decimal digits, saturating at limit.
bool ScanDigits(AnswerScan& scan, uint64_t limit, uint64_t* value) {
  if (!IsDigit(Peek(scan))) return false;
  uint64_t total = 0;
  while (!AtEnd(scan) && IsDigit(Peek(scan))) {
    const uint64_t digit = static_cast<uint64_t>(Peek(scan) - '0');
    total = total > (limit - digit) / 10 ? limit : total * 10 + digit;
    ++scan.position;
  }
  *value = total;
  return true;
}

// The value text of a "show" label: from its fixed offset after the label's start.
std::optional<std::string_view> LabelValue(std::string_view answer, const ShowLabel& label) {
  const size_t at = answer.find(label.label);
  if (at == std::string_view::npos) return std::nullopt;
  const size_t start = at + label.valueOffset;
  return start <= answer.size() ? answer.substr(start) : std::string_view{};
}

std::optional<int32_t> IntegerAt(std::string_view text) {
  AnswerScan scan{text};
  int32_t value = 0;
  if (!ScanInteger(scan, &value)) return std::nullopt;
  return value;
}

std::string CopyLine(std::string_view text, size_t maxLength) {
  size_t length = 0;
  while (length < text.size() && length < maxLength && !IsEnd(text[length])) ++length;
  return std::string(text.substr(0, length));
}

}  // namespace

void ScanSpace(AnswerScan& scan) {
  while (!AtEnd(scan) && IsSpace(Peek(scan))) ++scan.position;
}

bool ScanInteger(AnswerScan& scan, int64_t* value) {
  ScanSpace(scan);
  const bool negative = Peek(scan) == '-';
  if (negative || Peek(scan) == '+') ++scan.position;
  uint64_t magnitude = 0;
  const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (!ScanDigits(scan, limit, &magnitude)) return false;
  *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool ScanInteger(AnswerScan& scan, int32_t* value) {
  int64_t wide = 0;
  if (!ScanInteger(scan, &wide)) return false;
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  *value = static_cast<int32_t>(wide < kMin ? kMin : (wide > kMax ? kMax : wide));
  return true;
}

bool ScanUnsigned(AnswerScan& scan, uint32_t* value) {
  ScanSpace(scan);
  uint64_t wide = 0;
  if (!ScanDigits(scan, std::numeric_limits<uint32_t>::max(), &wide)) return false;
  *value = static_cast<uint32_t>(wide);
  return true;
}

bool ScanHex(AnswerScan& scan, uint32_t* value) {
  ScanSpace(scan);
  if (Peek(scan) == '0' && (Peek(scan, 1) == 'x' || Peek(scan, 1) == 'X') && HexValue(Peek(scan, 2)) >= 0) {
    scan.position += 2;
  }
  if (HexValue(Peek(scan)) < 0) return false;
  uint64_t total = 0;
  constexpr uint64_t kLimit = std::numeric_limits<uint32_t>::max();
  while (!AtEnd(scan) && HexValue(Peek(scan)) >= 0) {
    total = total > kLimit ? kLimit + 1 : total * 16 + static_cast<uint64_t>(HexValue(Peek(scan)));
    ++scan.position;
  }
  *value = static_cast<uint32_t>(total > kLimit ? kLimit : total);
  return true;
}

bool ScanDigit(AnswerScan& scan, int32_t* value) {
  ScanSpace(scan);
  if (!IsDigit(Peek(scan))) return false;
  *value = Peek(scan) - '0';
  ++scan.position;
  return true;
}

bool ScanReal(AnswerScan& scan, double* value) {
  ScanSpace(scan);
  if (Peek(scan) == '+' && Peek(scan, 1) != '-') ++scan.position;
  const char* begin = scan.text.data() + scan.position;
  const char* end = scan.text.data() + scan.text.size();
  double parsed = 0.0;
  const auto [stop, error] = std::from_chars(begin, end, parsed, std::chars_format::general);
  if (error != std::errc() || !std::isfinite(parsed)) return false;
  scan.position += static_cast<size_t>(stop - begin);
  *value = parsed;
  return true;
}

bool ScanWord(AnswerScan& scan, std::string* word, size_t maxLength) {
  ScanSpace(scan);
  const size_t start = scan.position;
  while (!AtEnd(scan) && scan.position - start < maxLength && !IsSpace(Peek(scan)) && Peek(scan) != '\0') {
    ++scan.position;
  }
  if (scan.position == start) return false;
  word->assign(scan.text.substr(start, scan.position - start));
  return true;
}

bool ScanLiteral(AnswerScan& scan, char character) {
  if (AtEnd(scan) || Peek(scan) != character) return false;
  ++scan.position;
  return true;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string_view SkipSpace(std::string_view text) {
  AnswerScan scan{text};
  ScanSpace(scan);
  return text.substr(scan.position);
}

std::optional<std::string_view> AfterFirstReturn(std::string_view text) {
  const size_t at = text.find('\r');
  if (at == std::string_view::npos) return std::nullopt;
  return text.substr(at + 1);
}

std::optional<std::string_view> ClosedLine(std::string_view text) {
  const size_t end = text.find('\r');
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view after = text.substr(end + 1);
  if (!after.empty() && after.front() == '\n') after.remove_prefix(1);
  if (after.empty() || after.front() != '>') return std::nullopt;
  return text.substr(0, end);
}

bool IsBlank(std::string_view text) { return SkipSpace(text).empty(); }

TextAnswer ReadTextAnswer(std::string_view answer, size_t maxLength) {
  const std::string_view text = SkipSpace(answer);
  if (!text.empty() && text.front() == '>') return {-31, {}};
  std::string copy = CopyLine(text, maxLength);
  if (copy.empty()) return {-30, {}};
  return {1, std::move(copy)};
}

std::string ReadLineAfterReturn(std::string_view answer, size_t maxLength) {
  const auto rest = AfterFirstReturn(answer);
  if (!rest || (!rest->empty() && rest->front() == '>')) return {};
  return CopyLine(*rest, maxLength);
}

std::optional<std::string> ReadWordAfterReturn(std::string_view answer, size_t maxLength) {
  const auto rest = AfterFirstReturn(answer);
  if (!rest) return std::nullopt;
  return ReadWordAnswer(*rest, maxLength);
}

std::optional<int32_t> ReadIntegerAnswer(std::string_view answer) { return IntegerAt(answer); }

std::optional<int32_t> ReadIntegerAfterReturn(std::string_view answer) {
  const auto rest = AfterFirstReturn(answer);
  if (!rest) return std::nullopt;
  return IntegerAt(*rest);
}

std::optional<double> ReadRealAnswer(std::string_view answer) {
  AnswerScan scan{answer};
  double value = 0.0;
  if (!ScanReal(scan, &value)) return std::nullopt;
  return value;
}

std::optional<uint32_t> ReadHexAnswer(std::string_view answer) {
  AnswerScan scan{answer};
  uint32_t value = 0;
  if (!ScanHex(scan, &value)) return std::nullopt;
  return value;
}

std::optional<std::string> ReadWordAnswer(std::string_view answer, size_t maxLength) {
  AnswerScan scan{answer};
  std::string word;
  // The bare prompt is the end of the answer, not a value.
  if (!ScanWord(scan, &word, maxLength) || word.front() == '>') return std::nullopt;
  return word;
}

int ReadIntegerList(std::string_view answer, std::span<int32_t> values) {
  AnswerScan scan{answer};
  int count = 0;
  for (int32_t& value : values) {
    if (!ScanInteger(scan, &value)) break;
    ++count;
  }
  return count;
}

int ReadUnsignedList(std::string_view answer, std::span<uint32_t> values) {
  AnswerScan scan{answer};
  int count = 0;
  for (uint32_t& value : values) {
    if (!ScanUnsigned(scan, &value)) break;
    ++count;
  }
  return count;
}

std::optional<int32_t> ParseVersionNumber(std::string_view text) {
  AnswerScan scan{text};
  int64_t major = 0;
  int32_t minor = 0;
  int32_t patch = 0;
  if (!ScanInteger(scan, &major) || !ScanLiteral(scan, '.') || !ScanDigit(scan, &minor) || !ScanDigit(scan, &patch)) {
    return std::nullopt;
  }
  constexpr int64_t kLimit = std::numeric_limits<int32_t>::max() / 100 - 1;
  if (major > kLimit || major < -kLimit) return std::nullopt;
  return static_cast<int32_t>(major * 100 + minor * 10 + patch);
}

VersionLine ParseVersionLine(std::string_view answer) {
  VersionLine line;
  size_t start = 0;
  while (start < answer.size() && answer[start] == '\r') ++start;
  const std::string_view rest = answer.substr(start);
  const size_t end = rest.find('\r');
  if (end == std::string_view::npos) {
    line.status = VersionStatus::kNoLineEnd;
    return line;
  }
  line.text = CopyLine(rest.substr(0, end), kVersionLineMax);
  AnswerScan scan{line.text};
  if (!ScanWord(scan, &line.tag, kVersionLineMax)) return line;
  ScanSpace(scan);
  const auto number = ParseVersionNumber(line.text.substr(scan.position));
  if (!number) return line;
  line.number = *number;
  line.status = VersionStatus::kOk;
  return line;
}

ShowAnswer ParseShowAnswer(std::string_view answer) {
  ShowAnswer show;
  if (const auto value = LabelValue(answer, kShowId)) {
    show.hasName = true;
    show.name = ReadWordAnswer(*value, kShowNameMax);
    if (!show.name) show.errorBits |= kShowErrorName;
  }
  if (const auto value = LabelValue(answer, kShowVersion)) {
    show.hasVersion = true;
    show.versionText = ReadWordAnswer(*value, kShowVersionMax);
    if (show.versionText) show.versionNumber = ParseVersionNumber(*show.versionText);
    if (!show.versionNumber) show.errorBits |= kShowErrorVersion;
  }
  const auto readNumber = [&](const ShowLabel& label, std::optional<int32_t>* into, uint32_t errorBit) {
    if (const auto value = LabelValue(answer, label)) {
      *into = IntegerAt(*value);
      if (!*into) show.errorBits |= errorBit;
    }
  };
  readNumber(kShowRadio, &show.rmode, kShowErrorRadio);
  readNumber(kShowWake, &show.wake, kShowErrorWake);
  readNumber(kShowResets, &show.resets, kShowErrorResets);
  return show;
}

int ParseDeviceDate(std::string_view answer, DeviceDate* date) {
  const size_t label = answer.find(kDateLabel);
  AnswerScan scan{label == std::string_view::npos ? answer : answer.substr(label + kDateLabel.size())};
  int32_t* const fields[] = {&date->year, &date->month, &date->day, &date->hour, &date->minute, &date->second};
  constexpr char kSeparators[] = {'-', '-', ' ', ':', ':'};
  int count = 0;
  for (int32_t* field : fields) {
    if (count > 0) {
      const char separator = kSeparators[count - 1];
      if (separator == ' ') {
        ScanSpace(scan);
      } else if (!ScanLiteral(scan, separator)) {
        break;
      }
    }
    if (!ScanInteger(scan, field)) break;
    ++count;
  }
  return count;
}

std::string_view RadioValueText(std::string_view answer) {
  const size_t k = answer.find('K');
  if (k == std::string_view::npos) return answer;
  const size_t start = k + 2;
  return start <= answer.size() ? answer.substr(start) : std::string_view{};
}
