// Writing a device: erasing INFO and flash segments, sending the image block
// by block, and writing the vector table.
#include <cstdio>

#include "bsl/host_bsl.h"

namespace {

constexpr int kRetryPauseMs = 175;
constexpr int kVectorPauseMs = 50;
constexpr size_t kBlockDigits = 512;       // 256 bytes a "W" frame
constexpr uint32_t kBlockBytes = 256;
constexpr size_t kProgressEvery = 512;     // image characters between upload progress calls
constexpr uint32_t kFlashSegment = 512;
constexpr uint32_t kEraseProgressEvery = 10;  // flash segments between erase progress calls
constexpr uint32_t kLoaderAreaLow = 0xFA00;   // the loader's own flash: never erased
constexpr uint32_t kLoaderAreaHigh = 0xFFFF;
constexpr uint32_t kAboveLoaderArea = 0x10000;
constexpr size_t kMarkerLength = 6;        // "@" and five address digits

void PauseBeforeNextTry(const HostBSL& engine, uint32_t attempt) {
  if (attempt < engine.tryCount) SleepPumping(kRetryPauseMs);
}

bool ReportProgress(HostBSL& engine, int total, int done, int phase, char letter) {
  if (!engine.showProgress || !engine.progress) return true;
  return engine.progress(total, done, phase, letter);
}

bool InLoaderArea(uint64_t address) { return address >= kLoaderAreaLow && address <= kLoaderAreaHigh; }

uint32_t ParseHex(std::string_view digits) {
  uint32_t value = 0;
  for (const char c : digits) {
    if (c >= '0' && c <= '9') value = value * 16 + static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F') value = value * 16 + static_cast<uint32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') value = value * 16 + static_cast<uint32_t>(c - 'a' + 10);
    else break;
  }
  return value;
}

// One "X" frame, tried tryCount times.
int EraseSegment(HostBSL& engine, uint32_t address, bool fiveDigits) {
  int result = kBslNoTry;
  for (uint32_t attempt = 1; attempt <= engine.tryCount; ++attempt) {
    std::string reply;
    result = BSLCommand(engine, 'X', &address, 1, '\r', &reply, nullptr, fiveDigits);
    if (result >= 0) break;
    PauseBeforeNextTry(engine, attempt);
  }
  return result;
}

// One "W" frame of the gathered block. A retried block is preceded by its address again,
// since the loader may have moved on.
int SendBlock(HostBSL& engine, uint32_t blockAddress, bool fiveDigits) {
  int result = kBslNoTry;
  for (uint32_t attempt = 1; attempt <= engine.tryCount; ++attempt) {
    std::string reply;
    result = BSLCommand(engine, 'W', engine.blockBuffer.data(), static_cast<int>(engine.blockBuffer.size()), '\r',
                        &reply, nullptr);
    if (result >= 0 || attempt == engine.tryCount) break;
    SleepPumping(kRetryPauseMs);
    const int readdressed = BSLSendAddress(engine, blockAddress, fiveDigits);
    if (readdressed < 0) return readdressed;
  }
  engine.blockBuffer.clear();
  return result;
}

// The segment address after an "@": five digits, or in 16-bit mode the last four.
uint32_t SegmentAddress(std::string_view marker, bool fiveDigits) {
  const size_t from = fiveDigits ? 1 : 2;
  return marker.size() > from ? ParseHex(marker.substr(from, kMarkerLength - from)) : 0;
}

int WalkImage(HostBSL& engine, bool fiveDigits) {
  const std::string& image = engine.imageText;
  const int total = static_cast<int>(image.size());
  uint32_t blockAddress = 0;
  int result = 1;
  engine.blockBuffer.clear();
  for (size_t p = 0; p < image.size() && result >= 0;) {
    if (p % kProgressEvery == 0 && !ReportProgress(engine, total, static_cast<int>(p), kProgressRunning, 'W')) {
      return kBslCancelled;
    }
    if (image[p] == '@') {
      if (!engine.blockBuffer.empty() && (result = SendBlock(engine, blockAddress, fiveDigits)) < 0) break;
      blockAddress = SegmentAddress(std::string_view(image).substr(p, kMarkerLength), fiveDigits);
      p += kMarkerLength;
      result = BSLSendAddress(engine, blockAddress, fiveDigits);
      continue;
    }
    engine.blockBuffer += image[p++];
    if (engine.blockBuffer.size() == kBlockDigits) {
      result = SendBlock(engine, blockAddress, fiveDigits);
      if (result >= 0) blockAddress += kBlockBytes;
    }
  }
  if (result >= 0 && !engine.blockBuffer.empty()) result = SendBlock(engine, blockAddress, fiveDigits);
  return result;
}

}  // namespace

