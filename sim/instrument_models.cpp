// The simulated instruments: what each holds in the field and from the factory.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "bench_unit.h"
#include "flash_model.h"
#include "instrument_firmware.h"

namespace {

constexpr std::string_view kEntryWord = "ZEPH";
constexpr long kMq2ChecksumBase = 40000;

// A unit on a bench (--unit) holds from 2 to 5 user records, its own calibrations and names.
constexpr uint32_t kFewestUnitRecords = 2;
constexpr uint32_t kUnitRecordCounts = 4;
constexpr uint32_t kSaltsPerValue = 16;  // a value's numbers each move their own way
constexpr uint32_t kFirstRecordSalt = 1000;
constexpr uint32_t kRecordYear = 2024;
constexpr uint32_t kMonths = 12;
constexpr uint32_t kDays = 28;
// What people call the soils a TGX is calibrated for, the mixes of an M2, and the places an LX40
// stands; at most 9 characters, as a record's name is read.
constexpr std::string_view kSoils[] = {"Clay",      "Loam",      "Peat",    "Sand", "Silt",     "Chalk",
                                       "Gravel",    "Clay Loam", "Silt Loam", "Topsoil", "Marl", "Sandy Mix"};
constexpr std::string_view kMixes[] = {"Bark",     "Compost", "Perlite",  "Coir",      "Peat Mix",
                                       "Rockwool", "Pumice",  "Sand Mix", "Leaf Mold", "Clay Mix"};
constexpr std::string_view kPlaces[] = {"North Field Station", "East Orchard", "Greenhouse Bay",
                                        "River Terrace",       "Hill Pasture", "Trial Block"};

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = 0;
    for (size_t j = 0; j < 3; ++j) {
      group = group << 8 | (i + j < bytes.size() ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    }
    const size_t present = std::min<size_t>(3, bytes.size() - i);
    for (size_t j = 0; j < 4; ++j) text.push_back(j <= present ? kAlphabet[group >> (18 - 6 * j) & 0x3F] : '=');
  }
  return text;
}

// A "user" record as the instrument stores it: tab-separated fields, the fourth the name.
std::vector<std::string> UserRecords(std::initializer_list<std::string_view> decoded) {
  std::vector<std::string> records;
  for (std::string_view text : decoded) records.push_back(Base64(text));
  return records;
}

long Checksum(std::string_view serial) {
  long sum = kMq2ChecksumBase;
  for (char c : serial) sum += static_cast<unsigned char>(c);
  return sum;
}

template <size_t N>
std::string Pick(const std::string_view (&names)[N], uint32_t index) {
  return std::string(names[index % N]);
}

// Record I of unit N was made on its own day.
std::string RecordDate(uint32_t unit, uint32_t record) {
  char text[16];
  std::snprintf(text, sizeof text, "%u-%02u-%02u", kRecordYear, 1 + (unit + record) % kMonths,
                1 + (unit * 7 + record * 11) % kDays);
  return text;
}

uint32_t UnitRecordCount(uint32_t unit) { return kFewestUnitRecords + unit % kUnitRecordCounts; }

uint32_t RecordSalt(uint32_t record) { return kFirstRecordSalt + kSaltsPerValue * record; }

// Unit N's calibration values: the field unit's, each number moved its own way.
void MoveCalibrations(InstrumentValues& values, std::initializer_list<const char*> keys, uint32_t unit) {
  uint32_t salt = 0;
  for (const char* key : keys) {
    std::string& value = values.values[key];
    value = UnitNumbers(value, unit, salt);
    salt += kSaltsPerValue;
  }
}

