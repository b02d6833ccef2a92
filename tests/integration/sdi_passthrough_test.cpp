// The SDI-12 link through the simulated pass-through devices over a pseudo-terminal: the
// command link connects to the Fieldrex or the AQUIN Comm Device, the sensor link reads and
// writes the sensor behind it, and the loader engine reaches the sensor's loader through the
// same open port, in the byte order of a digital-sensor update.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bsl/builtin_image.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "devsim_process.h"
#include "logger/device_link.h"
#include "sdi12/sdi_sensor.h"
#include "test_folder.h"

namespace {

using nlohmann::json;

constexpr uint32_t kNewVersion = 150;
constexpr uint8_t kClassCalibrator = 9;
constexpr uint32_t kEngineTries = 3;
constexpr const char* kX4Factory = "0.0012 1.0034 -0.52 25.0";  // the simulated SKYRA 61's

uint32_t Crc32(uint32_t crc, const std::vector<uint8_t>& data) {
  crc = ~crc;
  for (uint8_t byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

struct Segment {
  uint32_t address;
  std::vector<uint8_t> bytes;
};

// A SKYRA 61 release for layout C: two segments led by the identity block the simulated
// sensor checks when it starts, and a vector table whose reset vector points into the first.
std::vector<Segment> SensorRelease(uint32_t version) {
  std::vector<Segment> segments = {{0x8000, std::vector<uint8_t>(0x400)}, {0x10000, std::vector<uint8_t>(0x400)}};
  for (Segment& segment : segments) {
    for (size_t i = 0; i < segment.bytes.size(); ++i) segment.bytes[i] = static_cast<uint8_t>(i * 13 + segment.address);
  }
  std::vector<uint8_t> block = {'V', 'O', 'R', 'N', 'I', 'M', 'G', 0, 'S', 'K', 'Y', 'R', 'A', '6', '1', 0};
  Put(block, version, 2);
  Put(block, 0, 2);
  Put(block, 0, 4);  // the CRC, filled in below
  Put(block, static_cast<uint32_t>(segments.size()), 2);
  Put(block, 0, 2);
  for (const Segment& segment : segments) {
    Put(block, segment.address, 4);
    Put(block, static_cast<uint32_t>(segment.bytes.size()), 4);
  }
  std::copy(block.begin(), block.end(), segments[0].bytes.begin());
  uint32_t crc = 0;
  for (const Segment& segment : segments) crc = Crc32(crc, segment.bytes);
  for (int i = 0; i < 4; ++i) segments[0].bytes[20 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
  std::vector<uint8_t> vectors;
  for (int i = 0; i < 16; ++i) Put(vectors, 0x8040, 2);
  segments.push_back({0xFFE0, vectors});
  return segments;
}

void WriteTiText(const std::filesystem::path& path, const std::vector<Segment>& segments) {
  std::ofstream out(path, std::ios::binary);
  for (const Segment& segment : segments) {
    char line[16];
    std::snprintf(line, sizeof line, "@%X\n", segment.address);
    out << line;
    for (size_t i = 0; i < segment.bytes.size(); ++i) {
      std::snprintf(line, sizeof line, "%02X%c", segment.bytes[i], i % 16 == 15 ? '\n' : ' ');
      out << line;
    }
  }
  out << "q\n";
}

class SdiPassThrough : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_sdi_pass_");
    log_ = CreateMessageLog((dir_ / "errors.txt").string(), kLogBytes, true);
    link_ = std::make_unique<DeviceLink>(&log_);
    sensor_ = std::make_unique<SDISensor>(&log_, link_.get());
  }

  void TearDown() override {
    sensor_.reset();
    link_.reset();
    std::filesystem::remove_all(dir_);
  }

  int Connect(const DevsimProcess& sim) {
    ConnectParams params;
    params.portName = sim.ptyPath;
    params.connectionType = kConnectionSerial;
    params.baudIndex = kBaudIndex9600;
    return ConnectDevice(*link_, &params);
  }

  // A mode byte for the pass-through device.
  void Mode(char byte) { ASSERT_GT(VSWriteText(link_->port, std::string(1, byte)), 0); }

  std::string LogText() const {
    std::ifstream in(log_.fileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;
  MessageLog log_;
  std::unique_ptr<DeviceLink> link_;
  std::unique_ptr<SDISensor> sensor_;
};

TEST_F(SdiPassThrough, FieldrexReadsAndWritesASkyra61AndStartsItsLoader) {
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40"});
  ASSERT_EQ(Connect(sim), 1);
  EXPECT_EQ(link_->settings.deviceClass, kClassFieldrex);
  EXPECT_EQ(link_->settings.versionNumber, 130);
  std::string answer;
  ASSERT_GT(DeviceCommand(*link_, "get -hver\r", '>', 1500, &answer, 32, nullptr), 0);
  EXPECT_EQ(answer, "\rC\r>");

  ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->identity, "TESSALY SKY61 140");
  EXPECT_EQ(sensor_->version, 140u);
  EXPECT_EQ(sensor_->address, '0');
  EXPECT_EQ(sensor_->sensorType, kSensorSkyra61);
  EXPECT_EQ(sensor_->serialNumber, "S61-004211");
  EXPECT_EQ(sensor_->calibrationX4, "0.0012 1.0034 -0.52 25.0");
  EXPECT_EQ(sensor_->calibrationXa, "1 1.02 0.98 1.00 1.01");
  EXPECT_TRUE(sensor_->xoPresent);
  EXPECT_EQ(sensor_->calibrationXO, "0 0 0.25 0.5");

  sensor_->serialNumber = "S61-777";
  sensor_->calibrationXa = "2 2.5";
  sensor_->calibrationXO = "0 1";
  const std::string x4 = "0.5 1.5";
  EXPECT_EQ(SDISetSensorSN(*sensor_), kSDIOk);
  EXPECT_EQ(SDISetSensorCalibration(*sensor_, &x4), kSDIOk);
  EXPECT_EQ(SDISetSensorAddress(*sensor_, '4'), kSDIOk);
  EXPECT_EQ(SDISetSensorType(*sensor_, kSensorHb7), kSDIOk);
  EXPECT_EQ(SDIGetSensorType(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->sensorType, kSensorHb7);
  EXPECT_EQ(SDISetSensorType(*sensor_, kSensorSkyra61), kSDIOk) << "a ']' inside a command is no mode byte";

  SDISensor readBack(&log_, link_.get());
  ASSERT_EQ(SDIGetSensorInfo(readBack), kSDIOk);
  EXPECT_EQ(readBack.address, '4');
  EXPECT_EQ(readBack.serialNumber, "S61-777");
  EXPECT_EQ(readBack.calibrationX4, "0.5 1.5");
  EXPECT_EQ(readBack.calibrationXa, "2 2.5");
  EXPECT_EQ(readBack.calibrationXO, "0 1");
  EXPECT_EQ(readBack.sensorType, kSensorSkyra61);

  ASSERT_EQ(SDIInvokeVornBSL(*sensor_), kSDIOk);
  HostBSL engine(&log_, BuiltInFirmware());
  ASSERT_EQ(BSLHandOff(engine, link_->port.handle, link_->port.readBuffer, link_->port.portName, false, kEngineTries),
            1);
  EXPECT_EQ(BSLAttach(engine), 1);
  EXPECT_NE(LogText().find("BSLAttach found the VornBSL already active"), std::string::npos)
      << "the 'P' after \"?B!\" attached the sensor's loader";
  std::string reply;
  EXPECT_GT(BSLCommand(engine, 'g', "", 0, '\r', &reply, nullptr), 0);
  EXPECT_EQ(reply, "+110+\r") << "the sensor's loader reports its version";
  BSLHandBack(engine);

  const json report = sim.Stop();
  const json& s = report["sensor"];
  EXPECT_EQ(s["address"], "4");
  EXPECT_EQ(s["serialNumber"], "S61-777");
  EXPECT_EQ(s["calibrationX4"], "0.5 1.5");
  EXPECT_EQ(s["calibrationXa"], "2 2.5");
  EXPECT_EQ(s["calibrationXO"], "0 1");
  EXPECT_EQ(s["type"], kSensorSkyra61);
  EXPECT_EQ(s["mode"], "loader-attached");
  EXPECT_EQ(s["frames"], json({{"g", 1}}));
  EXPECT_EQ(report["passThrough"]["modeBytes"], "]");
  EXPECT_EQ(report["mode"], "firmware") << "the Fieldrex itself stays in its firmware";
}

TEST_F(SdiPassThrough, ASensorUpdateThroughTheFieldrexKeepsItsSettings) {
  const std::filesystem::path image = dir_ / "SKYRA61 1-50.txt";
  WriteTiText(image, SensorRelease(kNewVersion));
  DevsimProcess sim({"--device", "FX", "--sensor", "SKYRA61:1.40", "--sensor-set", "address=2", "--sensor-set",
                     "sn=S61-0815", "--image", image.string()});
  DeviceProfile profile;
  FillProfile(kDeviceTypeDigitalSensor, kVersionNotAsked, profile);
  ASSERT_EQ(profile.flashStart, 0x8000u);
  ASSERT_EQ(profile.flashEnd, 0x88000u);
  HostBSL engine(&log_, BuiltInFirmware());
  ASSERT_GT(BSLLoadTIFile(engine, image.string()), 0);

  ASSERT_EQ(Connect(sim), 1);
  ASSERT_EQ(BSLHandOff(engine, link_->port.handle, link_->port.readBuffer, link_->port.portName, false, kEngineTries),
            1);
  Mode(']');
  EXPECT_EQ(BSLCheck(engine, link_->port.portName, profile.loaderBaud), kBslNotConnected)
      << "the sensor runs its firmware: no loader answers";
  Mode('[');
  ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->address, '2');
  ASSERT_EQ(SDIInvokeVornBSL(*sensor_), kSDIOk);
  ASSERT_EQ(BSLAttach(engine), 1);
  ASSERT_GT(BSLEraseINFO(engine, profile.infoStart, profile.infoSegments, profile.infoSegmentSize, profile.twentyBit),
            0);
  ASSERT_GT(BSLEraseFlash(engine, profile.flashStart, profile.flashEnd, profile.twentyBit), 0);
  ASSERT_GT(BSLSendFirmware(engine, profile.twentyBit), 0);
  ASSERT_GT(BSLSendVectors(engine), 0);
  BSLHandBack(engine);
  Mode('[');
  EXPECT_EQ(SDICheckBinary(*sensor_), kSDIOk);

  SDISensor fresh(&log_, link_.get());
  EXPECT_EQ(SDIGetSensorVersion(fresh), static_cast<int>(kNewVersion));
  EXPECT_EQ(fresh.address, '0') << "the new firmware starts with its defaults";
  ASSERT_EQ(SDISetSensorInfo(*sensor_), kSDIOk);
  EXPECT_EQ(SDISetSensorType(*sensor_, kSensorSkyra61), kSDIOk);
  Mode('`');

  const json report = sim.Stop();
  const json& s = report["sensor"];
  EXPECT_TRUE(s["imageMatches"].get<bool>());
  EXPECT_TRUE(s["firmware"]["intact"].get<bool>());
  EXPECT_EQ(s["version"], kNewVersion);
  EXPECT_TRUE(s["updateFinished"].get<bool>());
  EXPECT_EQ(s["mode"], "firmware");
  EXPECT_EQ(s["address"], "2");
  EXPECT_EQ(s["serialNumber"], "S61-0815");
  EXPECT_EQ(s["calibrationX4"], "0.0012 1.0034 -0.52 25.0");
  EXPECT_EQ(s["calibrationXa"], "1 1.02 0.98 1.00 1.01");
  EXPECT_EQ(s["calibrationXO"], "0 0 0.25 0.5");
  EXPECT_EQ(report["passThrough"]["modeBytes"], "][][`");
  EXPECT_EQ(report["passThrough"]["mode"], "command");
  EXPECT_TRUE(report["faults"].empty()) << report["faults"];
}

TEST_F(SdiPassThrough, CommDeviceCarriesAK7WWithItsFirmwareGenerationsDefaults) {
  DevsimProcess sim({"--device", "ACD", "--sensor", "z:3.60"});
  ASSERT_EQ(Connect(sim), 1);
  EXPECT_EQ(link_->settings.deviceClass, kClassCommDevice);
  ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->sensorType, kSensorK7W);
  EXPECT_EQ(sensor_->version, 360u);
  EXPECT_EQ(sensor_->calibrationX4, "0.98 +0 1.02 +0 0.5 +0");
  EXPECT_EQ(sensor_->calibrationXa, "1 1.39619 2.03054 2.54573 2.9907");
  ASSERT_EQ(SDISetSensorInfo(*sensor_), kSDIOk);

  const json report = sim.Stop();
  EXPECT_EQ(report["sensor"]["calibrationX4"], "0.98 +0 1.02 +0 0.5 +0");
  EXPECT_EQ(report["sensor"]["calibrationXa"], "1 1.39619 2.03054 2.54573 2.9907");
  EXPECT_EQ(report["sensor"]["serialNumber"], "K7W-118734");
  EXPECT_EQ(report["sensor"]["layout"], "MSP16");
}

// A sensor that rounds what it stores answers each restore write "OK" and shows the value at its
// own precision: one write each, the restore succeeds.
TEST_F(SdiPassThrough, ASensorThatRoundsTakesEachRestoreWriteOnce) {
  struct Case {
    std::string format;
    std::string x4;  // what the sensor then holds
  };
  for (const Case& c : {Case{"rounded:2", "+0.98 +1.50"}, Case{"exponent", "9.810e-01 1.500e+00"}}) {
    DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-number-format", c.format});
    ASSERT_EQ(Connect(sim), 1);
    ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk) << c.format;
    sensor_->calibrationX4 = "0.981 1.5";  // as a settings file from another sensor's firmware holds them
    sensor_->calibrationXa = "1 1.39619 2.03054 2.54573 2.9907";
    sensor_->calibrationXO = "0 0.125";
    EXPECT_EQ(SDISetSensorInfo(*sensor_), kSDIOk) << c.format;
    const json report = sim.Stop();
    EXPECT_EQ(report["sensor"]["calibrationX4"], c.x4);
    int writes = 0;
    for (const json& command : report["sensor"]["commands"]) {
      const std::string text = command.get<std::string>();
      const bool write = text.size() > 3 && (text.rfind("?X5", 0) == 0 || text.rfind("?Xb", 0) == 0 ||
                                             text.rfind("?XO", 0) == 0);
      writes += write ? 1 : 0;
    }
    EXPECT_EQ(writes, 3) << c.format << ": one write each";
    DisconnectDevice(*link_);
  }
}

// A command answered only on a later attempt is answered; noise on the bus is told by its frame
// and the shape of the value, and a serial number of unusual characters is the sensor's own.
TEST_F(SdiPassThrough, LateAnswersCountAndNoiseIsNotKept) {
  sensor_->timeoutMs = 300;
  {
    DevsimProcess sim({"--device", "FX", "--sensor-late", "I:3", "--sensor-late", "post:3"});
    ASSERT_EQ(Connect(sim), 1);
    EXPECT_EQ(SDIGetSensorVersion(*sensor_), 140);
    EXPECT_EQ(SDICheckBinary(*sensor_), kSDIOk);
    const json report = sim.Stop();
    EXPECT_EQ(report["sensor"]["commands"], json({"?I", "?", "?I", "?", "?I", "?post", "?", "?post", "?", "?post"}));
  }
  DisconnectDevice(*link_);
  const std::string serial = "S/N 61#4211 (b)";
  // "?I" "?X8" "?X#" (spoilt) "?" "?X#" "?" "?X4" (spoilt) "?" "?X4" ...
  DevsimProcess sim({"--device", "FX", "--sensor-set", "sn=" + serial, "--sensor-garble", "line", "--fault",
                     "garble@sdi-get:3", "--fault", "garble@sdi-get:7"});
  ASSERT_EQ(Connect(sim), 1);
  ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->serialNumber, serial);
  EXPECT_EQ(sensor_->calibrationX4, kX4Factory);
  EXPECT_NE(LogText().find("SDISendCommand received line noise for \"?X#!\""), std::string::npos);
  EXPECT_NE(LogText().find("SDISendCommand received line noise for \"?X4!\""), std::string::npos);
  EXPECT_EQ(SDISetSensorInfo(*sensor_), kSDIOk);
  const json report = sim.Stop();
  EXPECT_EQ(report["sensor"]["serialNumber"], serial);
  EXPECT_EQ(report["injected"].size(), 2u);
}

