// The simulated pass-through devices and the SDI-12 sensor behind them, driven directly:
// the sensor's command set, its loader and restart, the relay's mode bytes, the options, the
// units of one type on a bench.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "device.h"
#include "device_models.h"
#include "fault_plan.h"
#include "loader_frame.h"
#include "options.h"
#include "sdi_sensor_model.h"

namespace {

std::unique_ptr<SdiSensor> Sensor(SensorSetup setup) {
  static FaultPlan plan;
  static std::vector<std::string> faultLog;
  return MakeSdiSensor(setup, &plan, &faultLog);
}

std::unique_ptr<SdiSensor> Sensor(const std::string& type, bool hasLoader = true) {
  SensorSetup setup;
  setup.type = FindSensorKind(type)->type;
  setup.hasLoader = hasLoader;
  return Sensor(setup);
}

// The simulator's options as a command line gives them.
bool Parse(std::vector<std::string> words, SimOptions& options, std::string& error) {
  words.insert(words.begin(), "vornbsl-devsim");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  return ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

std::string Ask(SdiSensor& sensor, const std::string& command) {
  const std::optional<std::string> answer = SdiSensorCommand(sensor, command);
  return answer ? *answer : "(silence)";
}

std::string Frame(char letter, const std::string& argument) {
  char trailer[16];
  std::snprintf(trailer, sizeof trailer, ".%04X\r", FrameChecksum(letter, argument));
  return std::string(1, letter) + argument + trailer;
}

std::string Feed(SdiSensor& sensor, const std::string& bytes) {
  std::string answer;
  for (char byte : bytes) answer += SdiSensorLoaderByte(sensor, static_cast<uint8_t>(byte), 9600).reply;
  return answer;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// A new firmware for a layout C sensor, as the loader's write frames; `spoil` breaks its CRC.
std::vector<std::string> NewFirmwareFrames(uint32_t version, bool spoil) {
  Flash image = MakeFlash(SensorLayoutC());
  const std::vector<ImageRange> ranges = {{0x8000, 0x200}, {0x10000, 0x200}};
  std::vector<uint8_t> data(0x200);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  FlashPut(image, 0x8000, data);
  FlashPut(image, 0x10000, data);
  FlashPut(image, 0x8000, MakeIdentityBlock("SKYRA61", version, ranges));
  SealIdentity(image, 0x8000);
  if (spoil) image.bytes[0x10010] ^= 0xFF;
  std::vector<std::string> frames;
  for (const ImageRange& range : ranges) {
    frames.push_back(Frame('@', Hex(range.start, 5)));
    for (uint32_t at = range.start; at < range.start + range.length; at += 64) {
      std::string words;
      for (uint32_t a = at; a < at + 64; a += 2) words += Hex(FlashWord(image, a), 4);
      frames.push_back(Frame('W', words));
    }
  }
  return frames;
}

TEST(DevsimSensor, AnswersItsCommandSetAtItsAddress) {
  auto sensor = Sensor("SKYRA61");
  struct Exchange {
    const char* command;
    const char* answer;
  };
  const Exchange exchanges[] = {
      {"?", "0\r\n"},
      {"?I", "013TESSALY SKY61 140\r\n"},
      {"1I", "(silence)"},  // another address
      {"?X8", "0]\r\n"},
      {"?X#", "0S61-004211\r\n"},
      {"?X#AB-12", "0OK\r\n"},
      {"?X#", "0AB-12\r\n"},
      {"?X51 2 3", "0OK\r\n"},
      {"?X4", "0 1 2 3\r\n"},
      {"?Xbq", "0OK\r\n"},
      {"?Xa", "0 q\r\n"},
      {"?XO", "0 0 0 0.25 0.5\r\n"},
      {"?XO", "0 0 0 0.25 0.5\r\n"},
      {"?X9 122", "0OK\r\n"},
      {"?X8", "0z\r\n"},
      {"?X9 0", "0ERROR\r\n"},
      {"?M", "(silence)"},
      {"0A3", "3\r\n"},
      {"0I", "(silence)"},
      {"3I", "313TESSALY SKY61 140\r\n"},
      {"?post", "3Code Good\r\n"},
  };
  for (const Exchange& e : exchanges) EXPECT_EQ(Ask(*sensor, e.command), e.answer) << e.command;
  EXPECT_EQ(sensor->commands.size(), std::size(exchanges));

  auto gauge = Sensor("^");
  EXPECT_EQ(Ask(*gauge, "?Xa"), "(silence)") << "a rain gauge keeps one calibration";
  EXPECT_EQ(Ask(*gauge, "?XO"), "(silence)");
  auto k7w = Sensor("z");
  EXPECT_EQ(Ask(*k7w, "?X4"), "0 0.98 -1 1.02 -1 0.5 -1\r\n");
  EXPECT_EQ(Ask(*k7w, "?XO"), "(silence)");
}

TEST(DevsimSensor, UpdateThroughItsLoaderRestartsIntoTheNewFirmwareWithBlankSettings) {
  for (const bool spoil : {false, true}) {
    auto sensor = Sensor("]");
    EXPECT_EQ(Ask(*sensor, "?B"), "0\r\n");
    ASSERT_EQ(sensor->mode, SensorMode::Loader);
    EXPECT_EQ(FlashWord(sensor->flash, 0xFFFE), 0xFFFF) << "starting the loader erases the vectors";
    EXPECT_EQ(Ask(*sensor, "?I"), "(silence)") << "the loader does not speak SDI-12";
    EXPECT_EQ(Feed(*sensor, "P"), "#");
    EXPECT_EQ(Feed(*sensor, "\r"), "?\r");
    for (uint32_t info = 0x1800; info < 0x1A00; info += 128) EXPECT_EQ(Feed(*sensor, Frame('X', Hex(info, 5))), "+\r");
    for (uint32_t segment : {0x8000u, 0x8200u, 0x10000u}) {
      EXPECT_EQ(Feed(*sensor, Frame('X', Hex(segment, 5))), "+\r") << segment;
    }
    for (const std::string& frame : NewFirmwareFrames(150, spoil)) EXPECT_EQ(Feed(*sensor, frame), "+\r");
    std::string vectors;
    for (int i = 0; i < 16; ++i) vectors += "8040";
    EXPECT_EQ(Feed(*sensor, Frame('V', vectors)), "+");

    EXPECT_EQ(sensor->mode, SensorMode::Firmware);
    EXPECT_TRUE(sensor->updateFinished);
    EXPECT_EQ(sensor->restarts, 1u);
    EXPECT_EQ(Ask(*sensor, "?I"), "013TESSALY SKY61 150\r\n");
    EXPECT_EQ(Ask(*sensor, "?post"), spoil ? "0Code Corrupt\r\n" : "0Code Good\r\n");
    EXPECT_EQ(Ask(*sensor, "?X#"), "0\r\n") << "the settings went with the erased INFO memory";
    EXPECT_EQ(Ask(*sensor, "?X4"), "0 \r\n");
    EXPECT_EQ(Ask(*sensor, "?X8"), "0]\r\n") << "the firmware knows its own type";
  }
  auto noLoader = Sensor("]", false);
  EXPECT_EQ(Ask(*noLoader, "?B"), "0No BSL\r\n");
  EXPECT_EQ(noLoader->mode, SensorMode::Firmware);
}

// A sensor that keeps numbers, not text: it rounds what it stores and prints it its own way,
// its factory values too; words that are no numbers stay as they came.
TEST(DevsimSensor, ANumberFormatRoundsAndPrintsWhatItStores) {
  struct Case {
    std::string option;
    std::string factoryX4;
    std::string written;
  };
  const Case cases[] = {
      {"as-written", "0 0.0012 1.0034 -0.52 25.0\r\n", "0 0.981  1.5\r\n"},
      {"rounded:2", "0 +0.00 +1.00 -0.52 +25.00\r\n", "0 +0.98 +1.50\r\n"},
      {"exponent", "0 1.200e-03 1.003e+00 -5.200e-01 2.500e+01\r\n", "0 9.810e-01 1.500e+00\r\n"},
      {"exponent:1", "0 1.2e-03 1.0e+00 -5.2e-01 2.5e+01\r\n", "0 9.8e-01 1.5e+00\r\n"},
  };
  for (const Case& c : cases) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--device", "FX", "--sensor-number-format", c.option}, options, error)) << error;
    auto sensor = Sensor(options.passThrough.sensor);
    EXPECT_EQ(Ask(*sensor, "?X4"), c.factoryX4) << c.option;
    EXPECT_EQ(Ask(*sensor, "?X50.981  1.5"), "0OK\r\n");
    EXPECT_EQ(Ask(*sensor, "?X4"), c.written) << c.option;
    EXPECT_EQ(Ask(*sensor, "?X#S/N 0.5"), "0OK\r\n");
    EXPECT_EQ(Ask(*sensor, "?X#"), "0S/N 0.5\r\n") << "a serial number is text";
  }
  SensorSetup setup;
  setup.numbers = {SensorNumbers::Rounded, 1};
  auto sensor = Sensor(setup);
  EXPECT_EQ(Ask(*sensor, "?Xba 1 1.39619 x7"), "0OK\r\n");
  EXPECT_EQ(Ask(*sensor, "?Xa"), "0 a +1.0 +1.4 x7\r\n");
}

// A sensor slow to take a command: silent the first N-1 times it hears it, the probe answered.
TEST(DevsimSensor, ALateCommandIsAnsweredFromItsNthHearing) {
  SimOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--device", "FX", "--sensor-late", "I:3", "--sensor-late", "X5*:2"}, options, error)) << error;
  auto sensor = Sensor(options.passThrough.sensor);
  const std::vector<std::pair<std::string, std::string>> exchanges = {
      {"?I", "(silence)"}, {"?", "0\r\n"},        {"?I", "(silence)"}, {"?", "0\r\n"},
      {"?I", "013TESSALY SKY61 140\r\n"},         {"?I", "013TESSALY SKY61 140\r\n"},
      {"?X51 2", "(silence)"},                    {"?X4", "0 0.0012 1.0034 -0.52 25.0\r\n"},
      {"?X51 2", "0OK\r\n"},                      {"?X53 4", "0OK\r\n"},
  };
  for (const auto& [command, answer] : exchanges) EXPECT_EQ(Ask(*sensor, command), answer) << command;

  for (const std::string bad : {"I", ":3", "I:0", "I:x", "I!:2"}) {
    SimOptions refused;
    EXPECT_FALSE(Parse({"--device", "FX", "--sensor-late", bad}, refused, error)) << bad;
  }
  for (const std::string bad : {"rounded", "rounded:x", "exponent:0", "fancy", "as-written:2"}) {
    SimOptions refused;
    EXPECT_FALSE(Parse({"--device", "FX", "--sensor-number-format", bad}, refused, error)) << bad;
  }
}

// A sensor that never had a serial number still has its own address and calibrations.
TEST(DevsimSensor, NoSerialNumberButItsOwnAddressAndCalibrations) {
  SimOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--device", "FX", "--sensor", "]", "--sensor-set", "sn=", "--sensor-set", "address=5",
                     "--sensor-set", "x4=1 2", "--sensor-set", "xa=3 4", "--sensor-set", "xo=5 6"},
                    options, error))
      << error;
  auto sensor = Sensor(options.passThrough.sensor);
  EXPECT_EQ(Ask(*sensor, "?X#"), "5\r\n");
  EXPECT_EQ(Ask(*sensor, "?I"), "513TESSALY SKY61 140\r\n");
  EXPECT_EQ(Ask(*sensor, "?X4"), "5 1 2\r\n");
  EXPECT_EQ(Ask(*sensor, "?Xa"), "5 3 4\r\n");
  EXPECT_EQ(Ask(*sensor, "?XO"), "5 5 6\r\n");
}

