// Reading every selected instrument setting (GetInstInfo) and writing them
// back (SetInstInfo), one step per setting bit in a fixed order.
#include "instrument/instrument_settings.h"

#include <array>

#include "instrument/device_kinds.h"
#include "instrument/instrument_link.h"
#include "logger/link_helpers.h"

namespace {

constexpr const char* kTag = "Vorn_protocol";
constexpr int kValueTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 2000;
constexpr int kWriteKeep = 64;
constexpr int kSerialAttempts = 3;
constexpr int kSerialWriteTimeoutMs = 4000;
// The planvex numbers its calibration values 1-7.
constexpr int kPlanvexCalValues = 7;

using IS = InstrumentSettings;

struct TextSetting {
  uint32_t bit;
  const char* option;
  std::string IS::*field;
  size_t maximum;
  const char* label;  // as the restore's log names it
};

constexpr std::array<TextSetting, 19> kTextSettings{{
    {kInstName, "-i", &IS::name, kInstNameMax, "name"},
    {kInstFvals, "-fvals", &IS::fvals, kInstLongText, "fvals"},
    {kInstAdc, "-adc", &IS::adc, kInstAdcMax, "adc"},
    {kInstAdcCal, "-adccal", &IS::adccal, kInstShortText, "adccal"},
    {kInstConfig, "-config", &IS::config, kInstConfigMax, "config"},
    {kInstWtOffset, "-wtoffset", &IS::wtoffset, kInstShortText, "wtoffset"},
    {kInstP1Offset, "-p1offset", &IS::p1offset, kInstShortText, "p1offset"},
    {kInstAuto, "-auto", &IS::autosec, kInstShortText, "autosec"},
    {kInstUsage, "-usage", &IS::usage, kInstLongText, "usage"},
    {kInstWtFactory, "-wtfactory", &IS::wtfactory, kInstShortText, "wtfactory"},
    {kInstAdc15, "-adc15", &IS::adc15, kInstLongText, "adc15"},
    {kInstAdc30, "-adc30", &IS::adc30, kInstLongText, "adc30"},
    {kInstSample, "-sample", &IS::sample, kInstLongText, "sample"},
    {kInstUnitsText, "-units", &IS::unitsText, kInstLongText, "fxUnits"},
    {kInstLocation, "-loc", &IS::location, kInstLongText, "location"},
    {kInstChai, "-x", &IS::chai, kInstChaiMax, "chai"},
    {kInstExt, "-ext", &IS::ext, kInstExtMax, "ext"},
    {kInstTadj, "-tadj", &IS::tadj, kInstLongText, "tadj"},
    {kInstSys, "-sys", &IS::sys, kInstLongText, "sys"},
}};

struct NumberSetting {
  uint32_t bit;
  const char* option;
  long IS::*field;
  const char* label;  // nullptr: never written
};

constexpr std::array<NumberSetting, 4> kNumberSettings{{
    {kInstLanguage, "-lang", &IS::language, "device language"},
    {kInstContrast, "-contr", &IS::contrast, "device contrast"},
    {kInstUnits, "-units", &IS::units, "device units"},
    {kInstInterval, "-int", &IS::interval, nullptr},
}};

// The p group, in its slots 0-7. A member is written back only when it was read.
struct GroupMember {
  const char* option;
  const char* label;
};

constexpr std::array<GroupMember, kPGroupSlots> kPGroup{{
    {"-p0", "p0"},
    {"-p3", "p3"},
    {"-p5", "p5"},
    {"-lwidth", "lwidth"},
    {"-ltemp", "ltemp"},
    {"-current", "current"},
    {"-pfactor", "pfactor"},
    {"-p1", "p1"},
}};

constexpr std::array<int, 31> kReadOrder = {3,  1,  4,  11, 5,  6,  7,  8,  20, 15, 9,  10, 12, 17, 13, 31,
                                            14, 23, 0,  18, 19, 2,  21, 24, 25, 26, 28, 27, 29, 30, 22};
constexpr std::array<int, 30> kWriteOrder = {1,  3,  4,  5,  11, 6,  7,  8,  20, 15, 10, 12, 17, 13, 31,
                                             14, 23, 0,  18, 19, 2,  21, 24, 25, 26, 29, 30, 22, 28, 27};

template <size_t N>
uint32_t FirstPending(uint32_t pending, const std::array<int, N>& order) {
  for (int bit : order) {
    if ((pending & (1u << bit)) != 0) return 1u << bit;
  }
  return 0;
}

bool UsesPvuser(int kind) { return kind == 15 || kind == 22; }

std::string Get(const char* option) { return std::string("get ") + option; }

// Reads one text value; the present bit is set when it was read.
int ReadText(InstrumentLink& link, uint32_t bit, const char* option, std::string* field, size_t maximum) {
  const int result = GetValueString(link, Get(option), kValueTimeoutMs, field, maximum);
  if (result >= 0) link.info->present |= bit;
  return result;
}

int ReadSerialNumber(InstrumentLink& link) {
  int result = kLinkNotUnderstood;
  for (int attempt = 0; attempt < kSerialAttempts; ++attempt) {
    std::string value;
    result = GetValueString(link, "get -sn", kValueTimeoutMs, &value, kInstSerialMax);
    if (result >= 0 && value.find("OK") != std::string::npos) result = kLinkNotUnderstood;  // not a serial number
    if (result >= 0) {
      link.info->serialNumber = value;
      link.info->present |= kInstSerialNumber;
      break;
    }
  }
  return result;
}

// A slot whose read failed is emptied, so the restore never writes a value the capture did not get.
int ReadPGroup(InstrumentLink& link) {
  int result = kLinkOk;
  bool any = false;
  for (size_t i = 0; i < kPGroup.size(); ++i) {
    std::string& slot = link.info->slots[i];
    result = GetValueString(link, Get(kPGroup[i].option), kValueTimeoutMs, &slot, kInstLongText);
    if (result < 0) slot.clear();
    any = any || result >= 0;
    if (NoCommandLine(result)) break;
  }
  if (any) link.info->present |= kInstPGroup;
  return result;
}

int ReadCalibrationValues(InstrumentLink& link) {
  const bool planvex = link.kind == kKindPlanvex;
  const int count = planvex ? kPlanvexCalValues : kValueSlots;
  int good = 0;
  int result = kLinkOk;
  for (int i = 0; i < count; ++i) {
    std::string& slot = link.info->slots[static_cast<size_t>(i)];
    const std::string command = planvex ? Format("get -cal%d", i + 1) : Format("get -cal %d", i);
    result = GetValueString(link, command, kValueTimeoutMs, &slot, kInstLongText);
    if (result < 0) {
      slot.clear();
      break;
    }
    ++good;
  }
  if (good > 0) result = kLinkOk;
  if (result >= 0) link.info->present |= kInstCalValues;
  return result;
}

int ReadPForm(InstrumentLink& link) {
  IS& s = *link.info;
  int result = GetValueString(link, "get -p", kValueTimeoutMs, &s.fvals, kInstLongText);
  if (link.kind == kKindTgx && result >= 0) {
    result = GetValueString(link, "get -pv", kValueTimeoutMs, &s.uvals, kInstLongText);
    GetValueString(link, "get -c76", kValueTimeoutMs, &s.calprefs, kInstLongText);
  }
  if (result >= 0) s.present |= kInstPForm;
  return result;
}

int ReadHadjTau(InstrumentLink& link) {
  IS& s = *link.info;
  if (GetValueString(link, "get -hadj", kValueTimeoutMs, &s.hadj, kInstLongText) >= 0 &&
      GetValueLong(link, "get -tau", kValueTimeoutMs, &s.tau) >= 0) {
    s.present |= kInstHadjTau;
  }
  return kLinkOk;
}

int ReadRecords(InstrumentLink& link, uint32_t bit) {
  const bool users = bit == kInstUserRecords;
  RecordSet& set = users ? *link.userRecords : *link.eqnRecords;
  const int result = GetRecords_Serial(link, set, users ? kRecordsUser : kRecordsEqn);
  if (result > 0 && !set.records.empty()) link.info->present |= bit;
  return result;
}

int ReadStep(InstrumentLink& link, uint32_t bit) {
  IS& s = *link.info;
  for (const NumberSetting& number : kNumberSettings) {
    if (number.bit != bit) continue;
    const int result = GetValueLong(link, Get(number.option), kValueTimeoutMs, &(s.*number.field));
    if (result >= 0) s.present |= bit;
    return result;
  }
  if (bit == kInstSample) {
    ReadText(link, bit, "-sample", &s.sample, kInstLongText);
    return kLinkOk;  // not every kind has it
  }
  if (bit == kInstUvals) {
    return ReadText(link, bit, UsesPvuser(link.kind) ? "-pvuser" : "-uvals", &s.uvals, kInstLongText);
  }
  for (const TextSetting& text : kTextSettings) {
    if (text.bit == bit) return ReadText(link, bit, text.option, &(s.*text.field), text.maximum);
  }
  switch (bit) {
    case kInstSerialNumber: return ReadSerialNumber(link);
    case kInstPGroup: return ReadPGroup(link);
    case kInstCalValues: return ReadCalibrationValues(link);
    case kInstPForm: return ReadPForm(link);
    case kInstHadjTau: return ReadHadjTau(link);
    default: return ReadRecords(link, bit);
  }
}

int WriteLine(InstrumentLink& link, const std::string& line, int timeoutMs, std::string* answer, int* elapsed) {
  return SendSetCommand(link, line, timeoutMs, kWriteKeep, answer, elapsed);
}

// One write: the line with its value; an answer without "OK" is not a failure.
int Write(InstrumentLink& link, const std::string& line, const char* label, const std::string& shown) {
  std::string answer;
  int elapsed = 0;
  const int result = WriteLine(link, line, kWriteTimeoutMs, &answer, &elapsed);
  if (result >= 0 && answer.find("OK") != std::string::npos) {
    print_message(link.log, kLogStep, kTag, "SetInstInfo set %s to \"%s\" (%d ms)", label, shown.c_str(), elapsed);
    return kLinkOk;
  }
  return result;
}

int WriteText(InstrumentLink& link, const char* option, const std::string& value, const char* label) {
  return Write(link, Format("set %s %s\r", option, value.c_str()), label, value);
}

// The later of two results, unless the earlier one failed.
int Keep(int earlier, int later) { return earlier < 0 ? earlier : later; }

int WriteSerialNumber(InstrumentLink& link) {
  const std::string& sn = link.info->serialNumber;
  const std::string line = Format("set -sn %s\r", sn.c_str());
  int result = kLinkNotUnderstood;
  for (int attempt = 0; attempt < kSerialAttempts; ++attempt) {
    std::string answer;
    int elapsed = 0;
    result = WriteLine(link, line, kSerialWriteTimeoutMs, &answer, &elapsed);
    if (result >= 0 && answer.find("OK") != std::string::npos) {
      print_message(link.log, kLogStep, kTag, "SetInstInfo set device serial number to \"%s\" (%d ms)", sn.c_str(),
                    elapsed);
      return kLinkOk;
    }
    if (NoCommandLine(result) || result == kLinkInvalid) break;
  }
  return result == kLinkErrorAnswer ? kLinkRefused : result;
}

// Only the members that were read: an empty slot would overwrite the device's value with nothing.
int WritePGroup(InstrumentLink& link) {
  int result = 0;
  for (size_t i = 0; i < kPGroup.size(); ++i) {
    const std::string& slot = link.info->slots[i];
    if (slot.empty()) continue;
    result = WriteText(link, kPGroup[i].option, slot, kPGroup[i].label);
    if (NoCommandLine(result)) break;
  }
  return result;
}

int WriteCalibrationValues(InstrumentLink& link) {
  const bool planvex = link.kind == kKindPlanvex;
  const int count = planvex ? kPlanvexCalValues : kValueSlots;
  int result = 0;
  for (int i = 0; i < count; ++i) {
    const std::string& slot = link.info->slots[static_cast<size_t>(i)];
    if (slot.empty()) break;
    const std::string line = planvex ? Format("set -cal%d %s\r", i + 1, slot.c_str())
                                     : Format("set -cal %d %s\r", i, slot.c_str());
    std::string answer;
    int elapsed = 0;
    result = WriteLine(link, line, kWriteTimeoutMs, &answer, &elapsed);
    if (NoCommandLine(result)) break;
    if (result >= 0 && answer.find("OK") != std::string::npos) {
      print_message(link.log, kLogStep, kTag, "SetInstInfo set cal %d to \"%s\" (%d ms)", i, slot.c_str(), elapsed);
      result = kLinkOk;
    }
  }
  return result;
}

int WritePForm(InstrumentLink& link) {
  const IS& s = *link.info;
  int result = WriteText(link, "-p", s.fvals, "-p");
  if (link.kind != kKindTgx) return result;
  result = Keep(result, WriteText(link, "-pv", s.uvals, "-pv"));
  if (s.calprefs.empty()) return result;
  const int calprefs = WriteText(link, "-c76", s.calprefs, "-c76");
  return Keep(result, calprefs < 0 ? 0 : calprefs);
}

int WriteHadjTau(InstrumentLink& link) {
  const IS& s = *link.info;
  const int tau = Write(link, Format("set -tau %ld\r", s.tau), "tau", std::to_string(s.tau));
  return Keep(tau, WriteText(link, "-hadj", s.hadj, "hadj"));
}

// A device that stopped answering at the reset is not sent every record to wait out.
int WriteRecords(InstrumentLink& link, uint32_t bit) {
  const bool users = bit == kInstUserRecords;
  const int reset = VPCommand(link, users ? "reset -users\r" : "reset -eqn\r");
  if (NoCommandLine(reset)) return reset;
  return SetRecords_Serial(link, users ? *link.userRecords : *link.eqnRecords, users ? kRecordsUser : kRecordsEqn);
}

int WriteStep(InstrumentLink& link, uint32_t bit) {
  const IS& s = *link.info;
  for (const NumberSetting& number : kNumberSettings) {
    if (number.bit != bit || number.label == nullptr) continue;
    const long value = s.*number.field;
    return Write(link, Format("set %s %ld\r", number.option, value), number.label, std::to_string(value));
  }
  if (bit == kInstUvals) {
    const char* command = UsesPvuser(link.kind) ? "set -pvuser" : "set -uvals";
    return Write(link, Format("%s %s\r", command, s.uvals.c_str()), "uvals/pvuser", s.uvals);
  }
  for (const TextSetting& text : kTextSettings) {
    if (text.bit == bit) return WriteText(link, text.option, s.*text.field, text.label);
  }
  switch (bit) {
    case kInstSerialNumber: return WriteSerialNumber(link);
    case kInstPGroup: return WritePGroup(link);
    case kInstCalValues: return WriteCalibrationValues(link);
    case kInstPForm: return WritePForm(link);
    case kInstHadjTau: return WriteHadjTau(link);
    default: return WriteRecords(link, bit);
  }
}

// Only "$" came back: the device has fallen into its loader (a reset) and no longer runs its
// command line.
bool LoaderAnswer(const std::string& answer) {
  return !answer.empty() && answer.find_first_not_of("$\r\n") == std::string::npos;
}

}  // namespace

