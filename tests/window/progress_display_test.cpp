// The window's progress bar: the sequence's positions against what the bar shows,
// and the time left during the upload.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window/progress_display.h"

namespace {

std::vector<int> Shown(const std::vector<int>& positions) {
  ProgressDisplay display;
  std::vector<int> shown;
  for (const int position : positions) {
    MoveBar(display, position);
    shown.push_back(display.shown);
  }
  return shown;
}

TEST(ProgressDisplayTest, TheBarNeverStepsBackWithinARun) {
  const struct {
    const char* name;
    std::vector<int> positions;
    std::vector<int> shown;
  } cases[] = {
      // A large flash: the erase ends at 53, the upload starts at 21 and climbs to about 90.
      {"large erase", {2, 4, 6, 8, 30, 53, 21, 38, 56, 90, 92, 94, 100}, {2, 4, 6, 8, 30, 53, 53, 62, 72, 90, 92, 94, 100}},
      // The erase of a small flash ends at the upload's start: the bar follows the sequence.
      {"small erase", {2, 4, 6, 8, 21, 21, 55, 90, 92, 100}, {2, 4, 6, 8, 21, 21, 55, 90, 92, 100}},
      // A failure drops the bar to 0; the next run starts from there.
      {"failure", {2, 4, 6, 8, 53, 21, 30, 0, 2, 4}, {2, 4, 6, 8, 53, 53, 57, 0, 2, 4}},
      {"out of range", {-5, 140, 50}, {0, 100, 100}},
  };
  for (const auto& test : cases) EXPECT_EQ(Shown(test.positions), test.shown) << test.name;
}

TEST(ProgressDisplayTest, TheUploadTellsTheTimeLeftFromItsRate) {
  ProgressDisplay display;
  MoveBar(display, 53);
  MoveBar(display, 21);
  const struct {
    int position;
    uint32_t ms;
    const char* text;
  } steps[] = {
      {21, 100000, "53%"},                              // the upload's first position
      {22, 100500, "53%"},                              // too soon to tell
      {22, 102000, "53% \u2014 about 2 min 16 s left"},  // 1 point in 2 s, 68 to go
      {31, 110000, "58% \u2014 about 59 s left"},        // 10 points in 10 s
      {81, 160000, "85% \u2014 about 9 s left"},
  };
  for (const auto& step : steps) {
    MoveUploadBar(display, step.position, step.ms);
    EXPECT_EQ(ProgressText(display), step.text) << step.position << " at " << step.ms;
  }
  EndUpload(display);
  EXPECT_EQ(ProgressText(display), "85%");
  MoveUploadBar(display, 81, 0);
  display.secondsLeft = 120;
  EXPECT_EQ(ProgressText(display), "85% \u2014 about 2 min left");
}

}  // namespace
