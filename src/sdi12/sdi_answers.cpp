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

#include "sdi12/sdi_sensor.h"

namespace {

constexpr char kReturn = '\r';
constexpr size_t kIdentityStart = 3;  // after the address and the two-digit SDI-12 version
constexpr size_t kVersionStart = 17;  // characters 18 to 20, counting from 1
constexpr size_t kVersionDigits = 3;
constexpr size_t kTypeDigits = 3;
constexpr size_t kShortXa = 9;  // a shorter Xa answer holds no calibration

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

constexpr double kSameValue = 1e-5;  // relative: what a sensor's single-precision store keeps

void SkipSpace(std::string_view text, size_t& at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
}

// The number at `at` (a leading '+' allowed), moving past it.
std::optional<double> ReadNumber(std::string_view text, size_t& at) {
  size_t start = at;
  if (start < text.size() && text[start] == '+') ++start;
  if (start == text.size() || !(std::isdigit(static_cast<unsigned char>(text[start])) || text[start] == '-' ||
                                text[start] == '.')) {
    return std::nullopt;
  }
  double value = 0;
  const std::from_chars_result read = std::from_chars(text.data() + start, text.data() + text.size(), value);
  if (read.ec != std::errc()) return std::nullopt;
  at = static_cast<size_t>(read.ptr - text.data());
  return value;
}

bool SameValue(double a, double b) {
  return std::fabs(a - b) <= kSameValue * std::max(std::fabs(a), std::fabs(b));
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
  size_t w = 0;
  size_t r = 0;
  for (;;) {
    SkipSpace(written, w);
    SkipSpace(readBack, r);
    if (w == written.size() || r == readBack.size()) return w == written.size() && r == readBack.size();
    const std::optional<double> a = ReadNumber(written, w);
    const std::optional<double> b = ReadNumber(readBack, r);
    if (a.has_value() != b.has_value()) return false;
    if (a) {
      if (!SameValue(*a, *b)) return false;
      continue;
    }
    if (written[w++] != readBack[r++]) return false;
  }
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
