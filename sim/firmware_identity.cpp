#include "firmware_identity.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'V', 'O', 'R', 'N', 'I', 'M', 'G', '\0'};
constexpr size_t kTagSize = 8;
constexpr uint32_t kCrcPolynomial = 0xEDB88320;  // zlib's, reflected
constexpr uint32_t kOldSettingsSize = 64;
constexpr uint16_t kOldVectorBase = 0x0040;  // vectors point this far into the image

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? kCrcPolynomial ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t Le32(const Flash& flash, uint32_t address) {
  return static_cast<uint32_t>(FlashWord(flash, address)) | static_cast<uint32_t>(FlashWord(flash, address + 2)) << 16;
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

bool HasMagic(const Flash& flash, uint32_t address) {
  for (uint32_t i = 0; i < sizeof kMagic; ++i) {
    if (FlashRead(flash, address + i) != static_cast<uint8_t>(kMagic[i])) return false;
  }
  return true;
}

bool RangeInMemory(const Flash& flash, uint32_t start, uint32_t length) {
  if (length == 0 || start + length < start) return false;
  return FlashRegionAt(flash, start) && FlashRegionAt(flash, start + length - 1);
}

// The CRC over the listed ranges, the block's own CRC bytes read as zero; false for a block
// whose range list cannot be right.
bool ImageCrc(const Flash& flash, uint32_t block, uint32_t& crc) {
  const uint32_t count = FlashWord(flash, block + 24);
  if (count == 0 || count > kIdentityMaxRanges) return false;
  const uint32_t crcField = block + kIdentityCrcOffset;
  crc = 0;
  for (uint32_t r = 0; r < count; ++r) {
    const uint32_t start = Le32(flash, block + kIdentityHeaderSize + 8 * r);
    const uint32_t length = Le32(flash, block + kIdentityHeaderSize + 8 * r + 4);
    if (!RangeInMemory(flash, start, length)) return false;
    for (uint32_t address = start; address < start + length; ++address) {
      const bool inField = address >= crcField && address < crcField + 4;
      const uint8_t value = inField ? 0 : FlashRead(flash, address);
      crc = Crc32(crc, &value, 1);
    }
  }
  return true;
}

// A small generator so the old image is the same on every run.
uint8_t NextOldByte(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return static_cast<uint8_t>(state >> 8);
}

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length) {
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

FirmwareIdentity CheckFirmwareIdentity(const Flash& flash) {
  FirmwareIdentity identity;
  for (const FlashRegion& region : flash.layout.regions) {
    if (region.kind != RegionKind::Main) continue;
    const uint32_t step = region.segmentSize;
    for (uint32_t address = (region.start + step - 1) / step * step; address + kIdentityHeaderSize <= region.end;
         address += step) {
      if (!HasMagic(flash, address)) continue;
      identity.found = true;
      identity.address = address;
      for (uint32_t i = 0; i < kTagSize && FlashRead(flash, address + 8 + i) != 0; ++i) {
        identity.tag += static_cast<char>(FlashRead(flash, address + 8 + i));
      }
      identity.version = FlashWord(flash, address + 16);
      uint32_t crc = 0;
      identity.intact = ImageCrc(flash, address, crc) && crc == Le32(flash, address + kIdentityCrcOffset);
      return identity;
    }
  }
  return identity;
}

std::vector<uint8_t> MakeIdentityBlock(const std::string& tag, uint32_t version,
                                       const std::vector<ImageRange>& ranges) {
  std::vector<uint8_t> block(kMagic, kMagic + sizeof kMagic);
  for (size_t i = 0; i < kTagSize; ++i) block.push_back(i < tag.size() ? static_cast<uint8_t>(tag[i]) : 0);
  Put16(block, version);
  Put16(block, 0);
  Put32(block, 0);
  Put16(block, static_cast<uint32_t>(ranges.size()));
  Put16(block, 0);
  for (const ImageRange& range : ranges) {
    Put32(block, range.start);
    Put32(block, range.length);
  }
  return block;
}

void SealIdentity(Flash& flash, uint32_t blockAddress) {
  uint32_t crc = 0;
  if (!ImageCrc(flash, blockAddress, crc)) return;
  std::vector<uint8_t> field;
  Put32(field, crc);
  FlashPut(flash, blockAddress + kIdentityCrcOffset, field);
}

void InstallOldFirmware(Flash& flash, const std::string& tag, uint32_t version,
                        const std::vector<ImageRange>& ranges) {
  if (ranges.empty()) return;
  uint32_t state = 0x9E3779B9u ^ version;
  for (const ImageRange& range : ranges) {
    std::vector<uint8_t> data(range.length);
    for (uint8_t& value : data) value = NextOldByte(state);
    FlashPut(flash, range.start, data);
  }
  const uint32_t block = ranges.front().start;
  FlashPut(flash, block, MakeIdentityBlock(tag, version, ranges));
  SealIdentity(flash, block);

  for (const FlashRegion& region : flash.layout.regions) {
    if (region.kind != RegionKind::Info) continue;
    std::vector<uint8_t> settings(std::min(kOldSettingsSize, region.end - region.start));
    for (uint8_t& value : settings) value = NextOldByte(state);
    FlashPut(flash, region.start, settings);
    break;
  }
  std::vector<uint8_t> vectors;
  for (int i = 0; i < kVectorCount; ++i) Put16(vectors, (block + kOldVectorBase + 4u * static_cast<uint32_t>(i)) & 0xFFFF);
  FlashPut(flash, kVectorTable, vectors);
}
