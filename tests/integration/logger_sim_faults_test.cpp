// Faults at the logger's command line: a logger that goes silent, a relay that echoes every
// line, error answers and a broken data chip.
#include <chrono>

#include "logger_sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> Commands(const nlohmann::json& report) {
  return report["commands"].get<std::vector<std::string>>();
}

TEST_F(LoggerSim, SilentLoggerIsLoggedIntoAgainAndTheStepRunsAgain) {
  // Command 1 is the login's "get -ver"; 2-4 read name, device ID and report; 5 and 6 are
  // both tries of the depth read.
  StartSim({"--device", "LG20:2.02", "--fault", "silence@command:5x2"});
  Tries(2, 0);
  ASSERT_EQ(ConnectCable(), kLinkOk);
  constexpr uint32_t kRequest = kBitName | kBitDeviceId | kBitReport | kBitDepths | kBitSite;
  LoggerSettings read;
  uint32_t mask = kRequest;
  EXPECT_EQ(Read(read, mask), kLinkOk);
  EXPECT_EQ(mask, kRequest | kBitVersion);
  EXPECT_TRUE(Logged("DeviceSettings re-connected to device"));

  const nlohmann::json report = StopSim();
  const std::vector<std::string> expected = {"get -ver",   "get -i",   "get -devid", "get -report", "get -depth",
                                             "get -depth", "get -ver", "get -depth", "get -site"};
  EXPECT_EQ(Commands(report), expected);
  EXPECT_EQ(report["injected"].size(), 2u);
  ExpectStored(read, mask, report["settings"]["current"]);
}

TEST_F(LoggerSim, EchoingRelayEndsTheSettingsLoopAtOnce) {
  StartSim({"--device", "LG20:2.02", "--fault", "echo@command:2x100"});
  ASSERT_EQ(ConnectCable(), kLinkOk);
  const auto start = Clock::now();
  LoggerSettings read;
  uint32_t mask = 0x7FFEFFF;
  EXPECT_EQ(Read(read, mask), kLinkEcho);
  EXPECT_EQ(mask, kBitVersion) << "the version was known; nothing was read";
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_TRUE(Logged("DeviceCommand is hearing echoed commands"));

  const nlohmann::json report = StopSim();
  EXPECT_EQ(Commands(report), (std::vector<std::string>{"get -ver", "get -i"})) << "no try after the echo";
}

TEST_F(LoggerSim, EchoingRelayEndsTheLoginAtOnce) {
  struct Case {
    const char* what;
    bool radio;
    const char* name;  // radio: log in by name, or ask the name first
    int result;
  };
  const Case cases[] = {
      {"cable", false, "", kLinkEcho},
      {"radio login", true, "LG20-A", kLinkRelay},
      {"radio query", true, "", kLinkRelay},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
    std::vector<std::string> args = {"--device", "LG20", "--fault", "echo@command:1x100"};
    if (c.radio) args.insert(args.end(), {"--radio", "1:0x10", "--modem", "1:0x10"});
    StartSim(args);
    const auto start = Clock::now();
    EXPECT_EQ(c.radio ? ConnectRadio(c.name) : ConnectCable(), c.result);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    const nlohmann::json report = StopSim();
    if (c.radio) {
      EXPECT_EQ(report["commands"].size(), 1u) << "no second try after the echo";
    }
  }
}

TEST_F(LoggerSim, ErrorAnswersAreRetriedThenTheSettingFails) {
  struct Case {
    const char* fault;
    int result;
    bool deviceIdRead;
  };
  // Command 3 is the device ID read (after "get -ver" and "get -i").
  for (const Case& c : {Case{"error@command:3", kLinkOk, true}, Case{"error@command:3x3", kLinkPartial, false}}) {
    SCOPED_TRACE(c.fault);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
    StartSim({"--device", "LG20:2.02", "--fault", c.fault});
    ASSERT_EQ(ConnectCable(), kLinkOk);
    LoggerSettings read;
    uint32_t mask = kBitName | kBitDeviceId | kBitSite;
    EXPECT_EQ(Read(read, mask), c.result);
    EXPECT_EQ((mask & kBitDeviceId) != 0, c.deviceIdRead);
    EXPECT_EQ(mask & (kBitName | kBitSite), kBitName | kBitSite) << "the other settings are read all the same";
    ExpectStored(read, mask, StopSim()["settings"]["current"]);
  }
}

// A restore that loses the logger part way (it goes silent, or falls into its loader and answers
// "$") ends with no answer, so the update keeps the settings file for a later run; it is not a
// logger that refused some settings.
TEST_F(LoggerSim, ARestoreThatLosesTheLoggerEndsWithNoAnswer) {
  // Commands 1-4 are the login's "get -ver" and the reads; 5 writes the name, 6 the site.
  for (const char* fault : {"silence@command:6x100", "reset@command:6"}) {
    SCOPED_TRACE(fault);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
    StartSim({"--device", "LG20:2.02", "--fault", fault});
    Tries(1, 0);
    ASSERT_EQ(ConnectCable(), kLinkOk);
    LoggerSettings settings;
    uint32_t mask = kBitName | kBitSite | kBitWake;
    ASSERT_EQ(Read(settings, mask), kLinkOk);
    settings.site = "Lower Weir";
    uint32_t written = kBitName | kBitSite | kBitWake;
    EXPECT_EQ(DeviceSettings(*link_, &settings, &written, 1), kLinkNoAnswer);
    EXPECT_EQ(written, kBitName);
    EXPECT_EQ(Heard(StopSim(), "set -w 60"), 0);
  }
}

TEST_F(LoggerSim, BrokenDataChipFailsTheErase) {
  StartSim({"--device", "LG20:2.02", "--broken-dataflash"});
  ASSERT_EQ(ConnectCable(), kLinkOk);
  LoggerSettings read;
  uint32_t mask = kBitName;
  ASSERT_EQ(Read(read, mask), kLinkOk);
  Send("erase\r");
  EXPECT_EQ(EraseData(*link_), kLinkDataFlash);
  EXPECT_TRUE(Logged("EraseData failed due to a broken DataFlash"));

  const nlohmann::json report = StopSim();
  EXPECT_EQ(report["storedData"]["eraseAttempts"], 1);
  EXPECT_EQ(report["storedData"]["erased"], false);
  EXPECT_GT(report["storedData"]["records"].get<int>(), 0);
}

}  // namespace
