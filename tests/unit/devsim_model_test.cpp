// The simulator's own parts where a slip would make every test that uses it lie: the fault
// grammar and the model options, the flash model's segment arithmetic, the firmware identity
// check, a logger's settings across an update, the units of one model on a bench.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "bench_unit.h"
#include "device.h"
#include "device_models.h"
#include "fault_plan.h"
#include "firmware_identity.h"
#include "flash_model.h"
#include "loader_frame.h"
#include "options.h"

#include "devsim_process.h"

namespace {

TEST(DevsimFaultGrammar, ReadsKindStageOrdinalAndCount) {
  struct Case {
    const char* text;
    FaultKind kind;
    const char* stage;
    uint32_t first;
    uint32_t count;
  };
  const Case cases[] = {
      {"nak@write:3", FaultKind::Nak, "write", 3, 1},
      {"silence@frame:10x3", FaultKind::Silence, "frame", 10, 3},
      {"drop@boot", FaultKind::Drop, "boot", 1, 1},
      {"garble@versionx2", FaultKind::Garble, "version", 1, 2},
      {"reset@write:first", FaultKind::Reset, "write", 1, 1},
      {"hangup@erase-info", FaultKind::Hangup, "erase-info", 1, 1},
      {"echo@command:2x100", FaultKind::Echo, "command", 2, 100},
      {"error@command", FaultKind::Error, "command", 1, 1},
  };
  for (const Case& c : cases) {
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFaultRule(c.text, rule, error)) << c.text << ": " << error;
    EXPECT_EQ(rule.kind, c.kind) << c.text;
    EXPECT_EQ(rule.stage, c.stage) << c.text;
    EXPECT_EQ(rule.first, c.first) << c.text;
    EXPECT_EQ(rule.count, c.count) << c.text;
  }
  for (const char* bad : {"nak", "bite@write", "nak@nowhere", "nak@write:0", "nak@write:", "nak@write:2x0", "nak@write:x"}) {
    FaultRule rule;
    std::string error;
    EXPECT_FALSE(ParseFaultRule(bad, rule, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(DevsimFaultGrammar, FiresOnTheCountedEventsOfItsStageOnly) {
  FaultPlan plan;
  FaultRule rule;
  std::string error;
  ASSERT_TRUE(ParseFaultRule("silence@write:2x2", rule, error));
  plan.rules.push_back(rule);
  std::string hits;
  for (int frame = 1; frame <= 6; ++frame) {
    const bool write = frame != 3;  // frame 3 is some other command
    const auto fault = write ? FaultAt(plan, {"frame", "write"}, "f") : FaultAt(plan, {"frame"}, "f");
    hits += fault ? 'x' : '.';
  }
  EXPECT_EQ(hits, ".x.x..") << "writes 2 and 3 are frames 2 and 4";
  EXPECT_EQ(plan.fired.size(), 2u);
  EXPECT_EQ(plan.seen["frame"], 6u);
}

TEST(DevsimFlash, ErasesTheSegmentHoldingTheAddress) {
  struct Case {
    FlashLayout layout;
    uint32_t address;
    FlashResult result;
    uint32_t start;
    uint32_t end;
  };
  const Case cases[] = {
      {TgxFlashLayout(), 0x18A0, FlashResult::Ok, 0x1880, 0x1900},   // INFO: 128-byte segments
      {TgxFlashLayout(), 0x6E10, FlashResult::Ok, 0x6E00, 0x7000},   // main flash: 512 bytes
      {TgxFlashLayout(), 0x5C00, FlashResult::Ok, 0x5C00, 0x5E00},
      {TgxFlashLayout(), 0xFFF0, FlashResult::Ok, 0xFE00, 0x10000},  // the vector segment
      {TgxFlashLayout(), 0x3BE00, FlashResult::Ok, 0x3BE00, 0x3C000},
      {TgxFlashLayout(), 0xFC00, FlashResult::Protected, 0, 0},
      {TgxFlashLayout(), 0x3C000, FlashResult::OutsideMemory, 0, 0},
      {TgxFlashLayout(), 0x1980, FlashResult::OutsideMemory, 0, 0},
      {Msp16FlashLayout(), 0x1100, FlashResult::Ok, 0x1100, 0x1200},  // short first segment
      {Msp16FlashLayout(), 0x1080, FlashResult::Ok, 0x1080, 0x1100},
  };
  for (const Case& c : cases) {
    Flash flash = MakeFlash(c.layout);
    std::fill(flash.bytes.begin(), flash.bytes.end(), 0);
    uint32_t start = 0, end = 0;
    ASSERT_EQ(FlashErase(flash, c.address, start, end), c.result) << std::hex << c.address;
    if (c.result != FlashResult::Ok) continue;
    EXPECT_EQ(start, c.start) << std::hex << c.address;
    EXPECT_EQ(end, c.end) << std::hex << c.address;
    EXPECT_EQ(flash.bytes[start - 1], 0);
    EXPECT_EQ(flash.bytes[end - 1], kErasedByte);
    if (end < flash.bytes.size()) {
      EXPECT_EQ(flash.bytes[end], 0);
    }
  }
}

TEST(DevsimFlash, ProgramsOnlyBitsThatAreStillErasedAndReportsRuns) {
  Flash flash = MakeFlash(TgxFlashLayout());
  EXPECT_EQ(FlashProgram(flash, 0x6E00, 0x12), FlashResult::Ok);
  EXPECT_EQ(FlashProgram(flash, 0x6E00, 0x12), FlashResult::Ok) << "the same value again clears no new bit";
  EXPECT_EQ(FlashProgram(flash, 0x6E00, 0x13), FlashResult::Unerased) << "a cleared bit cannot be set again";
  EXPECT_EQ(FlashProgram(flash, 0xFA00, 0x12), FlashResult::Protected);
  EXPECT_EQ(FlashProgram(flash, 0x0000, 0x12), FlashResult::OutsideMemory);
  EXPECT_EQ(FlashProgram(flash, 0x6E05, 0x34), FlashResult::Ok);
  EXPECT_EQ(FlashProgram(flash, 0x6F00, 0x56), FlashResult::Ok);
  const std::vector<FlashRun> runs = FlashRuns(flash, 16);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].address, 0x6E00u);
  EXPECT_EQ(runs[0].bytes, (std::vector<uint8_t>{0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x34}));
  EXPECT_EQ(runs[1].address, 0x6F00u);
}

TEST(DevsimIdentity, FactoryFirmwarePassesAndAnyChangedByteFails) {
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc32(0, check, sizeof check), 0xCBF43926u) << "zlib's check value";

  Flash flash = MakeFlash(TgxFlashLayout());
  InstallOldFirmware(flash, "TGX", 140, {{0x6E00, 0x1000}, {0x10000, 0x800}});
  FirmwareIdentity identity = CheckFirmwareIdentity(flash);
  EXPECT_TRUE(identity.found);
  EXPECT_TRUE(identity.intact);
  EXPECT_EQ(identity.address, 0x6E00u);
  EXPECT_EQ(identity.tag, "TGX");
  EXPECT_EQ(identity.version, 140u);

  flash.bytes[0x10000 + 0x7FF] ^= 1;  // the last byte of the last range
  EXPECT_FALSE(CheckFirmwareIdentity(flash).intact);
  flash.bytes[0x10000 + 0x7FF] ^= 1;
  flash.bytes[0x10000 + 0x800] ^= 1;  // outside every range
  EXPECT_TRUE(CheckFirmwareIdentity(flash).intact);

  uint32_t start = 0, end = 0;
  FlashErase(flash, 0x6E00, start, end);
  EXPECT_FALSE(CheckFirmwareIdentity(flash).found);
}

TEST(DevsimFrame, ChecksumAndVersions) {
  EXPECT_EQ(FrameChecksum('g', ""), 0x95u);
  EXPECT_EQ(FrameChecksum('@', "6E00"), 0x149u);
  EXPECT_FALSE(ParseLoaderFrame("g.95").has_value());
  EXPECT_FALSE(ParseLoaderFrame("").has_value());
  const auto frame = ParseLoaderFrame("@6E00.0149");
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->argument, "6E00");
  EXPECT_TRUE(FrameChecksumGood(*frame));

