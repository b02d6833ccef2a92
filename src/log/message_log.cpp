#include "log/message_log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

#include "log/platform.h"

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::mutex& FileLock() {
  static std::mutex lock;
  return lock;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File OpenFile(const std::string& name, const char* mode) { return File(OpenFileUtf8(name, mode)); }

__attribute__((format(printf, 1, 0))) std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return {};
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(needed));
  return text;
}

std::string NowStamp() {
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  LocalTimeFields(now, &local);
  return LogTimeStamp(local);
}

// Offset of the first byte after the first line feed at or after 'from'; 'length' when there is none.
long CutPoint(FILE* source, long from, long length) {
  std::fseek(source, from, SEEK_SET);
  int c;
  long position = from;
  while ((c = std::fgetc(source)) != EOF) {
    ++position;
    if (c == '\n') return position;
  }
  return length;
}

}  // namespace

bool IsValidLogLevel(uint32_t level) {
  return level == 0 || level == 1 || level == 10 || level == 30 || level == 40;
}

MessageLog CreateMessageLog(const std::string& fileName, uint32_t level, bool deleteExisting) {
  MessageLog log;
  log.fileName = fileName;
  log.level = IsValidLogLevel(level) ? level : kLogFailure;
  if (deleteExisting) RemoveFileUtf8(fileName);
  return log;
}

bool SetLevel(MessageLog& log, uint32_t level) {
  if (!IsValidLogLevel(level)) return false;
  log.level = level;
  return true;
}

std::string LogTimeStamp(const struct tm& local) {
  char stamp[64];
  const int month = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
  std::snprintf(stamp, sizeof stamp, "%d %s %d %d:%02d:%02d", local.tm_mday, kMonths[month],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return stamp;
}

int print_message(const MessageLog* log, int severity, const char* tag, const char* format, ...) {
  if (log == nullptr || severity < 0 || static_cast<uint32_t>(severity) > log->level) return 0;
  va_list args;
  va_start(args, format);
  const std::string message = FormatV(format, args);
  va_end(args);
  const std::string source = log->source.empty() ? "" : "[" + log->source + "] ";
  const std::string line = NowStamp() + " - " + source + (tag ? tag : "") + ": " + message + "\r\n";

  std::lock_guard<std::mutex> guard(FileLock());
  File file = OpenFile(log->fileName, "ab");
  if (!file) return 0;
  const size_t written = std::fwrite(line.data(), 1, line.size(), file.get());
  return static_cast<int>(written);
}

long FileSize(const MessageLog& log) {
  File file = OpenFile(log.fileName, "rb");
  if (!file) return -errno;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return -errno;
  const long length = std::ftell(file.get());
  return length < 0 ? -errno : length;
}

bool KeepTail(const MessageLog& log, long maxBytes) {
  std::lock_guard<std::mutex> guard(FileLock());
  File source = OpenFile(log.fileName, "rb");
  if (!source) return false;
  std::fseek(source.get(), 0, SEEK_END);
  const long length = std::ftell(source.get());
  if (length < maxBytes) return true;

  const long cut = CutPoint(source.get(), length - maxBytes, length);
  const std::string tempName = log.fileName + ".temp";
  File temp = OpenFile(tempName, "wb");
  if (!temp) return false;
  std::vector<char> tail(static_cast<size_t>(length - cut));
  std::fseek(source.get(), cut, SEEK_SET);
  // An empty tail has no buffer to hand to the C library.
  const size_t got = tail.empty() ? 0 : std::fread(tail.data(), 1, tail.size(), source.get());
  const bool wrote = got == 0 || std::fwrite(tail.data(), 1, got, temp.get()) == got;
  const bool flushed = std::fflush(temp.get()) == 0;
  temp.reset();
  source.reset();
  // Renaming over the error file replaces it in one step; a failed write leaves it untouched.
  if (!wrote || !flushed || RenameReplacing(tempName, log.fileName) != 0) {
    RemoveFileUtf8(tempName);
    return false;
  }
  return true;
}

bool LogProgressHook(int, int, int) { return true; }
void LogTraceHook(const char*) {}
