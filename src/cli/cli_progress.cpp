#include "cli/cli_progress.h"

#include "cli/cli_platform.h"
#include "cli/cli_terminal.h"

namespace {

constexpr int kBarWidth = 30;
constexpr int kFullPercent = 100;
constexpr size_t kPercentWidth = 4;  // "100%"

void DrawBar(const CliProgress& progress) {
  const int percent = progress.percent < 0 ? 0 : progress.percent;
  const int filled = percent * kBarWidth / kFullPercent;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '-');
  std::string shown = std::to_string(percent) + "%";
  if (shown.size() < kPercentWidth) shown.insert(0, kPercentWidth - shown.size(), ' ');
  DrawBarLine(progress.out, "[" + bar + "] " + shown + "  " + progress.stage);
}

}  // namespace

CliProgress MakeCliProgress(FILE* out) {
  CliProgress progress;
  progress.out = out;
  progress.terminal = BarPossible(out);
  return progress;
}

CliProgress MakePortProgress(FILE* out, const std::string& port) {
  CliProgress progress;
  progress.out = out;
  progress.prefix = port + ": ";
  return progress;
}

void ShowStage(CliProgress& progress, const std::string& text) {
  progress.stage = text;
  progress.percent = -1;
  if (progress.terminal) {
    DrawBar(progress);
    return;
  }
  std::fprintf(progress.out, "%sstage: %s\n", progress.prefix.c_str(), text.c_str());
  std::fflush(progress.out);
}

void ShowPercent(CliProgress& progress, int percent) {
  if (percent < 0) percent = 0;
  if (percent > kFullPercent) percent = kFullPercent;
  if (percent == progress.percent) return;
  progress.percent = percent;
  if (progress.terminal) {
    DrawBar(progress);
    return;
  }
  std::fprintf(progress.out, "%sprogress: %d\n", progress.prefix.c_str(), percent);
  std::fflush(progress.out);
}

void EndProgress(CliProgress& progress) {
  if (progress.terminal) EndBarLine(progress.out);
}

BslProgressHook EngineProgressHook(CliProgress& progress) {
  return [&progress](int total, int done, int phase, char) {
    const long percent = phase == kProgressFinished || total <= 0
                             ? kFullPercent
                             : static_cast<long>(done) * kFullPercent / static_cast<long>(total);
    ShowPercent(progress, static_cast<int>(percent));
    return StopRequests() == 0;
  };
}
