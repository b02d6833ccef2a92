#include "bsl/host_bsl.h"

#include <new>

namespace {

uint32_t CharacterSum(std::string_view text) {
  uint32_t sum = 0;
  for (const char c : text) sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return sum;
}

}  // namespace

HostBSL::HostBSL(MessageLog* messageLog, const BuiltInImage& image) : port(messageLog), log(messageLog) {
  try {
    commandBuffer.reserve(kCommandBufferSize);
    blockBuffer.reserve(kCommandBufferSize);
    modelName = std::string(image.label.substr(0, kModelNameMax));
  } catch (const std::bad_alloc&) {
    constructorError = kBslNoMemory;
  }
  deviceType = static_cast<uint8_t>(image.deviceType);
  vectorWords = image.vectors;
  try {
    imageText.assign(image.text);
  } catch (const std::bad_alloc&) {
    constructorError = kBslNoMemory;
    return;
  }
  if (image.text.size() != image.checkLength || CharacterSum(imageText) != image.checkSum) {
    constructorError = kBslImageCorrupt;
  }
}

HostBSL::~HostBSL() {
  if (port.borrowed) {
    BSLHandBack(*this);
  } else {
    BSLDisconnect(*this);
  }
}
