#include "logger/settings_loop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "logger/setting_commands.h"
#include "logger_link_fixture.h"

namespace {

class SettingsLoopTest : public LinkOnPty {
 protected:
  void SetUp() override {
    LinkOnPty::SetUp();
    Open();
  }
};

TEST_F(SettingsLoopTest, ReadsASmallRequestInStepOrder) {
  device_.On("get -ver", {"\rLG20 2.02\r>"});
  device_.On("get -i", {"\rFIELD01\r>"});
  device_.On("get -depth", {"\r10 20 30 40 50\r>"});
  device_.On("get -site", {"\rNorth Field\r>"});
  device_.On("get -w", {"\r600\r>"});
  LoggerSettings record;
  uint32_t mask = kBitName | kBitSite | kBitWake | kBitDepths;
  ASSERT_EQ(DeviceSettings(*link_, &record, &mask, 0), 1);
  EXPECT_EQ(mask, kBitName | kBitSite | kBitWake | kBitDepths | kBitVersion);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"get -ver", "get -i", "get -depth", "get -site", "get -w"}));
  EXPECT_EQ(record.deviceName, "FIELD01");
  EXPECT_EQ(record.site, "North Field");
  EXPECT_EQ(record.wake, 600);
  EXPECT_EQ(record.depths, (PortBytes{10, 20, 30, 40, 50}));
  EXPECT_EQ(record.versionNumber, 202);
  EXPECT_EQ(record.present & mask, mask);

  // An empty request on an identified device reads nothing and succeeds.
  mask = 0;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), 1);
  EXPECT_EQ(mask, kBitVersion);
  EXPECT_EQ(device_.Count("get -ver"), 1);
}

TEST_F(SettingsLoopTest, EmptyRequestReadsOnlyTheVersion) {
  device_.On("get -ver", {"\rQRL 2.05\r>"});
  LoggerSettings record;
  uint32_t mask = 0;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), 1);
  EXPECT_EQ(mask, kBitVersion);
  EXPECT_EQ(record.deviceClass, 12);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"get -ver"}));
  EXPECT_EQ(DeviceSettings(*link_, nullptr, &mask, 0), -10);
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 2), -11);
}

TEST_F(SettingsLoopTest, WritesThatAllFailGivePartialWithAnEmptyMask) {
  Identify(kClassLg20, 202);
  device_.Otherwise("\rnope\r>");
  LoggerSettings record = link_->settings;
  record.deviceName = "FIELD01";
  record.wake = 60;
  record.site = "Somewhere";
  uint32_t mask = kBitName | kBitWake | kBitSite | kBitVersion;
  record.present = mask;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 1), -35);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"set -i FIELD01", "set -site Somewhere", "set -w 60"}));
  EXPECT_EQ(link_->settings.present & kBitSite, 0u) << "a site that failed is no longer present";
}

TEST_F(SettingsLoopTest, SilentDeviceIsLoggedIntoAgainAndTheStepRerun) {
  Identify(kClassLg20, 202);
  link_->currentTries = 1;
  device_.On("get -i", {"", "\rFIELD01\r>"});
  device_.On("get -ver", {"\rLG20 2.02\r>"});
  device_.On("get -w", {"\r60\r>"});
  LoggerSettings record;
  uint32_t mask = kBitName | kBitWake;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), 1);
  EXPECT_EQ(mask, kBitName | kBitWake | kBitVersion);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"get -i", "get -ver", "get -i", "get -w"}));
  EXPECT_EQ(record.deviceName, "FIELD01");
  EXPECT_TRUE(Logged("******: DeviceSettings re-connected to device"));
}

TEST_F(SettingsLoopTest, EchoingRelayStopsTheLoopAtOnce) {
  Identify(kClassLg20, 202);
  device_.Echo(true);
  LoggerSettings record;
  uint32_t mask = kBitName | kBitWake | kBitSite;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), -32);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"get -i"}));
}