// A record's name: its fourth tab-separated field, as the instrument lists them.
std::string RecordName(const std::string& record) {
  size_t start = 0;
  for (int field = 0; field < 3 && start != std::string::npos; ++field) {
    start = record.find('\t', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return {};
  std::string name = record.substr(start, record.find('\t', start) - start);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// A unit that has been through an update before holds its records in the order the updater
// writes them: by name.
std::vector<std::string> EncodedByName(std::vector<std::string> records) {
  std::stable_sort(records.begin(), records.end(),
                   [](const std::string& a, const std::string& b) { return RecordName(a) < RecordName(b); });
  std::vector<std::string> encoded;
  for (const std::string& record : records) encoded.push_back(Base64(record));
  return encoded;
}

// Unit N of the TGX: its serial number, calibration, calibration preferences and soil records.
InstrumentValues TgxUnit(const InstrumentValues& field, uint32_t unit) {
  InstrumentValues values = field;
  values.values["sn"] = UnitSerialNumber(field.values.at("sn"), unit);
  MoveCalibrations(values, {"p", "pv", "tadj"}, unit);
  values.values["c76"] = "1 " + std::to_string(unit % 2) + " 1 " + std::to_string(1 + unit % 4);
  std::vector<std::string> records;
  for (uint32_t i = 0; i < UnitRecordCount(unit); ++i) {
    const uint32_t salt = RecordSalt(i);
    records.push_back("1\t" + RecordDate(unit, i) + "\t" + std::to_string(i % 2) + "\t" + Pick(kSoils, unit * 3 + i) +
                      "\t" + UnitNumber("0.412", unit, salt) + "\t" + UnitNumber("1.037", unit, salt + 1) + "\t" +
                      UnitNumber("-0.021", unit, salt + 2));
  }
  values.users = EncodedByName(records);
  return values;
}

// An M2 equation: "NAME SLOPE*x+OFFSET".
std::string Equation(std::string_view name, const std::string& slope, const std::string& offset) {
  return std::string(name) + " " + slope + "*x" + (offset.front() == '-' ? "" : "+") + offset;
}

// Unit N of the M2: its serial number with the config that covers it, its calibrations, its mix
// records and its equations' coefficients.
InstrumentValues Mq2Unit(const InstrumentValues& field, uint32_t unit) {
  InstrumentValues values = field;
  const std::string serial = UnitSerialNumber(field.values.at("sn"), unit);
  values.values["sn"] = serial;
  values.values["config"] = std::to_string(Checksum(serial));
  MoveCalibrations(values, {"tadj", "hadj", "pvuser"}, unit);
  std::vector<std::string> records;
  for (uint32_t i = 0; i < UnitRecordCount(unit); ++i) {
    const uint32_t salt = RecordSalt(i);
    records.push_back("3\t0\t" + std::to_string(1 + i % 2) + "\t" + Pick(kMixes, unit * 3 + i) + "\t" +
                      UnitNumber("0.22", unit, salt) + "\t" + UnitNumber("1.30", unit, salt + 1));
  }
  values.users = EncodedByName(records);
  const uint32_t salt = RecordSalt(kFewestUnitRecords + kUnitRecordCounts);
  values.eqns = {Equation("Bulk_EC", UnitNumber("0.85", unit, salt), UnitNumber("0.02", unit, salt + 1)),
                 Equation("Pore_EC", UnitNumber("1.2", unit, salt + 2), UnitNumber("-0.1", unit, salt + 3)),
                 Equation("VWC", UnitNumber("0.0012", unit, salt + 4), UnitNumber("-0.35", unit, salt + 5))};
  return values;
}

// Unit N of the LX40: its serial number, where it stands and its calibrations.
InstrumentValues Lx40Unit(const InstrumentValues& field, uint32_t unit) {
  InstrumentValues values = field;
  values.values["sn"] = UnitSerialNumber(field.values.at("sn"), unit);
  values.values["loc"] = Pick(kPlaces, unit) + " " + std::to_string(unit);
  MoveCalibrations(values, {"x", "ext", "adccal"}, unit);
  return values;
}

InstrumentModel Tgx() {
  InstrumentModel model;
  model.tag = "TGX";
  model.hasUsers = true;
  model.factory.values = {{"sn", ""},  {"config", "0 0 0 0 0 60 0"}, {"p", "1.000 1.000 1.000"},
                          {"pv", "0.00 1.00"}, {"c76", ""}, {"tadj", "0.00"}};
  model.field.values = {{"sn", "TGX-014577"},         {"config", "3 1 0 2 1 120 0"}, {"p", "2.104 0.953 1.012"},
                        {"pv", "0.52 1.08"},           {"c76", "1 0 1 2"},            {"tadj", "-0.35"}};
  model.field.users = UserRecords({"1\t2024-03-11\t0\tClay Loam\t0.412\t1.037\t-0.021",
                                   "1\t2024-03-11\t0\tPeat\t0.655\t0.981\t0.004",
                                   "1\t2024-05-02\t1\tSand\t0.301\t1.102\t-0.013",
                                   "2\t2024-06-20\t0\tSilt B\t0.377\t1.011\t0.000"});
  model.unitValues = TgxUnit;
  return model;
}

InstrumentModel Mq2() {
  InstrumentModel model;
  model.tag = "MQ2";
  model.needsLogin = true;
  model.hasUsers = true;
  model.hasEqns = true;
  model.configChecksumBase = kMq2ChecksumBase;
  // "sensor" is the sensor type the M2 measures with ("get -sensor", "set -sensor N").
  model.factory.values = {{"sn", ""},      {"config", std::to_string(Checksum(""))}, {"tadj", "0.00"},
                          {"tau", "30"},   {"hadj", "1.0 0.0"},                       {"pvuser", "0.00 1.00"},
                          {"sensor", "0"}};
  model.field.values = {{"sn", "M2-10442"}, {"config", std::to_string(Checksum("M2-10442"))}, {"tadj", "0.12"},
                        {"tau", "45"},      {"hadj", "1.5 0.2"},                               {"pvuser", "0.31 0.97"},
                        {"sensor", "3"}};
  model.field.users = UserRecords({"3\t0\t1\tBark\t0.22\t1.30", "3\t0\t1\tCompost\t0.41\t1.12",
                                   "3\t0\t2\tPerlite\t0.08\t1.75"});
  model.field.eqns = {"Bulk_EC 0.85*x+0.02", "Pore_EC 1.2*x-0.1", "VWC 0.0012*x-0.35"};
  model.unitValues = Mq2Unit;
  return model;
}

InstrumentModel Lx40() {
  InstrumentModel model;
  model.tag = "LX40";
  model.factory.values = {{"sn", ""},     {"contr", "5"},     {"config", "0 0 0"},
                          {"loc", ""},    {"x", "1.000"},     {"ext", "1.000"},      {"adccal", "512 512 1.0000"}};
  model.field.values = {{"sn", "LX40-30912"}, {"contr", "6"},     {"config", "1 0 3"},
                        {"loc", "North Field Station 3"},  {"x", "0.872"}, {"ext", "1.043"},
                        {"adccal", "512 498 1.0021"}};
  model.unitValues = Lx40Unit;
  return model;
}

}  // namespace

std::unique_ptr<FirmwarePart> MakeTgxFirmware() {
  return std::make_unique<InstrumentFirmware>(Tgx(), std::string(kEntryWord));
}

std::unique_ptr<FirmwarePart> MakeMq2Firmware() {
  return std::make_unique<InstrumentFirmware>(Mq2(), std::string(kEntryWord));
}

std::unique_ptr<FirmwarePart> MakeLx40Firmware() {
  return std::make_unique<InstrumentFirmware>(Lx40(), std::string(kEntryWord));
}

FlashLayout Mq2FlashLayout() {
  return FlashLayout{"MQ2",
                     {
                         {0x1000, 0x10C0, 64, RegionKind::Info},
                         {0x2100, 0xFA00, 512, RegionKind::Main},
                         {0xFA00, 0xFE00, 512, RegionKind::Loader},
                         {0xFE00, 0x10000, 512, RegionKind::Vectors},
                         {0x10000, 0x1FF00, 512, RegionKind::Main},
                     }};
}