  const std::pair<const char*, uint32_t> versions[] = {{"1.40", 140}, {"1.4", 140}, {"1.50", 150}, {"2.01", 201}, {"150", 150}};
  for (const auto& [text, expected] : versions) {
    uint32_t version = 0;
    EXPECT_TRUE(ParseVersion(text, version)) << text;
    EXPECT_EQ(version, expected) << text;
  }
  for (const char* bad : {"", "1.", ".5", "1.500", "a.b", "1.4x"}) {
    uint32_t version = 0;
    EXPECT_FALSE(ParseVersion(bad, version)) << bad;
  }
}

// Sends one command line at 9600 baud and returns what the device answered.
std::string Command(Device& device, const std::string& line) {
  device.outbox.clear();
  for (char c : line + "\r") DeviceReceive(device, static_cast<uint8_t>(c), 9600, SimClock::now());
  std::string answer;
  for (const Reply& reply : device.outbox) answer += reply.bytes;
  return answer;
}

// What the loader erases before an upload, then the new firmware's start.
void EraseInfoAndRestart(Device& device) {
  for (uint32_t address : {0x1000u, 0x1080u}) {
    uint32_t start = 0, end = 0;
    ASSERT_EQ(FlashErase(device.flash, address, start, end), FlashResult::Ok);
  }
  device.vectorsWritten = true;
  device.firmware->Start(device);
}

