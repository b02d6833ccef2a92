#include "app/run_stop.h"

#include <filesystem>
#include <system_error>

#include "app/update_session.h"
#include "log/platform.h"

namespace {

constexpr int kGoOn = 0;
constexpr const char* kHostTag = "VornBSL Host";
constexpr const char* kRunAgain = " Run the update again to finish it.";

bool SettingsFileKept(const UpdateSession& session) {
  std::error_code error;
  const std::string& path = session.settings.chosen.path;
  return !path.empty() && std::filesystem::exists(PathFromUtf8(path), error);
}

}  // namespace

std::string StopStateText(const UpdateSession& session, StopPoint point) {
  const std::string& model = session.state.modelName;
  switch (point) {
    case StopPoint::kUntouched:
      return "The " + model + " was not changed: it runs its firmware as before and keeps its settings.";
    case StopPoint::kInLoader:
      if (session.settings.keepInfo || !SettingsFileKept(session)) {
        return "The " + model + " is in its firmware loader and keeps its settings." + kRunAgain;
      }
      return "The " + model + " is in its firmware loader; its settings are kept in \"" +
             ShownPath(session.settings.chosen.path) + "\"." + kRunAgain;
    case StopPoint::kSettingsBack:
      return "The " + model + " runs its new firmware with its settings back; its old measurement data were not " +
             "erased." + kRunAgain;
  }
  return {};
}

bool StopHere(UpdateSession& session, StopPoint point) {
  if (session.stopHeld || !session.ui.stopRequested()) return false;
  const std::string state = StopStateText(session, point);
  print_message(session.log, kLogFailure, kHostTag, "The update stopped at the person's request: %s", state.c_str());
  session.ui.stopped(state);
  return true;
}

int StopOutcome(UpdateSession& session, int result, StopPoint point) {
  if (result != kRunStopped || !StopHere(session, point)) return result;
  return kRunStopped;
}

int RunSteps(UpdateSession& session, std::initializer_list<RunStep> steps, StopPoint point) {
  for (const RunStep step : steps) {
    const int result = step(session);
    if (result != kGoOn) return StopOutcome(session, result, point);
    if (StopHere(session, point)) return kRunStopped;
  }
  return kGoOn;
}

void HoldStop(UpdateSession& session, const std::string& why) {
  session.stopHeld = !why.empty();
  session.ui.holdStop(why);
}
