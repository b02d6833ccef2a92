// The system calls below the window that every layer shares: files named by UTF-8 paths,
// the replace-by-rename and the calendar. One small file per
// platform (platform_posix.cpp, platform_win32.cpp) implements them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

// fopen for a UTF-8 path (Windows opens it through the wide name).
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);
// The path object for a UTF-8 path, for std::filesystem calls.
std::filesystem::path PathFromUtf8(const std::string& path);
// The UTF-8 text of a path that std::filesystem gave.
std::string Utf8FromPath(const std::filesystem::path& path);
// A path as this system writes it for a person (messages, boxes, the log): the program joins
// paths with "/" everywhere, which Windows shows as "\". Only for showing, never for opening.
std::string ShownPath(const std::string& path);
// Deletes a file; a missing file is no failure. False when the file stays.
bool RemoveFileUtf8(const std::string& path);
// Renames 'from' over 'to' in one step, replacing 'to' when it exists, written through to the
// disk. Returns 0 or a system error number.
int RenameReplacing(const std::string& from, const std::string& to);

// What an open file is: a directory, a regular file with its length, or something else
// (a pipe, a device) that has no length to measure. Returns 0 or an errno value.
struct OpenFileShape {
  bool directory = false;
  bool regular = false;
  uint64_t length = 0;
};
int ShapeOfOpenFile(std::FILE* file, OpenFileShape* shape);

// Calendar fields of a time, local or UTC; false when the system cannot convert it.
bool LocalTimeFields(std::time_t when, std::tm* fields);
bool UtcTimeFields(std::time_t when, std::tm* fields);
// Seconds local time is ahead of UTC now (daylight saving included).
int32_t LocalUtcOffsetSeconds();
