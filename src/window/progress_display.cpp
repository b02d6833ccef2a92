#include "window/progress_display.h"

#include <algorithm>

namespace {

constexpr int kBarMinimum = 0;
constexpr int kBarMaximum = 100;
constexpr int kRestartedPosition = 92;  // set after the restart wait: the bar follows the sequence again
// The upload moves the bar from 21 by 69 x 512 / image length per 512 characters: about 69 points.
constexpr int kUploadEndPosition = 90;
// An estimate from less than this would jump about.
constexpr uint32_t kEstimateAfterMs = 1000;
constexpr int kEstimateAfterPoints = 1;
constexpr int kSecondsPerMinute = 60;

int Spread(const ProgressDisplay& d, int position) {
  if (position >= kRestartedPosition || d.base >= kRestartedPosition) return position;
  const int span = kRestartedPosition - d.base;
  const int room = std::max(kRestartedPosition - d.floor, 0);
  return d.floor + (std::max(position - d.base, 0) * room) / span;
}

}  // namespace

void MoveBar(ProgressDisplay& d, int position) {
  position = std::clamp(position, kBarMinimum, kBarMaximum);
  if (position == kBarMinimum) {
    d = ProgressDisplay{};
    return;
  }
  if (position < d.position) {
    d.spread = true;
    d.base = position;
    d.floor = d.shown;
  }
  d.position = position;
  if (d.spread && position >= kRestartedPosition) d.spread = false;
  d.shown = std::max(d.shown, d.spread ? Spread(d, position) : position);
}

void MoveUploadBar(ProgressDisplay& d, int position, uint32_t nowMs) {
  if (!d.uploading) {
    d.uploading = true;
    d.uploadFirst = position;
    d.uploadFirstMs = nowMs;
    d.secondsLeft = -1;
  }
  MoveBar(d, position);
  const uint32_t elapsedMs = nowMs - d.uploadFirstMs;
  const int done = d.position - d.uploadFirst;
  if (elapsedMs < kEstimateAfterMs || done < kEstimateAfterPoints) return;
  const int left = std::max(kUploadEndPosition - d.position, 0);
  const uint64_t leftMs = static_cast<uint64_t>(elapsedMs) * static_cast<uint64_t>(left) / static_cast<uint64_t>(done);
  d.secondsLeft = static_cast<int>((leftMs + 999) / 1000);
}

void EndUpload(ProgressDisplay& d) {
  d.uploading = false;
  d.secondsLeft = -1;
}

std::string ProgressText(const ProgressDisplay& d) {
  std::string text = std::to_string(d.shown) + "%";
  if (!d.uploading || d.secondsLeft < 0) return text;
  const int minutes = d.secondsLeft / kSecondsPerMinute;
  const int seconds = d.secondsLeft % kSecondsPerMinute;
  text += " \u2014 about ";
  if (minutes > 0) text += std::to_string(minutes) + " min ";
  if (minutes == 0 || seconds > 0) text += std::to_string(seconds) + " s ";
  return text + "left";
}
