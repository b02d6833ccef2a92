// The key readers of the settings file.
#include "instrument/settings_file.h"
#include "logger/answer_parsers.h"

namespace {

constexpr size_t kNone = std::string_view::npos;

// Where the quoted values lie: a value opens at a quote and closes at the next
// quote that is not doubled. Keys are looked for outside values only, so a
// value holding a line break and a key's name cannot stand in for that key.
struct QuoteScan {
  std::string_view text;
  size_t position = 0;
  bool inValue = false;
};

// Whether the character at 'at' lies inside a value; 'at' never goes back between calls.
bool InsideValue(QuoteScan& scan, size_t at) {
  while (scan.position < at) {
    const bool quote = scan.text[scan.position] == '"';
    const bool doubled = quote && scan.inValue && scan.position + 1 < scan.text.size() &&
                         scan.text[scan.position + 1] == '"';
    if (quote && !doubled) scan.inValue = !scan.inValue;
    scan.position += doubled ? 2 : 1;
  }
  return scan.inValue;
}

// Just past the key: its first occurrence that begins a line and is followed by
// '=' (so a key inside another line's value is not taken for it), else its
// first occurrence anywhere outside the values.
size_t FindKey(std::string_view text, std::string_view key) {
  if (key.empty()) return kNone;
  QuoteScan scan{text};
  size_t anywhere = kNone;
  for (size_t at = text.find(key); at != kNone; at = text.find(key, at + 1)) {
    if (InsideValue(scan, at)) continue;
    const size_t end = at + key.size();
    if (anywhere == kNone) anywhere = end;
    const bool startsLine = at == 0 || text[at - 1] == '\n';
    if (startsLine && end < text.size() && text[end] == '=') return end;
  }
  return anywhere;
}

// Just past the quote that opens the key's value.
size_t ValueStart(std::string_view text, std::string_view key) {
  const size_t end = FindKey(text, key);
  if (end == kNone) return kNone;
  const size_t quote = text.find('"', end);
  return quote == kNone ? kNone : quote + 1;
}

}  // namespace

bool HasKey(std::string_view text, std::string_view key) { return FindKey(text, key) != kNone; }

bool ReadKeyText(std::string_view text, std::string_view key, std::string* destination, size_t n) {
  destination->clear();
  size_t at = ValueStart(text, key);
  if (at == kNone) return false;
  const size_t keep = n > 0 ? n - 1 : 0;
  while (at < text.size() && destination->size() < keep) {
    if (text[at] == '"') {
      if (at + 1 >= text.size() || text[at + 1] != '"') break;
      ++at;  // a doubled quote stands for one
    }
    destination->push_back(text[at]);
    ++at;
  }
  return !destination->empty();
}

bool ReadKeyNumber(std::string_view text, std::string_view key, long* number) {
  const size_t at = ValueStart(text, key);
  if (at == kNone) return false;
  AnswerScan scan{text.substr(at)};
  int64_t value = 0;
  *number = ScanInteger(scan, &value) ? static_cast<long>(value) : 0;
  return true;
}

bool ReadKeyReal(std::string_view text, std::string_view key, double* number) {
  const size_t at = ValueStart(text, key);
  if (at == kNone) return false;
  AnswerScan scan{text.substr(at)};
  double value = 0.0;
  *number = ScanReal(scan, &value) ? value : 0.0;
  return true;
}
