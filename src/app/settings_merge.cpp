#include "app/settings_merge.h"

#include <cctype>
#include <map>
#include <string_view>
#include <vector>

#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTypeKey = "type=";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(kLineEnd, start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + kLineEnd.size();
  }
  return lines;
}

std::string TypeLine(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line.compare(0, kTypeKey.size(), kTypeKey) == 0) return line;
  }
  return {};
}

// A numbered line ("user07", "cal03") as the first of its list: readers count a list from 00.
std::string AsFirst(const std::string& line) {
  const size_t equals = line.find('=');
  const bool numbered = equals != std::string::npos && equals >= 2 &&
                        std::isdigit(static_cast<unsigned char>(line[equals - 1])) != 0 &&
                        std::isdigit(static_cast<unsigned char>(line[equals - 2])) != 0;
  return numbered ? line.substr(0, equals - 2) + "00" + line.substr(equals) : line;
}

// Which setting bits one line of a file carries, as the kind's own reader sees it.
class LineBits {
 public:
  LineBits(int kind, std::string typeLine) : link_(nullptr), typeLine_(std::move(typeLine)) {
    link_.kind = static_cast<uint8_t>(kind);
  }

  uint32_t operator()(const std::string& line) {
    if (line.find('=') == std::string::npos || line == typeLine_) return 0;
    const auto known = bits_.find(line);
    if (known != bits_.end()) return known->second;
    ClearCapturedSettings(link_);
    const std::string text = std::string(kSettingsFileHeader) + typeLine_ + std::string(kLineEnd) + AsFirst(line) +
                             std::string(kLineEnd);
    const uint32_t bits = ReadInfoText(link_, text) >= 0 ? link_.savedMask : 0;
    bits_.emplace(line, bits);
    return bits;
  }

 private:
  InstrumentLink link_;
  std::string typeLine_;
  std::map<std::string, uint32_t> bits_;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + std::string(kLineEnd);
  return text;
}

}  // namespace

std::string MergeRestored(int kind, const std::string& saved, const std::string& held, uint32_t taken) {
  const std::vector<std::string> savedLines = Lines(saved);
  const std::vector<std::string> heldLines = Lines(held);
  const std::string typeLine = TypeLine(savedLines);
  if (taken == 0 || typeLine.empty() || typeLine != TypeLine(heldLines)) return saved;
  LineBits bitsOf(kind, typeLine);
  // The held lines of each group of taken settings, in their order ("user00" ... go together).
  std::map<uint32_t, std::vector<std::string>> heldGroups;
  for (const std::string& line : heldLines) {
    const uint32_t bits = bitsOf(line);
    if (bits != 0 && (bits & ~taken) == 0) heldGroups[bits].push_back(line);
  }
  std::vector<std::string> merged;
  for (const std::string& line : savedLines) {
    const uint32_t bits = bitsOf(line);
    const auto group = heldGroups.find(bits);
    if (bits == 0 || (bits & ~taken) != 0) {
      merged.push_back(line);
    } else if (group != heldGroups.end()) {
      merged.insert(merged.end(), group->second.begin(), group->second.end());
      heldGroups.erase(group);
    }
  }
  // Taken settings the saved file did not hold (a record set that was empty then).
  for (const auto& [bits, lines] : heldGroups) merged.insert(merged.end(), lines.begin(), lines.end());
  return Joined(merged);
}
