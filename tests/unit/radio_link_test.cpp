#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "logger/device_link.h"
#include "logger_link_fixture.h"

namespace {

class RadioTest : public LinkOnPty {
 protected:
  // The device reads the burst of wake packets a little after the link wrote them.
  int WaitForEmptyLines(int count) {
    for (int i = 0; i < 200 && device_.EmptyLines() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return device_.EmptyLines();
  }
};

TEST_F(RadioTest, WakeSendsNineHundredNinePacketsAtTheirPace) {
  Open(kConnectionRadio);
  UseVirtualClock();
  link_->config.progress = true;
  std::vector<std::tuple<int, int, int>> calls;
  link_->hooks.progress = [&](int total, int done, int phase) {
    calls.emplace_back(total, done, phase);
    return true;
  };
  ASSERT_EQ(SendWake(*link_), 1);
  EXPECT_EQ(WaitForEmptyLines(909), 909);
  EXPECT_EQ(slept_, 909 * 55) << "about 50 s on a real link";
  ASSERT_EQ(calls.size(), 51u + 1u);
  EXPECT_EQ(calls[1], std::make_tuple(909, 18, 1));
  EXPECT_EQ(calls[50], std::make_tuple(909, 900, 1));
  EXPECT_EQ(calls.back(), std::make_tuple(909, 909, 2));
  EXPECT_TRUE(Logged("SendWake sent 909 packets"));
}

TEST_F(RadioTest, WakeThatRunsTooSlowStopsReporting) {
  Open(kConnectionRadio);
  UseVirtualClock();
  link_->config.progress = true;
  int calls = 0;
  link_->hooks.progress = [&](int, int, int phase) {
    if (phase == 1 && ++calls == 3) clock_ += 60;  // the hook took longer than a packet's pause
    return true;
  };
  ASSERT_EQ(SendWake(*link_), 1);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(slept_, 908 * 55) << "no pause after the slow packet";
  EXPECT_TRUE(Logged("SendWake executing too slow to send status (PIG status)!"));

  int asked = 0;
  link_->hooks.progress = [&](int, int, int) { return ++asked < 2; };
  EXPECT_EQ(SendWake(*link_), -40);
  EXPECT_TRUE(Logged("SendWake canceled by user after sending 19 of 909 packets"));
}

TEST_F(RadioTest, QueryLearnsTheNameAndLogsIn) {
  Open(kConnectionRadio);
  device_.On("query", {"LOGGER7\r"});
  device_.On("login LOGGER7", {"\r\r>"});
  std::string name;
  uint8_t baudIndex = 5;
  ASSERT_EQ(DeviceLogin(*link_, &name, &baudIndex), 1);
  EXPECT_EQ(name, "LOGGER7");
  EXPECT_EQ(link_->settings.deviceName, "LOGGER7");
  EXPECT_EQ(baudIndex, 2);
  EXPECT_EQ(device_.EmptyLines(), 1) << "only the carriage return in front of the query";
  EXPECT_TRUE(Logged("QueryCommand heard from: LOGGER7"));
  EXPECT_GE(slept_, 2500) << "the device settles after the query";
}

TEST_F(RadioTest, QueryKeepsAskingForAValidName) {
  Open(kConnectionRadio);
  device_.On("query", {"bad name\r", "query\r", "GOOD\r"});
  std::string name;
  EXPECT_EQ(QueryCommand(*link_, &name), 1);
  EXPECT_EQ(name, "GOOD");
  EXPECT_EQ(device_.Count("query"), 3);
  EXPECT_EQ(link_->currentTries, 5u) << "the tries are restored";

  device_.On("query", {"bad name\r"});
  EXPECT_EQ(QueryCommand(*link_, &name), 1) << "the last name stands";
  EXPECT_EQ(name, "bad name");
}

TEST_F(RadioTest, RelayInFrontOfTheRadio) {
  Open(kConnectionRadio);
  device_.Echo(true);
  std::string name;
  uint8_t baudIndex = 2;
  EXPECT_EQ(DeviceLogin(*link_, &name, &baudIndex), -33);
  EXPECT_EQ(device_.Count("query"), 1);
  EXPECT_TRUE(Logged("QueryCommand is hearing \"query\" -- a relay must be active"));
}

TEST_F(RadioTest, SilentLoggerIsWokenAndLoggedInAgain) {
  Open(kConnectionRadio);
  link_->currentTries = 1;
  device_.On("login LOGGER7", {"", "\r\r>"});
  std::string name = "LOGGER7";
  uint8_t baudIndex = 2;
  ASSERT_EQ(DeviceLogin(*link_, &name, &baudIndex), 1);
  EXPECT_EQ(device_.Count("login LOGGER7"), 2);
  EXPECT_EQ(WaitForEmptyLines(909), 909) << "the wake sequence ran between the passes";
}

TEST_F(RadioTest, RadioLogoutRetriesUntilTheDeviceLeaves) {
  Open(kConnectionRadio);
  link_->settings.deviceName = "LOGGER7";
  device_.On("login LOGGER7", {"\r>", ""});
  EXPECT_EQ(DisconnectDevice(*link_), 1);
  EXPECT_EQ(device_.Count("logout"), 2);
  EXPECT_TRUE(Logged("DisconnectDevice: Device didn't disconnect, retrying"));
  EXPECT_TRUE(Logged("DisconnectDevice successful"));
  EXPECT_EQ(link_->port.handle, nullptr);
}

using Rq4Test = LinkOnPty;

TEST_F(Rq4Test, SetsAndReadsTheModemSettings) {
  Open(kConnectionRadio);
  link_->currentTries = 3;
  for (const char* line : {"+++", "ATHP3", "ATDT1A2B", "ATWR", "ATCN"}) device_.On(line, {"OK\r"});
  int32_t channel = 3;
  int32_t subChannel = 0x1A2B;
  uint32_t mask = kBitRadioChannel | kBitRadioSubChannel;
  ASSERT_EQ(Rq4Config(*link_, &channel, &subChannel, nullptr, true, &mask), 1);
  EXPECT_EQ(mask, kBitRadioChannel | kBitRadioSubChannel);
  EXPECT_EQ(device_.Heard(), (std::vector<std::string>{"+++", "ATHP3", "ATDT1A2B", "ATWR", "ATCN"}));

  device_.On("ATHP", {"C\r"});
  device_.On("ATDT", {"1A2B\r"});
  device_.On("ATVR", {"1044\r"});
  channel = subChannel = 0;
  std::string version;
  mask = kBitsRadio;
  ASSERT_EQ(Rq4Config(*link_, &channel, &subChannel, &version, false, &mask), 1);
  EXPECT_EQ(mask, kBitsRadio);
  EXPECT_EQ(channel, 12);
  EXPECT_EQ(subChannel, 0x1A2B);
  EXPECT_EQ(version, "1044");
  EXPECT_TRUE(Logged("Rq4Config found rsch 6699"));
}

TEST_F(Rq4Test, FailuresAreNeverSuccess) {
  Open(kConnectionRadio);
  link_->currentTries = 1;
  device_.On("+++", {"\rNAK", "\rNAK", "OK\r"});
  uint32_t mask = kBitRadioChannel;
  int32_t channel = 2;
  EXPECT_EQ(Rq4Config(*link_, &channel, nullptr, nullptr, true, &mask), -23);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(device_.Count("+++"), 2) << "two attempts to reach AT mode";
  EXPECT_TRUE(Logged("Rq4Config failed to get into AT command mode: -23"));

  device_.On("ATHP2", {"\rNAK"});
  device_.On("ATDT5", {"OK\r"});
  device_.On("ATWR", {"OK\r"});
  device_.On("ATCN", {"OK\r"});
  mask = kBitRadioChannel;
  EXPECT_EQ(Rq4Config(*link_, &channel, nullptr, nullptr, true, &mask), -1) << "missed with nothing done";
  EXPECT_EQ(mask, 0u);

  int32_t subChannel = 5;
  mask = kBitRadioChannel | kBitRadioSubChannel;
  EXPECT_EQ(Rq4Config(*link_, &channel, &subChannel, nullptr, true, &mask), -35);
  EXPECT_EQ(mask, kBitRadioSubChannel);

  device_.On("ATCN", {"\rNAK"});
  mask = kBitRadioSubChannel;
  EXPECT_EQ(Rq4Config(*link_, &channel, &subChannel, nullptr, true, &mask), -1);
  EXPECT_EQ(mask, kBitRadioSubChannel) << "the mask is left as it was";
  EXPECT_TRUE(Logged("Rq4Config failed to get out of AT command mode: -1"));
}

TEST_F(Rq4Test, ConnectingOverAModemThatCannotBeConfigured) {
  device_.On("+++", {"\rNAK"});
  ConnectParams params;
  params.portName = pty_.slavePath;
  params.connectionType = kConnectionRadio;
  params.configureRadio = true;
  params.radioChannel = 4;
  params.radioSubChannel = 9;
  EXPECT_EQ(ConnectDevice(*link_, &params), -23);
  EXPECT_FALSE(IsConnected(*link_));
  EXPECT_EQ(link_->port.handle, nullptr);
}

}  // namespace
