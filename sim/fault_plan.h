// Injected faults: "--fault KIND@STAGE[:N][xCOUNT]". Every model counts the events of its named
// stages (boot word, attach, each framed command, ...) and asks the plan before it answers;
// a rule fires at the N-th event of its stage and at the COUNT-1 events after it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Echo: a relay sends the command line back before the device answers it. Error: the command
// line answers "ERROR" and its prompt instead of carrying the command out.
enum class FaultKind { Silence, Garble, Nak, Drop, Reset, Hangup, Echo, Error };

struct FaultRule {
  FaultKind kind = FaultKind::Silence;
  std::string stage;
  uint32_t first = 1;  // ordinal of the first event hit, counting from 1
  uint32_t count = 1;  // how many consecutive events of the stage are hit
  std::string text;    // the rule as given, for the report
};

struct FaultPlan {
  std::vector<FaultRule> rules;
  std::map<std::string, uint32_t, std::less<>> seen;  // events per stage so far
  std::vector<std::string> fired;                     // one line per fault that fired
};

// Stage names a rule may use. Later models add theirs here (connect, identify, settings, ...).
bool IsFaultStage(std::string_view stage);
const std::vector<std::string_view>& FaultStages();

// Reads one rule; false with a message for a rule that names no known kind or stage.
bool ParseFaultRule(std::string_view text, FaultRule& rule, std::string& error);

// Counts one event under each of the given stages and returns the fault that hits it, if any.
// `what` describes the event for the report ("frame 12 (W)").
std::optional<FaultKind> FaultAt(FaultPlan& plan, std::initializer_list<std::string_view> stages,
                                 const std::string& what);

std::string_view FaultKindName(FaultKind kind);
