// Reading TI-Text files into the engine, labels from file names, the dump
// format, and the built-in image with its check.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "test_folder.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

VectorTable Erased() {
  VectorTable table;
  table.fill(kErasedWord);
  return table;
}

class TITextFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = FreshTestFolder("vorn-titext-");
    log = CreateMessageLog((dir / "errors.txt").string(), kLogBytes, true);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Write(const std::string& name, const std::string& content) const {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::string LogText() const { return ReadFile(dir / "errors.txt"); }

  fs::path dir;
  MessageLog log;
};

constexpr const char* kSmallFile = "@1000\n12 34 56 78\n@FFE0\n00 11 22 33\nq\n";

TEST_F(TITextFiles, LooseLayoutsLoadLikeTheCompactOne) {
  const std::string variants[] = {
      kSmallFile,
      "@1000\r\n12 34 56 78\r\n@FFE0\r\n00 11 22 33\r\nq\r\n",
      "@ 1000 ignored here\n\t12\t34  5678 \n@ffe0\n0011\n2233\nq",
      "@01000\n12;34,56-78\n@FFE0\n00 11 22 33 \nq and anything after",
  };
  for (const std::string& content : variants) {
    HostBSL engine(&log, BuiltInFirmware());
    ASSERT_EQ(BSLLoadTIFile(engine, Write("small.txt", content)), 1) << content;
    EXPECT_EQ(engine.imageText, "@0100034127856") << content;
    VectorTable expected = Erased();
    expected[0] = 0x1100;
    expected[1] = 0x3322;
    EXPECT_EQ(engine.vectorWords, expected) << content;
  }
}

TEST_F(TITextFiles, HexLettersKeepTheirCase) {
  HostBSL engine(&log, BuiltInFirmware());
  ASSERT_EQ(BSLLoadTIFile(engine, Write("case.txt", "@abcd\nab Cd eF 01\n@FFE0\n\nq")), 1);
  EXPECT_EQ(engine.imageText, "@0ABCDCdab01eF");
}

TEST_F(TITextFiles, UnusableFilesAreRefusedAndTheHeldImageStays) {
  struct Case {
    const char* what;
    std::string content;
    bool walked;  // refused after the segment walk started: logged
  };
  const Case cases[] = {
      {"leading blank line", std::string("\n") + kSmallFile, false},
      {"byte-order mark", std::string("\xEF\xBB\xBF") + kSmallFile, false},
      {"no q", "@1000\n12 34\n@FFE0\n00 11\n", false},
      {"empty file", "", false},
      {"q only behind a NUL", std::string("@1000\n12 34\n@FFE0\n00 11\n\0q", 26), false},
      {"no vector segment", "@1000\n12 34 56 78\nq\n", true},
      {"@ without an address", "@\n12 34\n@FFE0\n00 11\nq", true},
      {"@ without a line feed", "@1000 12 34 q", true},
      {"vector segment ends in a partial word", "@1000\n12\n@FFE0\n00 11 22\nq", true},
      {"more vector words than entries", "@1000\n12\n@FFFC\n00 11 22 33 44 55\nq", true},
      {"address wider than five digits", "@100000\n12\n@FFE0\n00 11\nq", true},
  };
  for (const Case& c : cases) {
    HostBSL engine(&log, BuiltInFirmware());
    ASSERT_EQ(BSLLoadTIFile(engine, Write("first.txt", kSmallFile)), 1);
    const HostBSL& held = engine;
    const std::string text = held.imageText;
    const VectorTable vectors = held.vectorWords;
    fs::remove(dir / "errors.txt");
    EXPECT_EQ(BSLLoadTIFile(engine, Write("TGX 2.00.txt", c.content)), kTINotUsable) << c.what;
    EXPECT_EQ(engine.imageText, text) << c.what;
    EXPECT_EQ(engine.vectorWords, vectors) << c.what;
    EXPECT_EQ(engine.modelName, "first") << c.what;
    EXPECT_EQ(engine.deviceType, 0) << c.what;
    EXPECT_EQ(engine.imageVersion, 0u) << c.what;
    EXPECT_EQ(LogText().find("is not a valid TI-Text file") != std::string::npos, c.walked) << c.what;
  }
}

