// The built-in image: the engine's construction check, and the identity block
// at the head of the image that the device simulator reads back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "bsl/builtin_image.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"

namespace {

constexpr size_t kReleaseLength = 382636;

TEST(BuiltInImage, PassesItsCheckAndCarriesTheRelease) {
  const auto start = std::chrono::steady_clock::now();
  HostBSL engine(nullptr, BuiltInFirmware());
  const auto took = std::chrono::steady_clock::now() - start;
  std::printf("engine construction with the image check: %lld us\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
  EXPECT_EQ(engine.constructorError, 0);
  EXPECT_EQ(engine.modelName, "TGX 1.50");
  EXPECT_EQ(engine.deviceType, kDeviceTypeTGX);
  EXPECT_EQ(engine.imageVersion, 0u) << "0 until a file is loaded";
  EXPECT_EQ(BuiltInFirmware().imageVersion, 150u);
  EXPECT_EQ(engine.imageText.size(), kReleaseLength);
  EXPECT_EQ(engine.imageText.substr(0, 6), "@06E00");
  EXPECT_NE(engine.imageText.find("@0FE00"), std::string::npos);
  EXPECT_NE(engine.imageText.find("@10000"), std::string::npos);
  EXPECT_NE(engine.imageText.find("@0FFC0"), std::string::npos);
  const uint32_t reset = engine.vectorWords[kVectorCount - 1];
  EXPECT_GE(reset, 0x6E00u);
  EXPECT_LT(reset, 0x6E00u + 35840u) << "the reset vector points into the first segment";
}

TEST(BuiltInImage, AnyChangeFailsTheCheckAndTheImageStays) {
  const BuiltInImage& original = BuiltInFirmware();
  std::string text(original.text);
  const size_t letter = text.find_first_of("ABCDEF", 6);
  struct Case {
    const char* what;
    std::string text;
  };
  std::string digitChanged = text, caseChanged = text, shorter = text.substr(0, text.size() - 4);
  digitChanged[100] = digitChanged[100] == '0' ? '1' : '0';
  caseChanged[letter] = static_cast<char>(caseChanged[letter] + 32);
  const Case cases[] = {{"a digit", digitChanged}, {"a letter's case", caseChanged}, {"the length", shorter}};
  for (const Case& c : cases) {
    BuiltInImage image = original;
    image.text = c.text;
    HostBSL engine(nullptr, image);
    EXPECT_EQ(engine.constructorError, kBslImageCorrupt) << c.what;
    EXPECT_EQ(engine.imageText, c.text) << c.what;
  }
}

uint32_t Crc32(uint32_t crc, const std::vector<uint8_t>& bytes) {
  crc = ~crc;
  for (const uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t Little(const std::vector<uint8_t>& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<size_t>(i)];
  return value;
}

// The image's segments as address and bytes, read back from the word text.
std::vector<std::pair<uint32_t, std::vector<uint8_t>>> Segments(const std::string& text) {
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> segments;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('@', at + 1);
    if (end == std::string::npos) end = text.size();
    std::vector<uint8_t> bytes;
    for (size_t i = at + 6; i + 4 <= end; i += 4) {
      const uint32_t word = static_cast<uint32_t>(std::stoul(text.substr(i, 4), nullptr, 16));
      bytes.push_back(static_cast<uint8_t>(word & 0xFF));
      bytes.push_back(static_cast<uint8_t>(word >> 8));
    }
    segments.emplace_back(static_cast<uint32_t>(std::stoul(text.substr(at + 1, 5), nullptr, 16)), bytes);
    at = end;
  }
  return segments;
}

TEST(BuiltInImage, IdentityBlockNamesTheReleaseAndItsChecksumHolds) {
  auto segments = Segments(std::string(BuiltInFirmware().text));
  ASSERT_EQ(segments.size(), 4u);
  std::vector<uint8_t>& head = segments[0].second;
  EXPECT_EQ(std::string(head.begin(), head.begin() + 8), std::string("VORNIMG\0", 8));
  EXPECT_EQ(std::string(head.begin() + 8, head.begin() + 16), std::string("TGX\0\0\0\0\0", 8));
  EXPECT_EQ(Little(head, 16, 2), 150u);
  const uint32_t stored = Little(head, 20, 4);
  ASSERT_EQ(Little(head, 24, 2), 4u);
  const std::pair<uint32_t, uint32_t> expected[] = {{0x6E00, 35840}, {0xFE00, 8}, {0x10000, 155426}, {0xFFC0, 32}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Little(head, 28 + 8 * i, 4), expected[i].first);
    EXPECT_EQ(Little(head, 32 + 8 * i, 4), expected[i].second);
    EXPECT_EQ(segments[i].first, expected[i].first);
    EXPECT_EQ(segments[i].second.size(), expected[i].second);
  }
  std::fill(head.begin() + 20, head.begin() + 24, 0);
  uint32_t crc = 0;
  for (const auto& segment : segments) crc = Crc32(crc, segment.second);
  EXPECT_EQ(crc, stored);
}

}  // namespace