struct PassThrough {
  std::unique_ptr<Device> device;

  explicit PassThrough(const std::string& model, PassThroughSetup setup = {}) {
    DeviceSetup deviceSetup;
    deviceSetup.passThrough = std::move(setup);
    device = MakeDevice(*FindDeviceModel(model), deviceSetup);
  }
  PassThrough(const std::string& model, const DeviceSetup& setup) : device(MakeDevice(*FindDeviceModel(model), setup)) {}

  // What the device sends back for these bytes from the host at 9600 baud.
  std::string Send(const std::string& bytes) {
    for (char byte : bytes) DeviceReceive(*device, static_cast<uint8_t>(byte), 9600, SimClock::now());
    std::string answer;
    for (const Reply& reply : device->outbox) answer += reply.bytes;
    device->outbox.clear();
    return answer;
  }

  nlohmann::json Report() const {
    nlohmann::json report;
    device->firmware->Report(report);
    return report;
  }
};

TEST(DevsimPassThrough, ModeBytesSwitchBetweenCommandLineSdiAndLoaderRelay) {
  PassThrough fx("FX");
  EXPECT_EQ(fx.Send("get -ver\r"), "\rFX 1.30\r>");
  EXPECT_EQ(fx.Send("get -hver\r"), "\rC\r>");
  EXPECT_EQ(fx.Send("get -batt\r"), "\r87\r>");
  EXPECT_EQ(fx.Send("|?I!"), "013TESSALY SKY61 140\r\n") << "SDI-12 commands pass from the command line";
  EXPECT_EQ(fx.Send("?!"), "0\r\n") << "without a break too";
  EXPECT_EQ(fx.Send("|?X4|?!"), "0\r\n") << "a break drops a half-sent command";
  EXPECT_EQ(fx.Send("["), "");
  EXPECT_EQ(fx.Send("get -ver\r"), "") << "the command line is off while relaying SDI-12";
  EXPECT_EQ(fx.Send("|?X9 ]!"), "0OK\r\n") << "inside a command ']' is a character";
  EXPECT_EQ(fx.Send("]\r"), "") << "the sensor's firmware ignores loader traffic";
  EXPECT_EQ(fx.Send("[|?B!]P\r"), "0\r\n#?\r");
  EXPECT_EQ(fx.Send("`get -ver\r"), "\rFX 1.30\r>");
  const nlohmann::json report = fx.Report();
  EXPECT_EQ(report["passThrough"]["modeBytes"], "[][]`");
  EXPECT_EQ(report["passThrough"]["mode"], "command");
  EXPECT_EQ(report["sensor"]["mode"], "loader-attached");
  EXPECT_EQ(report["sensor"]["typeCharacter"], "]");

  PassThrough acd("ACD");
  EXPECT_EQ(acd.Send("get -ver\r"), "\rACD 1.05\r>");
  EXPECT_EQ(acd.Send("get -hver\r"), "ERROR\r>");
  EXPECT_EQ(acd.Send("|?X8!"), "0]\r\n");

  PassThrough calibrator("AQUIN_CAL");
  EXPECT_EQ(calibrator.Send("get -ver\r"), "\rAQUIN_CAL 1.00\r>");
  EXPECT_EQ(calibrator.Send("|?I!"), "") << "no sensor bus";
  EXPECT_TRUE(calibrator.Report().is_null());
}