bool NoCommandLine(int result) { return result == kLinkNoAnswer || result == kLinkEcho || result == kLinkRelay; }

// A device answering from its loader gets no further writes: that is no answer, and the restore
// stops there rather than waiting out every other write.
int SendSetCommand(InstrumentLink& link, const std::string& line, int timeoutMs, int keep, std::string* answer,
                   int* elapsed) {
  const std::string shown = line.substr(0, line.find('\r'));
  if (shown.size() + 1 != line.size()) {
    print_message(link.log, kLogStep, kTag, "SetInstInfo will not send a value with a line end: \"%s\"",
                  shown.c_str());
    return kLinkInvalid;
  }
  std::string heard;
  if (answer == nullptr) answer = &heard;
  const int result = DeviceCommand(link.device, line, '>', timeoutMs, answer, keep, elapsed);
  if (result < 0 || !LoaderAnswer(*answer)) return result;
  print_message(link.log, kLogStep, kTag, "SetInstInfo found the device's loader answering command \"%s\" (%d ms)",
                shown.c_str(), elapsed != nullptr ? *elapsed : 0);
  return kLinkNoAnswer;
}

int GetInstInfo(InstrumentLink& link, uint32_t flags) {
  if (flags == 0) {
    print_message(link.log, kLogStep, kTag, "GetInstInfo should be called with non-zero flags");
    return 0;
  }
  link.info->kind = link.kind;
  int result = kLinkOk;
  int last = 0;
  uint32_t pending = flags;
  while (pending != 0) {
    if (last == kLinkEcho || last == kLinkNoAnswer) {
      result = last;
      break;
    }
    if (last < 0) result = kVPPartial;
    const uint32_t bit = FirstPending(pending, kReadOrder);
    if (bit == 0) break;  // only bits without a step are left
    pending &= ~bit;
    last = ReadStep(link, bit);
  }
  if (result == kLinkOk && last < 0) result = last;
  if (result < 0) print_message(link.log, kLogStep, kTag, "GetInstInfo could not collect all settings");
  return result;
}

int SetInstInfo(InstrumentLink& link, uint32_t flags) {
  if (flags == 0) {
    print_message(link.log, kLogStep, kTag, "SetInstInfo should be called with non-zero flags");
    return 0;
  }
  int result = kLinkOk;
  int last = 0;
  uint32_t pending = flags;
  while (pending != 0) {
    if (NoCommandLine(last)) {
      result = last;
      break;
    }
    if (last < 0) result = kVPPartial;
    const uint32_t bit = FirstPending(pending, kWriteOrder);
    if (bit == 0) {  // a bit that is never written
      last = kLinkNotUnderstood;
      break;
    }
    pending &= ~bit;
    last = WriteStep(link, bit);
    if (last >= 0 && link.restoreTaken) link.restoreTaken(bit);
  }
  if (result == kLinkOk && last < 0) result = last;
  if (result < 0) print_message(link.log, kLogStep, kTag, "SetInstInfo could not restore all settings");
  return result;
}
