// The file system calls of the settings file, one small file per platform.
// Errors come back as system error numbers in the numbering the settings file
// reports (kFileMissing, kFileDenied, kFileBadHandle, otherwise the platform's).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

constexpr int kFileMissing = 2;
constexpr int kFileDenied = 5;
constexpr int kFileBadHandle = 6;
constexpr int kFileTooLarge = 27;

enum class FileStage { kNone, kOpen, kRead, kWrite, kRename };

struct FileOutcome {
  int error = 0;  // 0 on success
  FileStage failedAt = FileStage::kNone;
};

// How far a write goes before it returns: through to the disk, or to the system's cache, where
// it outlives the process but not a power cut (for notes rewritten many times a second).
enum class Durability { kOnDisk, kInCache };

// Writes the contents under a temporary name beside the path, flushes them to
// the disk and renames the file into place, so the path always holds either
// the previous file or the whole new one.
FileOutcome ReplaceFile(const std::string& path, std::string_view contents, Durability durability = Durability::kOnDisk);
// Reads a whole file of at most maxBytes.
FileOutcome ReadWholeFile(const std::string& path, std::string* contents, size_t maxBytes);