TEST_F(SettingsLoopTest, RadioSettingsWaitForTheTrait) {
  Identify(kClassLg20, 202);
  device_.On("get -trait", {"\r255\r>"});  // valid, no radio
  LoggerSettings record;
  uint32_t mask = kBitsRadio;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), -35) << "no radio to ask";
  EXPECT_EQ(mask, kBitVersion | kBitTrait);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"get -trait"}));

  device_.On("get -trait", {"\r254\r>"});  // a radio
  device_.On("get -rver", {"\rOK\r10A5\r>"});
  device_.On("get -rch", {"\rOK\r3\r>"});
  device_.On("get -rsch", {"\rOK\r1A2B\r>"});
  link_->settings.present = 0;
  mask = kBitsRadio;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), 1);
  EXPECT_EQ(mask, kBitVersion | kBitTrait | kBitsRadio);
  EXPECT_EQ(record.radioChannel, 3);
  EXPECT_EQ(record.radioSubChannel, 0x1A2B);
  EXPECT_EQ(record.radioVersion, "10A5");
}

TEST_F(SettingsLoopTest, OldLg2IsReadThroughShow) {
  device_.On("get -ver", {"ERROR\r>"});
  device_.On("show", {"\rID: OLDLOG\rVersion: 1.23\rRadio: 1\rWake: 30\rResets: 4\r>"});
  LoggerSettings record;
  uint32_t mask = kBitName | kBitWake | kBitRmode | kBitSerialNumber;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), 1);
  EXPECT_EQ(mask, kBitName | kBitVersion | kBitWake | kBitRmode);
  EXPECT_EQ(record.deviceName, "OLDLOG");
  EXPECT_EQ(record.wake, 30);
  EXPECT_EQ(device_.Count("get -sn"), 0) << "the old command set has no serial number";
}

TEST_F(SettingsLoopTest, OldModelBeforeOneTenIsNotSupported) {
  device_.On("get -ver", {"ERROR\r>"});
  device_.On("show", {"\rID: ANCIENT\rVersion: 1.05\rRadio: 0\rWake: 30\rResets: 1\r>"});
  LoggerSettings record;
  uint32_t mask = kBitName;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), -13);
  EXPECT_TRUE(Logged("DeviceSettings: old Holdwell model 007 not supported"));
}

TEST_F(SettingsLoopTest, CancelledThroughTheProgressHook) {
  Identify(kClassLg20, 202);
  device_.Otherwise("\r5\r>");
  link_->config.progress = true;
  int calls = 0;
  link_->hooks.progress = [&](int, int, int phase) { return phase != 1 || ++calls < 2; };
  LoggerSettings record;
  uint32_t mask = kBitWake | kBitReport;
  EXPECT_EQ(DeviceSettings(*link_, &record, &mask, 0), -40);
  EXPECT_EQ(device_.Heard().size(), 1u);
  EXPECT_TRUE(Logged("DeviceSettings canceled by user after getting 1 of 2 settings"));
}