// A garble at the sdi stages spoils an answer in the chosen style; a nak refuses one write.
TEST(DevsimPassThrough, FaultsAtTheSdiStagesSpoilOrRefuseOneAnswer) {
  const auto all = [](const std::string& text, int lowest, int highest) {
    for (char c : text) {
      const int value = static_cast<unsigned char>(c);
      if (value < lowest || value > highest) return false;
    }
    return true;
  };
  const std::string clean = "0S61-004211\r\n";
  for (const std::string style : {"high", "printable", "line"}) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--device", "FX", "--sensor-garble", style, "--fault", "garble@sdi-get:1"}, options, error))
        << error;
    PassThrough fx("FX", options.passThrough);
    fx.device->faults.rules = options.faults;
    const std::string spoilt = fx.Send("|?X#!");
    ASSERT_EQ(spoilt.size(), clean.size()) << style;
    if (style == "high") {
      EXPECT_TRUE(all(spoilt, 0x80, 0xFF)) << spoilt;
    } else if (style == "printable") {
      EXPECT_TRUE(all(spoilt, 0x20, 0x7E)) << spoilt;
    } else {
      EXPECT_TRUE(all(spoilt.substr(0, spoilt.size() - 2), 0x20, 0x7E)) << spoilt;
      EXPECT_EQ(spoilt.substr(spoilt.size() - 2), "\r\n") << "the line end got through";
    }
    EXPECT_EQ(fx.Send("|?X#!"), clean) << style;
  }
  SimOptions refused;
  std::string error;
  EXPECT_FALSE(Parse({"--device", "FX", "--sensor-garble", "loud"}, refused, error));

  // The third set command of a restore (serial number, address, X5) refused for all five tries.
  PassThrough fx("FX");
  FaultRule rule;
  ASSERT_TRUE(ParseFaultRule("nak@sdi-set:3x5", rule, error)) << error;
  fx.device->faults.rules = {rule};
  EXPECT_EQ(fx.Send("|?X#S61-1!"), "0OK\r\n");
  EXPECT_EQ(fx.Send("|?X#!"), "0S61-1\r\n") << "a read is no set command";
  EXPECT_EQ(fx.Send("|0A0!"), "0\r\n");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(fx.Send("|?X51 2!"), "0ERROR\r\n") << i;
  EXPECT_EQ(fx.Send("|?X4!"), "0 0.0012 1.0034 -0.52 25.0\r\n") << "a refused write stores nothing";
  EXPECT_EQ(fx.Send("|?X51 2!"), "0OK\r\n");
}

