// Settings carried across an update, family by family, against simulated
// devices over a pseudo-terminal: capture a device into the settings file,
// check the file line by line, start the device again with its factory
// settings, restore from the file with a fresh link, and find every setting
// back on the device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "devsim_process.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"
#include "sdi12/sdi_sensor.h"
#include "test_folder.h"

namespace {

using nlohmann::json;

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_roundtrip_");
    log_ = CreateMessageLog((dir_ / "errors.txt").string(), kLogProtocol, true);
    file_ = (dir_ / "device.settings.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A link as the updater makes it; its pauses take no time against the simulator.
  std::unique_ptr<InstrumentLink> NewLink() {
    auto link = std::make_unique<InstrumentLink>(&log_);
    link->device.hooks.sleep = [](int) {};
    return link;
  }

  // Connects (and logs in where the device needs it), as the update sequence does.
  void Connect(InstrumentLink& link, const DevsimProcess& sim) {
    DeviceProfile profile;
    ASSERT_EQ(VPConnect(link, sim.ptyPath, kVPBaudIndex9600, kVPConnectTries, &profile), 1) << Log();
    if (profile.login) {
      ASSERT_EQ(VPLogin(link), 1) << Log();
    }
  }

  // The device's values as it started, after capturing them into the file.
  json Capture(const std::vector<std::string>& arguments, int expected = 1) {
    DevsimProcess sim(arguments);
    auto link = NewLink();
    Connect(*link, sim);
    EXPECT_EQ(VPSaveInfo(*link, file_), expected) << Log();
    VPDisconnect(*link, true);
    return sim.Stop();
  }

  // The device's values after a restore from the file into a device started with these arguments.
  json RestoreInto(const std::vector<std::string>& arguments, const std::string* newSerialNumber = nullptr) {
    DevsimProcess sim(arguments);
    auto link = NewLink();
    Connect(*link, sim);
    EXPECT_EQ(VPRestoreInfo(*link, file_, newSerialNumber), 1) << Log();
    VPDisconnect(*link, true);
    return sim.Stop();
  }

  // The device's values after a restore from the file into its factory settings.
  json Restore(std::vector<std::string> arguments, const std::string* newSerialNumber = nullptr) {
    arguments.push_back("--factory-reset");
    return RestoreInto(arguments, newSerialNumber);
  }

  std::string File() const { return Read(file_); }
  std::string Log() const { return Read(log_.fileName); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;
  MessageLog log_;
  std::string file_;
};

std::string Line(const std::string& key, const std::string& value) { return key + "=\"" + value + "\"\r\n"; }

std::string Text(const json& values, const char* key) { return values.at(key).get<std::string>(); }

// The instrument layout: the 24 lines every instrument file has, with the values given (the
// rest empty or 0), the lines of values the 24 have no place for, then the record lines.
std::string InstrumentFile(const std::string& tag, std::map<std::string, std::string> v, const json& users,
                           const json& eqns, const std::string& extraLines = "") {
  for (const char* number : {"lang", "contr", "units", "tau"}) {
    if (!v.contains(number)) v[number] = "0";
  }
  std::string text(kSettingsFileHeader);
  text += Line("type", tag);
  for (const char* key : {"name", "sn", "lang", "VornBuild", "contr", "config", "fvals", "uvals", "units", "adc",
                          "adccal", "calprefs", "FXUnits", "sample", "usage", "adc15", "adc30", "location", "chai",
                          "extCal", "tadj", "tau", "hadj"}) {
    text += Line(key, v[key]);
  }
  text += extraLines;
  const auto number = [](size_t i) { return std::string(i < 10 ? "0" : "") + std::to_string(i); };
  for (size_t i = 0; i < users.size(); ++i) text += Line("user" + number(i), users[i].get<std::string>());
  for (size_t i = 0; i < eqns.size(); ++i) text += Line("eqn" + number(i), eqns[i].get<std::string>());
  return text;
}

TEST_F(RoundTrip, TgxSettingsAndUserRecords) {
  const json captured = Capture({"--device", "TGX:1.40"});
  const json& field = captured["settings"]["before"];
  ASSERT_FALSE(field["user"].empty()) << "the field TGX holds user records";
  EXPECT_NE(field, captured["settings"]["factory"]);
  EXPECT_EQ(File(), InstrumentFile("TGX",
                                   {{"sn", Text(field, "sn")},
                                    {"config", Text(field, "config")},
                                    {"fvals", Text(field, "p")},
                                    {"uvals", Text(field, "pv")},
                                    {"calprefs", Text(field, "c76")},
                                    {"tadj", Text(field, "tadj")}},
                                   field["user"], json::array()));

  const json restored = Restore({"--device", "TGX:1.40"});
  EXPECT_EQ(restored["settings"]["before"], captured["settings"]["factory"]) << "it started from the factory";
  EXPECT_EQ(restored["settings"]["current"], field);
}

TEST_F(RoundTrip, TgxWithANewSerialNumber) {
  const json captured = Capture({"--device", "TGX:1.40"});
  const std::string serial = "TGX-099001";
  json expected = captured["settings"]["before"];
  expected["sn"] = serial;
  EXPECT_EQ(Restore({"--device", "TGX:1.40"}, &serial)["settings"]["current"], expected);
}

TEST_F(RoundTrip, M2SettingsRecordsAndEquations) {
  const json captured = Capture({"--device", "MQ2:2.10"});
  const json& field = captured["settings"]["before"];
  ASSERT_EQ(field["sensor"], "3") << "the M2 measures with a sensor type of its own";
  EXPECT_EQ(captured["instrument"]["sensorType"], "0") << "the capture sets the sensor type to 0";
  EXPECT_EQ(File(), InstrumentFile("MQ2",
                                   {{"sn", Text(field, "sn")},
                                    {"config", Text(field, "config")},
                                    {"uvals", Text(field, "pvuser")},
                                    {"tadj", Text(field, "tadj")},
                                    {"tau", Text(field, "tau")},
                                    {"hadj", Text(field, "hadj")}},
                                   field["user"], field["eqn"], Line("sensor", "3")));

  const json restored = Restore({"--device", "MQ2:2.10"});
  EXPECT_EQ(restored["settings"]["current"], field) << "its own sensor type too";
  EXPECT_TRUE(restored["instrument"]["configMatchesSerial"].get<bool>());
}

// Users type text with any characters into their instruments; a garbled answer on the way is
// told from such a value by its shape alone.
TEST_F(RoundTrip, TgxValuesOfAnyBytesTravelWholeAndNoiseIsNotKept) {
  const std::string serial = "M\xC3\xBCller-\xB0" "1";
  const std::string tadj = "Bodenfeuchte 2 m \xB0\xFF\x80";
  const json captured = Capture({"--device", "TGX:1.40", "--setting", "sn=" + serial, "--setting", "tadj=" + tadj,
                                 "--fault", "garble@get:1"});
  const json& field = captured["settings"]["before"];
  ASSERT_EQ(ReportBytes(field["sn"]), serial);
  ASSERT_FALSE(captured["injected"].empty()) << "the serial number's first answer was garbled";
  EXPECT_NE(File().find("\r\nsn=\"" + serial + "\"\r\n"), std::string::npos) << "written byte for byte";
  EXPECT_NE(File().find("\r\ntadj=\"" + tadj + "\"\r\n"), std::string::npos);

  const json restored = Restore({"--device", "TGX:1.40"});
  EXPECT_EQ(ReportBytes(restored["settings"]["current"]["sn"]), serial);
  EXPECT_EQ(ReportBytes(restored["settings"]["current"]["tadj"]), tadj);
  EXPECT_EQ(restored["settings"]["current"], field);
}

// A restore ends as soon as the device stops answering, and says so: the user records came
// last, and a restore that had lost them all used to report success.
TEST_F(RoundTrip, ATgxThatFallsSilentAtItsRecordsEndsTheRestoreWithNoAnswer) {
  Capture({"--device", "TGX:1.40"});
  // Lines 1-8 are the identification and the writes up to "reset -users"; the first record goes unanswered.
  DevsimProcess sim({"--device", "TGX:1.40", "--factory-reset", "--fault", "silence@command:9x100"});
  auto link = NewLink();
  Connect(*link, sim);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(VPRestoreInfo(*link, file_, nullptr), -21) << Log();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12)) << "no record after the silent one";
  VPDisconnect(*link, false);
  const json report = sim.Stop();
  EXPECT_TRUE(report["settings"]["current"]["user"].empty());
}

