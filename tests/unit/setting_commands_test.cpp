#include "logger/setting_commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "logger_link_fixture.h"

namespace {

class SettingTest : public LinkOnPty {
 protected:
  void SetUp() override {
    LinkOnPty::SetUp();
    Open();
    device_.Otherwise("\rOK\r>");
  }
  bool Sent(const std::string& line) const { return device_.Count(line) > 0; }
};

TEST_F(SettingTest, PositionIsWrittenWithFiveDecimalsAndZeroClears) {
  Identify(kClassLg20, 202);
  double value = 0.0;
  EXPECT_EQ(LatitudeCommand(*link_, &value, kWrite), 1);
  value = -46.12345;
  EXPECT_EQ(LatitudeCommand(*link_, &value, kWrite), 1);
  value = 46.1;
  EXPECT_EQ(LongitudeCommand(*link_, &value, kWrite), 1);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"set -lat ", "set -lat -46.12345", "set -long +46.10000"}));
  EXPECT_TRUE(Logged("LongitudeCommand set longitude to +46.10000"));

  value = std::nan("");
  EXPECT_EQ(LatitudeCommand(*link_, &value, kWrite), -11) << "nothing that is not a number is sent";
  EXPECT_EQ(device_.Heard().size(), 3u);

  device_.On("get -lat", {"\r-12.50000\r>", "\rnorth\r>"});
  EXPECT_EQ(LatitudeCommand(*link_, &value, kRead), 1);
  EXPECT_DOUBLE_EQ(value, -12.5);
  EXPECT_EQ(LatitudeCommand(*link_, &value, kRead), -31);
  EXPECT_DOUBLE_EQ(value, -12.5) << "a failed read leaves the value";
  EXPECT_TRUE(Logged("LatitudeCommand could not find device latitude"));
  EXPECT_TRUE(Logged("LatitudeCommand failed with error -31"));
}

// A logger's texts keep any bytes (a site in Latin-1 or UTF-8); garbage is told from a value by
// the answer's shape: a line closed by the prompt, holding what the setting holds.
TEST_F(SettingTest, ValuesKeepEveryByteAndNoiseIsNoValue) {
  Identify(kClassLg20, 202);
  device_.On("get -site", {"\rBr\xFC" "cke 7 \xC3\xA9\r>", "Zq7(x>"});
  std::string site;
  EXPECT_EQ(SiteCommand(*link_, &site, kRead), 1);
  EXPECT_EQ(site, "Br\xFC" "cke 7 \xC3\xA9");
  EXPECT_EQ(SiteCommand(*link_, &site, kWrite), 1);
  EXPECT_TRUE(Sent("set -site Br\xFC" "cke 7 \xC3\xA9"));
  EXPECT_EQ(SiteCommand(*link_, &site, kRead), -30);
  EXPECT_EQ(site, "Br\xFC" "cke 7 \xC3\xA9") << "noise is not kept";

  const std::pair<const char*, const char*> noise[] = {{"get -w", "\r60k#\r>"}, {"get -data", "\r7 \xB1\r>"},
                                                       {"get -ports", "\r1 2 3 4 5 9z\r>"},
                                                       {"get -lat", "\r+46.1x\r>"}};
  for (const auto& [command, answer] : noise) device_.On(command, {answer});
  int32_t wake = 5;
  int32_t data = 5;
  PortBytes ports{};
  double latitude = 1.0;
  EXPECT_EQ(WakeCommand(*link_, &wake, kRead), -30);
  EXPECT_EQ(DataParameterCommand(*link_, &data, kRead), -30);
  EXPECT_EQ(PortsCommand(*link_, &ports, kRead), -30);
  EXPECT_EQ(LatitudeCommand(*link_, &latitude, kRead), -31);
  EXPECT_EQ(wake + data, 10);
  EXPECT_EQ(ports, PortBytes{});
  EXPECT_DOUBLE_EQ(latitude, 1.0);
}

