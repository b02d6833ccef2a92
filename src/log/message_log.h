// The message log: the one diagnostics sink every layer writes to, and the
// error file behind it. Each line is appended and the file closed again, so
// the file is complete on disk after every line.
#pragma once

#include <cstdint>
#include <string>

// Severities callers pass to print_message.
constexpr int kLogFailure = 1;    // failures, outcomes, every error box
constexpr int kLogStep = 10;      // success of one protocol step
constexpr int kLogProtocol = 30;  // commands, answers, retries, parsed values
constexpr int kLogBytes = 40;     // serial byte traffic

struct MessageLog {
  std::string fileName;  // full path of the error file
  uint32_t level = kLogFailure;
  std::string source;    // "[source] " leads every line when set: the port, when several devices share the file
};

// Levels a log accepts; anything else becomes 1 at creation and is refused by SetLevel.
bool IsValidLogLevel(uint32_t level);

MessageLog CreateMessageLog(const std::string& fileName, uint32_t level, bool deleteExisting);
bool SetLevel(MessageLog& log, uint32_t level);

// Appends "D Mon YYYY H:MM:SS - tag: message\r\n" when severity <= level
// ("D Mon YYYY H:MM:SS - [source] tag: message\r\n" when the log names a source).
// Returns the characters written, 0 when filtered or the file cannot be opened.
// A null log is accepted and ignored. Safe to call from several threads: a line
// is written with one call under a lock, so lines never interleave.
int print_message(const MessageLog* log, int severity, const char* tag, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Length of the error file, or -errno when it cannot be opened or measured.
long FileSize(const MessageLog& log);

// Cuts the error file to at most its last maxBytes bytes, starting on a whole line.
// The tail is written to "<file>.temp" and renamed over the error file, so the
// error file is never missing or half-written.
bool KeepTail(const MessageLog& log, long maxBytes);

// Formats the time stamp of a log line: "%d %s %d %d:%02d:%02d".
std::string LogTimeStamp(const struct tm& local);

// The logger command exchange's progress and trace hooks: they do nothing.
bool LogProgressHook(int total, int done, int phase);
void LogTraceHook(const char* text);