TEST_F(RoundTrip, M2WithANewSerialNumberMovesItsConfigChecksum) {
  const json captured = Capture({"--device", "MQ2:2.10", "--setting", "sn=AA", "--setting", "config=1000"});
  const std::string serial = "AB";
  const json restored = Restore({"--device", "MQ2:2.10"}, &serial);
  json expected = captured["settings"]["before"];
  expected["sn"] = "AB";
  expected["config"] = "1001";
  EXPECT_EQ(restored["settings"]["current"], expected);

  const json real = Capture({"--device", "MQ2:2.10"});
  const std::string other = "M2-20001";
  const json moved = Restore({"--device", "MQ2:2.10"}, &other);
  EXPECT_EQ(moved["settings"]["current"]["sn"], other);
  EXPECT_TRUE(moved["instrument"]["configMatchesSerial"].get<bool>()) << moved["settings"]["current"].dump();
}

TEST_F(RoundTrip, Lx40FromVersion2) {
  const json captured = Capture({"--device", "LX40:2.10"});
  const json& field = captured["settings"]["before"];
  EXPECT_EQ(File(), InstrumentFile("LX40",
                                   {{"sn", Text(field, "sn")},
                                    {"contr", Text(field, "contr")},
                                    {"config", Text(field, "config")},
                                    {"adccal", Text(field, "adccal")},
                                    {"location", Text(field, "loc")},
                                    {"chai", Text(field, "x")},
                                    {"extCal", Text(field, "ext")}},
                                   json::array(), json::array()));
  EXPECT_EQ(Restore({"--device", "LX40:2.10"})["settings"]["current"], field);
}