// A sensor that refuses one calibration write gets the others, and the restore says it refused.
TEST_F(SdiPassThrough, ARefusedCalibrationWriteLeavesTheOthersWritten) {
  // Set commands: the serial number, the address, then X5 for every try.
  DevsimProcess sim({"--device", "FX", "--fault", "nak@sdi-set:3x5"});
  ASSERT_EQ(Connect(sim), 1);
  ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk);
  sensor_->calibrationX4 = "0.5 1.5";
  sensor_->calibrationXa = "2 2.5";
  const int result = SDISetSensorInfo(*sensor_);
  EXPECT_EQ(result, kSDIErrorAnswer);
  EXPECT_TRUE(SDIAnswered(result));
  const json report = sim.Stop();
  EXPECT_EQ(report["sensor"]["calibrationX4"], kX4Factory) << "refused";
  EXPECT_EQ(report["sensor"]["calibrationXa"], "2 2.5");
  EXPECT_EQ(report["sensor"]["serialNumber"], "S61-004211");
}

TEST_F(SdiPassThrough, SilentSensorsAndWrongPassThroughDevices) {
  sensor_->timeoutMs = 300;
  {
    DevsimProcess sim({"--device", "FX", "--sensor", "none"});
    ASSERT_EQ(Connect(sim), 1);
    EXPECT_EQ(SDIGetSensorVersion(*sensor_), kSDIBusSilent);
    const json report = sim.Stop();
    EXPECT_TRUE(report["sensor"].is_null());
    EXPECT_EQ(report["passThrough"]["sdiCommands"], 2) << "the command and one probe";
  }
  DisconnectDevice(*link_);
  {
    DevsimProcess sim({"--device", "FX", "--fault", "silence@sdi:1"});
    ASSERT_EQ(Connect(sim), 1);
    EXPECT_EQ(SDIGetSensorVersion(*sensor_), 140) << "answered after the probe";
    const json report = sim.Stop();
    EXPECT_EQ(report["sensor"]["commands"], json({"?", "?I"}));
    EXPECT_EQ(report["injected"].size(), 1u);
  }
  DisconnectDevice(*link_);
  {
    DevsimProcess sim({"--device", "AQUIN_CAL"});
    ASSERT_EQ(Connect(sim), 1);
    EXPECT_EQ(link_->settings.deviceClass, kClassCalibrator) << "a device without a sensor bus";
    EXPECT_EQ(SDIGetSensorVersion(*sensor_), kSDIBusSilent);
    sim.Stop();
  }
  DisconnectDevice(*link_);
  {
    DevsimProcess sim({"--device", "FX:1.22", "--hardware-revision", "A", "--battery", "9"});
    ASSERT_EQ(Connect(sim), 1);
    EXPECT_EQ(link_->settings.versionNumber, 122);
    std::string answer;
    ASSERT_GT(DeviceCommand(*link_, "get -hver\r", '>', 1500, &answer, 32, nullptr), 0);
    EXPECT_EQ(answer, "\rA\r>");
    ASSERT_GT(DeviceCommand(*link_, "get -batt\r", '>', 2000, &answer, 32, nullptr), 0);
    EXPECT_EQ(answer, "\r9\r>");
    sim.Stop();
  }
}

}  // namespace
