// Readers of sensor answers and the calibration rules.
#include "sdi12/sdi_answers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sdi12/sdi_sensor.h"

namespace {

constexpr char kReturn = '\r';
constexpr size_t kIdentityStart = 3;  // after the address and the two-digit SDI-12 version
constexpr size_t kVersionStart = 17;  // characters 18 to 20, counting from 1
constexpr size_t kVersionDigits = 3;
constexpr size_t kTypeDigits = 3;
constexpr size_t kShortXa = 9;  // a shorter Xa answer holds no calibration
constexpr size_t kSdiVersionDigits = 2;
constexpr size_t kIdentityLength = 20;   // address, SDI-12 version 2, vendor 8, model 6, version 3
constexpr double kSameValue = 1e-5;      // relative: what a sensor's single-precision store keeps
constexpr size_t kExponentDigits = 3;    // beyond any value a sensor holds
constexpr double kRoundingSlack = 1e-6;  // a half step printed in decimal is not exact in binary

// Xa defaults of the K7W, K7V and HB7 firmware generations, as answers from address 'a'.
constexpr std::string_view kXaOldDefault = "a 1 1.44832 1.91683 2.35961 2.991";
constexpr std::string_view kXaK7Default = "a 1 1.39619 2.03054 2.54573 2.9907";
constexpr std::string_view kXaHb7Default = "a 1 1.4724 2.03944 2.5652 2.9907";

struct XaRule {
  uint32_t lowest;  // the version window of the firmware that needs the new default
  uint32_t highest;
  std::string_view newDefault;
};

std::optional<XaRule> XaRuleFor(uint32_t type) {
  if (type == kSensorK7W || type == kSensorK7V) return XaRule{356, 399, kXaK7Default};
  if (type == kSensorHb7) return XaRule{353, 401, kXaHb7Default};
  return std::nullopt;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool IsAddress(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The words of a text between white space.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    const size_t start = at;
    while (at < text.size() && !IsSpace(text[at])) ++at;
    if (at > start) words.push_back(text.substr(start, at - start));
  }
  return words;
}

// A number as a sensor prints it, and the step of its last digit shown ("0.98": 0.01,
// "9.810e-01": 0.0001, "25": 1).
struct PrintedNumber {
  double value = 0;
  double step = 1;
  bool exponent = false;
  size_t decimals = 0;

