// The key readers of the settings file.
#include "instrument/settings_file.h"
#include "logger/answer_parsers.h"

namespace {

constexpr size_t kNone = std::string_view::npos;

// Just past the key: its first occurrence that begins a line and is followed by
// '=' (so a key inside another line's value is not taken for it), else its
// first occurrence anywhere.
size_t FindKey(std::string_view text, std::string_view key) {
  if (key.empty()) return kNone;
  for (size_t at = text.find(key); at != kNone; at = text.find(key, at + 1)) {
    const size_t end = at + key.size();
    const bool startsLine = at == 0 || text[at - 1] == '\n';
    if (startsLine && end < text.size() && text[end] == '=') return end;
  }
  const size_t at = text.find(key);
  return at == kNone ? kNone : at + key.size();
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
