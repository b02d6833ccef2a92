// The identity block that every firmware image carries at the start of its first segment, and
// the check a device makes on it when it starts: the image is intact when the block is there
// and the CRC over the ranges it lists matches.
//
// Block: "VORNIMG\0", model tag (8 bytes, NUL-padded), u16 version in hundredths, u16 0,
// u32 CRC-32 (zlib) over the listed ranges with these four bytes taken as zero, u16 range
// count n, u16 0, then n x (u32 start, u32 length); all little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "flash_model.h"

constexpr uint32_t kIdentityCrcOffset = 20;
constexpr uint32_t kIdentityHeaderSize = 28;
constexpr uint32_t kIdentityMaxRanges = 60;  // the block must fit one 512-byte segment

struct ImageRange {
  uint32_t start = 0;
  uint32_t length = 0;
};

struct FirmwareIdentity {
  bool found = false;  // the magic was found at a segment start of main flash
  bool intact = false;
  uint32_t address = 0;
  std::string tag;
  uint32_t version = 0;
};

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length);

// Scans the segment starts of main flash for the block and checks the image it describes.
FirmwareIdentity CheckFirmwareIdentity(const Flash& flash);

// The block for an image; its CRC is filled in by SealIdentity once the image is in flash.
std::vector<uint8_t> MakeIdentityBlock(const std::string& tag, uint32_t version,
                                       const std::vector<ImageRange>& ranges);
void SealIdentity(Flash& flash, uint32_t blockAddress);

// The firmware a simulated device starts with: deterministic bytes over the ranges, an identity
// block at the first range's start, settings in INFO and a vector table whose reset vector points
// into the image. The device passes its own check afterwards.
void InstallOldFirmware(Flash& flash, const std::string& tag, uint32_t version,
                        const std::vector<ImageRange>& ranges);