TEST(DevsimLogger, FirmwareStartedAfterAnInfoEraseHasItsOwnSettingsNotTheFields) {
  const DeviceModel* model = FindDeviceModel("lg20");
  ASSERT_NE(model, nullptr);
  DeviceSetup setup;
  setup.modelOptions.name = "WEIR-07";
  setup.modelOptions.loggerValues = {{"sn", "LG20-000123"}, {"site", "Pier 7"}, {"ADC30 slopes", "1 2 3 4 5"}};
  auto device = MakeDevice(*model, setup);
  EXPECT_EQ(Command(*device, "get -ver"), "\rLG20 2.02\r>");
  EXPECT_EQ(Command(*device, "get -i"), "\rWEIR-07\r>");
  EXPECT_EQ(Command(*device, "get -site"), "\rPier 7\r>");
  EXPECT_EQ(Command(*device, "get -adc30"), "\r1 50 2 51 3 52 4 53 5 54 19\r>");
  EXPECT_EQ(Command(*device, "set -i CHANGED"), "\rOK\r>");

  device->firmware->Start(*device);  // a restart that keeps INFO keeps the settings
  EXPECT_EQ(Command(*device, "get -i"), "\rCHANGED\r>");

  EraseInfoAndRestart(*device);
  const std::pair<const char*, const char*> defaults[] = {
      {"get -i", "\rLG20-A\r>"},      {"get -sn", "\rLG20-000123\r>"}, {"get -site", "\r\r>"},
      {"get -devid", "\r\r>"},        {"get -lat", "\r\r>"},           {"get -w", "\r15\r>"},
      {"get -ports", "\r0 0 0 0 0\r>"}, {"get -apn", "ERROR\r>"},
  };
  for (const auto& [command, answer] : defaults) EXPECT_EQ(Command(*device, command), answer) << command;
  nlohmann::json report;
  device->firmware->Report(report);
  EXPECT_EQ(report["settings"]["before"]["name"], "WEIR-07");
  EXPECT_EQ(report["settings"]["before"]["site"], "Pier 7");
  EXPECT_EQ(report["settings"]["current"]["site"], "");
  EXPECT_EQ(report["logger"]["infoResets"], 1);
  EXPECT_EQ(report["logger"]["erasePending"], true) << "a new firmware asks to erase the old data";
  EXPECT_EQ(Command(*device, "boot ZEPH"), "OK\r\n") << "the loader stays reachable";
  EXPECT_STREQ(DeviceModeName(*device), "loader-waiting");

  setup.modelOptions.afterErase = AfterErase::Blank;
  auto blank = MakeDevice(*model, setup);
  EraseInfoAndRestart(*blank);
  EXPECT_EQ(Command(*blank, "get -i"), "\r\r>") << "a logger never set up has no name";
  EXPECT_EQ(Command(*blank, "get -sn"), "\r\r>");
  EXPECT_EQ(Command(*blank, "set -i WEIR-07"), "\rOK\r>");
  blank->firmware->Start(*blank);
  EXPECT_EQ(Command(*blank, "get -i"), "\rWEIR-07\r>") << "a name written after the erase stays";
}