TEST_F(SettingTest, TimeZoneOfThisComputerInQuarterHours) {
  const char* old = std::getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
  setenv("TZ", "PST8", 1);
  tzset();
  Identify(kClassLg20, 202);
  int32_t zone = kTimeZoneOfComputer;
  EXPECT_EQ(TimeZoneCommand(*link_, &zone, kWrite), 1);
  EXPECT_EQ(zone, -32);
  EXPECT_TRUE(Sent("set -tz -32"));
  EXPECT_EQ(TimeZoneCommand(*link_, nullptr, kRead), -10);
  if (old != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST_F(SettingTest, TraitWordIsKeptInvertedOnTheDevice) {
  Identify(kClassLg20, 202);
  device_.On("get -trait", {"\r254\r>", "\r999\r>"});
  uint32_t trait = 0;
  EXPECT_EQ(TraitCommand(*link_, &trait, kRead), 1);
  EXPECT_EQ(trait, 0x4001u);
  EXPECT_EQ(TraitCommand(*link_, &trait, kRead), -30) << "not a byte";
  trait = 0x4001;
  EXPECT_EQ(TraitCommand(*link_, &trait, kWrite), 1);
  EXPECT_TRUE(Sent("set -trait 254"));
  trait = 0x0001;
  const size_t sent = device_.Heard().size();
  EXPECT_EQ(TraitCommand(*link_, &trait, kWrite), -11);

  Identify(6, 204);  // Lg2b: no trait command, no radio
  trait = 0x4001;
  EXPECT_EQ(TraitCommand(*link_, &trait, kWrite), -12);
  EXPECT_EQ(TraitCommand(*link_, &trait, kRead), 1);
  EXPECT_EQ(trait, 0x4000u) << "emulated: valid, no radio";
  Identify(kClassFieldHub, 109);
  EXPECT_EQ(TraitCommand(*link_, &trait, kRead), 1);
  EXPECT_EQ(trait, 16385u);
  EXPECT_EQ(device_.Heard().size(), sent) << "none of these asked the device";

  Identify(kClassLg20, 104);  // a radio but no trait command: the radio version tells
  device_.On("get -rver", {"\rOK\r1044\r>"});
  EXPECT_EQ(TraitCommand(*link_, &trait, kRead), 1);
  EXPECT_EQ(trait, 0x4001u);
  EXPECT_TRUE(Logged("TraitCommand (emulated): found 16385"));
}

TEST_F(SettingTest, CalibrationCheckByte) {
  Identify(kClassLg20, 202);
  PortBytes slopes{10, 20, 30, 40, 50};
  PortBytes offsets{1, 2, 3, 4, 5};
  EXPECT_EQ(ADCcalCommand(*link_, kAdc30, &slopes, &offsets, kWrite), 1);
  EXPECT_TRUE(Sent("set -adc30 10 1 20 2 30 3 40 4 50 5 165"));

  device_.On("get -adc15", {"\r10 1 20 2 30 3 40 4 50 5 165\r>", "\r10 1 20 2 30 3 40 4 50 5 166\r>",
                            "\r0 1 300 2 30 3 40 4 50 5 165\r>", "\r10 1 20\r>"});
  PortBytes s{}, o{};
  EXPECT_EQ(ADCcalCommand(*link_, kAdc15, &s, &o, kRead), 1);
  EXPECT_EQ(s, slopes);
  EXPECT_EQ(o, offsets);
  EXPECT_TRUE(Logged("ADCcalCommand found (valid) -adc15 10 1 20 2 30 3 40 4 50 5 165"));
  EXPECT_EQ(ADCcalCommand(*link_, kAdc15, &s, &o, kRead), -1);
  EXPECT_TRUE(Logged("ADCcalCommand found (not valid) -adc15 10 1 20 2 30 3 40 4 50 5 166"));
  EXPECT_EQ(ADCcalCommand(*link_, kAdc15, &s, &o, kRead), -1);
  EXPECT_EQ(s[0], 0);
  EXPECT_EQ(s[1], 255);
  EXPECT_EQ(ADCcalCommand(*link_, kAdc15, &s, &o, kRead), -30);
  EXPECT_TRUE(Logged("ADCcalCommand only found 3 of 11 cal -adc15 factors"));
  EXPECT_TRUE(Logged("ADCcalCommand (-adc15) failed with error -30"));
  EXPECT_EQ(ADCcalCommand(*link_, 3, &s, &o, kRead), -11);
  EXPECT_EQ(ADCcalCommand(*link_, kAdc15, nullptr, &o, kRead), -10);

  Identify(10, 123);  // keeps a single pair
  PortBytes one{7, 0, 0, 0, 0};
  PortBytes oneOffset{3, 9, 9, 9, 9};
  EXPECT_EQ(ADCcalCommand(*link_, kAdc15, &one, &oneOffset, kWrite), 1);
  EXPECT_TRUE(Sent("set -adc15 7 3 10"));
  device_.On("get -adc15", {"\r7 3 10\r>"});
  EXPECT_EQ(ADCcalCommand(*link_, kAdc15, &one, &oneOffset, kRead), 1) << "the check covers the pair it was sent for";
}

TEST_F(SettingTest, PortBytesAndMissingCapabilities) {
  Identify(kClassLg20, 202);
  device_.On("get -depth", {"\r1 2 300 4 5\r>", "\r1 2 3\r>"});
  PortBytes depths{};
  EXPECT_EQ(DepthCommand(*link_, &depths, kRead), 1);
  EXPECT_EQ(depths, (PortBytes{1, 2, 255, 4, 5}));
  EXPECT_EQ(DepthCommand(*link_, &depths, kRead), -30);
  EXPECT_TRUE(Logged("DepthCommand only found 3 of 5 port depths"));
  EXPECT_EQ(depths, (PortBytes{1, 2, 255, 4, 5}));

  Identify(kClassUnknown, 100);
  const size_t sent = device_.Heard().size();
  std::string text = "x";
  uint32_t report = 1;
  int32_t zone = 4;
  PortBytes ports{9, 9, 9, 9, 9};
  EXPECT_EQ(DeviceIDCommand(*link_, &text, kRead), -1);
  EXPECT_EQ(ReportCommand(*link_, &report, kWrite), -1);
  EXPECT_EQ(SiteCommand(*link_, &text, kWrite), -1);
  EXPECT_EQ(TimeZoneCommand(*link_, &zone, kRead), -1);
  EXPECT_EQ(DepthCommand(*link_, &depths, kRead), -1);
  EXPECT_EQ(depths, (PortBytes{1, 2, 255, 4, 5})) << "depths are left as they are";
  EXPECT_EQ(PortsCommand(*link_, &ports, kRead), -1);
  EXPECT_EQ(ports, (PortBytes{0, 0, 0, 0, 0})) << "ports are cleared";
  EXPECT_EQ(device_.Heard().size(), sent);
}

TEST_F(SettingTest, TextValues) {
  Identify(kClassLg20, 202);
  std::string site = "North Field";
  EXPECT_EQ(SiteCommand(*link_, &site, kWrite), 1);
  EXPECT_TRUE(Sent("set -site North Field"));
  EXPECT_TRUE(Logged("SiteCommand set site to \"North Field\""));
  site = "a\rerase";
  EXPECT_EQ(SiteCommand(*link_, &site, kWrite), -11) << "a line end would start another command";

  device_.On("get -site", {"\r  A site name longer than twenty-five\r>", "\r>"});
  EXPECT_EQ(SiteCommand(*link_, &site, kRead), 1);
  EXPECT_EQ(site, "A site name longer than t");
  EXPECT_EQ(SiteCommand(*link_, &site, kRead), -31);

  device_.On("get -sn", {"\r\r>", "\r\r>", "\rSN-77\r>"});
  std::string sn;
  EXPECT_EQ(SNCommand(*link_, &sn, kRead), 1);
  EXPECT_EQ(sn, "SN-77");
  EXPECT_EQ(device_.Count("get -sn"), 3) << "the serial number is asked again";

  device_.On("get -i", {"\rLOGGER9\r>", "\r\r>"});
  std::string name;
  EXPECT_EQ(NameCommand(*link_, &name, kRead), 1);
  EXPECT_EQ(name, "LOGGER9");
  EXPECT_EQ(NameCommand(*link_, &name, kRead), -36);
  EXPECT_FALSE(Logged("NameCommand failed")) << "the empty name answer is not logged as a failure";
  name = "a:b";
  EXPECT_EQ(NameCommand(*link_, &name, kWrite), -51);
  EXPECT_FALSE(Sent("set -i a:b"));

  link_->settings.newFirmware = false;
  device_.On("set -i OLDNAME", {"\rOK>", "\r>"});
  name = "OLDNAME";
  EXPECT_EQ(NameCommand(*link_, &name, kWrite), -30) << "the old command set answers with the bare prompt";
  EXPECT_EQ(NameCommand(*link_, &name, kWrite), 1);
}

TEST_F(SettingTest, NumbersAndTheirSpecialCases) {
  Identify(kClassLg20, 202);
  int32_t wake = -5;
  EXPECT_EQ(WakeCommand(*link_, &wake, kWrite), -11);
  device_.On("get -w", {"\r900\r>"});
  EXPECT_EQ(WakeCommand(*link_, &wake, kRead), 1);
  EXPECT_EQ(wake, 900);

  Identify(kClassLg2, 164, false);
  int32_t padc = 50;
  const size_t sent = device_.Heard().size();
  EXPECT_EQ(PADCCommand(*link_, &padc, kRead), -1);
  EXPECT_EQ(padc, -1);
  EXPECT_EQ(device_.Heard().size(), sent);
  Identify(kClassLg2, 165, false);
  device_.On("hertz", {"\r20\r>"});
  EXPECT_EQ(PADCCommand(*link_, &padc, kRead), 1);
  EXPECT_EQ(padc, 20);
  device_.On("set -p 10", {"\r>"});
  padc = 10;
  EXPECT_EQ(PADCCommand(*link_, &padc, kWrite), 1);
  EXPECT_TRUE(Logged("PADCCommand set device PADC 10 Hz"));

  Identify(kClassVq7, 100);
  const size_t before = device_.Heard().size();
  int32_t rmode = 3;
  EXPECT_EQ(RmodeCommand(*link_, &rmode, kRead), 1);
  EXPECT_EQ(rmode, 16);
  EXPECT_EQ(RmodeCommand(*link_, &rmode, kWrite), 1);
  EXPECT_EQ(device_.Heard().size(), before) << "the vQ7 is always in mode 16";

  Identify(kClassLg20, 202);
  link_->settings.trait = kTraitValid | kTraitCellular;
  device_.On("get -ipport", {"\rnone\r>"});
  uint32_t port = 0;
  EXPECT_EQ(IPPortCommand(*link_, &port, kRead), -31);
}

TEST_F(SettingTest, CellularSettingsNeedTheModemTrait) {
  Identify(kClassLg20, 202);
  std::string key = "0123456789abcdef0123456789ABCDEF0";
  EXPECT_EQ(AuthKeyCommand(*link_, &key, kWrite), -1) << "no modem trait";
  link_->settings.trait = kTraitValid | kTraitCellular;
  EXPECT_EQ(AuthKeyCommand(*link_, &key, kWrite), 1);
  EXPECT_TRUE(Sent("set -authkey 0123456789abcdef0123456789ABCDEF"));
  key = "0123456789abcdef0123456789ABCDEZ";
  EXPECT_EQ(AuthKeyCommand(*link_, &key, kWrite), -11);
  key = "0123";
  EXPECT_EQ(AuthKeyCommand(*link_, &key, kWrite), -11);

  device_.On("get -authkey", {"ERROR\r>"});
  device_.On("get -teakey", {"\rFEDCBA9876543210FEDCBA9876543210\r>"});
  EXPECT_EQ(AuthKeyCommand(*link_, &key, kRead), 1);
  EXPECT_EQ(key, "FEDCBA9876543210FEDCBA9876543210");
  EXPECT_TRUE(Logged("AuthKeyCommand found authkey (as teakey)"));

  std::string host(80, 'h');
  EXPECT_EQ(HostCommand(*link_, &host, kWrite), 1);
  EXPECT_TRUE(Sent("set -host " + std::string(65, 'h')));
}

TEST_F(SettingTest, RadioItems) {
  Identify(kClassLg20, 202);
  std::string version = "stale";
  uint32_t mask = kBitRadioVersion;
  device_.On("get -rver", {"\rOK\r0000\r>"});
  EXPECT_EQ(MSRadioCommand(*link_, nullptr, nullptr, &version, &mask, kRead), -45);
  EXPECT_EQ(version, "");
  EXPECT_EQ(mask, 0u);
  EXPECT_TRUE(Logged("MSRadioCommand couldn't find a radio"));

  device_.On("get -rver", {"\rOK\r10A5\r>"});
  device_.On("get -rch", {"\rOK\r9\r>", "\rOK\r4\r>"});
  device_.On("get -rsch", {"\rNo Radio\r>"});
  int32_t channel = 0;
  int32_t subChannel = 0;
  mask = kBitsRadio;
  EXPECT_EQ(MSRadioCommand(*link_, &channel, &subChannel, &version, &mask, kRead), -35);
  EXPECT_EQ(mask, kBitRadioVersion | kBitRadioChannel);
  EXPECT_EQ(version, "10A5");
  EXPECT_EQ(channel, 4) << "a channel above 6 is asked again";
  EXPECT_TRUE(Logged("MSRadioCommand failed with error -35 setting 2048"));

  Identify(kClassLg2, 150, true);
  device_.On("set -rch 3", {"\rOK\r>", "\rOK\r\rOK\r>"});
  channel = 3;
  mask = kBitRadioChannel;
  EXPECT_EQ(MSRadioCommand(*link_, &channel, nullptr, nullptr, &mask, kWrite), 1);
  EXPECT_EQ(device_.Count("set -rch 3"), 2) << "an Lg2 acknowledges twice";

  link_->params.connectionType = kConnectionRadio;
  mask = kBitRadioChannel;
  EXPECT_EQ(MSRadioCommand(*link_, &channel, nullptr, nullptr, &mask, kWrite), -12);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(MSRadioCommand(*link_, &channel, nullptr, nullptr, nullptr, kRead), -10);
}

}  // namespace