std::string Numbers(const json& values) {
  std::string text;
  for (const json& value : values) text += (text.empty() ? "" : " ") + std::to_string(value.get<int>());
  return text;
}

std::string Real(const json& value) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.5f", value.get<double>());
  return text;
}

TEST_F(RoundTrip, Lg20LoggerWithItsCellularModem) {
  const std::vector<std::string> device = {"--device", "LG20", "--cellular"};
  json captured;
  uint32_t capturedMask = 0;
  {
    DevsimProcess sim(device);
    auto link = NewLink();
    Connect(*link, sim);
    // Settings a user changed in the field, so the restore has something to show.
    for (const char* line : {"set -i RIVER2\r", "set -site Pier 7\r", "set -w 90\r", "set -lat +47.25000\r",
                             "set -depth 15 25 35 45 55\r", "set -data 5\r", "set -ports 2 3 4 5 6\r",
                             "set -apn apn.changed\r", "set -tz -28\r"}) {
      std::string answer;
      ASSERT_GE(DeviceCommand(link->device, line, '>', 2000, &answer, 32, nullptr), 0) << line;
      ASSERT_NE(answer.find("OK"), std::string::npos) << line;
    }
    EXPECT_EQ(VPSaveInfo(*link, file_), kVPPartial) << "a logger without a radio has no radio settings to give";
    capturedMask = link->savedMask;
    VPDisconnect(*link, true);
    captured = sim.Stop();
  }
  const json& s = captured["settings"]["current"];
  ASSERT_EQ(s["site"], "Pier 7");
  std::string expected(kSettingsFileHeader);
  expected += Line("type", "Lg20") + Line("deviceid", Text(s, "deviceid")) + Line("name", "RIVER2") +
              Line("sn", Text(s, "sn")) + Line("trait", std::to_string(0x4000 | s["trait"].get<int>())) +
              Line("wake", "90") + Line("padc", std::to_string(s["padc"].get<int>())) +
              Line("ports", "2 3 4 5 6") + Line("depth", "15 25 35 45 55") +
              Line("ADC15 slopes", Numbers(s["ADC15 slopes"])) + Line("ADC15 offsets", Numbers(s["ADC15 offsets"])) +
              Line("ADC30 slopes", Numbers(s["ADC30 slopes"])) + Line("ADC30 offsets", Numbers(s["ADC30 offsets"])) +
              Line("rmode", std::to_string(s["rmode"].get<int>())) + Line("rch", "0") + Line("rsch", "0") +
              Line("data", "5") + Line("site", "Pier 7") + Line("lat", "+47.25000") + Line("lon", Real(s["lon"])) +
              Line("timezone", "-28") + Line("report", std::to_string(s["report"].get<int>())) +
              Line("apn", "apn.changed") + Line("user", Text(s, "user")) + Line("passwd", Text(s, "passwd")) +
              Line("host", Text(s, "host")) + Line("authkey", Text(s, "authkey")) +
              Line("ipport", std::to_string(s["ipport"].get<int>())) + Line("captured", std::to_string(capturedMask));
  EXPECT_EQ(File(), expected);

  const json restored = RestoreInto(device);
  EXPECT_NE(restored["settings"]["before"], s) << "it started from its factory settings";
  EXPECT_EQ(restored["settings"]["current"], s);

  const std::string serial = "LG20-999";
  EXPECT_EQ(RestoreInto(device, &serial)["settings"]["current"], s) << "a logger with a device ID keeps its serial number";
}

