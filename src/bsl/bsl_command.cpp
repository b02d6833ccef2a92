// Framed loader commands: letter, hex argument, "." and a four-digit checksum,
// then "\r". The reply is classified by where its "+" stands.
#include <array>
#include <cstdio>

#include "bsl/host_bsl.h"

namespace {

constexpr uint32_t kChecksumModulus = 65535;  // not 65536: the loader computes it this way
constexpr char kSeparator = '.';
constexpr int kReplyWaitMs = 1000;
constexpr char kVersionLetter = 'g';  // the only command sent without an argument
constexpr size_t kFrameOverhead = 1 + 6 + 1;  // letter, ".XXXX\r", terminator

// Writes the frame in commandBuffer, waits for the wait character and reads the reply.
int Exchange(HostBSL& engine, char waitFor, std::string* reply, int* elapsedMs) {
  const uint32_t start = MillisecondTick();
  VSPurge(engine.port, kPurgeReceive);
  reply->clear();
  int written = 0;
  int result = VSWrite(engine.port, engine.commandBuffer.data(), static_cast<int>(engine.commandBuffer.size()), &written);
  if (result < 0) {
    print_message(engine.log, kLogFailure, kBslTag, "BSLCommand got unexpected response (%d) from VCommWrite", result);
  } else if ((result = VSWait(engine.port, kReplyWaitMs, waitFor)) < 0) {
    print_message(engine.log, kLogFailure, kBslTag, "BSLCommand got unexpected response (%d) from VCommWait", result);
  } else {
    std::array<char, kMaxReplyBytes> got{};
    int count = 0;
    result = VSRead(engine.port, got.data(), kMaxReplyBytes, &count);
    if (result < 0) {
      print_message(engine.log, kLogFailure, kBslTag, "BSLCommand got unexpected response (%d) from VCommRead", result);
    } else {
      reply->assign(got.data(), static_cast<size_t>(count));
    }
  }
  if (elapsedMs != nullptr) *elapsedMs = static_cast<int>(MillisecondTick() - start);
  return result < 0 ? kBslNotConnected : BSLClassifyReply(*reply);
}

}  // namespace

uint32_t BSLChecksum(char letter, std::string_view argument) {
  uint32_t sum = static_cast<uint32_t>(kSeparator) + static_cast<unsigned char>(letter);
  for (const char c : argument) sum += static_cast<unsigned char>(c);
  return sum % kChecksumModulus;
}

std::string BSLFrame(char letter, std::string_view argument) {
  std::string frame(1, letter);
  frame += argument;
  char trailer[8];
  std::snprintf(trailer, sizeof trailer, "%c%04X\r", kSeparator, static_cast<unsigned>(BSLChecksum(letter, argument)));
  frame += trailer;
  return frame;
}

int BSLClassifyReply(std::string_view reply) {
  if (reply.empty()) return kBslNotConnected;
  if (reply[0] == '+' || (reply.size() >= 2 && reply[1] == '+')) return static_cast<int>(reply.size());
  return kBslRejected;
}

int BSLCommand(HostBSL& engine, char letter, const char* argument, int length, char waitFor, std::string* reply,
               int* elapsedMs) {
  if (!engine.connected) return kBslNotConnected;
  if (length > kMaxArgumentLength) return kBslBadArgument;
  if (reply == nullptr) return kBslMissingArgument;
  const bool hasArgument = argument != nullptr && length > 0;
  if (!hasArgument && letter != kVersionLetter) return kBslMissingArgument;
  engine.commandBuffer =
      BSLFrame(letter, hasArgument ? std::string_view(argument, static_cast<size_t>(length)) : std::string_view());
  return Exchange(engine, waitFor, reply, elapsedMs);
}

int BSLCommand(HostBSL& engine, char letter, const uint32_t* values, int count, char waitFor, std::string* reply,
               int* elapsedMs, bool fiveDigits) {
  if (!engine.connected) return kBslNotConnected;
  if (count > kMaxCommandValues) return kBslBadArgument;
  if (count < 0 || (values == nullptr && count > 0)) return kBslMissingArgument;
  std::string argument;
  for (int i = 0; i < count; ++i) {
    char digits[16];
    std::snprintf(digits, sizeof digits, fiveDigits ? "%05X" : "%04X", static_cast<unsigned>(values[i]));
    argument += digits;
  }
  // The frame must fit the command buffer: 128 five-digit values would not.
  if (argument.size() + kFrameOverhead > kCommandBufferSize) return kBslBadArgument;
  engine.commandBuffer = BSLFrame(letter, argument);
  std::string unused;
  return Exchange(engine, waitFor, reply != nullptr ? reply : &unused, elapsedMs);
}
