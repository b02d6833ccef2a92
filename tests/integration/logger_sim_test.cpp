// The logger command layer against simulated loggers over a pseudo-terminal: whole
// configurations read, changed, written and read back, the clock in both forms and the
// identity-checked data erase, with the simulator's report as the witness of what the
// logger really stores.
#include <ctime>

#include "logger/setting_commands.h"
#include "logger_sim_fixture.h"

namespace {

constexpr uint32_t kWholeConfiguration = 0x7FFEFFF;
constexpr uint8_t kBaudIndex115200 = 6;

// The configuration fields of two records are the same.
void ExpectSameSettings(const LoggerSettings& a, const LoggerSettings& b) {
  EXPECT_EQ(a.deviceName, b.deviceName);
  EXPECT_EQ(a.serialNumber, b.serialNumber);
  EXPECT_EQ(a.deviceId, b.deviceId);
  EXPECT_EQ(a.site, b.site);
  EXPECT_NEAR(a.latitude, b.latitude, 1e-5);
  EXPECT_NEAR(a.longitude, b.longitude, 1e-5);
  EXPECT_EQ(a.timeZone, b.timeZone);
  EXPECT_EQ(a.wake, b.wake);
  EXPECT_EQ(a.padc, b.padc);
  EXPECT_EQ(a.ports, b.ports);
  EXPECT_EQ(a.depths, b.depths);
  EXPECT_EQ(a.report, b.report);
  EXPECT_EQ(a.dataParameter, b.dataParameter);
  EXPECT_EQ(a.rmode, b.rmode);
  EXPECT_EQ(a.trait, b.trait);
  EXPECT_EQ(a.radioChannel, b.radioChannel);
  EXPECT_EQ(a.radioSubChannel, b.radioSubChannel);
  EXPECT_EQ(a.adc30Slopes, b.adc30Slopes);
  EXPECT_EQ(a.adc30Offsets, b.adc30Offsets);
  EXPECT_EQ(a.adc15Slopes, b.adc15Slopes);
  EXPECT_EQ(a.adc15Offsets, b.adc15Offsets);
  EXPECT_EQ(a.apn, b.apn);
  EXPECT_EQ(a.apnUser, b.apnUser);
  EXPECT_EQ(a.apnPassword, b.apnPassword);
  EXPECT_EQ(a.authKey, b.authKey);
  EXPECT_EQ(a.host, b.host);
  EXPECT_EQ(a.ipPort, b.ipPort);
}

// A VornSeconds count for a wall-clock time.
int64_t Vorn(int year, int month, int day, int hour, int minute, int second) {
  struct tm fields {};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return static_cast<int64_t>(timegm(&fields)) - kVornEpochUnix;
}

TEST_F(LoggerSim, Lg20ConfigurationIsReadWrittenAndReadBack) {
  StartSim({"--device", "LG20:2.02", "--cellular", "--radio", "3:0x1A2B"});
  ASSERT_EQ(ConnectCable(kBaudIndex115200), kLinkOk);
  EXPECT_EQ(link_->port.hostBaud, 115200u);

  LoggerSettings read;
  uint32_t mask = kWholeConfiguration;
  ASSERT_EQ(Read(read, mask), kLinkOk);
  EXPECT_EQ(mask, kWholeConfiguration);
  EXPECT_EQ(read.className, "Lg20");
  EXPECT_EQ(read.versionNumber, 202);
  EXPECT_EQ(read.trait, kTraitValid | kTraitRadio | kTraitCellular);

  LoggerSettings changed = read;
  changed.deviceName = "WEIR-02";
  changed.serialNumber = "20-009999";
  changed.deviceId = "D0000042";
  changed.site = "Upper Dam Gauge";
  changed.latitude = -46.12345;
  changed.longitude = 12.5;
  changed.timeZone = 8;
  changed.wake = 900;
  changed.padc = 60;
  changed.ports = {2, 2, 2, 1, 0};
  changed.depths = {5, 15, 25, 35, 45};
  changed.report = 3;
  changed.dataParameter = 7;
  changed.rmode = 2;
  changed.trait = kTraitValid | kTraitRadio | kTraitCellular | 0x02;
  changed.radioChannel = 4;
  changed.radioSubChannel = 0x2B2B;
  changed.adc30Slopes = {10, 20, 30, 40, 50};
  changed.adc30Offsets = {1, 2, 3, 4, 5};
  changed.adc15Slopes = {200, 201, 202, 203, 254};
  changed.adc15Offsets = {9, 8, 7, 6, 5};
  changed.apn = "m2m.example";
  changed.apnUser = "logger7";
  changed.apnPassword = "pa55word";
  changed.authKey = "0123456789abcdef0123456789ABCDEF";
  changed.host = "ingest.example.org";
  changed.ipPort = 9000;
  uint32_t written = kWholeConfiguration;
  ASSERT_EQ(DeviceSettings(*link_, &changed, &written, 1), kLinkOk);
  EXPECT_EQ(written, kWholeConfiguration & ~kBitVersion) << "the version is never written";
  ASSERT_EQ(DisconnectDevice(*link_), kLinkOk);

  ASSERT_EQ(ConnectCable(), kLinkOk);
  LoggerSettings again;
  mask = kWholeConfiguration;
  ASSERT_EQ(Read(again, mask), kLinkOk);
  EXPECT_EQ(mask, kWholeConfiguration);
  ExpectSameSettings(again, changed);

  const nlohmann::json report = StopSim();
  ExpectStored(read, kWholeConfiguration, report["settings"]["before"]);
  ExpectStored(again, kWholeConfiguration, report["settings"]["current"]);
  EXPECT_EQ(report["logger"]["baud"], 9600) << "disconnecting puts the logger back to 9600 baud";
}

TEST_F(LoggerSim, OldLg2ConfigurationGoesThroughShow) {
  StartSim({"--device", "LG2:1.70", "--radio", "2:0x42"});
  ASSERT_EQ(ConnectCable(), kLinkOk);
  EXPECT_FALSE(link_->settings.newFirmware);
  EXPECT_EQ(link_->settings.className, "Lg2");

  constexpr uint32_t kOldSet =
      kBitName | kBitWake | kBitPadc | kBitRmode | kBitTrait | kBitRadioChannel | kBitRadioSubChannel;
  LoggerSettings read;
  uint32_t mask = kOldSet;
  ASSERT_EQ(Read(read, mask), kLinkOk);
  EXPECT_EQ(mask, kOldSet | kBitVersion);
  EXPECT_EQ(read.versionText, "1.70");
  EXPECT_EQ(read.deviceName, "LG2-A");
  EXPECT_EQ(read.radioChannel, 2);
  EXPECT_EQ(read.radioSubChannel, 0x42);
  EXPECT_EQ(read.trait, kTraitValid | kTraitRadio) << "emulated from the radio's version";

  LoggerSettings changed = read;
  changed.deviceName = "OLDWEIR";
  changed.wake = 45;
  changed.padc = 60;
  changed.rmode = 2;
  changed.radioChannel = 5;
  changed.radioSubChannel = 0x1234;
  constexpr uint32_t kWritable = kBitName | kBitWake | kBitPadc | kBitRmode | kBitRadioChannel | kBitRadioSubChannel;
  uint32_t written = kWritable;
  ASSERT_EQ(DeviceSettings(*link_, &changed, &written, 1), kLinkOk);
  EXPECT_EQ(written, kWritable);
  ASSERT_EQ(DisconnectDevice(*link_), kLinkOk);

  ASSERT_EQ(ConnectCable(), kLinkOk);
  LoggerSettings again;
  mask = kOldSet;
  ASSERT_EQ(Read(again, mask), kLinkOk);
  ExpectSameSettings(again, changed);

  const nlohmann::json report = StopSim();
  ExpectStored(again, mask, report["settings"]["current"]);
  EXPECT_EQ(report["radio"]["saved"], true) << "the radio's channel was written with ATWR";
  EXPECT_GE(Heard(report, "show"), 2);
}

TEST_F(LoggerSim, EveryModelAnswersWhatItStores) {
  struct Case {
    std::vector<std::string> args;
    const char* className;
    int32_t version;
    uint32_t present;  // must be read
    uint32_t absent;   // must not be: the class or version does not offer it
  };
  const Case cases[] = {
      {{"--device", "LG20:1.04"},
       "Lg20",
       104,
       kBitName | kBitSerialNumber | kBitWake | kBitPadc | kBitPorts | kBitRmode,
       kBitSite | kBitDeviceId | kBitLatitude | kBitAdc30 | kBitApn | kBitRadioChannel},
      // Before 2.00 the cellular firmware knows the auth key as the "teakey".
      {{"--device", "LG20:1.19", "--cellular"},
       "Lg20",
       119,
       kBitApn | kBitAuthKey | kBitHost | kBitIpPort | kBitAdc30,
       kBitSite | kBitLatitude},
      {{"--device", "VQ7"},
       "vQ7",
       120,
       kBitRmode | kBitSite | kBitLatitude | kBitTrait | kBitRadioChannel | kBitRadioSubChannel,
       kBitApn | kBitVornBuild},
      {{"--device", "QRL:2.05"},
       "QRL2",
       205,
       kBitSite | kBitLatitude | kBitAdc30 | kBitTrait,
       kBitRadioChannel | kBitApn | kBitVornBuild},
      {{"--device", "FH"},
       "FieldHub",
       109,
       kBitName | kBitTrait | kBitRadioChannel | kBitRadioSubChannel | kBitRadioVersion | kBitDataParameter,
       kBitWake | kBitSite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
    StartSim(c.args);
    ASSERT_EQ(ConnectCable(), kLinkOk);
    LoggerSettings read;
    uint32_t mask = kAllSettingBits;
    const int result = Read(read, mask);
    EXPECT_TRUE(result == kLinkOk || result == kLinkPartial) << result;
    EXPECT_EQ(read.className, c.className);
    EXPECT_EQ(read.versionNumber, c.version);
    EXPECT_EQ(mask & c.present, c.present);
    EXPECT_EQ(mask & c.absent, 0u);
    const nlohmann::json report = StopSim();
    ExpectStored(read, mask, report["settings"]["current"]);
    if (read.deviceClass == kClassVq7) {
      EXPECT_EQ(read.rmode, 16) << "the vQ7 is always in radio mode 16";
    }
    if (read.deviceClass == kClassFieldHub) {
      EXPECT_EQ(read.trait, kTraitValid | kTraitRadio);
    }
  }
}

TEST_F(LoggerSim, ClockIsSetAndReadInTheFormOfTheCommandSet) {
  struct Case {
    const char* model;
    const char* readCommand;
  };
  for (const Case& c : {Case{"LG20:2.02", "get -t"}, Case{"LG2:1.70", "time"}}) {
    SCOPED_TRACE(c.model);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
    StartSim({"--device", c.model});
    ASSERT_EQ(ConnectCable(), kLinkOk);

    int64_t wanted = Vorn(2021, 3, 4, 5, 6, 7);
    ASSERT_EQ(DeviceTime(*link_, &wanted, 1), kLinkOk);
    int64_t read = 0;
    ASSERT_EQ(DeviceTime(*link_, &read, 0), kLinkOk);
    EXPECT_GE(read, wanted);
    EXPECT_LE(read, wanted + 3);

    int64_t now = 0;  // zero: the computer's own time, reported back
    ASSERT_EQ(DeviceTime(*link_, &now, 1), kLinkOk);
    EXPECT_GT(now, Vorn(2024, 1, 1, 0, 0, 0));
    ASSERT_EQ(DeviceTime(*link_, &read, 0), kLinkOk);
    EXPECT_GE(read, now);
    EXPECT_LE(read, now + 3);

    const nlohmann::json report = StopSim();
    EXPECT_LE(std::abs(report["clock"]["offsetSeconds"].get<int64_t>()), 3) << "the logger runs on the computer's time";
    EXPECT_EQ(Heard(report, c.readCommand), 2);
    EXPECT_EQ(Heard(report, "set -t 5:6:7"), 1);
    EXPECT_EQ(Heard(report, "set -d 2021-3-4"), 1);
  }
}

TEST_F(LoggerSim, EraseIsRefusedForARenamedLoggerAndDoneForTheRightOne) {
  for (const char* model : {"LG20:2.02", "LG2:1.70"}) {
    SCOPED_TRACE(model);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
    StartSim({"--device", model, "--name", "SITE01"});
    ASSERT_EQ(ConnectCable(), kLinkOk);
    LoggerSettings read;
    uint32_t mask = kBitName;
    ASSERT_EQ(Read(read, mask), kLinkOk);
    ASSERT_EQ(link_->settings.deviceName, "SITE01");

    EXPECT_NE(Send("erase\r").find("yes"), std::string::npos) << "the logger asks for a confirmation";
    Send("set -i OTHER1\r");  // renamed behind the host's back
    EXPECT_EQ(EraseData(*link_), kLinkIdentity);
    Send("set -i SITE01\r");
    EXPECT_EQ(EraseData(*link_), kLinkOk);

    const nlohmann::json report = StopSim();
    EXPECT_EQ(Heard(report, "yes"), 1) << "the refused erase sent no confirmation";
    EXPECT_EQ(report["storedData"]["erased"], true);
    EXPECT_EQ(report["storedData"]["records"], 0);
  }
}

}  // namespace