TEST(DevsimPassThrough, OptionsChooseTheSensorAndTheFieldrexAnswers) {
  std::vector<std::string> words = {
      "vornbsl-devsim",      "--device",  "FX:1.22",      "--sensor", "K7W:3.99",
      "--sensor-set",        "address=5", "--sensor-set", "sn=K-1",   "--sensor-numeric-type",
      "--hardware-revision", "A",         "--battery",    "9"};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  SimOptions options;
  std::string error;
  ASSERT_TRUE(ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
  DeviceSetup setup;
  setup.firmwareVersion = options.firmwareVersion;
  setup.passThrough = options.passThrough;
  std::unique_ptr<Device> device = MakeDevice(*FindDeviceModel(options.model), setup);
  PassThrough fx("FX");
  fx.device = std::move(device);
  EXPECT_EQ(fx.Send("get -ver\r"), "\rFX 1.22\r>");
  EXPECT_EQ(fx.Send("get -hver\r"), "\rA\r>");
  EXPECT_EQ(fx.Send("get -batt\r"), "\r9\r>");
  EXPECT_EQ(fx.Send("|?I!"), "513TESSALY K7W   399\r\n");
  EXPECT_EQ(fx.Send("|?X8!"), "5122\r\n");
  EXPECT_EQ(fx.Send("|?X#!"), "5K-1\r\n");

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--sensor", "]"},  // the default TGX has no bus
                                             {"--device", "FX", "--sensor", "Q"},
                                             {"--device", "FX", "--sensor-set", "colour=red"},
                                             {"--device", "FX", "--sensor-set", "address=!"},
                                             {"--device", "FX", "--battery", "101"},
                                             {"--device", "FX", "--hardware-revision", "AB"}}) {
    std::vector<std::string> line = {"vornbsl-devsim"};
    line.insert(line.end(), bad.begin(), bad.end());
    std::vector<char*> args;
    for (std::string& word : line) args.push_back(word.data());
    SimOptions refused;
    std::string message;
    EXPECT_FALSE(ParseSimOptions(static_cast<int>(args.size()), args.data(), refused, message)) << bad[1];
    EXPECT_FALSE(message.empty());
  }
}

