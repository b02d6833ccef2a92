#include "cli/cli_stop.h"

#include <cctype>
#include <chrono>

#include "cli/cli_context.h"
#include "cli/cli_platform.h"
#include "cli/cli_update_ui.h"

namespace {

constexpr std::chrono::milliseconds kWatchPeriod{50};

}  // namespace

std::string StopNotice(const CliUpdateUi& ui) {
  std::string why = ui.held();
  if (why.empty()) return ui.linePrefix + "Stopping at the next point where the update can stop safely...";
  why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
  return ui.linePrefix + why + ".";
}

StopNotices::StopNotices(std::vector<const CliUpdateUi*> uis) : uis_(std::move(uis)), thread_([this] { Watch(); }) {}

StopNotices::~StopNotices() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void StopNotices::Watch() {
  int told = StopRequests();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, kWatchPeriod, [this] { return done_; })) {
    const int requests = StopRequests();
    if (requests == told) continue;
    told = requests;
    for (const CliUpdateUi* ui : uis_) {
      if (ui->finished) continue;
      // The one writer moves the bar under the words, so the two never mix on one line.
      WriteLine(stderr, StopNotice(*ui));
    }
  }
}