// Without a modem the logger refuses the cellular commands; a restore from the file must not
// send them (its "ipport" line made every such restore end in -35). Its site keeps any bytes.
TEST_F(RoundTrip, Lg20WithoutAModemAndASiteOfAnyBytes) {
  const std::vector<std::string> device = {"--device", "LG20"};
  const std::string site = "Br\xFC" "cke 7 \xB0N \xC3\xA9";
  json captured;
  {
    DevsimProcess sim(device);
    auto link = NewLink();
    Connect(*link, sim);
    std::string answer;
    ASSERT_GE(DeviceCommand(link->device, "set -site " + site + "\r", '>', 2000, &answer, 32, nullptr), 0);
    EXPECT_EQ(VPSaveInfo(*link, file_), kVPPartial) << "no radio and no modem to read";
    EXPECT_EQ(link->settings.site, site.substr(0, 25));
    // The same run puts back what it captured, and nothing for the modem.
    EXPECT_EQ(VPRestoreInfo(*link, file_, nullptr), 1) << Log();
    VPDisconnect(*link, true);
    captured = sim.Stop();
  }
  ASSERT_EQ(ReportBytes(captured["settings"]["current"]["site"]), site);
  EXPECT_NE(File().find("\r\nsite=\"" + site + "\"\r\n"), std::string::npos);

  const json restored = RestoreInto(device);
  EXPECT_EQ(ReportBytes(restored["settings"]["current"]["site"]), site.substr(0, 25)) << "a site is read as 25 bytes";
  for (const json& commands : {captured["commands"], restored["commands"]}) {
    for (const json& line : commands) {
      for (const char* cellular : {"-apn", "-user", "-passwd", "-host", "-authkey", "-ipport"}) {
        EXPECT_EQ(line.get<std::string>().find(cellular), std::string::npos) << line;
      }
    }
  }
}

// Every logger line is written whether or not the capture got its value; an older firmware
// knows no position, site or report, and its restore must not be sent them. Nor is a FieldHub
// sent the trait it cannot take.
TEST_F(RoundTrip, OlderLoggersAreRestoredOnlyWhatTheirCaptureGot) {
  for (const char* model : {"LG20:1.04", "LG20:1.19", "QRL", "VQ7", "FH"}) {
    SCOPED_TRACE(model);
    const std::vector<std::string> device = {"--device", model};
    const bool whole = std::string(model) == "FH";  // the others have no radio or no modem to read
    const json captured = Capture(device, whole ? 1 : kVPPartial);
    EXPECT_EQ(RestoreInto(device)["settings"]["current"], captured["settings"]["current"]);
  }
}

TEST_F(RoundTrip, Skyra61BehindAFieldrex) {
  const std::vector<std::string> device = {"--device", "FX", "--sensor", "SKYRA61"};
  std::vector<std::string> field = device;
  for (const char* value : {"address=3", "sn=S61-777", "x4=0.5 1.5 -0.25 24.0", "xa=1 1.01 0.99 1.00 1.02",
                            "xo=0 0.1 0.2 0.3"}) {
    field.insert(field.end(), {"--sensor-set", value});
  }
  auto captureLink = NewLink();
  json captured;
  {
    DevsimProcess sim(field);
    Connect(*captureLink, sim);
    captureLink->kind = 10;  // the sensor behind the pass-through device
    VSWriteText(captureLink->device.port, "[");
    ASSERT_EQ(VPSaveInfo(*captureLink, file_), 1) << Log();
    VSWriteText(captureLink->device.port, "`");
    VPDisconnect(*captureLink, false);
    captured = sim.Stop();
  }
  const json& sensor = captured["sensor"];
  std::string expected(kSettingsFileHeader);
  expected += Line("type", "Digital Sensor") + Line("identity", Text(sensor, "identity").substr(2)) +
              Line("address", "3") + Line("addressInt", "51") + Line("calibration", Text(sensor, "calibrationX4")) +
              Line("calibration2", Text(sensor, "calibrationXa")) + Line("sn", "S61-777") + Line("sensorType", "93") +
              Line("calibration3", Text(sensor, "calibrationXO"));
  EXPECT_EQ(File(), expected);

  std::vector<std::string> blank = device;
  blank.push_back("--sensor-blank");
  DevsimProcess sim(blank);
  auto link = NewLink();
  Connect(*link, sim);
  link->kind = 10;
  VSWriteText(link->device.port, "[");
  EXPECT_EQ(VPRestoreInfo(*link, file_, nullptr), 1) << Log();
  VSWriteText(link->device.port, "`");
  VPDisconnect(*link, false);
  const json restored = sim.Stop()["sensor"];
  for (const char* key : {"address", "serialNumber", "calibrationX4", "calibrationXa", "calibrationXO", "type"}) {
    EXPECT_EQ(restored[key], sensor[key]) << key;
  }
}

