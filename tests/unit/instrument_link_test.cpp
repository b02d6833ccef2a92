// The instrument link's exchanges against a scripted command line on a
// pseudo-terminal: what is sent, how answers are read, what comes back.
#include "instrument/instrument_link.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "instrument/instrument_settings.h"
#include "instrument/settings_file.h"
#include "line_device.h"
#include "pty_pair.h"

namespace {

class InstrumentOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath_ = std::filesystem::temp_directory_path() /
               ("vorn_instrument_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
    log_ = CreateMessageLog(logPath_.string(), kLogBytes, true);
    link_ = std::make_unique<InstrumentLink>(&log_);
    link_->device.hooks.sleep = [this](int ms) { slept_ += ms; };
  }
  void TearDown() override {
    link_.reset();
    std::filesystem::remove(SettingsPath());
    if (!std::getenv("KEEP_LOG")) std::filesystem::remove(logPath_);
  }

  std::string SettingsPath() const { return logPath_.string() + ".settings.txt"; }
  std::string SettingsText() const { return ReadAll(SettingsPath()); }
  static std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  // What a later run finds: nothing held, only the settings file.
  int RestoreFromFile() {
    ClearCapturedSettings(*link_);
    return VPRestoreInfo(*link_, SettingsPath(), nullptr);
  }
  // The lines heard from the one given on.
  std::vector<std::string> HeardFrom(size_t first) const {
    const std::vector<std::string> heard = device_.Heard();
    return std::vector<std::string>(heard.begin() + static_cast<long>(std::min(first, heard.size())), heard.end());
  }

  // The port open as after a connection to a device of this kind.
  void Open(uint8_t kind = 16) {
    ASSERT_EQ(VSOpen(link_->device.port, pty_.slavePath, kLinkBaud), 1);
    link_->device.params.connectionType = kConnectionSerial;
    link_->device.currentTries = link_->device.config.serialTries;
    link_->kind = kind;
    FillProfile(kind, 150, link_->profile);
  }

  bool Logged(const std::string& text) const { return ReadAll(logPath_).find(text) != std::string::npos; }

  std::filesystem::path logPath_;
  PtyPair pty_;
  LineDevice device_{pty_};
  MessageLog log_;
  std::unique_ptr<InstrumentLink> link_;
  int slept_ = 0;
};

TEST_F(InstrumentOnPty, GetValueStringReadsTheFirstLineAfterTheLineEnd) {
  Open();
  struct Case {
    std::string reply;
    size_t maximum;
    int result;
    std::string value;
    int sends;
  };
  const Case cases[] = {
      {"\r\n123\r>", 16, 1, "123", 1},
      {"456\r>", 16, 1, "456", 1},
      {"\rabcdefgh\r>", 4, 1, "abcd", 1},
      {"\r>", 16, -30, "", 3},  // a prompt, not a value
      {"\rError 5\r>", 16, -30, "", 3},
      {"\r\r>", 16, -31, "", 3},  // the empty answer
      // Text users typed comes as the device sends it: Latin-1, UTF-8, a degree sign.
      {"\rBodenfeuchte 2 m \xB0\r>", 32, 1, "Bodenfeuchte 2 m \xB0", 1},
      {"M\xC3\xBCller\r\n>", 32, 1, "M\xC3\xBCller", 1},
      // Noise is told by the answer's shape, not by its bytes: no line end closes it before the prompt.
      {"7Hq(x>", 16, -30, "", 3},
      {"\r4 k\rz#>", 16, -30, "", 3},
      {"\r123\r", 16, -21, "", 3},  // nor one cut off before its prompt
  };
  for (const Case& c : cases) {
    device_.On("get -x", {c.reply});
    const int before = device_.Count("get -x");
    std::string value = "untouched";
    EXPECT_EQ(GetValueString(*link_, "get -x", 2000, &value, c.maximum), c.result) << c.reply;
    EXPECT_EQ(value, c.result > 0 ? c.value : "untouched") << c.reply << ": a failed read leaves the value alone";
    EXPECT_EQ(device_.Count("get -x") - before, c.sends) << c.reply;
  }
  EXPECT_TRUE(Logged("GetValueString found get -x \"123\""));
  EXPECT_TRUE(Logged("GetValueString found a leading prompt character executing command \"get -x\""));
  EXPECT_TRUE(Logged("GetValueString received error -30 executing command \"get -x\""));
  EXPECT_EQ(GetValueString(*link_, "get -x", 2000, nullptr, 4), -10);
}