TEST(DevsimInstrument, SettingsLiveInInfoAndTheM2WantsItsLogin) {
  DeviceSetup setup;
  setup.instrument.values = {{"tadj", "9.9"}};
  auto tgx = MakeDevice(*FindDeviceModel("TGX"), setup);
  EXPECT_EQ(Command(*tgx, "get -ver"), "\rTGX 1.40\r>");
  EXPECT_EQ(Command(*tgx, "get -sn"), "\rTGX-014577\r>") << "the field TGX holds its settings";
  EXPECT_EQ(Command(*tgx, "get -tadj"), "\r9.9\r>");
  EXPECT_EQ(Command(*tgx, "get -user"), "\r4\r>");
  EXPECT_EQ(Command(*tgx, "set -user 4 QUJD"), "\rOK\r>");
  EXPECT_EQ(Command(*tgx, "set -user 9 QUJD"), "ERROR\r>") << "records are written in order";
  EXPECT_EQ(Command(*tgx, "get -nothing"), "ERROR\r>");
  for (uint32_t address : {0x1800u, 0x1880u, 0x1900u}) {  // what the loader erases before an upload
    uint32_t start = 0, end = 0;
    ASSERT_EQ(FlashErase(tgx->flash, address, start, end), FlashResult::Ok);
  }
  tgx->firmware->Start(*tgx);
  EXPECT_EQ(Command(*tgx, "get -sn"), "\r\r>") << "the factory's serial number is empty";
  EXPECT_EQ(Command(*tgx, "get -user"), "\r0\r>");
  tgx->firmware->Start(*tgx);
  EXPECT_EQ(Command(*tgx, "set -sn TGX-1"), "\rOK\r>");
  tgx->firmware->Start(*tgx);
  EXPECT_EQ(Command(*tgx, "get -sn"), "\rTGX-1\r>") << "a restart that keeps INFO keeps the settings";
  nlohmann::json report;
  tgx->firmware->Report(report);
  EXPECT_EQ(report["settings"]["before"]["tadj"], "9.9");
  EXPECT_EQ(report["settings"]["current"]["sn"], "TGX-1");
  EXPECT_EQ(report["instrument"]["settingsResets"], 1);

  DeviceSetup factory;
  factory.instrument.factoryReset = true;
  auto mq2 = MakeDevice(*FindDeviceModel("MQ2"), factory);
  EXPECT_EQ(Command(*mq2, "get -config"), "ERROR\r>") << "not logged in";
  EXPECT_EQ(Command(*mq2, "login *0000"), "ERROR\r>");
  EXPECT_EQ(Command(*mq2, "login *7205"), "\rOK\r>");
  EXPECT_EQ(Command(*mq2, "get -config"), "\r40000\r>") << "the factory config covers an empty serial number";
  EXPECT_EQ(Command(*mq2, "get -eqn"), "\r0\r>");
  EXPECT_EQ(Command(*mq2, "logout"), "\rOK\r>");
  EXPECT_EQ(Command(*mq2, "get -config"), "ERROR\r>");
}