int BSLSendAddress(HostBSL& engine, uint32_t address, bool fiveDigits) {
  char text[16];
  const int length = std::snprintf(text, sizeof text, fiveDigits ? "%05X" : "%04X", static_cast<unsigned>(address));
  int result = kBslNoTry;
  for (uint32_t attempt = 1; attempt <= engine.tryCount; ++attempt) {
    std::string reply;
    result = BSLCommand(engine, '@', text, length, '\r', &reply, nullptr);
    if (result >= 0) break;
    PauseBeforeNextTry(engine, attempt);
  }
  if (result >= 0) {
    print_message(engine.log, kLogStep, kBslTag, "BSLSendAddress (%05X) successful", static_cast<unsigned>(address));
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLSendAddress (%05X) failed with error %d",
                  static_cast<unsigned>(address), result);
  }
  return result;
}

int BSLSendFirmware(HostBSL& engine, bool fiveDigits) {
  if (engine.imageText.empty()) return kBslMissingArgument;
  if (engine.imageText[0] != '@') return kBslBadArgument;
  const uint32_t start = MillisecondTick();
  const int result = WalkImage(engine, fiveDigits);
  engine.blockBuffer.clear();
  const int total = static_cast<int>(engine.imageText.size());
  ReportProgress(engine, total, total, kProgressFinished, 'W');
  const int seconds = static_cast<int>((MillisecondTick() - start) / 1000);
  if (result >= 0) {
    print_message(engine.log, kLogStep, kBslTag, "BSLSendFirmware successful (%d s)", seconds);
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLSendFirmware failed with error %d (%d s)", result, seconds);
  }
  return result;
}

int BSLSendVectors(HostBSL& engine) {
  SleepPumping(kVectorPauseMs);
  int result = kBslNoTry;
  for (uint32_t attempt = 1; attempt <= engine.tryCount; ++attempt) {
    std::string reply;
    result = BSLCommand(engine, 'V', engine.vectorWords.data(), kVectorCount, '+', &reply, nullptr, false);
    if (result >= 0) break;
    PauseBeforeNextTry(engine, attempt);
  }
  if (result >= 0) {
    print_message(engine.log, kLogStep, kBslTag, "BSLSendVectors successful");
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLSendVectors failed with error %d", result);
  }
  return result;
}

int BSLEraseINFO(HostBSL& engine, uint32_t first, uint32_t count, uint32_t step, bool fiveDigits) {
  const uint32_t start = MillisecondTick();
  uint32_t address = first;
  int result = 1;
  for (uint32_t segment = 0; segment < count; ++segment) {
    result = EraseSegment(engine, address, fiveDigits);
    if (result < 0) break;
    address += step;
  }
  const long elapsed = static_cast<long>(MillisecondTick() - start);
  if (result >= 0) {
    print_message(engine.log, kLogStep, kBslTag, "BSLEraseINFO successful: %d segments @ %X (%ld ms)",
                  static_cast<int>(count), static_cast<unsigned>(address), elapsed);
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLEraseINFO failed with error %d (%ld ms)", result, elapsed);
  }
  return result;
}

int BSLEraseFlash(HostBSL& engine, uint32_t first, uint32_t end, bool fiveDigits) {
  if (InLoaderArea(first)) return kBslBadArgument;
  const uint32_t start = MillisecondTick();
  const int total = end > first ? static_cast<int>((end - first) / kFlashSegment) : 0;
  int result = 1;
  uint64_t address = first;  // wide, so the last step past a high end cannot wrap
  for (uint32_t segment = 0; address < end; ++segment) {
    const int done = static_cast<int>((address - first) / kFlashSegment);
    if (segment % kEraseProgressEvery == 0 && !ReportProgress(engine, total, done, kProgressRunning, 'X')) {
      result = kBslCancelled;
      break;
    }
    result = EraseSegment(engine, static_cast<uint32_t>(address), fiveDigits);
    if (result < 0) break;
    address += kFlashSegment;
    if (InLoaderArea(address)) address = kAboveLoaderArea;
  }
  ReportProgress(engine, total, total, kProgressFinished, 'X');
  const long seconds = static_cast<long>((MillisecondTick() - start) / 1000);
  if (result >= 0) {
    print_message(engine.log, kLogStep, kBslTag, "BSLEraseFlash successful: segment %X to %X (%ld s)",
                  static_cast<unsigned>(first), static_cast<unsigned>(end), seconds);
  } else {
    print_message(engine.log, kLogFailure, kBslTag, "BSLEraseFlash failed with error %d (%ld s)", result, seconds);
  }
  return result;
}