TEST_F(InstrumentOnPty, GetValueLongReadsAfterTheFirstLineEnd) {
  Open();
  const std::pair<std::string, long> good[] = {{"\r42\r>", 42}, {"echo\r\n-7\r>", -7}, {"\r +19 \r>", 19}};
  for (const auto& [reply, number] : good) {
    device_.On("get -n", {reply});
    long value = 0;
    EXPECT_EQ(GetValueLong(*link_, "get -n", 2000, &value), 1) << reply;
    EXPECT_EQ(value, number) << reply;
  }
  long value = 5;
  for (const char* noise : {"\rabc\r>", "\r7Hq(\r>", "\r12 #>"}) {  // a number is the whole of a closed line
    device_.On("get -n", {noise});
    EXPECT_EQ(GetValueLong(*link_, "get -n", 2000, &value), -30) << noise;
    EXPECT_EQ(value, 5);
  }
  EXPECT_TRUE(Logged("GetValueLong found get -n \"-7\""));
  EXPECT_TRUE(Logged("GetValueLong received error -30 executing command \"get -n\""));
}

TEST_F(InstrumentOnPty, FirmwareBatteryAndEraseChecks) {
  Open();
  device_.On("post", {"\rCode Corrupt!\r>"});
  EXPECT_EQ(VPCheckFirmware(*link_, false), -1);
  EXPECT_EQ(device_.Count("post"), 1) << "a corrupt answer is final";
  device_.On("post -init", {"\rHuh\r>", "\rCode Good!\r>"});
  EXPECT_EQ(VPCheckFirmware(*link_, true), 1);
  EXPECT_EQ(device_.Count("post -init"), 2);
  EXPECT_TRUE(Logged("VPCheckFirmware can't determine firmware code status\r\n"));
  EXPECT_TRUE(Logged("VPCheckFirmware: Device reports good firmware code!"));

  device_.On("get -batt", {"\r87\r>", "\rlow\r>"});
  int percent = 0;
  EXPECT_EQ(VPCheckBattery(*link_, &percent), 1);
  EXPECT_EQ(percent, 87);
  EXPECT_EQ(VPCheckBattery(*link_, &percent), -30);
  EXPECT_EQ(VPCheckBattery(*link_, nullptr), -10);
  EXPECT_TRUE(Logged("VPCheckBattery: 87% battery"));

  device_.On("yes", {"\rOK\r>", "\rDataFlash FAIL\r>", "\rNope\r>"});
  EXPECT_EQ(VPEraseData(*link_), 1);
  EXPECT_EQ(VPEraseData(*link_), -65);
  EXPECT_EQ(VPEraseData(*link_), -30);
  EXPECT_TRUE(Logged("VPEraseData failed with error -30"));
  for (int kind : {1, 5, 10, 0}) {
    link_->kind = static_cast<uint8_t>(kind);
    EXPECT_EQ(VPEraseData(*link_), -13) << int(kind);
  }
  EXPECT_EQ(device_.Count("yes"), 3) << "nothing is sent for a kind without an erase";
}

TEST_F(InstrumentOnPty, SetTimeSendsTheLocalSecondsSince2000) {
  Open(16);
  device_.Otherwise("\rOK\r>");
  EXPECT_EQ(VPSetTime(*link_), 1);
  const std::vector<std::string> heard = device_.Heard();
  ASSERT_EQ(heard.size(), 1u);
  ASSERT_TRUE(heard[0].starts_with("set -sec "));
  const long sent = std::stol(heard[0].substr(9));
  const long now = static_cast<long>(std::time(nullptr)) + LocalUtcOffset() - 946684800;
  EXPECT_LE(std::labs(sent - now), 2);
  link_->profile.setTime = false;
  EXPECT_EQ(VPSetTime(*link_), -13);
}

TEST_F(InstrumentOnPty, VPCommandRetriesWithoutOkButNotForUserRecords) {
  Open();
  device_.On("set -user 0 QUJD", {"\r>"});
  EXPECT_EQ(VPCommand(*link_, "set -user 0 QUJD\r"), 2);
  EXPECT_EQ(device_.Count("set -user 0 QUJD"), 1);
  EXPECT_TRUE(Logged("\"set -user 0 QUJD\" returned 2"));
  device_.On("set -x 1", {"\rNo\r>", "\rNo\r>", "\rOK\r>"});
  EXPECT_EQ(VPCommand(*link_, "set -x 1\r"), 1);
  EXPECT_EQ(device_.Count("set -x 1"), 3);
  EXPECT_TRUE(Logged("\"set -x 1\" failed with error 5"));
}

