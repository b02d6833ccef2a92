#include "bench_unit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace {

constexpr uint32_t kSerialStep = 1000;  // unit serial numbers start this far above the field unit's
// The spread of the units over 0-999: 919 is prime to 1000, so for one salt every unit has its
// own place, and the next unit lands 919 (or, past 999, 81) further on.
constexpr uint64_t kSpreadFactor = 919;
constexpr uint64_t kSaltFactor = 389;
constexpr uint64_t kSpread = 1000;
// A move is the spread modulo 19 (-9 to +9 in the last digit); neither 919 nor 81 is a multiple
// of 19, so consecutive units never move a value alike.
constexpr long kMostMove = 9;
constexpr long kMoves = 2 * kMostMove + 1;
constexpr long kSignificant = 100;  // three significant digits before a number moves
constexpr size_t kMostDigits = 15;  // longer numbers are kept as they are

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return !text.empty();
}

// The digits of `value` with a decimal point `decimals` from the end.
std::string WithPoint(long value, int decimals) {
  std::string text = std::to_string(value);
  if (decimals == 0) return text;
  const size_t places = static_cast<size_t>(decimals);
  if (text.size() <= places) text.insert(0, places + 1 - text.size(), '0');
  text.insert(text.size() - places, ".");
  return text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

}  // namespace

uint32_t UnitSpread(uint32_t unit, uint32_t salt) {
  return static_cast<uint32_t>((unit * kSpreadFactor + salt * kSaltFactor) % kSpread);
}

bool ParseBenchUnit(std::string_view text, uint32_t& unit) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), unit);
  return AllDigits(text) && error == std::errc() && end == text.data() + text.size() && unit >= 1 &&
         unit <= kMaxUnit;
}

std::string UnitSerialNumber(std::string_view field, uint32_t unit) {
  size_t start = field.size();
  while (start > 0 && std::isdigit(static_cast<unsigned char>(field[start - 1]))) --start;
  const std::string_view digits = field.substr(start);
  uint64_t number = 0;
  if (digits.size() <= kMostDigits) std::from_chars(digits.data(), digits.data() + digits.size(), number);
  const std::string text = std::to_string(number + kSerialStep + unit);
  const size_t width = std::max(digits.size(), text.size());
  return std::string(field.substr(0, start)) + std::string(width - text.size(), '0') + text;
}

long UnitShift(long value, uint32_t unit, uint32_t salt) {
  return value + static_cast<long>(UnitSpread(unit, salt)) % kMoves - kMostMove;
}

std::string UnitNumber(std::string_view number, uint32_t unit, uint32_t salt) {
  std::string_view body = number;
  std::string sign;
  if (!body.empty() && (body.front() == '-' || body.front() == '+')) {
    sign = std::string(1, body.front());
    body.remove_prefix(1);
  }
  const size_t point = body.find('.');
  const std::string_view whole = body.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : body.substr(point + 1);
  const bool shaped = AllDigits(whole) && (point == std::string_view::npos || AllDigits(fraction));
  if (!shaped || whole.size() + fraction.size() > kMostDigits) return std::string(number);
  long value = 0;
  const std::string digits = std::string(whole) + std::string(fraction);
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (value == 0) return std::string(number);
  int decimals = static_cast<int>(fraction.size());
  for (; value < kSignificant; ++decimals) value *= 10;
  return sign + WithPoint(UnitShift(value, unit, salt), decimals);
}

std::string UnitNumbers(std::string_view text, uint32_t unit, uint32_t salt) {
  std::string moved;
  size_t at = 0;
  for (uint32_t index = 0; at < text.size(); ++index) {
    const size_t start = at;
    while (at < text.size() && !IsSpace(text[at])) ++at;
    moved += UnitNumber(text.substr(start, at - start), unit, salt + index);
    while (at < text.size() && IsSpace(text[at])) moved.push_back(text[at++]);
  }
  return moved;
}

std::string UnitDigits(uint32_t value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", width, value);
  return text;
}
