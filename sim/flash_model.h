// Flash memory of a simulated device: erased bytes read 0xFF, a byte can be programmed only
// while erased, and erasing works on whole segments. The layout names the device's regions,
// so one model serves every loader layout (the TGX's 20-bit map, 16-bit MSP-style parts,
// sensors behind a pass-through device).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t kErasedByte = 0xFF;
constexpr uint32_t kVectorTable = 0xFFE0;  // 16 interrupt vector words up to 0xFFFF
constexpr int kVectorCount = 16;

enum class RegionKind { Main, Info, Loader, Vectors };

struct FlashRegion {
  uint32_t start = 0;
  uint32_t end = 0;  // one past the last byte
  uint32_t segmentSize = 512;
  RegionKind kind = RegionKind::Main;
};

struct FlashLayout {
  std::string name;
  std::vector<FlashRegion> regions;
};

struct Flash {
  FlashLayout layout;
  std::vector<uint8_t> bytes;  // indexed by address; addresses outside every region are not memory
};

enum class FlashResult { Ok, OutsideMemory, Protected, Unerased };

struct FlashRun {
  uint32_t address = 0;
  std::vector<uint8_t> bytes;
};

Flash MakeFlash(const FlashLayout& layout);

const FlashRegion* FlashRegionAt(const Flash& flash, uint32_t address);
uint8_t FlashRead(const Flash& flash, uint32_t address);  // 0xFF outside memory
// The first INFO region, where a device keeps its settings; null when it has none.
const FlashRegion* FlashFirstInfo(const Flash& flash);
// Whether the first INFO segment is erased (a device that finds it so starts from factory settings).
bool FlashInfoSegmentErased(const Flash& flash);
uint16_t FlashWord(const Flash& flash, uint32_t address);  // little-endian

// Erases the segment holding the address; start and end of the segment come back for the log.
FlashResult FlashErase(Flash& flash, uint32_t address, uint32_t& segmentStart, uint32_t& segmentEnd);
// Programs one byte as the loader does: only an erased byte of writable memory takes a value.
FlashResult FlashProgram(Flash& flash, uint32_t address, uint8_t value);
// Factory programming (the firmware the device left the factory with): no checks.
void FlashPut(Flash& flash, uint32_t address, const std::vector<uint8_t>& data);

// The contents as runs of programmed bytes; runs closer than `gap` erased bytes are merged, so a
// stray 0xFF inside data does not split it. The loader's own area is left out.
std::vector<FlashRun> FlashRuns(const Flash& flash, uint32_t gap);

// The TGX map: INFO 0x1800 x 3 x 128, main flash 0x5C00-0x3BFFF in 512-byte segments with the
// loader at 0xFA00-0xFDFF and the vector segment 0xFE00-0xFFFF inside it.
FlashLayout TgxFlashLayout();
// A 16-bit part: INFO 0x1000 x 2 x 128, main flash 0x1100-0xF9FF, loader, vector segment.
FlashLayout Msp16FlashLayout();