TEST_F(InstrumentOnPty, CaptureAndRestoreKeepTheirOrder) {
  Open(16);
  device_.On("get -sn", {"\rTGX-1\r>"});
  device_.On("get -config", {"\r3 1\r>"});
  ASSERT_EQ(GetInstInfo(*link_, 0x802), 1);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"get -sn", "get -config"})) << "bit 1 before bit 11";
  EXPECT_EQ(link_->info->present, 0x802u);

  device_.On("set -sn TGX-1", {"\rOK\r>"});
  device_.On("set -config 3 1", {"\rOK\r>"});
  ASSERT_EQ(SetInstInfo(*link_, 0x802), 1);
  const std::vector<std::string> heard = device_.Heard();
  EXPECT_EQ(std::vector<std::string>(heard.begin() + 2, heard.end()),
            (std::vector<std::string>{"set -sn TGX-1", "set -config 3 1"}));
  EXPECT_TRUE(Logged("SetInstInfo set device serial number to \"TGX-1\""));
  EXPECT_TRUE(Logged("SetInstInfo set config to \"3 1\""));

  EXPECT_EQ(GetInstInfo(*link_, 0), 0);
  EXPECT_TRUE(Logged("GetInstInfo should be called with non-zero flags"));
}

TEST_F(InstrumentOnPty, SerialNumberAnsweredWithOkIsNotOne) {
  Open(16);
  device_.On("get -sn", {"\rOK\r>"});
  EXPECT_EQ(GetInstInfo(*link_, kInstSerialNumber), -30);
  EXPECT_EQ(device_.Count("get -sn"), 3);
  EXPECT_EQ(link_->info->present, 0u);
  EXPECT_TRUE(Logged("GetInstInfo could not collect all settings"));

  EXPECT_EQ(SetInstInfo(*link_, kInstInterval), -30) << "bit 9 is never written";
  EXPECT_TRUE(Logged("SetInstInfo could not restore all settings"));
  EXPECT_EQ(device_.Heard().size(), 3u);
}

TEST_F(InstrumentOnPty, RestoreGoesOnPastFailuresAndReportsThem) {
  Open(16);
  link_->info->tadj = "-0.35";
  link_->info->fvals = "2.1";
  link_->info->uvals = "0.5";
  device_.On("set -tadj -0.35", {"ERROR\r>"});
  device_.Otherwise("\rOK\r>");
  EXPECT_EQ(SetInstInfo(*link_, kInstTadj | kInstPForm), -35);
  EXPECT_EQ(device_.Count("set -p 2.1"), 1) << "the step after the failed one still runs";
  EXPECT_EQ(device_.Count("set -pv 0.5"), 1);
  EXPECT_EQ(device_.Count("set -c76 "), 0) << "an empty calprefs text is not written";
}

TEST_F(InstrumentOnPty, ARestoreThatMeetsTheLoaderStopsAtThatWrite) {
  Open(16);
  link_->info->tadj = "-0.35";
  link_->info->fvals = "2.1";
  device_.Otherwise("$");  // the device has reset into its loader
  EXPECT_EQ(SetInstInfo(*link_, kInstTadj | kInstPForm), -21);
  EXPECT_EQ(device_.Count("set -p 2.1"), 0) << "no further writes wait out their time";
  EXPECT_TRUE(Logged("SetInstInfo found the device's loader answering command \"set -tadj -0.35\""));

  // The records were written without looking at the answers: a restore that lost them all succeeded.
  link_->userRecords->records = {{"", "QUJD"}, {"", "REVG"}};
  link_->info->serialNumber = "TGX-1";
  device_.On("set -sn TGX-1", {"\rOK\r>"});
  device_.On("reset -users", {"\rOK\r>"});  // and then the device falls into its loader
  EXPECT_EQ(SetInstInfo(*link_, kInstSerialNumber | kInstUserRecords), -21);
  const std::vector<std::string> heard = device_.Heard();
  EXPECT_EQ(std::count_if(heard.begin(), heard.end(), [](const std::string& line) { return line.starts_with("set -user "); }),
            1)
      << "no record after the one the loader answered";

  link_->info->tadj = "-0.35\rreset -users";  // a file edited by hand must not smuggle in a command
  device_.Otherwise("\rOK\r>");
  EXPECT_EQ(SetInstInfo(*link_, kInstTadj), -11);
  EXPECT_EQ(device_.Count("reset -users"), 1) << "only the restore's own reset";
}

