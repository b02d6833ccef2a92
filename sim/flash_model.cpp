#include "flash_model.h"

#include <algorithm>

namespace {

bool Writable(const FlashRegion& region) { return region.kind != RegionKind::Loader; }

}  // namespace

Flash MakeFlash(const FlashLayout& layout) {
  Flash flash;
  flash.layout = layout;
  uint32_t top = 0;
  for (const FlashRegion& region : layout.regions) top = std::max(top, region.end);
  flash.bytes.assign(top, kErasedByte);
  return flash;
}

const FlashRegion* FlashRegionAt(const Flash& flash, uint32_t address) {
  for (const FlashRegion& region : flash.layout.regions) {
    if (address >= region.start && address < region.end) return &region;
  }
  return nullptr;
}

uint8_t FlashRead(const Flash& flash, uint32_t address) {
  return FlashRegionAt(flash, address) ? flash.bytes[address] : kErasedByte;
}

uint16_t FlashWord(const Flash& flash, uint32_t address) {
  return static_cast<uint16_t>(FlashRead(flash, address) | FlashRead(flash, address + 1) << 8);
}

FlashResult FlashErase(Flash& flash, uint32_t address, uint32_t& segmentStart, uint32_t& segmentEnd) {
  const FlashRegion* region = FlashRegionAt(flash, address);
  if (!region) return FlashResult::OutsideMemory;
  if (!Writable(*region)) return FlashResult::Protected;
  // Segments are aligned to their size; a region that starts off a boundary has a short first one.
  segmentStart = std::max(region->start, address - address % region->segmentSize);
  segmentEnd = std::min(region->end, address - address % region->segmentSize + region->segmentSize);
  std::fill(flash.bytes.begin() + segmentStart, flash.bytes.begin() + segmentEnd, kErasedByte);
  return FlashResult::Ok;
}

FlashResult FlashProgram(Flash& flash, uint32_t address, uint8_t value) {
  const FlashRegion* region = FlashRegionAt(flash, address);
  if (!region) return FlashResult::OutsideMemory;
  if (!Writable(*region)) return FlashResult::Protected;
  // Programming can only clear bits: a byte that would need a 0 turned back into a 1 is a
  // write into unerased flash. Writing the same value again is harmless, as on the chip.
  const uint8_t current = flash.bytes[address];
  if ((current & value) != value) return FlashResult::Unerased;
  flash.bytes[address] = static_cast<uint8_t>(current & value);
  return FlashResult::Ok;
}

void FlashPut(Flash& flash, uint32_t address, const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); ++i) {
    const uint32_t at = address + static_cast<uint32_t>(i);
    if (FlashRegionAt(flash, at)) flash.bytes[at] = data[i];
  }
}

std::vector<FlashRun> FlashRuns(const Flash& flash, uint32_t gap) {
  std::vector<FlashRun> runs;
  for (const FlashRegion& region : flash.layout.regions) {
    if (!Writable(region)) continue;
    uint32_t erasedSince = 0;  // erased bytes seen since the last programmed one
    bool open = false;
    for (uint32_t address = region.start; address < region.end; ++address) {
      const uint8_t value = flash.bytes[address];
      if (value == kErasedByte) {
        ++erasedSince;
        continue;
      }
      if (open && erasedSince < gap) {
        runs.back().bytes.insert(runs.back().bytes.end(), erasedSince, kErasedByte);
      } else {
        runs.push_back(FlashRun{address, {}});
      }
      runs.back().bytes.push_back(value);
      open = true;
      erasedSince = 0;
    }
  }
  return runs;
}

FlashLayout TgxFlashLayout() {
  return FlashLayout{"TGX",
                     {
                         {0x1800, 0x1980, 128, RegionKind::Info},
                         {0x5C00, 0xFA00, 512, RegionKind::Main},
                         {0xFA00, 0xFE00, 512, RegionKind::Loader},
                         {0xFE00, 0x10000, 512, RegionKind::Vectors},
                         {0x10000, 0x3C000, 512, RegionKind::Main},
                     }};
}

FlashLayout Msp16FlashLayout() {
  return FlashLayout{"MSP16",
                     {
                         {0x1000, 0x1100, 128, RegionKind::Info},
                         {0x1100, 0xFA00, 512, RegionKind::Main},
                         {0xFA00, 0xFE00, 512, RegionKind::Loader},
                         {0xFE00, 0x10000, 512, RegionKind::Vectors},
                     }};
}

const FlashRegion* FlashFirstInfo(const Flash& flash) {
  for (const FlashRegion& region : flash.layout.regions) {
    if (region.kind == RegionKind::Info) return &region;
  }
  return nullptr;
}

bool FlashInfoSegmentErased(const Flash& flash) {
  const FlashRegion* info = FlashFirstInfo(flash);
  if (!info) return false;
  for (uint32_t address = info->start; address < info->start + info->segmentSize; ++address) {
    if (FlashRead(flash, address) != kErasedByte) return false;
  }
  return true;
}
