// Readers of the answers a logger sends on its command line. Each one is a
// pure function over the answer text: it never reads past the view, accepts
// any bytes (binary, truncated, over-long) and reports what it could not read
// instead of guessing. Numbers saturate rather than overflow.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// A cursor over an answer, read the way the command layer reads numbers and
// words: white space before a number or word is skipped.
struct AnswerScan {
  std::string_view text;
  size_t position = 0;
};

bool ScanInteger(AnswerScan& scan, int64_t* value);                    // optional sign, digits
bool ScanInteger(AnswerScan& scan, int32_t* value);                    // the same, saturated to 32 bits
bool ScanUnsigned(AnswerScan& scan, uint32_t* value);                  // digits only
bool ScanHex(AnswerScan& scan, uint32_t* value);                       // optional "0x", hexadecimal digits
bool ScanDigit(AnswerScan& scan, int32_t* value);                      // exactly one decimal digit
bool ScanReal(AnswerScan& scan, double* value);                        // a finite decimal number
bool ScanWord(AnswerScan& scan, std::string* word, size_t maxLength);  // up to the next white space
bool ScanLiteral(AnswerScan& scan, char character);                    // exactly this character, nothing skipped
void ScanSpace(AnswerScan& scan);

bool Contains(std::string_view text, std::string_view part);
std::string_view SkipSpace(std::string_view text);
// The text after the first carriage return; nothing when there is none.
std::optional<std::string_view> AfterFirstReturn(std::string_view text);

// The line that starts the text, when a line end closes it and the prompt follows (after at
// most one line feed): the shape of every one-line answer. Nothing when the text does not close
// that way: bytes that never reach it are noise or an answer cut short, whatever they hold.
std::optional<std::string_view> ClosedLine(std::string_view text);
// Whether the text holds nothing but white space.
bool IsBlank(std::string_view text);

// A text value: white space skipped, then up to the first carriage return, at
// most maxLength characters. result 1, -31 when the device answered with the
// bare prompt, -30 when nothing was left.
struct TextAnswer {
  int result = 0;
  std::string text;
};
TextAnswer ReadTextAnswer(std::string_view answer, size_t maxLength);
// The text after the first carriage return up to the next, at most maxLength; empty when none.
std::string ReadLineAfterReturn(std::string_view answer, size_t maxLength);
// One word after the first carriage return; nothing when there is none.
std::optional<std::string> ReadWordAfterReturn(std::string_view answer, size_t maxLength);

std::optional<int32_t> ReadIntegerAnswer(std::string_view answer);
std::optional<int32_t> ReadIntegerAfterReturn(std::string_view answer);
std::optional<double> ReadRealAnswer(std::string_view answer);
std::optional<uint32_t> ReadHexAnswer(std::string_view answer);
std::optional<std::string> ReadWordAnswer(std::string_view answer, size_t maxLength);
// Reads up to values.size() numbers in a row; returns how many were read.
int ReadIntegerList(std::string_view answer, std::span<int32_t> values);
int ReadUnsignedList(std::string_view answer, std::span<uint32_t> values);

// The version line of "get -ver": a model tag, a space and major.minor patch.
enum class VersionStatus { kOk, kNoLineEnd, kUnreadable };
struct VersionLine {
  VersionStatus status = VersionStatus::kUnreadable;
  std::string text;  // the line, at most 20 characters
  std::string tag;   // the model tag as sent
  int32_t number = 0;
};
VersionLine ParseVersionLine(std::string_view answer);
// "%d.%1d%1d": major × 100 + minor × 10 + patch.
std::optional<int32_t> ParseVersionNumber(std::string_view text);

// The labelled answer of "show" (the old command set).
constexpr uint32_t kShowErrorName = 1;
constexpr uint32_t kShowErrorVersion = 2;
constexpr uint32_t kShowErrorRadio = 4;
constexpr uint32_t kShowErrorWake = 8;
constexpr uint32_t kShowErrorResets = 16;
struct ShowAnswer {
  bool hasName = false;  // the "ID:" label is there
  std::optional<std::string> name;
  bool hasVersion = false;
  std::optional<std::string> versionText;
  std::optional<int32_t> versionNumber;
  std::optional<int32_t> rmode;
  std::optional<int32_t> wake;
  std::optional<int32_t> resets;
  uint32_t errorBits = 0;  // labels present but unreadable
};
ShowAnswer ParseShowAnswer(std::string_view answer);

// The date and time answer of "get -t" and "time": "Date\Time:" is skipped
// when present, then "%d-%d-%d %d:%d:%d". Returns the number of fields read.
struct DeviceDate {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
int ParseDeviceDate(std::string_view answer, DeviceDate* date);

// The value of a radio item in an answer: two characters after the first 'K'
// (after "OK" and its line end), or the whole answer when there is no 'K'.
std::string_view RadioValueText(std::string_view answer);