class ClockTest : public SettingsLoopTest {
 protected:
  void SetUp() override {
    SettingsLoopTest::SetUp();
    const char* old = std::getenv("TZ");
    hadZone_ = old != nullptr;
    if (hadZone_) oldZone_ = old;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    if (hadZone_) {
      setenv("TZ", oldZone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    SettingsLoopTest::TearDown();
  }
  bool hadZone_ = false;
  std::string oldZone_;
};

constexpr int64_t kNewYear2001At1 = 366 * 86400 + 3600;  // 2001-01-01 01:00:00

TEST_F(ClockTest, SecondsForm) {
  Identify(10, 123);  // keeps its clock in VornSeconds
  device_.On("get -sec", {"\r0\r>", "\r12345\r>", "\r-5\r>"});
  int64_t seconds = 99;
  EXPECT_EQ(DeviceTime(*link_, &seconds, 0), 1);
  EXPECT_EQ(seconds, 0);
  EXPECT_EQ(DeviceTime(*link_, &seconds, 0), 1);
  EXPECT_EQ(seconds, 12345);
  EXPECT_EQ(DeviceTime(*link_, &seconds, 0), -30);
  EXPECT_EQ(seconds, -1);
  EXPECT_EQ(DeviceTime(*link_, nullptr, 0), -10);

  device_.Otherwise("\rOK\r>");
  seconds = kNewYear2001At1;
  EXPECT_EQ(DeviceTime(*link_, &seconds, 1), 1);
  EXPECT_EQ(device_.Heard().back(), "set -sec 31626000");

  seconds = 0;  // now
  const int64_t before = VornSeconds(std::time(nullptr), 0);
  EXPECT_EQ(DeviceTime(*link_, &seconds, 1), 1);
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, before + 2);
  EXPECT_EQ(device_.Heard().back(), "set -sec " + std::to_string(seconds));
}

TEST_F(ClockTest, DateAndTimeForm) {
  Identify(kClassLg20, 202);
  device_.Otherwise("\rOK\r>");
  int64_t seconds = kNewYear2001At1;
  EXPECT_EQ(DeviceTime(*link_, &seconds, 1), 1);
  const auto heard = device_.Heard();
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0], "set -t 1:0:0");
  EXPECT_EQ(heard[1], "set -d 2001-1-1");

  device_.On("get -t", {"\rDate\\Time: 2024-03-05 14:07:09\r>"});
  EXPECT_EQ(DeviceTime(*link_, &seconds, 0), 1);
  const struct tm fields = VornCalendar(seconds);
  EXPECT_EQ(fields.tm_year + 1900, 2024);
  EXPECT_EQ(fields.tm_mon + 1, 3);
  EXPECT_EQ(fields.tm_mday, 5);
  EXPECT_EQ(fields.tm_hour, 14);
  EXPECT_EQ(fields.tm_sec, 9);

  Identify(kClassLg2, 150, false);
  device_.On("time", {"\r2024-03-05\r>"});
  EXPECT_EQ(DeviceTime(*link_, &seconds, 0), -30) << "a date without its time";
  EXPECT_EQ(seconds, -1);
  device_.On("set -t 1:0:0", {"\r>"});
  device_.On("set -d 2001-1-1", {"\r>"});
  seconds = kNewYear2001At1;
  EXPECT_EQ(DeviceTime(*link_, &seconds, 1), 1) << "the old command set answers with the prompt";

  Identify(9, 100);  // no clock
  EXPECT_EQ(DeviceTime(*link_, &seconds, 0), -1);
  EXPECT_EQ(seconds, -1);
}

TEST_F(SettingsLoopTest, EraseChecksTheIdentityFirst) {
  Identify(kClassLg20, 202, true, "FIELD01");
  device_.On("get -i", {"\rFIELD02\r>", "\r\r>", "\rFIELD01\r>"});
  device_.On("yes", {"\rOK\r>", "\rDataFlash FAIL\r>"});
  EXPECT_EQ(EraseData(*link_), -37);
  EXPECT_TRUE(Logged("EraseData: Identity mismatch. Class: FIELD01, Device: FIELD02"));
  EXPECT_EQ(EraseData(*link_), -37);
  EXPECT_TRUE(Logged("EraseData failed checking the identity of device (error -36)"));
  EXPECT_EQ(device_.Count("yes"), 0) << "nothing erased on the wrong device";

  EXPECT_EQ(EraseData(*link_), 1);
  EXPECT_TRUE(Logged("InitializeDevice erased device data"));
  EXPECT_EQ(EraseData(*link_), -65);
  EXPECT_TRUE(Logged("EraseData failed due to a broken DataFlash"));
}

TEST_F(SettingsLoopTest, OldLg2ConfirmsTheEraseWithAnExclamationMark) {
  Identify(kClassLg2, 123, false, "OLDLOG");
  device_.On("show", {"\rID: OLDLOG\rVersion: 1.23\rRadio: 1\rWake: 30\rResets: 4\r>"});
  device_.On("yes", {"\rErasing... OK!"});
  EXPECT_EQ(EraseData(*link_), 1);
}

}  // namespace