TEST_F(RoundTrip, APartialCaptureStillWritesWhatItGot) {
  // The TGX has lost its tadj: the capture says so and keeps the rest.
  const json captured = Capture({"--device", "TGX:1.40", "--setting", "tadj="}, kVPPartial);
  EXPECT_NE(File().find("tadj=\"\"\r\n"), std::string::npos);
  const json restored = Restore({"--device", "TGX:1.40"});
  json expected = captured["settings"]["before"];
  expected["tadj"] = captured["settings"]["factory"]["tadj"];  // nothing to restore it from
  EXPECT_EQ(restored["settings"]["current"], expected);
}

TEST_F(RoundTrip, SimulatedInstrumentAnswersTheChecks) {
  DevsimProcess sim({"--device", "TGX:1.40", "--test-running", "3", "--fault", "nak@erase-data"});
  auto link = NewLink();
  Connect(*link, sim);
  std::string answer;
  ASSERT_GE(DeviceCommand(link->device, "ping -stat\r", '>', 3000, &answer, 512, nullptr), 0);
  EXPECT_EQ(answer, "\r3\r>");
  EXPECT_EQ(VPEraseData(*link), kVPBrokenDataFlash);
  EXPECT_EQ(VPEraseData(*link), 1);
  EXPECT_EQ(VPCheckFirmware(*link, true), 1);
  ASSERT_GE(DeviceCommand(link->device, "set -act 30\r", '>', 1500, &answer, 512, nullptr), 0);
  VPDisconnect(*link, false);
  const json report = sim.Stop();
  EXPECT_EQ(report["instrument"]["erasures"], 1);
  EXPECT_EQ(report["instrument"]["actuator"], "30");
  EXPECT_EQ(report["instrument"]["posts"], 1);
}

TEST_F(RoundTrip, SettingsFollowATgxThroughAWholeUpdate) {
  DevsimProcess sim({"--device", "TGX:1.40", "--restart-ms", "200"});
  auto link = NewLink();
  Connect(*link, sim);
  const DeviceProfile before = link->profile;
  ASSERT_EQ(VPSaveInfo(*link, file_), 1) << Log();
  VPDisconnect(*link, false);

  HostBSL engine(&log_, BuiltInFirmware());
  ASSERT_GE(BSLConnect(engine, sim.ptyPath, before.loaderBaud, true, 3), 0) << Log();
  ASSERT_GE(BSLEraseINFO(engine, before.infoStart, before.infoSegments, before.infoSegmentSize, before.twentyBit), 0);
  ASSERT_GE(BSLEraseFlash(engine, before.flashStart, before.flashEnd, before.twentyBit), 0);
  ASSERT_GE(BSLSendFirmware(engine, before.twentyBit), 0);
  ASSERT_GE(BSLSendVectors(engine), 0);
  BSLDisconnect(engine);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));

  DeviceProfile after;
  ASSERT_EQ(VPConnect(*link, sim.ptyPath, kVPBaudIndex9600, kVPConnectTries, &after), 1) << Log();
  EXPECT_EQ(after.version, 150u) << "the new firmware answers with its own version";
  EXPECT_EQ(VPCheckFirmware(*link, after.postInit), 1);
  EXPECT_EQ(VPRestoreInfo(*link, file_, nullptr), 1) << Log();
  EXPECT_EQ(VPSetTime(*link), 1);
  EXPECT_EQ(VPEraseData(*link), 1);
  VPDisconnect(*link, true);

  const json report = sim.Stop();
  EXPECT_EQ(report["instrument"]["settingsResets"], 1) << "the erased settings memory lost them";
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
  EXPECT_EQ(report["instrument"]["erasures"], 1);
  EXPECT_FALSE(report["instrument"]["clockSet"].is_null());
  EXPECT_EQ(report["firmware"]["version"], 150);
}

}  // namespace