  bool PrintedLike(const PrintedNumber& other) const {
    return exponent == other.exponent && decimals == other.decimals;
  }
};

size_t Digits(std::string_view text, size_t at) {
  size_t end = at;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  return end - at;
}

// A whole word read as [+-]digits[.digits][e[+-]digits]; nothing for any other word.
std::optional<PrintedNumber> ReadPrinted(std::string_view word) {
  size_t at = 0;
  if (at < word.size() && (word[at] == '+' || word[at] == '-')) ++at;
  const size_t whole = Digits(word, at);
  at += whole;
  size_t decimals = 0;
  if (at < word.size() && word[at] == '.') {
    decimals = Digits(word, ++at);
    at += decimals;
  }
  if (whole + decimals == 0) return std::nullopt;
  int exponent = 0;
  const bool scientific = at < word.size() && (word[at] == 'e' || word[at] == 'E');
  if (scientific) {
    ++at;
    bool negative = false;
    if (at < word.size() && (word[at] == '+' || word[at] == '-')) negative = word[at++] == '-';
    const size_t count = Digits(word, at);
    if (count == 0 || count > kExponentDigits) return std::nullopt;
    for (const size_t end = at + count; at < end; ++at) exponent = exponent * 10 + (word[at] - '0');
    if (negative) exponent = -exponent;
  }
  if (at != word.size()) return std::nullopt;
  const std::string_view number = word.front() == '+' ? word.substr(1) : word;
  PrintedNumber printed;
  const char* end = number.data() + number.size();
  const std::from_chars_result read = std::from_chars(number.data(), end, printed.value);
  if (read.ec != std::errc() || read.ptr != end || !std::isfinite(printed.value)) return std::nullopt;
  printed.step = std::pow(10.0, exponent - static_cast<int>(decimals));
  printed.exponent = scientific;
  printed.decimals = decimals;
  return printed;
}

// The written value as the sensor shows it: within what a single-precision store keeps, or,
// from a sensor that rounds, within half a step of what it printed.
bool SameAsPrinted(const PrintedNumber& written, const PrintedNumber& shown, bool rounds) {
  const double difference = std::fabs(written.value - shown.value);
  const double stored = kSameValue * std::max(std::fabs(written.value), std::fabs(shown.value));
  const double rounding = rounds ? shown.step * 0.5 * (1 + kRoundingSlack) : 0;
  return difference <= std::max(rounding, stored);
}

// A sensor that rounds prints all its numbers alike ("+0.98 +1.50", "9.810e-01 1.500e+00"); a
// text whose numbers show as many decimals as they were written with is kept as written, and a
// number there with a digit fewer lost it on the way.
bool PrintsAlike(const std::vector<std::optional<PrintedNumber>>& numbers) {
  const PrintedNumber* first = nullptr;
  for (const std::optional<PrintedNumber>& number : numbers) {
    if (!number) continue;
    if (first != nullptr && !number->PrintedLike(*first)) return false;
    if (first == nullptr) first = &*number;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Leading decimal digits after white space, as atoi reads them (no sign: versions are not negative).
uint32_t LeadingNumber(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  uint32_t value = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) value = value * 10 + static_cast<uint32_t>(text[at] - '0');
  return value;
}

constexpr int kTerms = 9;

// Up to nine numbers of an X4 text, read as the sensor's firmware reads them; unread ones are 0.
int ReadTerms(std::string_view x4, std::array<float, kTerms>& terms) {
  const std::string text(x4);  // terminated for strtof
  const char* at = text.c_str();
  int read = 0;
  for (; read < kTerms; ++read) {
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(at, &end);
    if (end == at) break;
    terms[static_cast<size_t>(read)] = value;
    at = end;
  }
  return read;
}

}  // namespace

std::string Bounded(std::string_view text, size_t maximum) { return std::string(text.substr(0, maximum)); }

bool SDIContains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string_view SDIAnswerLine(std::string_view reply) { return reply.substr(0, reply.find(kReturn)); }

std::string_view SDIAnswerText(std::string_view reply) {
  std::string_view text = SDIAnswerLine(reply);
  if (text.empty()) return text;
  text.remove_prefix(1);
  if (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

bool SDIRefused(std::string_view reply) { return SDIAnswerText(reply) == "ERROR"; }

bool SDIFramed(std::string_view command, std::string_view reply) {
  if (reply.empty() || reply.find(kReturn) == std::string_view::npos || !IsAddress(reply.front())) return false;
  const bool named = !command.empty() && command.front() != '?';
  const bool addressChange = command.size() > 1 && command[1] == 'A';
  return !named || addressChange || reply.front() == command.front();
}

bool SDIFrom(std::string_view reply, char address) { return !reply.empty() && reply.front() == address; }

bool SDIIdentityShaped(std::string_view reply) {
  if (SDIRefused(reply)) return true;
  const std::string_view line = SDIAnswerLine(reply);
  if (line.size() < kIdentityLength) return false;
  const auto digits = [line](size_t at, size_t count) { return Digits(line, at) >= count; };
  return digits(1, kSdiVersionDigits) && digits(kVersionStart, kVersionDigits);
}

bool SDITypeShaped(std::string_view reply) {
  if (SDIRefused(reply)) return true;
  std::string_view text = SDIAnswerText(reply);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  if (text.size() == 1) return true;
  return !text.empty() && text.size() <= kTypeDigits && Digits(text, 0) == text.size();
}

bool SDICalibrationShaped(std::string_view reply) {
  if (SDIRefused(reply)) return true;
  for (std::string_view word : Words(SDIAnswerText(reply))) {
    if (!ReadPrinted(word)) return false;
  }
  return true;
}

SDIIdentityAnswer ReadIdentityAnswer(std::string_view reply) {
  SDIIdentityAnswer answer;
  const std::string_view line = SDIAnswerLine(reply);
  if (!line.empty()) answer.address = line.front();
  if (line.size() > kIdentityStart) answer.identity = Bounded(line.substr(kIdentityStart), kSDIIdentityMax);
  if (line.size() > kVersionStart) answer.version = LeadingNumber(line.substr(kVersionStart, kVersionDigits));
  return answer;
}

SDITypeAnswer ReadTypeAnswer(std::string_view reply) {
  SDITypeAnswer answer;
  const std::string_view copied = SDIAnswerText(reply).substr(0, kTypeDigits);
  if (copied.empty()) return answer;
  if (IsDigit(copied.front())) {
    answer.numeric = true;
    answer.type = static_cast<uint8_t>(LeadingNumber(copied) & 0xFF);  // kept in 8 bits
  } else {
    answer.type = static_cast<uint8_t>(copied.front());
  }
  return answer;
}

std::optional<std::string> ReadSerialAnswer(std::string_view reply) {
  const std::string_view text = SDIAnswerText(reply);
  if (text.empty()) return std::nullopt;
  return Bounded(text, kSDISerialMax);
}

bool ClearMinusOnes(std::string& reply) {
  bool changed = false;
  for (size_t at = reply.find("-1 "); at != std::string::npos; at = reply.find("-1 ", at + 2)) {
    reply.replace(at, 2, "+0");
    changed = true;
  }
  const size_t last = reply.find("-1\r");
  if (last != std::string::npos) {
    reply.replace(last, 2, "+0");
    changed = true;
  }
  return changed;
}

std::optional<std::string_view> XaDefault(uint32_t type, uint32_t version, std::string_view reply, bool failed) {
  const std::optional<XaRule> rule = XaRuleFor(type);
  if (!rule) return std::nullopt;
  std::optional<std::string_view> substituted;
  if (failed || SDIAnswerLine(reply).size() < kShortXa) {
    if (version < rule->lowest) {
      substituted = kXaOldDefault;
    } else if (version <= rule->highest) {
      substituted = rule->newDefault;
    }
  }
  const std::string_view current = substituted ? *substituted : reply;
  const bool inWindow = version >= rule->lowest && version <= rule->highest;
  if (inWindow && !current.substr(current.empty() ? 0 : 1).starts_with(kXaOldDefault.substr(1))) {
    substituted = rule->newDefault;
  }
  return substituted;
}

bool SDISameCalibration(std::string_view written, std::string_view readBack) {
  const std::vector<std::string_view> sent = Words(written);
  const std::vector<std::string_view> held = Words(readBack);
  if (sent.size() != held.size()) return false;
  std::vector<std::optional<PrintedNumber>> shown;
  for (std::string_view word : held) shown.push_back(ReadPrinted(word));
  const bool rounds = PrintsAlike(shown);
  for (size_t i = 0; i < sent.size(); ++i) {
    const std::optional<PrintedNumber> value = ReadPrinted(sent[i]);
    const bool same = value && shown[i] ? SameAsPrinted(*value, *shown[i], rounds) : sent[i] == held[i];
    if (!same) return false;
  }
  return true;
}

std::string ConvertedCalibration(std::string_view x4) {
  std::array<float, kTerms> x{};
  const bool complete = ReadTerms(x4, x) == kTerms;
  float a = 0, b = 0, c = 0, d = 0;
  if (complete) {
    const float span = x[2] - x[1];
    a = -1000.0f * x[1] / span;
    b = 1000.0f / span;
    d = (x[4] + x[5]) * 0.5f;
  }
  // Equal terms give no slope: an infinite coefficient would reach the sensor as text.
  if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(d)) a = b = d = 0;
  std::string text(kSDICalibrationMax, '\0');
  const int written = std::snprintf(text.data(), text.size(), "%0.3f %0.6e %0.6e %0.6e %0.1f %0.1f",
                                    static_cast<double>(x[0]), static_cast<double>(a), static_cast<double>(b),
                                    static_cast<double>(c), static_cast<double>(d), static_cast<double>(x[8]));
  text.resize(written < 0 ? 0 : std::min(static_cast<size_t>(written), kSDICalibrationMax - 1));
  return text;
}
