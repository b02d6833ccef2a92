// Loggers reached over the air through a radio modem on the port: the modem tuned to the
// logger's channel with AT commands, and a sleeping logger roused by the wake sequence.
#include <chrono>

#include "logger_sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr long long kWakeSequenceMs = 909LL * 55;

TEST_F(LoggerSim, SleepingRadioLoggerIsWokenAndLoggedInto) {
  StartSim({"--device", "LG20:2.02", "--radio", "3:0x1A2B", "--modem", "3:0x1A2B", "--asleep"});
  Tries(0, 1);  // one unanswered login costs one time-out
  const auto start = Clock::now();
  ASSERT_EQ(ConnectRadio("LG20-A"), kLinkOk);
  EXPECT_GE(slept_, kWakeSequenceMs) << "the wake sequence keeps its pace on the link's clock";
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(Logged("SendWake sent 909 packets"));

  LoggerSettings read;
  uint32_t mask = kBitName | kBitSite | kBitRadioChannel | kBitRadioSubChannel;
  ASSERT_EQ(Read(read, mask), kLinkOk);
  EXPECT_EQ(read.versionText, "LG20 2.02");
  EXPECT_EQ(read.radioChannel, 3);
  EXPECT_EQ(read.radioSubChannel, 0x1A2B);
  EXPECT_TRUE(Logged("MSRadioCommand asked the Rq4")) << "over the air only the local modem can tell the channel";
  EXPECT_EQ(DisconnectDevice(*link_), kLinkOk);

  const nlohmann::json report = StopSim();
  const auto commands = report["commands"].get<std::vector<std::string>>();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.front(), "login LG20-A") << "the login before the wake sequence was not heard";
  EXPECT_EQ(commands.back(), "logout") << "the login that checks the logout was not answered";
  EXPECT_EQ(report["logger"]["loggedIn"], false);
  ExpectStored(read, mask, report["settings"]["current"]);
}

TEST_F(LoggerSim, HostModemIsTunedToTheLoggersChannel) {
  StartSim({"--device", "VQ7", "--radio", "5:0x0BEE", "--modem", "0:0"});
  ASSERT_EQ(ConnectRadio("", true, 5, 0x0BEE), kLinkOk);
  EXPECT_EQ(link_->settings.deviceName, "VQ7-A") << "learnt from the name query";

  LoggerSettings read;
  uint32_t mask = kBitSite | kBitRadioChannel | kBitRadioSubChannel;
  ASSERT_EQ(Read(read, mask), kLinkOk);
  EXPECT_EQ(read.radioChannel, 5);
  EXPECT_EQ(read.radioSubChannel, 0x0BEE);

  const nlohmann::json report = StopSim();
  EXPECT_EQ(report["modem"]["channel"], 5);
  EXPECT_EQ(report["modem"]["subChannel"], 0x0BEE);
  EXPECT_EQ(report["modem"]["saved"], true);
  EXPECT_EQ(report["modem"]["atMode"], false);
  ExpectStored(read, mask, report["settings"]["current"]);
}

}  // namespace
