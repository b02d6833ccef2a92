#include "loader.h"

#include <cstdio>
#include <optional>

#include "loader_frame.h"

namespace {

constexpr size_t kMaxLine = 600;        // a full "W" frame is 518 characters
constexpr size_t kMaxWriteDigits = 512;  // 128 words, 256 bytes
constexpr size_t kWordDigits = 4;
constexpr size_t kVectorDigits = kWordDigits * kVectorCount;
constexpr const char* kAck = "+\r";
constexpr const char* kNak = "-\r";

std::string Hex5(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%05X", address);
  return text;
}

void Record(Loader& loader, const std::string& text) {
  if (loader.faultLog) loader.faultLog->push_back(text);
}

std::string FrameName(const Loader& loader, char letter) {
  return "frame " + std::to_string(loader.frameCount) + " (" + std::string(1, letter) + ")";
}

bool ParseAddress(const std::string& argument, uint32_t& address) {
  return (argument.size() == 4 || argument.size() == 5) && HexValue(argument, address);
}

std::string FlashFault(FlashResult result, const char* doing, uint32_t address) {
  switch (result) {
    case FlashResult::OutsideMemory: return std::string(doing) + " outside memory at " + Hex5(address);
    case FlashResult::Protected: return std::string(doing) + " in the loader's protected area at " + Hex5(address);
    case FlashResult::Unerased: return std::string(doing) + " to unerased flash at " + Hex5(address);
    case FlashResult::Ok: break;
  }
  return {};
}

// Writes one word, low byte at the even address.
FlashResult ProgramWord(Loader& loader, uint32_t address, uint32_t word, uint32_t& failedAt) {
  for (uint32_t i = 0; i < 2; ++i) {
    const FlashResult result = FlashProgram(*loader.flash, address + i, static_cast<uint8_t>(word >> (8 * i)));
    if (result != FlashResult::Ok) {
      failedAt = address + i;
      return result;
    }
  }
  return FlashResult::Ok;
}

std::string CommandVersion(Loader& loader, const LoaderFrame& frame) {
  if (!frame.argument.empty()) {
    Record(loader, FrameName(loader, 'g') + ": unexpected argument");
    return kNak;
  }
  return "+" + std::to_string(loader.version) + "+\r";
}

std::string CommandAddress(Loader& loader, const LoaderFrame& frame) {
  if (!ParseAddress(frame.argument, loader.address)) {
    Record(loader, FrameName(loader, '@') + ": bad address \"" + frame.argument + "\"");
    return kNak;
  }
  return kAck;
}

std::string CommandErase(Loader& loader, const LoaderFrame& frame) {
  uint32_t address = 0;
  if (!ParseAddress(frame.argument, address)) {
    Record(loader, FrameName(loader, 'X') + ": bad address \"" + frame.argument + "\"");
    return kNak;
  }
  uint32_t start = 0, end = 0;
  const FlashResult result = FlashErase(*loader.flash, address, start, end);
  if (result != FlashResult::Ok) {
    Record(loader, FlashFault(result, "erase", address));
    return kNak;
  }
  return kAck;
}

// Words of a "W" or "V" argument; false when it is not whole words of hex digits.
bool ParseWords(const std::string& argument, std::vector<uint32_t>& words) {
  if (argument.empty() || argument.size() % kWordDigits != 0) return false;
  for (size_t at = 0; at < argument.size(); at += kWordDigits) {
    uint32_t word = 0;
    if (!HexValue(std::string_view(argument).substr(at, kWordDigits), word)) return false;
    words.push_back(word);
  }
  return true;
}

std::string CommandWrite(Loader& loader, const LoaderFrame& frame) {
  std::vector<uint32_t> words;
  if (frame.argument.size() > kMaxWriteDigits || !ParseWords(frame.argument, words)) {
    Record(loader, FrameName(loader, 'W') + ": bad data (" + std::to_string(frame.argument.size()) + " digits)");
    return kNak;
  }
  if (loader.address % 2 != 0) {
    Record(loader, FrameName(loader, 'W') + ": word write at odd address " + Hex5(loader.address));
    return kNak;
  }
  for (uint32_t word : words) {
    uint32_t failedAt = 0;
    const FlashResult result = ProgramWord(loader, loader.address, word, failedAt);
    if (result != FlashResult::Ok) {
      Record(loader, FlashFault(result, "write", failedAt));
      return kNak;
    }
    loader.address += 2;
  }
  return kAck;
}

std::string CommandVectors(Loader& loader, const LoaderFrame& frame, LoaderAction& action) {
  std::vector<uint32_t> words;
  if (frame.argument.size() != kVectorDigits || !ParseWords(frame.argument, words)) {
    Record(loader, FrameName(loader, 'V') + ": bad vector data (" + std::to_string(frame.argument.size()) + " digits)");
    return kNak;
  }
  for (size_t i = 0; i < words.size(); ++i) {
    uint32_t failedAt = 0;
    const uint32_t address = kVectorTable + 2 * static_cast<uint32_t>(i);
    const FlashResult result = ProgramWord(loader, address, words[i], failedAt);
    if (result != FlashResult::Ok) {
      Record(loader, FlashFault(result, "vector write", failedAt));
      return kNak;
    }
  }
  action.event = LoaderEvent::VectorsWritten;
  return "+";  // the host waits for the "+" itself
}

std::string Execute(Loader& loader, const LoaderFrame& frame, LoaderAction& action) {
  if (!FrameChecksumGood(frame)) {
    char text[96];
    std::snprintf(text, sizeof text, ": bad checksum %04X, expected %04X", frame.checksum,
                  FrameChecksum(frame.letter, frame.argument));
    Record(loader, FrameName(loader, frame.letter) + text);
    return kNak;
  }
  switch (frame.letter) {
    case 'g': return CommandVersion(loader, frame);
    case '@': return CommandAddress(loader, frame);
    case 'W': return CommandWrite(loader, frame);
    case 'X': return CommandErase(loader, frame);
    case 'V': return CommandVectors(loader, frame, action);
    default: break;
  }
  Record(loader, FrameName(loader, frame.letter) + ": unknown command");
  return kNak;
}

// The fault stage a frame belongs to beside "frame"; empty for an unknown letter.
std::string_view FrameStage(const Loader& loader, const LoaderFrame& frame) {
  switch (frame.letter) {
    case 'g': return "version";
    case '@': return "address";
    case 'W': return "write";
    case 'V': return "vectors";
    case 'X': {
      uint32_t address = 0;
      const FlashRegion* region = ParseAddress(frame.argument, address) ? FlashRegionAt(*loader.flash, address) : nullptr;
      return region && region->kind == RegionKind::Info ? "erase-info" : "erase";
    }
    default: return {};
  }
}

std::optional<FaultKind> InjectedAt(Loader& loader, std::string_view stage, const std::string& what) {
  if (!loader.faults) return std::nullopt;
  return FaultAt(*loader.faults, {stage}, what);
}

// A frame counts under "frame" and, for a known letter, under its own stage too.
std::optional<FaultKind> InjectedFrame(Loader& loader, std::string_view stage, const std::string& what) {
  if (!loader.faults) return std::nullopt;
  if (stage.empty()) return FaultAt(*loader.faults, {"frame"}, what);
  return FaultAt(*loader.faults, {"frame", stage}, what);
}

// Drops bytes from the middle of a received command, as a noisy line would.
std::string DropBytes(const std::string& line) {
  std::string damaged = line;
  if (!damaged.empty()) damaged.erase(damaged.size() / 2, 1);
  return damaged;
}

// Applies an injected fault; true when the command is still to be carried out.
bool ApplyFault(Loader& loader, std::optional<FaultKind> fault, std::string& line, LoaderAction& action) {
  if (!fault) return true;
  switch (*fault) {
    case FaultKind::Silence: return false;
    case FaultKind::Nak: action.reply = kNak; return false;
    case FaultKind::Garble: action.garble = true; return true;
    case FaultKind::Drop: line = DropBytes(line); return true;
    case FaultKind::Reset:
      LoaderStart(loader, kLoaderStartBaud);
      action.event = LoaderEvent::Reset;
      return false;
    case FaultKind::Hangup: action.event = LoaderEvent::Hangup; return false;
    case FaultKind::Echo: action.reply = line + "\r"; return false;  // a relay's echo and nothing else
    case FaultKind::Error: action.reply = kNak; return false;
  }
  return false;
}

void HandleLine(Loader& loader, std::string line, LoaderAction& action) {
  std::optional<LoaderFrame> frame = ParseLoaderFrame(line);
  if (!frame) {
    if (ApplyFault(loader, InjectedAt(loader, "probe", "probe"), line, action)) action.reply = "?\r";
    return;
  }
  ++loader.frameCount;
  ++loader.frames[std::string(1, frame->letter)];
  const std::string what = FrameName(loader, frame->letter);
  if (!ApplyFault(loader, InjectedFrame(loader, FrameStage(loader, *frame), what), line, action)) return;
  frame = ParseLoaderFrame(line);  // a drop may have damaged it
  action.reply = frame ? Execute(loader, *frame, action) : "?\r";
}

void ReceiveWaiting(Loader& loader, uint8_t byte, uint32_t hostBaud, LoaderAction& action) {
  std::string none;
  if (byte == '\r') {
    if (loader.fixedBaud == 0) loader.baud = hostBaud;
    loader.line.clear();
    if (ApplyFault(loader, InjectedAt(loader, "probe", "probe"), none, action)) action.reply = "$";
    return;
  }
  if (byte == 'P' && loader.line.empty()) {
    if (ApplyFault(loader, InjectedAt(loader, "attach", "attach"), none, action)) {
      loader.state = LoaderState::Attached;
      action.reply = "#";
    }
    return;
  }
  // Anything else waits for the next "\r"; one character is enough to remember a started line.
  if (loader.line.empty()) loader.line.push_back(static_cast<char>(byte));
}

void ReceiveAttached(Loader& loader, uint8_t byte, LoaderAction& action) {
  if (byte == 'P' && loader.line.empty()) {
    std::string none;
    if (ApplyFault(loader, InjectedAt(loader, "attach", "attach"), none, action)) action.reply = "#";
    return;
  }
  if (byte != '\r') {
    if (loader.line.size() < kMaxLine) {
      loader.line.push_back(static_cast<char>(byte));
    } else {
      loader.lineTooLong = true;
    }
    return;
  }
  std::string line = std::move(loader.line);
  loader.line.clear();
  if (loader.lineTooLong) {
    loader.lineTooLong = false;
    Record(loader, "command longer than " + std::to_string(kMaxLine) + " characters");
    action.reply = kNak;
    return;
  }
  HandleLine(loader, std::move(line), action);
}

}  // namespace

void LoaderStart(Loader& loader, uint32_t baud) {
  loader.state = LoaderState::Waiting;
  loader.baud = loader.fixedBaud != 0 ? loader.fixedBaud : baud;
  loader.address = 0;
  loader.line.clear();
  loader.lineTooLong = false;
}

uint32_t LoaderListenBaud(const Loader& loader, uint8_t byte, uint32_t hostBaud) {
  if (loader.state == LoaderState::Waiting && byte == '\r' && loader.fixedBaud == 0) return hostBaud;
  return loader.baud;
}

LoaderAction LoaderReceive(Loader& loader, uint8_t byte, uint32_t hostBaud) {
  LoaderAction action;
  if (loader.state == LoaderState::Waiting) {
    ReceiveWaiting(loader, byte, hostBaud, action);
  } else {
    ReceiveAttached(loader, byte, action);
  }
  return action;
}