TEST_F(TITextFiles, FilesThatCannotBeReadGiveTheSystemError) {
  HostBSL engine(&log, BuiltInFirmware());
  EXPECT_EQ(BSLLoadTIFile(engine, (dir / "missing.txt").string()), -ENOENT);
  EXPECT_NE(LogText().find("BSLLoadTIFile got error 2 trying to open datafile"), std::string::npos);
  EXPECT_EQ(BSLLoadTIFile(engine, dir.string()), -EISDIR);
#ifndef _WIN32
  // A pipe is refused before it is opened, which would wait for a writer.
  ASSERT_EQ(mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
  EXPECT_EQ(BSLLoadTIFile(engine, (dir / "pipe.txt").string()), kTINotUsable);
#endif
  EXPECT_EQ(BSLWriteTIFile(engine, (dir / "no" / "such" / "dir.txt").string()), -ENOENT);
  EXPECT_EQ(engine.modelName, "TGX 1.50");
}

TEST_F(TITextFiles, TheLoadersOwnAreaIsSkippedButItsEdgesLoad) {
  HostBSL engine(&log, BuiltInFirmware());
  const std::string content = "@FA00\n01 02\n@FDFE\n03 04\n@FDFF\n05 06\n@FE00\n07 08\n@FFFF\n09 0A\n@FFE0\n\nq";
  ASSERT_EQ(BSLLoadTIFile(engine, Write("edges.txt", content)), 1);
  EXPECT_EQ(engine.imageText, "@0FDFF0605@0FE000807@0FFFF0A09");
}

TEST_F(TITextFiles, PartialWordsAreCompletedWithF) {
  const std::pair<const char*, const char*> cases[] = {
      {"12345", "@010003412FF5F"}, {"1", "@01000FF1F"}, {"12", "@01000FF12"}, {"123", "@010003F12"}, {"", "@01000"},
  };
  for (const auto& [data, expected] : cases) {
    HostBSL engine(&log, BuiltInFirmware());
    ASSERT_EQ(BSLLoadTIFile(engine, Write("partial.txt", std::string("@1000\n") + data + "\n@FFE0\n\nq")), 1);
    EXPECT_EQ(engine.imageText, expected) << data;
  }
}

TEST_F(TITextFiles, AVectorSegmentFillsFromItsOwnIndex) {
  HostBSL engine(&log, BuiltInFirmware());
  const std::string content = "@1000\n00 00\n@FFF0\n10 00 11 00 12 00 13 00 14 00 15 00 16 00 17 00\nq";
  ASSERT_EQ(BSLLoadTIFile(engine, Write("high.txt", content)), 1);
  VectorTable expected = Erased();
  for (int i = 8; i < 16; ++i) expected[static_cast<size_t>(i)] = static_cast<uint32_t>(0x10 + i - 8);
  EXPECT_EQ(engine.vectorWords, expected);
  // An odd start rounds down; a vector segment at 0xFFFE takes exactly one word.
  ASSERT_EQ(BSLLoadTIFile(engine, Write("odd.txt", "@1000\n00 00\n@FFE3\nCD AB\n@FFFE\n00 44\nq")), 1);
  EXPECT_EQ(engine.vectorWords[1], 0xABCDu);
  EXPECT_EQ(engine.vectorWords[15], 0x4400u);
}

TEST(TITextLabels, LabelTypeAndVersionComeFromTheFileName) {
  struct Case {
    const char* path;
    const char* label;
    int type;
    uint32_t version;
  };
  const Case cases[] = {
      {"TGX 1-50.txt", "TGX 1.50", 16, 150},
      {"/releases/tgx_1-50.txt", "tgx_1.50", 16, 50},
      {"C:\\Releases\\TGX 1.50.txt", "TGX 1.50", 16, 150},
      {"dir\\sub/LX40-2-03.txt", "LX40.2-03", 8, 203},
      {"firmware", "firmware", 0, 0},
      {"XYZ 1.00.txt", "XYZ 1.00", 0, 100},
      {"AQUIN-WN 1.0.txt", "AQUIN-WN 1.0", 0, 10},
      {"Tgx 1.50.TXT", "Tgx 1.50.TXT", 16, 150},
      {"mq2v 2.01.txt.bak", "mq2v 2.01", 22, 201},
      {"TGX 123456789012.txt", "TGX 123456789012", 16, 0xFFFFFFFFu},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFG 1.txt", "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFG 1", 0, 1},
  };
  for (const Case& c : cases) {
    const ImageLabel label = LabelFromPath(c.path);
    EXPECT_EQ(label.modelName, c.label) << c.path;
    EXPECT_EQ(label.deviceType, c.type) << c.path;
    EXPECT_EQ(label.imageVersion, c.version) << c.path;
  }
  EXPECT_EQ(LabelFromPath(std::string(70, 'a') + ".txt").modelName, std::string(64, 'a'));
}

TEST_F(TITextFiles, ALoadSetsTheLabelFromThePath) {
  HostBSL engine(&log, BuiltInFirmware());
  ASSERT_EQ(BSLLoadTIFile(engine, Write("MQ2 2-05.txt", kSmallFile)), 1);
  EXPECT_EQ(engine.modelName, "MQ2 2.05");
  EXPECT_EQ(engine.deviceType, 15);
  EXPECT_EQ(engine.imageVersion, 205u);
  EXPECT_NE(LogText().find("BSLLoadTIFile loaded file"), std::string::npos);
}

TEST_F(TITextFiles, TheDumpListsMarkersAloneAndDataThirtyTwoDigitsALine) {
  HostBSL engine(&log, BuiltInFirmware());
  std::string bytes;
  for (int i = 0; i < 40; ++i) bytes += (i ? " " : "") + std::string(1, "0123456789ABCDEF"[i % 16]) + "0";
  const std::string content = "@1000\n" + bytes + "\n@10000\nA1 B2\n@FFE0\n01 00 02 00\nq";
  ASSERT_EQ(BSLLoadTIFile(engine, Write("dumped.txt", content)), 1);
  const std::string path = (dir / "dump.txt").string();
  ASSERT_EQ(BSLWriteTIFile(engine, path), 1);
  std::string words;
  for (int i = 0; i < 40; i += 2) words += std::string(1, "0123456789ABCDEF"[(i + 1) % 16]) + "0" + "0123456789ABCDEF"[i % 16] + "0";
  const std::string expected = "@01000\n" + words.substr(0, 32) + "\n" + words.substr(32, 32) + "\n" + words.substr(64) +
                               "@10000\nB2A1\n@FFE0\n00010002FFFFFFFFFFFFFFFFFFFFFFFF\nFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n";
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(BSLLoadTIFile(engine, path), kTINotUsable) << "a dump has no q";
}

TEST_F(TITextFiles, TheCommittedReleaseLoadsAsTheBuiltInImage) {
  HostBSL engine(&log, BuiltInFirmware());
  const std::string release = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
  const uint32_t start = MillisecondTick();
  ASSERT_EQ(BSLLoadTIFile(engine, release), 1);
  std::printf("BSLLoadTIFile of the release: %u ms\n", MillisecondTick() - start);
  EXPECT_EQ(engine.imageText, BuiltInFirmware().text);
  EXPECT_EQ(engine.vectorWords, BuiltInFirmware().vectors);
  EXPECT_EQ(engine.modelName, "TGX 1.50");
  EXPECT_EQ(engine.deviceType, 16);
  EXPECT_EQ(engine.imageVersion, 150u);
}

}  // namespace