// Garbage as a wrong rate makes it: printable characters as well as bytes of the upper half, so
// only the answer's shape can tell it from a value; never a line end.
TEST(DevsimNoise, GarbageIsPrintableAndUpperHalfAndValuesKeepEveryByte) {
  DeviceSetup setup;
  FaultRule garble;
  std::string error;
  ASSERT_TRUE(ParseFaultRule("garble@get:1", garble, error)) << error;
  setup.faults = {garble};
  auto tgx = MakeDevice(*FindDeviceModel("TGX"), setup);
  const std::string noise = DeviceNoise(*tgx, 4000);
  const auto printable = std::count_if(noise.begin(), noise.end(), [](char c) { return c >= ' ' && c <= '~'; });
  const auto upper = std::count_if(noise.begin(), noise.end(), [](char c) { return (c & 0x80) != 0; });
  EXPECT_GT(printable, 1000);
  EXPECT_GT(upper, 1000);
  EXPECT_EQ(printable + upper, 4000) << "no control characters: never a line end";

  const std::string garbled = Command(*tgx, "get -sn");
  EXPECT_EQ(garbled.size(), std::string("\rTGX-014577\r>").size());
  EXPECT_EQ(garbled.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(Command(*tgx, "get -sn"), "\rTGX-014577\r>") << "only the first answer";

  const std::string serial = "M\xC3\xBCller \xB0\xFF";
  EXPECT_EQ(Command(*tgx, "set -sn " + serial), "\rOK\r>");
  EXPECT_EQ(Command(*tgx, "get -sn"), "\r" + serial + "\r>") << "every byte reaches the command line";
  tgx->outbox.clear();
  for (char c : std::string("set -sn X\r")) DeviceReceive(*tgx, static_cast<uint8_t>(c), 19200, SimClock::now());
  EXPECT_TRUE(tgx->outbox.empty()) << "characters at another rate never make a line";
  nlohmann::json report;
  tgx->firmware->Report(report);
  EXPECT_EQ(report["settings"]["current"]["sn"], "M\u00C3\u00BCller \u00B0\u00FF") << "a byte is shown as its code";
  EXPECT_NO_THROW(report.dump());

  auto mq2 = MakeDevice(*FindDeviceModel("MQ2"), DeviceSetup{});
  EXPECT_EQ(Command(*mq2, "login *7205"), "\rOK\r>");
  EXPECT_EQ(Command(*mq2, "get -sensor"), "\r3\r>") << "the M2 keeps its own sensor type";
  EXPECT_EQ(Command(*mq2, "set -sensor 0"), "\rOK\r>");
  mq2->firmware->Report(report);
  EXPECT_EQ(report["instrument"]["sensorType"], "0");
}

bool ParseArguments(std::vector<std::string> words, SimOptions& options, std::string& error) {
  std::string program = "vornbsl-devsim";
  std::vector<char*> argv = {program.data()};
  for (std::string& word : words) argv.push_back(word.data());
  return ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(DevsimOptions, LoggerOptionsMustFitTheModel) {
  SimOptions options;
  std::string error;
  ASSERT_TRUE(ParseArguments({"--cellular", "--device", "LG20", "--radio", "3:0x1A2B", "--name", "WEIR-01",
                              "--logger-set", "site=Pier 7", "--logger-set", "lat=", "--after-erase", "blank"},
                             options, error))
      << error;
  EXPECT_EQ(options.modelOptions.loggerValues,
            (std::vector<std::pair<std::string, std::string>>{{"site", "Pier 7"}, {"lat", ""}}));
  EXPECT_EQ(options.modelOptions.afterErase, AfterErase::Blank);
  EXPECT_TRUE(options.modelOptions.cellular);
  ASSERT_TRUE(options.modelOptions.radio.has_value());
  EXPECT_EQ(options.modelOptions.radio->channel, 3u);
  EXPECT_EQ(options.modelOptions.radio->subChannel, 0x1A2Bu);
  EXPECT_EQ(options.modelOptions.name, "WEIR-01");
  for (const std::vector<std::string>& good : std::vector<std::vector<std::string>>{
           {"--device", "VQ7", "--modem", "2:0x7A01", "--asleep"},  // the vQ7's radio is fitted at the factory
           {"--device", "LG2:1.70", "--radio", "6:65535", "--broken-dataflash"},
       }) {
    SimOptions parsed;
    EXPECT_TRUE(ParseArguments(good, parsed, error)) << good[1] << ": " << error;
  }
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--device", "TGX", "--cellular"},
           {"--device", "QRL", "--radio", "1:1"},
           {"--device", "FH", "--cellular"},
           {"--device", "LG20", "--modem", "1:1"},
           {"--device", "LG20", "--radio", "1:1", "--asleep"},
           {"--device", "LG20", "--radio", "7:1"},
           {"--device", "LG20", "--radio", "1:0x10000"},
           {"--device", "LG20", "--radio", "1"},
           {"--device", "LG20", "--radio"},
           {"--device", "LG20", "--name", "NINECHARS"},
           {"--device", "TGX", "--after-erase", "blank"},
           {"--device", "LG20", "--after-erase", "factory"},
           {"--device", "LG20", "--logger-set", "site"},
           {"--device", "LG20", "--logger-set", "colour=red"},
           {"--device", "LG20", "--logger-set", "wake=often"},
           {"--device", "LG20", "--logger-set", "ports=1 2 3"},
           {"--device", "TGX", "--logger-set", "site=Pier 7"},
       }) {
    SimOptions parsed;
    std::string message;
    EXPECT_FALSE(ParseArguments(bad, parsed, message)) << bad[1] << " " << bad[2];
    EXPECT_FALSE(message.empty());
  }
}

