// Loading a TI-Text firmware file into the engine and dumping the held image.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <memory>
#include <new>
#include <vector>

#include "bsl/host_bsl.h"
#include "log/platform.h"

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr int kDumpLineDigits = 32;
constexpr int kDumpWordsPerLine = 8;
constexpr size_t kMarkerLength = 6;  // "@" and five address digits

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

int Elapsed(uint32_t start) { return static_cast<int>(MillisecondTick() - start); }

// The whole file, up to the length it had when it was measured. Returns 0 or an errno value.
int ReadWhole(FILE* file, std::string* text) {
  OpenFileShape shape;
  if (const int error = ShapeOfOpenFile(file, &shape); error != 0) return error;
  if (shape.directory) return EISDIR;
  // Only a regular file has a length to measure; anything else is read until it ends.
  const size_t length = shape.regular ? static_cast<size_t>(shape.length) : std::numeric_limits<size_t>::max();
  if (shape.regular) text->reserve(length);
  std::vector<char> chunk(kReadChunk);
  errno = 0;
  while (text->size() < length) {
    const size_t want = std::min(chunk.size(), length - text->size());
    const size_t got = std::fread(chunk.data(), 1, want, file);
    text->append(chunk.data(), got);
    if (got < want) break;
  }
  return std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
}

// Image text as a dump: each "@" marker on its own line, data 32 digits a line,
// then the vector table as a segment at 0xFFE0 in two lines of eight words.
std::string DumpText(const std::string& image, const VectorTable& vectors) {
  std::string out;
  out.reserve(image.size() + image.size() / kDumpLineDigits + 128);
  int column = 0;
  for (size_t p = 0; p < image.size();) {
    if (image[p] == '@') {
      out.append(image, p, kMarkerLength);
      out += '\n';
      column = 0;
      p += kMarkerLength;
      continue;
    }
    out += image[p++];
    if (++column == kDumpLineDigits) {
      out += '\n';
      column = 0;
    }
  }
  char line[16];
  std::snprintf(line, sizeof line, "\n@%X\n", static_cast<unsigned>(kVectorBase));
  out += line;
  for (size_t i = 0; i < vectors.size(); ++i) {
    std::snprintf(line, sizeof line, "%04X", static_cast<unsigned>(vectors[i]));
    out += line;
    if ((i + 1) % kDumpWordsPerLine == 0) out += '\n';
  }
  return out;
}

int LoadFailed(HostBSL& engine, const std::string& path, int result, uint32_t start) {
  if (result == kTINotUsable) {
    print_message(engine.log, kLogStep, kBslTag, "BSLLoadTIFile: file %s is not a valid TI-Text file (%d ms)",
                  ShownPath(path).c_str(), Elapsed(start));
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLLoadTIFile failed with error %d (%d ms)", result,
                  Elapsed(start));
  }
  return result;
}

// Reads and converts; the engine is changed only when everything succeeded.
int LoadText(HostBSL& engine, const std::string& path, FILE* file, uint32_t start) {
  std::string text;
  const int readError = ReadWhole(file, &text);
  if (readError != 0) {
    print_message(engine.log, kLogFailure, kBslTag, "BSLLoadTIFile got error %d trying to read datafile %s",
                  readError, ShownPath(path).c_str());
    return -readError;
  }
  if (!TITextStartsWell(text)) return kTINotUsable;
  TIImage image;
  const int converted = ConvertTIText(text, &image);
  text = std::string();
  if (converted < 0) return LoadFailed(engine, path, converted, start);
  ImageLabel label = LabelFromPath(path);
  engine.imageText = std::move(image.text);
  engine.vectorWords = image.vectors;
  engine.modelName = std::move(label.modelName);
  engine.deviceType = static_cast<uint8_t>(label.deviceType);
  engine.imageVersion = label.imageVersion;
  print_message(engine.log, kLogStep, kBslTag, "BSLLoadTIFile loaded file %s (%d ms)", ShownPath(path).c_str(),
                Elapsed(start));
  return 1;
}

// A pipe, a device or a socket is no firmware file; opening a pipe would wait for a writer for
// ever, and a device would be read without end. A folder keeps its system error (EISDIR).
bool SpecialFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(path), error);
  if (error || !std::filesystem::exists(status)) return false;
  return !std::filesystem::is_regular_file(status) && !std::filesystem::is_directory(status);
}

}  // namespace

int BSLLoadTIFile(HostBSL& engine, const std::string& path) {
  const uint32_t start = MillisecondTick();
  if (SpecialFile(path)) {
    print_message(engine.log, kLogFailure, kBslTag, "BSLLoadTIFile: %s is not a regular file", ShownPath(path).c_str());
    return kTINotUsable;
  }
  const File file(OpenFileUtf8(path, "rb"));
  if (!file) {
    const int error = errno;
    print_message(engine.log, kLogFailure, kBslTag, "BSLLoadTIFile got error %d trying to open datafile %s", error,
                  ShownPath(path).c_str());
    return -error;
  }
  try {
    return LoadText(engine, path, file.get(), start);
  } catch (const std::bad_alloc&) {
    return LoadFailed(engine, path, kBslNoMemory, start);
  }
}

int BSLWriteTIFile(HostBSL& engine, const std::string& path) {
  const uint32_t start = MillisecondTick();
  File file(OpenFileUtf8(path, "wb"));
  if (!file) {
    const int error = errno;
    print_message(engine.log, kLogFailure, kBslTag, "BSLWriteTIFile got error %d trying to open datafile %s", error,
                  ShownPath(path).c_str());
    return -error;
  }
  std::string text;
  try {
    text = DumpText(engine.imageText, engine.vectorWords);
  } catch (const std::bad_alloc&) {
    return kBslNoMemory;
  }
  // A full disk must not pass for a written dump.
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  int error = written ? 0 : errno;
  if (std::fclose(file.release()) != 0 && error == 0) error = errno;
  if (!written && error == 0) error = EIO;
  if (error != 0) {
    print_message(engine.log, kLogFailure, kBslTag, "BSLWriteTIFile got error %d trying to write datafile %s", error,
                  ShownPath(path).c_str());
    return -error;
  }
  print_message(engine.log, kLogStep, kBslTag, "BSLWriteTIFile wrote file %s (%d ms)", ShownPath(path).c_str(),
                Elapsed(start));
  return 1;
}

std::string TIFileErrorReason(int result) {
  if (result >= 0 || result == kTINotUsable || result == kBslNoMemory) return {};
  switch (-result) {
    case ENOENT: return "No such file or folder.";
    case ENOTDIR: return "Part of the path is not a folder.";
    case EACCES:
    case EPERM: return "Permission denied.";
    case ENOSPC: return "The disk is full.";
    case EROFS: return "The disk is read-only.";
    case EISDIR: return "It is a folder, not a file.";
    case ENAMETOOLONG: return "The name is too long.";
    case EIO: return "The disk reported an error.";
    default: {
      std::string words = std::strerror(-result);
      return words.empty() ? std::string() : words + ".";
    }
  }
}
