// The "user" and "eqn" record sets: read over the command line or from a
// settings file, named, sorted by name and written back in that order.
#include <algorithm>
#include <cctype>
#include <optional>

#include "instrument/instrument_link.h"
#include "instrument/instrument_settings.h"
#include "instrument/settings_file.h"
#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"

namespace {

constexpr const char* kTag = "Vorn_protocol";
constexpr int kCountTimeoutMs = 2000;
constexpr int kCountKeep = 32;
constexpr int kRecordTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 2000;
constexpr int kWriteKeep = 32;
constexpr size_t kWrittenTextMax = 255;
constexpr int kFileRecordsMax = 100;
// A count beyond what any instrument stores is a garbled answer.
constexpr int32_t kSerialRecordsMax = 1000;
constexpr size_t kEqnNameMax = 20;
constexpr size_t kUserNameMax = 9;
constexpr int kUserNameField = 3;  // the fourth tab-separated field
constexpr size_t kCompareMax = 32;

// The base64 value of a character; characters outside the alphabet are zero bits.
uint32_t Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 0;
}

std::string EqnName(std::string_view text) {
  std::string name(text.substr(0, std::min(text.find(' '), kEqnNameMax)));
  for (char& c : name) {
    if (c == '_') c = ' ';
    if (c == '`') c = ',';
  }
  return name;
}

// A record without a fourth field has no name and sorts first.
std::string UserName(std::string_view text) {
  const std::string decoded = DecodeBase64(text);
  std::string_view rest(decoded);
  for (int field = 0; field < kUserNameField; ++field) {
    const size_t tab = rest.find('\t');
    if (tab == std::string_view::npos) return {};
    rest.remove_prefix(tab + 1);
  }
  return std::string(rest.substr(0, std::min(rest.find('\t'), kUserNameMax)));
}

bool KnownType(int type) { return type == kRecordsEqn || type == kRecordsUser; }

}  // namespace

std::string_view RecordSetName(int type) {
  if (type == kRecordsEqn) return "eqn";
  if (type == kRecordsUser) return "user";
  return {};
}

std::string DecodeBase64(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) group = group << 6 | (i + j < text.size() ? Sextet(text[i + j]) : 0);
    bytes.push_back(static_cast<char>(group >> 16 & 0xFF));
    bytes.push_back(static_cast<char>(group >> 8 & 0xFF));
    bytes.push_back(static_cast<char>(group & 0xFF));
  }
  // The decoded record is a text: it ends at its first NUL (the padding's zero bits).
  const size_t end = bytes.find('\0');
  if (end != std::string::npos) bytes.resize(end);
  return bytes;
}

bool RecordNameBefore(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < kCompareMax; ++i) {
    if (i >= a.size()) return true;
    if (i >= b.size()) return false;
    const int ca = std::toupper(static_cast<unsigned char>(a[i]));
    const int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return true;
}

int GetRecords_Serial(InstrumentLink& link, RecordSet& set, int type) {
  if (!KnownType(type)) {
    print_message(link.log, kLogStep, kTag, "GetRecords_Serial found an unexpected record type \"%d\"", type);
    return kLinkInvalid;
  }
  const std::string name(RecordSetName(type));
  if (!set.records.empty()) {
    print_message(link.log, kLogStep, kTag, "GetRecords_Serial found a non-null \"%s\" set", name.c_str());
    set.records.clear();
  }
  std::string answer;
  const int asked = DeviceCommand(link.device, Format("get -%s\r", name.c_str()), '>', kCountTimeoutMs, &answer,
                                  kCountKeep, nullptr);
  int32_t count = type == kRecordsEqn ? kEqnDefaultCount : kUserDefaultCount;
  // An answer that is not a closed line holding a number (line noise) is no count: like a failed
  // exchange it leaves the default, and the records are read until the first that does not
  // come. Reading it as 0 would save no records, and the restore would then clear the
  // instrument's.
  if (asked >= 0) {
    const std::optional<std::string_view> line = ClosedLine(SkipSpace(answer));
    AnswerScan scan{line.value_or(std::string_view())};
    int32_t reported = 0;
    if (line && ScanInteger(scan, &reported) && IsBlank(line->substr(scan.position))) count = std::max(reported, 0);
  }
  count = std::min(count, kSerialRecordsMax);
  if (count == 0) {
    print_message(link.log, kLogStep, kTag, "GetRecords_Serial found no \"%s\" records in instrument", name.c_str());
    return 0;
  }
  print_message(link.log, kLogStep, kTag, "GetRecords_Serial instrument reports %d \"%s\" records", count, name.c_str());
  for (int32_t index = 0; index < count; ++index) {
    Record record;
    if (GetValueString(link, Format("get -%s %d", name.c_str(), index), kRecordTimeoutMs, &record.text,
                       kRecordTextMax) < 0) {
      break;
    }
    set.records.push_back(std::move(record));
  }
  print_message(link.log, kLogStep, kTag, "GetRecords_Serial retrieved %d of %d \"%s\" records",
                static_cast<int>(set.records.size()), count, name.c_str());
  return kLinkOk;
}