TEST(DevsimOptions, InstrumentOptionsMustFitTheModel) {
  SimOptions options;
  std::string error;
  ASSERT_TRUE(ParseArguments({"--factory-reset", "--device", "MQ2", "--setting", "sn=AB", "--setting", "tadj=",
                              "--test-running", "3"},
                             options, error))
      << error;
  EXPECT_TRUE(options.instrument.factoryReset);
  EXPECT_EQ(options.instrument.values,
            (std::vector<std::pair<std::string, std::string>>{{"sn", "AB"}, {"tadj", ""}}));
  EXPECT_EQ(options.instrument.testRunning, 3);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--device", "LG20", "--factory-reset"},
           {"--device", "FX", "--setting", "sn=1"},
           {"--device", "TGX", "--setting", "sn"},
           {"--device", "TGX", "--setting", "=1"},
           {"--device", "TGX", "--test-running", "x"},
       }) {
    SimOptions parsed;
    std::string message;
    EXPECT_FALSE(ParseArguments(bad, parsed, message)) << bad[1] << " " << bad[2];
    EXPECT_FALSE(message.empty());
  }
}

// The settings report of a device made with the run's options.
nlohmann::json Settings(const std::string& model, uint32_t unit, DeviceSetup setup = {}) {
  setup.unit = unit;
  auto device = MakeDevice(*FindDeviceModel(model), setup);
  nlohmann::json report;
  device->firmware->Report(report);
  return report["settings"];
}

// Two units of one model differ in their serial number, a calibration and their records; without
// --unit the device is the field unit it always was.
TEST(DevsimUnit, UnitsOfOneModelDifferInWhatTellsThemApart) {
  struct Case {
    const char* model;
    const char* fieldSerial;
    const char* unitOneSerial;
    const char* calibration;
    const char* records;  // null: the model keeps none
  };
  const Case cases[] = {
      {"TGX", "TGX-014577", "TGX-015578", "p", "user"},
      {"MQ2", "M2-10442", "M2-11443", "hadj", "eqn"},
      {"LX40", "LX40-30912", "LX40-31913", "adccal", nullptr},
      {"LG20", "LG20-004711", "LG20-005712", "ADC30 slopes", nullptr},
      {"VQ7", "VQ7-004711", "VQ7-005712", "ADC15 offsets", nullptr},
  };
  for (const Case& c : cases) {
    const nlohmann::json field = Settings(c.model, kNoUnit)["before"];
    const nlohmann::json one = Settings(c.model, 1)["before"];
    const nlohmann::json two = Settings(c.model, 2)["before"];
    EXPECT_EQ(field["sn"], c.fieldSerial) << c.model;
    EXPECT_EQ(one["sn"], c.unitOneSerial) << c.model;
    for (const char* key : {"sn", c.calibration, c.records}) {
      if (!key) continue;
      EXPECT_NE(one[key], two[key]) << c.model << " " << key;
      EXPECT_NE(one[key], field[key]) << c.model << " " << key;
    }
    EXPECT_EQ(one, Settings(c.model, 1)["current"]) << c.model << ": the unit's values are what it holds";
    EXPECT_EQ(one, Settings(c.model, 1)["before"]) << c.model << ": the same unit in every run";
  }
  const nlohmann::json tgx = Settings("TGX", 2)["before"];
  EXPECT_NE(tgx["user"].size(), Settings("TGX", 1)["before"]["user"].size()) << "units keep different record counts";
  const nlohmann::json mq2 = Settings("MQ2", 2)["before"];
  int checksum = 40000;
  for (char ch : mq2["sn"].get<std::string>()) checksum += static_cast<unsigned char>(ch);
  EXPECT_EQ(mq2["config"], std::to_string(checksum)) << "the M2's config covers the unit's serial number";
  const nlohmann::json lg20 = Settings("LG20", 2)["before"];
  EXPECT_EQ(lg20["name"], "LG20-002");
  EXPECT_NE(lg20["site"], Settings("LG20", 1)["before"]["site"]);
  EXPECT_EQ(Settings("LG20", kNoUnit)["before"]["name"], "LG20-A");

  DeviceSetup named;
  named.modelOptions.name = "WEIR-07";
  named.modelOptions.loggerValues = {{"sn", "LG20-000123"}};
  const nlohmann::json chosen = Settings("LG20", 2, named)["before"];
  EXPECT_EQ(chosen["name"], "WEIR-07") << "--name wins over the unit's name";
  EXPECT_EQ(chosen["sn"], "LG20-000123") << "--logger-set wins";
  EXPECT_EQ(chosen["site"], lg20["site"]) << "the rest is the unit's";
}

