// Windows side of the settings file: wide paths, a flushed temporary file and a
// write-through rename over the old file.
#include "log/win32_text.h"
// The Windows headers name their own ReplaceFile as a macro; ours is the settings file's.
#undef ReplaceFile

#include <algorithm>

#include "instrument/settings_file_platform.h"

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr DWORD kReadChunk = 65536;
constexpr DWORD kWriteChunkMax = 1u << 30;

int Numbered(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return kFileMissing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT: return kFileDenied;
    case ERROR_INVALID_HANDLE: return kFileBadHandle;
    default: return static_cast<int>(error);
  }
}

FileOutcome Failed(FileStage stage) { return FileOutcome{Numbered(GetLastError()), stage}; }

// Closes the handle when the scope ends.
struct Handle {
  HANDLE value = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (value != INVALID_HANDLE_VALUE) CloseHandle(value);
  }
  bool Close() {
    const bool closed = CloseHandle(value) != 0;
    value = INVALID_HANDLE_VALUE;
    return closed;
  }
};

bool WriteAll(HANDLE file, std::string_view contents) {
  while (!contents.empty()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(contents.size(), kWriteChunkMax));
    DWORD put = 0;
    if (!WriteFile(file, contents.data(), want, &put, nullptr) || put == 0) return false;
    contents.remove_prefix(put);
  }
  return true;
}

}  // namespace

FileOutcome ReplaceFile(const std::string& path, std::string_view contents, Durability durability) {
  const bool flush = durability == Durability::kOnDisk;
  const std::wstring target = WideFromUtf8(path);
  const std::wstring temporary = WideFromUtf8(path + std::string(kTemporarySuffix));
  Handle file;
  file.value = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.value == INVALID_HANDLE_VALUE) return Failed(FileStage::kOpen);
  // The contents must be on the disk before the rename makes them the settings file.
  if (!WriteAll(file.value, contents) || (flush && !FlushFileBuffers(file.value))) {
    const FileOutcome outcome = Failed(FileStage::kWrite);
    file.Close();
    DeleteFileW(temporary.c_str());
    return outcome;
  }
  if (!file.Close()) {
    const FileOutcome outcome = Failed(FileStage::kWrite);
    DeleteFileW(temporary.c_str());
    return outcome;
  }
  const DWORD through = flush ? MOVEFILE_WRITE_THROUGH : 0;
  if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | through)) {
    const FileOutcome outcome = Failed(FileStage::kRename);
    DeleteFileW(temporary.c_str());
    return outcome;
  }
  return {};
}

FileOutcome ReadWholeFile(const std::string& path, std::string* contents, size_t maxBytes) {
  contents->clear();
  Handle file;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  file.value = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.value == INVALID_HANDLE_VALUE) return Failed(FileStage::kOpen);
  std::string chunk(kReadChunk, '\0');
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.value, chunk.data(), kReadChunk, &got, nullptr)) return Failed(FileStage::kRead);
    if (got == 0) break;
    if (contents->size() + got > maxBytes) {
      contents->clear();
      return FileOutcome{kFileTooLarge, FileStage::kRead};
    }
    contents->append(chunk.data(), got);
  }
  return {};
}
