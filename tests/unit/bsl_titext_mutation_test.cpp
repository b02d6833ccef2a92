// BSLLoadTIFile must be total: whatever bytes a file holds, the load ends
// with a result code and either a well-formed image or the old one. Seeded
// mutations of valid files, and plain noise, bounded to run in seconds.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>

#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "test_folder.h"

namespace {

constexpr int kConversions = 100000;
constexpr int kFileLoads = 1000;
constexpr std::string_view kAlphabet = "@q\n\r\t 0123456789ABCDEFabcdefxyzQ-.;";

// Every segment is "@" + five upper-case digits + hex data in whole words.
::testing::AssertionResult WellFormed(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] != '@') return ::testing::AssertionFailure() << "no marker at " << at;
    for (size_t i = at + 1; i < at + 6; ++i) {
      if (i >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) || std::islower(static_cast<unsigned char>(text[i]))) {
        return ::testing::AssertionFailure() << "bad address digits at " << at;
      }
    }
    size_t end = text.find('@', at + 1);
    if (end == std::string::npos) end = text.size();
    if ((end - at - 6) % 4 != 0) return ::testing::AssertionFailure() << "partial word in segment at " << at;
    for (size_t i = at + 6; i < end; ++i) {
      if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return ::testing::AssertionFailure() << "non-hex at " << i;
    }
    at = end;
  }
  return ::testing::AssertionSuccess();
}

std::string Mutate(std::string text, std::mt19937& random) {
  const int edits = 1 + static_cast<int>(random() % 8);
  for (int e = 0; e < edits; ++e) {
    const size_t at = text.empty() ? 0 : random() % (text.size() + 1);
    const char c = random() % 4 == 0 ? static_cast<char>(random() % 256) : kAlphabet[random() % kAlphabet.size()];
    switch (random() % 5) {
      case 0: if (at < text.size()) text[at] = c; break;
      case 1: text.insert(at, 1, c); break;
      case 2: if (at < text.size()) text.erase(at, 1 + random() % 8); break;
      case 3: text.resize(at); break;
      default: text.insert(at, text.substr(random() % (text.size() + 1), random() % 40)); break;
    }
  }
  return text;
}

std::string Noise(std::mt19937& random) {
  std::string text(random() % 200, '\0');
  for (char& c : text) c = random() % 2 ? kAlphabet[random() % kAlphabet.size()] : static_cast<char>(random() % 256);
  if (random() % 2) text.insert(0, "@");
  return text;
}

const std::vector<std::string>& Seeds() {
  static const std::vector<std::string> seeds = {
      "@1000\n12 34 56 78\n@FFE0\n00 11 22 33\nq\n",
      "@FA00\n01 02\n@FDFF\n05 06 07\n@10000\nA1 B2 C3\n@FFF0\n10 00 11 00\nq",
      "@FFFE\n00 44\n@abcd\nab cd\r\n@ffe0\n00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\nq",
  };
  return seeds;
}

TEST(TITextMutation, ConversionAlwaysEndsInACodeAndAWellFormedImage) {
  std::mt19937 random(20240611);
  int accepted = 0;
  for (int i = 0; i < kConversions; ++i) {
    const std::string input = i % 10 == 0 ? Noise(random) : Mutate(Seeds()[random() % Seeds().size()], random);
    TIImage image;
    image.text = "untouched";
    const int result = ConvertTIText(input, &image);
    ASSERT_TRUE(result == 1 || result == kTINotUsable) << result;
    if (result != 1) {
      ASSERT_EQ(image.text, "untouched");
      continue;
    }
    ++accepted;
    ASSERT_TRUE(WellFormed(image.text)) << ::testing::PrintToString(input);
    for (const uint32_t word : image.vectors) ASSERT_LE(word, 0xFFFFu);
  }
  EXPECT_GT(accepted, kConversions / 20) << "the mutations should not all be refused";
}

TEST(TITextMutation, LoadingMutatedFilesKeepsTheEngineConsistent) {
  const std::filesystem::path dir = FreshTestFolder("vorn-mutation-");
  HostBSL engine(nullptr, BuiltInFirmware());
  std::mt19937 random(77);
  for (int i = 0; i < kFileLoads; ++i) {
    const std::string before = engine.imageText;
    const std::string path = (dir / ("TGX 1-" + std::to_string(i) + ".txt")).string();
    std::ofstream(path, std::ios::binary) << Mutate(Seeds()[random() % Seeds().size()], random);
    const int result = BSLLoadTIFile(engine, path);
    ASSERT_TRUE(result == 1 || result == kTINotUsable) << result;
    if (result == 1) {
      ASSERT_TRUE(WellFormed(engine.imageText));
      ASSERT_EQ(engine.imageVersion, std::stoul("1" + std::to_string(i))) << "TGX 1-" << i;
    } else {
      ASSERT_EQ(engine.imageText, before);
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