TEST_F(InstrumentOnPty, ValuesTravelAsBytesAndNoiseIsNeverKept) {
  Open(16);
  const std::string serial = "M\xC3\xBCller-\xB0" "1";  // UTF-8 and a Latin-1 degree sign
  const std::string tadj = "\xE9t\xE9 -0.35 \xFF\x80";
  device_.On("get -sn", {"k)7=Qa>", "\r" + serial + "\r>"});  // printable noise first: not a value
  device_.On("get -config", {"\r3 1\r>"});
  device_.On("get -tadj", {"\r&Zp>'Y", "\r" + tadj + "\r>"});
  device_.On("get -p", {"\r2.1\r>"});
  device_.On("get -pv", {"\r0.5\r>"});
  device_.On("get -c76", {"\r1 0\r>"});
  device_.On("get -user", {"\r0\r>"});
  ASSERT_EQ(VPSaveInfo(*link_, SettingsPath()), 1);
  EXPECT_EQ(link_->info->serialNumber, serial);
  EXPECT_EQ(link_->info->tadj, tadj);
  EXPECT_EQ(device_.Count("get -sn"), 2);
  const std::string file = SettingsText();
  EXPECT_NE(file.find("\r\nsn=\"" + serial + "\"\r\n"), std::string::npos) << "written byte for byte";
  EXPECT_NE(file.find("\r\ntadj=\"" + tadj + "\"\r\n"), std::string::npos);

  device_.Otherwise("\rOK\r>");
  const size_t before = device_.Heard().size();
  ASSERT_EQ(RestoreFromFile(), 1);
  EXPECT_EQ(link_->info->serialNumber, serial) << "read back unchanged";
  const std::vector<std::string> sent = HeardFrom(before);
  EXPECT_NE(std::find(sent.begin(), sent.end(), "set -sn " + serial), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), "set -tadj " + tadj), sent.end());
}

// The ULMO's offsets, factors and system text had no line in the file: a restore from it lost them.
TEST_F(InstrumentOnPty, EveryUlmoSettingTheCaptureGotComesBackFromTheFile) {
  Open(11);
  const std::vector<std::pair<std::string, std::string>> values = {
      {"sn", "U-17"},      {"adccal", "512 498 1.0021"}, {"wtoffset", "-0.012"},
      {"p1offset", "3.5"}, {"auto", "600"},              {"wtfactory", "1.0 0.98"},
      {"sys", "A3 \xB5S"}};
  for (const auto& [key, value] : values) device_.On("get -" + key, {"\r" + value + "\r>"});
  ASSERT_EQ(VPSaveInfo(*link_, SettingsPath()), 1);
  EXPECT_EQ(link_->savedMask, 0x80027402u);

  device_.Otherwise("\rOK\r>");
  const size_t before = device_.Heard().size();
  ASSERT_EQ(RestoreFromFile(), 1);
  const std::vector<std::string> sent = HeardFrom(before);
  for (const auto& [key, value] : values) {
    EXPECT_NE(std::find(sent.begin(), sent.end(), "set -" + key + " " + value), sent.end()) << key;
  }
}

TEST_F(InstrumentOnPty, M2SensorTypeIsReadFirstAndPutBackLast) {
  Open(15);
  device_.Otherwise("ERROR\r>");  // settings the test does not care about
  device_.On("get -sensor", {"\r3\r>"});
  device_.On("set -sensor 0", {"\rOK\r>"});
  device_.On("get -sn", {"\rM2-1\r>"});
  ASSERT_EQ(VPSaveInfo(*link_, SettingsPath()), kVPPartial);
  const std::vector<std::string> capture = device_.Heard();
  ASSERT_GE(capture.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(capture.begin(), capture.begin() + 3),
            (std::vector<std::string>{"get -sensor", "set -sensor 0", "get -sn"}));
  EXPECT_NE(SettingsText().find("\r\nsensor=\"3\"\r\n"), std::string::npos);

  device_.On("set -sn M2-1", {"\rOK\r>"});
  device_.On("set -sensor 3", {"\rOK\r>"});
  for (bool fromFile : {false, true}) {
    SCOPED_TRACE(fromFile ? "from the file" : "from memory");
    const size_t before = device_.Heard().size();
    EXPECT_EQ(fromFile ? RestoreFromFile() : VPRestoreInfo(*link_, SettingsPath(), nullptr), 1);
    EXPECT_EQ(HeardFrom(before), (std::vector<std::string>{"set -sn M2-1", "set -sensor 3"}));
  }
  EXPECT_TRUE(Logged("VPRestoreInfo set NOR6 sensor type to '3'"));

  // A device that does not tell its sensor type gets none written.
  ClearCapturedSettings(*link_);
  device_.On("get -sensor", {"\rtype\r>"});
  ASSERT_EQ(VPSaveInfo(*link_, SettingsPath()), kVPPartial);
  EXPECT_EQ(SettingsText().find("sensor="), std::string::npos);
  const size_t before = device_.Heard().size();
  EXPECT_EQ(RestoreFromFile(), 1);
  EXPECT_EQ(HeardFrom(before), (std::vector<std::string>{"set -sn M2-1"}));
}

