// vornbsl-cli in a real terminal (tmux), as a person sees it: the progress bar redrawn in place,
// Ctrl+C pressed on the keyboard, long texts wrapped between words at the terminal's width.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_terminal.h"
#include "cli_process.h"
#include "devsim_process.h"
#include "terminal_session.h"
#include "test_folder.h"

namespace fs = std::filesystem;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr int kColumns = 80;
constexpr int kNarrowColumns = 50;
constexpr int kWaitSeconds = 60;
constexpr const char* kStopNotice = "Stopping at the next point where the update can stop safely...";
constexpr const char* kWarning =
    "Data Erase Warning: WARNING: The Pelloran TGX Firmware Updater will erase all measurement data stored in your "
    "Pelloran TGX. Please download any data you want to save before continuing.";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The screen's lines from the one that starts with `first` up to the one that ends with `last`,
// joined by single spaces: the text as it reads when every line break is a space.
std::string Joined(const std::vector<std::string>& lines, const std::string& first, const std::string& last,
                   size_t* widest) {
  std::string text;
  bool inside = false;
  for (const std::string& line : lines) {
    inside = inside || line.rfind(first, 0) == 0;
    if (!inside) continue;
    text += (text.empty() ? "" : " ") + line;
    *widest = std::max(*widest, line.size());
    if (line.size() >= last.size() && line.compare(line.size() - last.size(), last.size(), last) == 0) break;
  }
  return text;
}

// The percentage a bar line shows ("[####------]  35%  Stage"), -1 for other lines.
int BarPercent(const std::string& line) {
  if (line.rfind("[", 0) != 0) return -1;
  const size_t close = line.find("] ");
  if (close == std::string::npos) return -1;
  return std::atoi(line.c_str() + close + 2);
}

class CliTerminal : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = FreshTestFolder("vorn_term_"); }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  std::string Command(const std::string& arguments) const {
    return Quoted(VORN_CLI_PATH) + " --data-dir " + Quoted((dir_ / "data").string()) + " " + arguments;
  }
  fs::path dir_;
};

// Ctrl+C during the upload: the bar stays where the upload stood (the run's reset to 0 is not
// drawn), and the answer to the key stands whole on a line of its own.
TEST_F(CliTerminal, CtrlCLeavesTheBarWhereItStoodAndItsAnswerOnALineOfItsOwn) {
  // A device that answers a little late makes the upload last long enough to be interrupted.
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--adapter-latency", "3"});
  const TerminalSession terminal(Command("update --yes --port " + Quoted(sim.ptyPath)), dir_, kColumns);
  ASSERT_TRUE(terminal.WaitFor("%  Uploading new firmware code...", kWaitSeconds)) << terminal.Screen();
  terminal.Keys("C-c");
  EXPECT_EQ(terminal.WaitExit(kWaitSeconds), 130);
  const std::string screen = terminal.Screen();
  const std::vector<std::string> lines = Lines(screen);
  int lastBar = -1;
  bool cancelled = false, notice = false;
  for (const std::string& line : lines) {
    notice = notice || line == kStopNotice;
    if (line.rfind("Cancelled: ", 0) == 0) {
      cancelled = true;
      break;
    }
    if (BarPercent(line) >= 0) lastBar = BarPercent(line);
  }
  EXPECT_TRUE(cancelled) << screen;
  EXPECT_TRUE(notice) << screen;
  EXPECT_GT(lastBar, 0) << "the last bar before \"Cancelled:\" shows where the upload stood\n" << screen;
}

// The erase warning and the answer to it, in a narrow terminal: every line ends between words.
// Off a terminal the same texts are one plain line each (the other command-line tests).
TEST_F(CliTerminal, LongTextsWrapBetweenWordsAtTheTerminalsWidth) {
  const TerminalSession terminal(Command("update --port /dev/vorn-no-such-port"), dir_, kNarrowColumns);
  ASSERT_TRUE(terminal.WaitFor("[y/N]", kWaitSeconds)) << terminal.Screen();
  terminal.Keys("n");
  terminal.Keys("Enter");
  EXPECT_EQ(terminal.WaitExit(kWaitSeconds), 1);
  const std::vector<std::string> lines = Lines(terminal.Screen());
  const std::string declined = "vornbsl-cli: the update was not started: the erase of the measurement data was "
                               "declined.";
  for (const std::string& text : {std::string(kWarning), declined}) {
    size_t widest = 0;
    const std::string last = text.substr(text.rfind(' ') + 1);
    EXPECT_EQ(Joined(lines, text.substr(0, text.find(' ')), last, &widest), text) << terminal.Screen();
    EXPECT_LT(widest, static_cast<size_t>(kNarrowColumns)) << terminal.Screen();
  }
}

TEST(CliWrap, BreaksOnlyBetweenWords) {
  const struct {
    const char* text;
    size_t columns;
    const char* wrapped;
  } cases[] = {
      {"one two three four", 9, "one two\nthree\nfour"},
      {"a\nfirst line stays", 10, "a\nfirst line\nstays"},
      {"short averyveryverylongword end", 8, "short\naveryveryverylongword\nend"},
      {"Gr\u00f6\u00dfe \u00fcber alles", 11, "Gr\u00f6\u00dfe \u00fcber\nalles"},  // characters, not bytes
      {"no wrap at all", 0, "no wrap at all"},
  };
  for (const auto& c : cases) EXPECT_EQ(WrapWords(c.text, c.columns), c.wrapped) << c.text;
}

}  // namespace