// A unit's values have the shapes the device's own set commands enforce, and live in INFO like
// the field values: the firmware that finds INFO erased writes its defaults, not the unit's.
TEST(DevsimUnit, UnitValuesAreOnesItsSetCommandsTakeAndAnInfoEraseLosesThem) {
  DeviceSetup setup;
  setup.unit = kMaxUnit;  // the longest name and site
  auto logger = MakeDevice(*FindDeviceModel("LG20"), setup);
  for (const char* option : {"-i", "-sn", "-devid", "-site", "-lat", "-long", "-adc30", "-adc15"}) {
    const std::string answer = Command(*logger, std::string("get ") + option);
    ASSERT_GT(answer.size(), 3u) << option;
    const std::string value = answer.substr(1, answer.size() - 3);  // "\r<value>\r>"
    EXPECT_FALSE(value.empty()) << option;
    EXPECT_EQ(Command(*logger, std::string("set ") + option + " " + value), "\rOK\r>") << option << " " << value;
  }
  const std::string serial = Command(*logger, "get -sn");
  EraseInfoAndRestart(*logger);
  EXPECT_EQ(Command(*logger, "get -i"), "\rLG20-A\r>");
  EXPECT_EQ(Command(*logger, "get -site"), "\r\r>");
  EXPECT_EQ(Command(*logger, "get -sn"), serial) << "the serial number of the unit's factory record";

  setup.unit = 1;
  auto tgx = MakeDevice(*FindDeviceModel("TGX"), setup);
  EXPECT_EQ(Command(*tgx, "get -sn"), "\rTGX-015578\r>");
  for (uint32_t address : {0x1800u, 0x1880u, 0x1900u}) {
    uint32_t start = 0, end = 0;
    ASSERT_EQ(FlashErase(tgx->flash, address, start, end), FlashResult::Ok);
  }
  tgx->firmware->Start(*tgx);
  EXPECT_EQ(Command(*tgx, "get -sn"), "\r\r>");
  EXPECT_EQ(Command(*tgx, "get -tadj"), "\r0.00\r>");
  EXPECT_EQ(Command(*tgx, "get -user"), "\r0\r>");

  for (const char* bad : {"0", "1000", "-1", "x", "", "1.5"}) {
    SimOptions options;
    std::string error;
    EXPECT_FALSE(ParseArguments({"--device", "TGX", "--unit", bad}, options, error)) << bad;
  }
}

// Two simulators of one model run side by side as units 1 and 2, each on its own pseudo-terminal;
// the report shows each unit's values, and an explicit setting wins wherever it stands.
TEST(DevsimUnit, TwoUnitsOfOneModelRunSideBySide) {
  DevsimProcess one({"--device", "TGX", "--unit", "1"});
  DevsimProcess two({"--setting", "sn=BENCH-7", "--device", "TGX", "--unit", "2"});
  DevsimProcess field({"--device", "TGX"});
  EXPECT_NE(one.ptyPath, two.ptyPath);
  EXPECT_TRUE(one.Running() && two.Running() && field.Running());
  const nlohmann::json first = one.Stop()["settings"]["before"];
  const nlohmann::json second = two.Stop()["settings"]["before"];
  const nlohmann::json today = field.Stop()["settings"]["before"];
  EXPECT_EQ(first["sn"], "TGX-015578");
  EXPECT_EQ(second["sn"], "BENCH-7");
  EXPECT_EQ(today["sn"], "TGX-014577");
  EXPECT_EQ(today["tadj"], "-0.35");
  EXPECT_EQ(today["user"].size(), 4u);
  for (const char* key : {"tadj", "c76", "user"}) {
    EXPECT_NE(first[key], second[key]) << key;
    EXPECT_NE(first[key], today[key]) << key;
  }
}

}  // namespace
