// Stopping a run at the person's request (Ctrl+C at the command line). A run stops only
// where the device is left in a state the next run takes up: before the loader starts
// (nothing changed), while the loader runs (the next run finds it there and resumes with
// the settings file), and once the settings are back. From the vectors until the settings
// are back it cannot stop: the device would run its new firmware without its settings.
#pragma once

#include <initializer_list>
#include <string>

struct UpdateSession;

enum class StopPoint { kUntouched, kInLoader, kSettingsBack };

using RunStep = int (*)(UpdateSession&);

// When the person asked to stop: tells the state the device is left in and returns true.
bool StopHere(UpdateSession& session, StopPoint point);
// A step's result: a Cancel while a stop was asked (a question cut short, a loader step that
// the progress hook ended) is the stop, told as such. Other results pass unchanged.
int StopOutcome(UpdateSession& session, int result, StopPoint point);
// The steps in order with a stop point after each: 0, the first other result, or kRunStopped.
int RunSteps(UpdateSession& session, std::initializer_list<RunStep> steps, StopPoint point);
// The stretch that follows cannot stop; `why` is what a person who asks is told. Empty: it can again.
void HoldStop(UpdateSession& session, const std::string& why);
// What the device is left in at a stop point, for the person.
std::string StopStateText(const UpdateSession& session, StopPoint point);