TEST_F(InstrumentOnPty, M2vWritesBackOnlyTheValuesItRead) {
  Open(22);
  device_.Otherwise("ERROR\r>");
  const std::vector<std::pair<std::string, std::string>> read = {
      {"p0", "0.1"}, {"p5", "5"}, {"lwidth", "w"}, {"current", "c"}, {"p1", "1"}};  // p3, ltemp, pfactor fail
  for (const auto& [key, value] : read) device_.On("get -" + key, {"\r" + value + "\r>"});
  EXPECT_EQ(GetInstInfo(*link_, kInstPGroup), 1);
  ASSERT_EQ(WriteInfoFile(*link_, SettingsPath()), 1);
  const std::string file = SettingsText();
  EXPECT_NE(file.find("hadj=\"\"\r\ncal01=\"0.1\"\r\ncal03=\"5\"\r\ncal04=\"w\"\r\ncal06=\"c\"\r\ncal08=\"1\"\r\n"),
            std::string::npos)
      << file;

  device_.Otherwise("\rOK\r>");
  for (bool fromFile : {false, true}) {
    SCOPED_TRACE(fromFile ? "from the file" : "from memory");
    if (fromFile) {
      ClearCapturedSettings(*link_);
      ASSERT_EQ(ReadInfoFile(*link_, SettingsPath()), 1);
    }
    const size_t before = device_.Heard().size();
    EXPECT_EQ(SetInstInfo(*link_, kInstPGroup), 1);
    EXPECT_EQ(HeardFrom(before), (std::vector<std::string>{"set -p0 0.1", "set -p5 5", "set -lwidth w",
                                                           "set -current c", "set -p1 1"}));
  }
}

TEST_F(InstrumentOnPty, RecordSetsTravelSortedByName) {
  Open(15);
  device_.On("get -user", {"\r2\r>"});
  device_.On("get -user 0", {"\rQUJD\r>"});
  device_.On("get -user 1", {"ERROR\r>"});
  device_.On("get -eqn", {"ERROR\r>"});  // no count: the default is assumed
  device_.On("get -eqn 0", {"\rb_x 1\r>"});
  device_.On("get -eqn 1", {"\rA 2\r>"});
  device_.On("get -eqn 2", {"ERROR\r>"});
  ASSERT_EQ(GetRecords_Serial(*link_, *link_->userRecords, kRecordsUser), 1);
  EXPECT_EQ(link_->userRecords->records.size(), 1u);
  EXPECT_TRUE(Logged("GetRecords_Serial retrieved 1 of 2 \"user\" records"));
  ASSERT_EQ(GetRecords_Serial(*link_, *link_->eqnRecords, kRecordsEqn), 1);
  EXPECT_TRUE(Logged("GetRecords_Serial retrieved 2 of 100 \"eqn\" records"));

  device_.Otherwise("\rOK\r>");
  ASSERT_EQ(SetRecords_Serial(*link_, *link_->eqnRecords, kRecordsEqn), 1);
  EXPECT_EQ(device_.Count("set -eqn 0 A 2"), 1);
  EXPECT_EQ(device_.Count("set -eqn 1 b_x 1"), 1);
  EXPECT_TRUE(Logged("SetRecords_Serial set \"eqn\" 1 to \"b_x 1\""));

  RecordSet empty;
  EXPECT_EQ(SetRecords_Serial(*link_, empty, kRecordsUser), 0);
  EXPECT_EQ(GetRecords_Serial(*link_, empty, 7), -11);
  device_.On("get -user", {"\r0\r>"});
  EXPECT_EQ(GetRecords_Serial(*link_, *link_->userRecords, kRecordsUser), 0);
  EXPECT_TRUE(Logged("GetRecords_Serial found no \"user\" records in instrument"));
}

