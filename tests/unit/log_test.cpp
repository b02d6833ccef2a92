#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/message_log.h"
#include "test_folder.h"

namespace fs = std::filesystem;

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_log_");
    path_ = (dir_ / "Pelloran TGX Firmware Updater.errors.txt").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

  fs::path dir_;
  std::string path_;
};

TEST_F(LogTest, LevelsFilterBySeverity) {
  MessageLog log = CreateMessageLog(path_, 30, true);
  EXPECT_GT(print_message(&log, 30, "VornBSL", "written %d", 1), 0);
  EXPECT_EQ(print_message(&log, 40, "VornBSL", "dropped"), 0);
  EXPECT_EQ(CreateMessageLog(path_, 5, false).level, 1u);
  EXPECT_FALSE(SetLevel(log, 5));
  EXPECT_EQ(log.level, 30u);
  EXPECT_TRUE(SetLevel(log, 0));
  EXPECT_EQ(print_message(&log, 1, "VornBSL", "silenced"), 0);
  EXPECT_EQ(print_message(nullptr, 1, "VornBSL", "no log"), 0);
  const std::string text = Contents();
  EXPECT_NE(text.find(" - VornBSL: written 1\r\n"), std::string::npos);
  EXPECT_EQ(text.find("dropped"), std::string::npos);
}

TEST_F(LogTest, LineFormatAndTimeStamp) {
  struct tm when {};
  when.tm_mday = 3;
  when.tm_mon = 0;
  when.tm_year = 126;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 7;
  EXPECT_EQ(LogTimeStamp(when), "3 Jan 2026 9:05:07");

  MessageLog log = CreateMessageLog(path_, 30, true);
  const int written = print_message(&log, 1, "ErrorOK Told User:", "line one\nline two");
  const std::string text = Contents();
  EXPECT_EQ(static_cast<size_t>(written), text.size());
  EXPECT_NE(text.find(" - ErrorOK Told User:: line one\nline two\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\r\n"), text.size() - 2);
}

TEST_F(LogTest, FileSizeOfMissingFileIsNegative) {
  MessageLog log = CreateMessageLog(path_, 30, true);
  EXPECT_LT(FileSize(log), 0);
  Write("12345");
  EXPECT_EQ(FileSize(log), 5);
}

TEST_F(LogTest, KeepTailCutsOnWholeLines) {
  MessageLog log = CreateMessageLog(path_, 30, false);
  struct Case {
    std::string before;
    long max;
    std::string after;
  };
  const Case cases[] = {
      {"short\n", 100, "short\n"},                 // shorter than the limit: untouched
      {"aaaa\nbbbb\ncccc\n", 12, "bbbb\ncccc\n"},  // cut point inside the first line
      {"aaaa\nbbbb\ncccc\n", 11, "bbbb\ncccc\n"},  // cut point on the line feed ending it
      {"aaaa\nbbbb\ncccc\n", 10, "cccc\n"},        // a line starting exactly at the cut point goes too
      {"no line feed at all", 5, ""},
  };
  for (const Case& c : cases) {
    Write(c.before);
    EXPECT_TRUE(KeepTail(log, c.max)) << c.before;
    EXPECT_EQ(Contents(), c.after) << c.before << " / " << c.max;
    EXPECT_LE(static_cast<long>(Contents().size()), std::max(c.max, static_cast<long>(c.before.size())));
    EXPECT_FALSE(fs::exists(path_ + ".temp"));
  }
}

// Several devices updated at once share one error file: every line stays whole and names its
// source, even lines longer than the C library's file buffer.
TEST_F(LogTest, ThreadsWithTheirOwnSourceWriteWholeTaggedLines) {
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 200;
  const std::string longText(9000, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      MessageLog log = CreateMessageLog(path_, 30, false);
      log.source = "port" + std::to_string(t);
      for (int i = 0; i < kLinesEach; ++i) {
        print_message(&log, 1, "VornBSL", "%s %d %s", log.source.c_str(), i, i % 50 == 0 ? longText.c_str() : "");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::istringstream lines(Contents());
  std::string line;
  std::vector<int> seen(kThreads, 0);
  while (std::getline(lines, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r') << "a line was cut or joined: " << line.substr(0, 80);
    const size_t open = line.find(" - [port");
    ASSERT_NE(open, std::string::npos) << line.substr(0, 80);
    const int t = line[open + 8] - '0';
    ASSERT_TRUE(t >= 0 && t < kThreads);
    const std::string tag = "port" + std::to_string(t);
    const std::string expected = " - [" + tag + "] VornBSL: " + tag + " ";
    EXPECT_EQ(line.compare(open, expected.size(), expected), 0) << line.substr(0, 80);
    ++seen[static_cast<size_t>(t)];
  }
  EXPECT_EQ(seen, std::vector<int>(kThreads, kLinesEach));
}

TEST_F(LogTest, KeepTailOnMissingFileFails) {
  MessageLog log = CreateMessageLog(path_, 30, true);
  EXPECT_FALSE(KeepTail(log, 10));
}

}  // namespace

namespace {

// The data folder lies under the user's folder, whose name may be anything: paths are UTF-8.
TEST_F(LogTest, AFolderNamedBeyondAsciiKeepsItsErrorFile) {
  const std::string folder = dir_.string() + "/J\xC3\xB3" "zef \xE6\xB8\xAC";
  const fs::path wide(std::u8string(folder.begin(), folder.end()));
  fs::create_directories(wide);
  MessageLog log = CreateMessageLog(folder + "/errors.txt", 30, true);
  for (int i = 0; i < 20; ++i) ASSERT_GT(print_message(&log, 1, "VornBSL", "line %d", i), 0);
  ASSERT_GT(FileSize(log), 200);
  EXPECT_TRUE(KeepTail(log, 100)) << "the tail replaces the error file that is there";
  EXPECT_LE(FileSize(log), 100);
  EXPECT_TRUE(fs::exists(wide / "errors.txt"));
  EXPECT_FALSE(fs::exists(wide / "errors.txt.temp"));
}

}  // namespace
