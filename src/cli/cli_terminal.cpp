#include "cli/cli_terminal.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "cli/cli_platform.h"

namespace {

constexpr const char* kEraseLine = "\r\033[K";
// The last column stays free: a console that wraps on writing it would add a blank line.
constexpr int kSpareColumns = 1;

struct Screen {
  std::mutex mutex;
  std::map<FILE*, LineStyle> styles;  // each stream's, found once
  FILE* barStream = nullptr;          // where the bar's line is open; null when none is
  std::string bar;                    // the bar's line as drawn
};

Screen& TheScreen() {
  static Screen screen;
  return screen;
}

LineStyle StyleOf(Screen& screen, FILE* stream) {
  const auto found = screen.styles.find(stream);
  if (found != screen.styles.end()) return found->second;
  const LineStyle style = PrepareLineStyle(stream);
  screen.styles[stream] = style;
  return style;
}

// Width in characters: UTF-8 continuation bytes take no column.
size_t Columns(const std::string& text) {
  size_t columns = 0;
  for (const char c : text) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return columns;
}

std::string CutToColumns(const std::string& text, size_t columns) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == columns) return text.substr(0, i);
  }
  return text;
}

size_t UsableColumns(FILE* stream) {
  const int columns = TerminalColumns(stream);
  return columns > kSpareColumns ? static_cast<size_t>(columns - kSpareColumns) : 0;
}

void Put(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Puts `line` in place of whatever the cursor's line shows.
void Overwrite(Screen& screen, FILE* stream, const std::string& line) {
  if (StyleOf(screen, stream) == LineStyle::kConsoleCalls) {
    ClearConsoleLine(stream);
    Put(stream, line);
  } else {
    Put(stream, kEraseLine + line);
  }
}

void WriteText(FILE* out, const std::string& text) {
  Screen& screen = TheScreen();
  const std::lock_guard<std::mutex> lock(screen.mutex);
  const bool terminal = StyleOf(screen, out) != LineStyle::kPlainLines;
  // The bar gives its line up to the message and comes back under it.
  const bool barMoves = screen.barStream != nullptr && terminal;
  if (barMoves) Overwrite(screen, screen.barStream, "");
  const size_t columns = terminal ? UsableColumns(out) : 0;
  Put(out, columns > 0 ? WrapWords(text, columns) : text);
  if (barMoves) Put(screen.barStream, screen.bar);
}

}  // namespace

bool BarPossible(FILE* stream) {
  Screen& screen = TheScreen();
  const std::lock_guard<std::mutex> lock(screen.mutex);
  return StyleOf(screen, stream) != LineStyle::kPlainLines;
}

void DrawBarLine(FILE* stream, const std::string& line) {
  Screen& screen = TheScreen();
  const std::lock_guard<std::mutex> lock(screen.mutex);
  const size_t columns = UsableColumns(stream);
  screen.bar = columns > 0 ? CutToColumns(line, columns) : line;
  screen.barStream = stream;
  Overwrite(screen, stream, screen.bar);
}

void EndBarLine(FILE* stream) {
  Screen& screen = TheScreen();
  const std::lock_guard<std::mutex> lock(screen.mutex);
  if (screen.barStream != stream) return;
  Put(stream, "\n");
  screen.barStream = nullptr;
  screen.bar.clear();
}

void WriteLine(FILE* out, const std::string& line) { WriteText(out, line + "\n"); }

void WritePrompt(FILE* out, const std::string& text) { WriteText(out, text); }

std::string WrapWords(const std::string& text, size_t columns) {
  if (columns == 0) return text;
  std::string wrapped;
  size_t lineColumns = 0;  // of the output line being filled
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find_first_of(" \n", start), text.size());
    const std::string word = text.substr(start, end - start);
    const size_t width = Columns(word);
    // The space before a word that does not fit becomes the line break.
    if (lineColumns > 0 && lineColumns + width > columns && !word.empty()) {
      wrapped.back() = '\n';
      lineColumns = 0;
    }
    wrapped += word;
    lineColumns += width;
    if (end == text.size()) break;
    wrapped += text[end];
    lineColumns = text[end] == '\n' ? 0 : lineColumns + 1;
    start = end + 1;
  }
  return wrapped;
}
