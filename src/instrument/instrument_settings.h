// The settings an instrument keeps (language, contrast, configuration texts,
// calibration values, user records, equations, ...), read over its command
// line before an update and written back afterwards. One bit per setting
// selects it in the flags of GetInstInfo and SetInstInfo and marks it held in
// the present mask.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct InstrumentLink;

constexpr uint32_t kInstName = 1u << 0;
constexpr uint32_t kInstSerialNumber = 1u << 1;
constexpr uint32_t kInstPGroup = 1u << 2;  // p0 p3 p5 lwidth ltemp current pfactor p1 in slots 0-7
constexpr uint32_t kInstLanguage = 1u << 3;
constexpr uint32_t kInstContrast = 1u << 4;
constexpr uint32_t kInstFvals = 1u << 5;
constexpr uint32_t kInstUvals = 1u << 6;  // pvuser on kinds 15 and 22
constexpr uint32_t kInstUnits = 1u << 7;
constexpr uint32_t kInstAdc = 1u << 8;
constexpr uint32_t kInstInterval = 1u << 9;  // read only
constexpr uint32_t kInstAdcCal = 1u << 10;
constexpr uint32_t kInstConfig = 1u << 11;
constexpr uint32_t kInstWtOffset = 1u << 12;
constexpr uint32_t kInstP1Offset = 1u << 13;
constexpr uint32_t kInstAuto = 1u << 14;
constexpr uint32_t kInstUsage = 1u << 15;
constexpr uint32_t kInstWtFactory = 1u << 17;
constexpr uint32_t kInstAdc15 = 1u << 18;
constexpr uint32_t kInstAdc30 = 1u << 19;
constexpr uint32_t kInstSample = 1u << 20;
constexpr uint32_t kInstCalValues = 1u << 21;  // slots 0-19
constexpr uint32_t kInstPForm = 1u << 22;      // p, pv, c76: fvals, uvals and calprefs
constexpr uint32_t kInstUnitsText = 1u << 23;
constexpr uint32_t kInstLocation = 1u << 24;
constexpr uint32_t kInstChai = 1u << 25;
constexpr uint32_t kInstExt = 1u << 26;
constexpr uint32_t kInstUserRecords = 1u << 27;
constexpr uint32_t kInstEqnRecords = 1u << 28;
constexpr uint32_t kInstTadj = 1u << 29;
constexpr uint32_t kInstHadjTau = 1u << 30;
constexpr uint32_t kInstSys = 1u << 31;

// Longest text of each setting, in characters.
constexpr size_t kInstNameMax = 8;
constexpr size_t kInstSerialMax = 15;
constexpr size_t kInstLongText = 256;
constexpr size_t kInstAdcMax = 16;
constexpr size_t kInstShortText = 63;
constexpr size_t kInstConfigMax = 64;
constexpr size_t kInstChaiMax = 16;
constexpr size_t kInstExtMax = 16;
constexpr int kValueSlots = 20;
constexpr int kPGroupSlots = 8;

struct InstrumentSettings {
  uint32_t present = 0;  // the bits whose values are held
  uint8_t kind = 0;      // the device kind they were read from
  std::string name;
  std::string serialNumber;
  long language = 0;
  long contrast = 0;
  std::string fvals;  // also the p value
  std::string uvals;  // also pvuser and pv
  long units = 0;
  std::string adc;
  long interval = 0;
  std::string adccal;
  std::string config;
  std::string wtoffset;
  std::string p1offset;
  std::string autosec;
  std::string usage;
  std::string wtfactory;
  std::string adc15;
  std::string adc30;
  std::string sample;
  std::string calprefs;  // the c76 value
  std::string unitsText;
  std::string location;
  std::string chai;
  std::string ext;
  std::string tadj;
  std::string hadj;
  long tau = 0;
  std::string sys;
  // p group (0-7) or calibration values (0-19). A slot is empty unless its value was read:
  // devices answer no empty values, and an empty slot is never written back.
  std::array<std::string, kValueSlots> slots;
  // The M2's sensor type, read before the capture sets it to 0 and put back at the end of the
  // restore; a device that does not answer "get -sensor" gets none written.
  bool sensorTypeHeld = false;
  long sensorType = 0;
};

// Record sets: "eqn" (type 1) and "user" (type 2).
constexpr int kRecordsEqn = 1;
constexpr int kRecordsUser = 2;
constexpr int kEqnDefaultCount = 100;
constexpr int kUserDefaultCount = 25;
constexpr size_t kRecordNameMax = 32;
constexpr size_t kRecordTextMax = 256;

struct Record {
  std::string name;  // from ExtractNames; the sort key
  std::string text;  // as the instrument reports it
};

struct RecordSet {
  std::vector<Record> records;  // empty: no array held
};

// The set name of a record type ("eqn", "user"); empty for any other type.
std::string_view RecordSetName(int type);

int GetInstInfo(InstrumentLink& link, uint32_t flags);
int SetInstInfo(InstrumentLink& link, uint32_t flags);

// One set command of a restore (the line ends in its only "\r"): the exchange's result, or -21
// when the device's loader answers instead of its command line, or -11 (nothing sent) when a
// value would split the line into two commands.
int SendSetCommand(InstrumentLink& link, const std::string& line, int timeoutMs, int keep, std::string* answer,
                   int* elapsed);
// No answer, an echo, a relay: the device's command line is not there to take more, so a
// capture or restore ends at once.
bool NoCommandLine(int result);

int GetRecords_Serial(InstrumentLink& link, RecordSet& set, int type);
int SetRecords_Serial(InstrumentLink& link, RecordSet& set, int type);
// Fills the set from the whole text of a settings file.
int GetRecords_File(InstrumentLink& link, RecordSet& set, int type, std::string_view text);
int ExtractNames(InstrumentLink& link, RecordSet& set, int type);
int AlphabetizeRecords(InstrumentLink& link, RecordSet& set, int type);

// Standard base64 decoding; characters outside the alphabet count as zero bits.
std::string DecodeBase64(std::string_view text);
// Whether name a sorts before name b (equal names do).
bool RecordNameBefore(std::string_view a, std::string_view b);
