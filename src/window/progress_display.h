// What the window's progress bar shows of the positions an update sequence
// gives it. The sequence moves back once in a run (the erase of a large flash
// ends above the upload's start at 21): the bar never follows it back, it
// spreads the rest of the climb to the restart position over what is left of
// the bar. During the upload it also tells the time left, from the upload's rate.
#pragma once

#include <cstdint>
#include <string>

struct ProgressDisplay {
  int position = 0;  // where the sequence put the bar, 0 to 100
  int shown = 0;     // what the bar shows; it only grows within a run
  // After a move back: positions from `base` to the restart position fill the bar from `floor`.
  bool spread = false;
  int base = 0;
  int floor = 0;
  // The upload: its first position and time, and the estimate of what is left.
  bool uploading = false;
  int uploadFirst = 0;
  uint32_t uploadFirstMs = 0;
  int secondsLeft = -1;  // -1: no estimate
};

// The sequence sets a position; 0 starts (or ends) a run and empties the bar.
void MoveBar(ProgressDisplay& display, int position);
// A position set by the upload's progress at the time nowMs.
void MoveUploadBar(ProgressDisplay& display, int position, uint32_t nowMs);
// Any other stage begins: no more time left is told.
void EndUpload(ProgressDisplay& display);
// "47%", or during the upload "47% — about 1 min 10 s left".
std::string ProgressText(const ProgressDisplay& display);