// Sensors of one type on a bench, each behind its own pass-through device as unit N: their serial
// numbers, addresses and calibrations differ; without --unit the sensor is the one it always was;
// --sensor-set still wins.
TEST(DevsimPassThrough, UnitsOfOneSensorTypeDifferAndTheirSettingsStillWin) {
  const auto sensorOf = [](const std::vector<std::string>& words) {
    SimOptions options;
    std::string error;
    EXPECT_TRUE(Parse(words, options, error)) << error;
    DeviceSetup setup;
    setup.unit = options.unit;
    setup.passThrough = options.passThrough;
    return PassThrough(options.model, setup).Report()["sensor"];
  };
  for (const std::string type : {"]", "z", "u"}) {
    const nlohmann::json field = sensorOf({"--device", "ACD", "--sensor", type});
    const nlohmann::json one = sensorOf({"--device", "ACD", "--sensor", type, "--unit", "1"});
    const nlohmann::json two = sensorOf({"--unit", "2", "--device", "ACD", "--sensor", type});
    EXPECT_EQ(field["address"], "0") << type;
    EXPECT_EQ(field["serialNumber"], FindSensorKind(type)->serialNumber) << type;
    EXPECT_EQ(field["calibrationX4"], FindSensorKind(type)->x4) << type;
    EXPECT_EQ(one["address"], "1") << type;
    for (const char* key : {"serialNumber", "address", "calibrationX4"}) {
      EXPECT_NE(one[key], two[key]) << type << " " << key;
      EXPECT_NE(one[key], field[key]) << type << " " << key;
    }
    if (FindSensorKind(type)->hasXa) {
      EXPECT_NE(one["calibrationXa"], two["calibrationXa"]) << type;
    }
  }
  const nlohmann::json chosen =
      sensorOf({"--device", "FX", "--sensor-set", "sn=S61-1", "--unit", "2", "--sensor-set", "x4=1 2"});
  EXPECT_EQ(chosen["serialNumber"], "S61-1");
  EXPECT_EQ(chosen["calibrationX4"], "1 2");
  EXPECT_EQ(chosen["address"], "2") << "what no option names is the unit's";

  DeviceSetup setup;
  setup.unit = 2;
  PassThrough fx("FX", setup);
  EXPECT_EQ(fx.Send("|?!"), "2\r\n") << "the unit's sensor answers at its own address";
  EXPECT_EQ(fx.Send("|2X#!"), "2S61-005213\r\n");
  EXPECT_EQ(fx.Send("get -sn\r"), "\rFX0002236\r>") << "the pass-through device is unit 2 too";
}

}  // namespace
