// Small text helpers the web services share.
#pragma once

#include <string>
#include <string_view>

// The text without white space at either end (space, tab, line breaks).
inline std::string Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(kSpace) - first + 1));
}

// The first `maxCharacters` characters of UTF-8 text, never cutting one in two.
inline std::string Utf8Prefix(const std::string& text, size_t maxCharacters) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    if (!continuation && characters++ == maxCharacters) return text.substr(0, i);
  }
  return text;
}