int SetRecords_Serial(InstrumentLink& link, RecordSet& set, int type) {
  if (!KnownType(type)) {
    print_message(link.log, kLogStep, kTag, "SetRecords_Serial found an unexpected record type \"%d\"", type);
    return kLinkInvalid;
  }
  const std::string name(RecordSetName(type));
  if (set.records.empty()) {
    print_message(link.log, kLogStep, kTag, "SetRecords_Serial found an empty \"%s\" set", name.c_str());
    return 0;
  }
  AlphabetizeRecords(link, set, type);
  int visited = 0;
  int result = kLinkOk;  // a record the device did not take makes the restore incomplete
  for (const Record& record : set.records) {
    if (record.text.empty()) break;
    const std::string text = record.text.substr(0, kWrittenTextMax);
    std::string answer;
    int elapsed = 0;
    const int sent = SendSetCommand(link, Format("set -%s %d %s\r", name.c_str(), visited, text.c_str()),
                                    kWriteTimeoutMs, kWriteKeep, &answer, &elapsed);
    if (sent >= 0 && answer.find("OK") != std::string::npos) {
      print_message(link.log, kLogStep, kTag, "SetRecords_Serial set \"%s\" %d to \"%s\" (%d ms)", name.c_str(),
                    visited, text.c_str(), elapsed);
    }
    if (sent < 0) result = sent;
    ++visited;
    if (NoCommandLine(sent)) break;
  }
  print_message(link.log, kLogStep, kTag, "SetRecords_Serial retrieved %d of %d \"%s\" records", visited,
                static_cast<int>(set.records.size()), name.c_str());
  return result;
}

int GetRecords_File(InstrumentLink& link, RecordSet& set, int type, std::string_view text) {
  if (!KnownType(type)) {
    print_message(link.log, kLogStep, kTag, "GetRecords_File found an unexpected record type \"%d\"", type);
    return kLinkInvalid;
  }
  const std::string name(RecordSetName(type));
  if (!set.records.empty()) {
    print_message(link.log, kLogStep, kTag, "GetRecords_File found a non-null \"%s\" set", name.c_str());
    set.records.clear();
  }
  int count = 0;
  while (count < kFileRecordsMax && HasKey(text, Format("%s%02d", name.c_str(), count))) ++count;
  if (count == 0) {
    print_message(link.log, kLogStep, kTag, "GetRecords_File found no \"%s\" records in instrument", name.c_str());
    return 0;
  }
  for (int index = 0; index < count; ++index) {
    Record record;
    if (!ReadKeyText(text, Format("%s%02d", name.c_str(), index), &record.text, kRecordTextMax + 1)) break;
    print_message(link.log, kLogStep, kTag, "GetRecords_File found \"%s\" %d as \"%s\"", name.c_str(), index,
                  record.text.c_str());
    set.records.push_back(std::move(record));
  }
  print_message(link.log, kLogStep, kTag, "GetRecords_File retrieved %d of %d \"%s\" records",
                static_cast<int>(set.records.size()), count, name.c_str());
  return kLinkOk;
}

int ExtractNames(InstrumentLink& link, RecordSet& set, int type) {
  if (set.records.empty()) {
    print_message(link.log, kLogStep, kTag, "ExtractNames found an null record pointer");
    return kLinkMissing;
  }
  if (!KnownType(type)) {
    print_message(link.log, kLogStep, kTag, "ExtractNames found an unexpected record type \"%d\"", type);
    return kLinkInvalid;
  }
  for (Record& record : set.records) {
    record.name = type == kRecordsEqn ? EqnName(record.text) : UserName(record.text);
    if (record.name.size() > kRecordNameMax) record.name.resize(kRecordNameMax);
  }
  return kLinkOk;
}

int AlphabetizeRecords(InstrumentLink& link, RecordSet& set, int type) {
  if (!KnownType(type)) {
    print_message(link.log, kLogStep, kTag, "AlphabetizeRecords found an unexpected record type \"%d\"", type);
    return kLinkInvalid;
  }
  const int named = ExtractNames(link, set, type);
  if (named < 0) return named;
  std::vector<Record>& records = set.records;
  for (size_t i = 1; i < records.size(); ++i) {
    if (!RecordNameBefore(records[i].name, records[i - 1].name)) continue;
    Record lifted = std::move(records[i]);
    size_t j = i;
    while (j > 0 && RecordNameBefore(lifted.name, records[j - 1].name)) {
      records[j] = std::move(records[j - 1]);
      --j;
    }
    records[j] = std::move(lifted);
  }
  return kLinkOk;
}
