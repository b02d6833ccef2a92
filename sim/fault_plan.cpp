#include "fault_plan.h"

#include <charconv>

namespace {

struct KindName {
  FaultKind kind;
  std::string_view name;
};

constexpr KindName kKinds[] = {
    {FaultKind::Silence, "silence"}, {FaultKind::Garble, "garble"}, {FaultKind::Nak, "nak"},
    {FaultKind::Drop, "drop"},       {FaultKind::Reset, "reset"},   {FaultKind::Hangup, "hangup"},
    {FaultKind::Echo, "echo"},       {FaultKind::Error, "error"},
};

bool ParseCount(std::string_view digits, uint32_t& value) {
  if (digits.empty()) return false;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return error == std::errc() && end == digits.data() + digits.size() && value > 0;
}

// "N", "first", either followed by "xCOUNT".
bool ParseOrdinal(std::string_view text, FaultRule& rule) {
  const size_t times = text.find('x');
  if (times != std::string_view::npos) {
    if (!ParseCount(text.substr(times + 1), rule.count)) return false;
    text = text.substr(0, times);
  }
  if (text == "first") {
    rule.first = 1;
    return true;
  }
  return ParseCount(text, rule.first);
}

// "STAGE" or "STAGExCOUNT" when no ordinal is given.
bool ParseBareStage(std::string_view text, FaultRule& rule) {
  if (IsFaultStage(text)) {
    rule.stage = std::string(text);
    return true;
  }
  const size_t times = text.rfind('x');
  if (times == std::string_view::npos || !IsFaultStage(text.substr(0, times))) return false;
  rule.stage = std::string(text.substr(0, times));
  return ParseCount(text.substr(times + 1), rule.count);
}

}  // namespace

const std::vector<std::string_view>& FaultStages() {
  static const std::vector<std::string_view> stages = {
      "boot", "attach", "probe", "version", "erase-info", "erase", "address", "write", "vectors", "frame",
      "command",  // every line a command line receives
      "batt", "hver", "sdi",
      "sdi-get", "sdi-set", "sdi-loader", "sdi-post", "sdi-type",  // one SDI-12 command's purpose
      "get", "set", "login", "post", "erase-data",  // the instruments' stored values, login, checks
      "ver", "clock",  // the instruments' "get -ver" and "set -sec"
      "restart",       // the device starting its new firmware after the vectors
  };
  return stages;
}

bool IsFaultStage(std::string_view stage) {
  for (std::string_view known : FaultStages()) {
    if (known == stage) return true;
  }
  return false;
}

std::string_view FaultKindName(FaultKind kind) {
  for (const KindName& entry : kKinds) {
    if (entry.kind == kind) return entry.name;
  }
  return "?";
}

bool ParseFaultRule(std::string_view text, FaultRule& rule, std::string& error) {
  rule = FaultRule{};
  rule.text = std::string(text);
  const size_t at = text.find('@');
  if (at == std::string_view::npos) {
    error = "fault \"" + rule.text + "\" needs KIND@STAGE";
    return false;
  }
  const std::string_view kindName = text.substr(0, at);
  bool kindKnown = false;
  for (const KindName& entry : kKinds) {
    if (entry.name == kindName) {
      rule.kind = entry.kind;
      kindKnown = true;
    }
  }
  if (!kindKnown) {
    error = "fault \"" + rule.text + "\": unknown kind (silence, garble, nak, drop, reset, hangup, echo, error)";
    return false;
  }
  const std::string_view where = text.substr(at + 1);
  const size_t colon = where.find(':');
  bool good = false;
  if (colon == std::string_view::npos) {
    good = ParseBareStage(where, rule);
  } else {
    rule.stage = std::string(where.substr(0, colon));
    good = IsFaultStage(rule.stage) && ParseOrdinal(where.substr(colon + 1), rule);
  }
  if (!good) {
    std::string stages;
    for (std::string_view known : FaultStages()) stages += (stages.empty() ? "" : ", ") + std::string(known);
    error = "fault \"" + rule.text + "\": expected STAGE[:N|:first][xCOUNT] with a stage of " + stages;
  }
  return good;
}

std::optional<FaultKind> FaultAt(FaultPlan& plan, std::initializer_list<std::string_view> stages,
                                 const std::string& what) {
  std::optional<FaultKind> hit;
  for (std::string_view stage : stages) {
    auto counter = plan.seen.find(stage);
    if (counter == plan.seen.end()) counter = plan.seen.emplace(std::string(stage), 0).first;
    const uint32_t ordinal = ++counter->second;
    for (const FaultRule& rule : plan.rules) {
      const bool inRange = ordinal >= rule.first && ordinal - rule.first < rule.count;
      if (hit || rule.stage != stage || !inRange) continue;
      hit = rule.kind;
      plan.fired.push_back(rule.text + " fired at " + what);
    }
  }
  return hit;
}
