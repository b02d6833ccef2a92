// Injected faults: "--fault KIND@STAGE[:N][xCOUNT]". Every model counts the events of its named
// stages (boot word, attach, each framed command, ...) and asks the plan before it answers;
// a spec fires at the N-th event of its stage and at the COUNT-1 events after it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class FaultKind { Silence, Garble, Nak, Drop, Reset, Hangup };

struct FaultSpec {
  FaultKind kind = FaultKind::Silence;
  std::string stage;
  uint32_t first = 1;  // ordinal of the first event hit, counting from 1
  uint32_t count = 1;  // how many consecutive events of the stage are hit
  std::string text;    // the spec as given, for the report
};

struct FaultPlan {
  std::vector<FaultSpec> specs;
  std::map<std::string, uint32_t, std::less<>> seen;  // events per stage so far
  std::vector<std::string> fired;                     // one line per fault that fired
};

// Stage names a spec may use. Later models add theirs here (connect, identify, settings, ...).
bool IsFaultStage(std::string_view stage);
const std::vector<std::string_view>& FaultStages();

// Reads one spec; false with a message for a spec that names no known kind or stage.
bool ParseFaultSpec(std::string_view text, FaultSpec& spec, std::string& error);

// Counts one event under each of the given stages and returns the fault that hits it, if any.
// `what` describes the event for the report ("frame 12 (W)").
std::optional<FaultKind> FaultAt(FaultPlan& plan, std::initializer_list<std::string_view> stages,
                                 const std::string& what);

std::string_view FaultKindName(FaultKind kind);