TEST_F(InstrumentOnPty, ACountSpoiltOnTheWireReadsRecordsUntilTheFirstMissingOne) {
  Open(15);
  // Read as a count, no record (or too few) would be kept and the restore would clear them.
  device_.On("get -user", {"\r\xC3\x9A\xB1\r>", "0k#>"});
  device_.On("get -user 0", {"\rQUJD\r>"});
  device_.On("get -user 1", {"\rREVG\r>"});
  device_.On("get -user 2", {"ERROR\r>"});
  for (int noise = 0; noise < 2; ++noise) {
    ASSERT_EQ(GetRecords_Serial(*link_, *link_->userRecords, kRecordsUser), 1);
    EXPECT_EQ(link_->userRecords->records.size(), 2u);
  }
  EXPECT_TRUE(Logged("GetRecords_Serial retrieved 2 of 25 \"user\" records"));
}

TEST_F(InstrumentOnPty, ConnectTellsLoaderOldFirmwareAndGoodDevicesApart) {
  DeviceProfile profile;
  device_.On("get -ver", {"\r+VornBSL ready\r>"});
  EXPECT_EQ(VPConnect(*link_, pty_.slavePath, kVPBaudIndex9600, kVPConnectTries, &profile), -80);
  EXPECT_TRUE(Logged("VPConnect found the VornBSL listening (-80)"));

  device_.On("get -ver", {"\rLX40 1.40\r>"});
  EXPECT_EQ(VPConnect(*link_, pty_.slavePath, kVPBaudIndex9600, kVPConnectTries, &profile), -120);
  EXPECT_TRUE(Logged("VPConnect this firmware version is not supported"));
  EXPECT_EQ(profile.kind, 8) << "the profile tells the caller what was found";
  VPDisconnect(*link_, false);

  device_.On("get -ver", {"\rTGX 1.40\r>"});
  ASSERT_EQ(VPConnect(*link_, pty_.slavePath, kVPBaudIndex9600, kVPConnectTries, &profile), 1);
  EXPECT_EQ(link_->kind, 16);
  EXPECT_EQ(link_->profile.version, 140u);
  EXPECT_EQ(link_->settings.versionNumber, 140);
  EXPECT_EQ(link_->settings.versionText, "TGX 1.40");
  EXPECT_TRUE(link_->settings.newFirmware);
  EXPECT_TRUE(Logged("VPConnect successfully connected to device"));
  EXPECT_EQ(VPDisconnect(*link_, true), 1);
  EXPECT_EQ(device_.Count("logout"), 0) << "the TGX needs no logout";

  EXPECT_EQ(VPConnect(*link_, "", kVPBaudIndex9600, kVPConnectTries, &profile), -10);
  EXPECT_EQ(VPConnect(*link_, pty_.slavePath, kVPBaudIndex9600, kVPConnectTries, nullptr), -10);
}

TEST_F(InstrumentOnPty, LoginTypesTheCodeAndAcceptsOkOrItsEcho) {
  Open(15);
  const std::string line = "login *" + std::string(kVPLoginCode);
  device_.On(line, {"\rOK\r>"});
  EXPECT_EQ(VPLogin(*link_), 1);
  EXPECT_EQ(device_.Count(line), 1);
  EXPECT_GE(slept_, 2000 + 250 * static_cast<int>(line.size() + 1)) << "typed slowly, with a pause before and after";
  EXPECT_TRUE(Logged("VPConnect successfully logged into the device"));

  device_.On(line, {"\r" + std::string(kVPLoginCode) + "\r>"});
  EXPECT_EQ(VPLogin(*link_), 1);
  device_.On(line, {"\rhello\r>"});
  EXPECT_EQ(VPLogin(*link_), 8) << "three answers without OK: the last answer's length";
  EXPECT_EQ(device_.Count(line), 5);
  device_.On(line, {"ERROR\r>"});
  device_.Otherwise("ERROR\r>");  // also to the line ends the exchange repeats
  EXPECT_EQ(VPLogin(*link_), -25);
  EXPECT_TRUE(Logged("VPConnect couldn't log into the device"));
}

}  // namespace
