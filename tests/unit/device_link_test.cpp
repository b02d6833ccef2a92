#include "logger/device_link.h"

#include <gtest/gtest.h>

#include "logger_link_fixture.h"

namespace {

TEST(DeviceName, RulesInTheirOrder) {
  const std::pair<std::string, int> cases[] = {
      {"", -53},    {"ABCDEFGHI", -54}, {"query", -52},  {"OK", -52},    {"login", -52},  {"Query", 1},
      {"A B", -50}, {"A\tB", -50},      {"A\x7f", -50},  {"A\xff", -50}, {"A:B", -51},    {"A;B", -51},
      {"a?b", -51}, {"a\\b", -51},      {"a\"b", -51},   {"a/b", -51},   {"a<b", -51},    {"a|b", -51},
      {"a,b", -51}, {"Z\xc3\xbc", -56}, {"LOGGER01", 1}, {"x-1_2", 1},   {"ABCDEFGH", 1},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(ValidateDeviceName(&name), expected) << name;
  EXPECT_EQ(ValidateDeviceName(nullptr), -53);
}

TEST(LinkConfig, ValidatesAndFillsDefaults) {
  DeviceLink link;
  LinkConfig config;
  ASSERT_EQ(ConfigureLink(link, &config, 0), 1);
  EXPECT_EQ(config.serialTries, 3u);
  EXPECT_EQ(config.radioTries, 5u);
  EXPECT_EQ(ConfigureLink(link, nullptr, 1), -10);

  LinkConfig bad = config;
  bad.serialTries = 13;
  EXPECT_EQ(ConfigureLink(link, &bad, 1), -11);
  bad = config;
  bad.traceLevel = 4;
  EXPECT_EQ(ConfigureLink(link, &bad, 1), -11);
  bad.traceLevel = -1;
  EXPECT_EQ(ConfigureLink(link, &bad, 1), -11);
  bad = config;
  bad.extraWaitMs = 30001;
  EXPECT_EQ(ConfigureLink(link, &bad, 1), -11);

  LinkConfig good;
  good.serialTries = 0;
  good.radioTries = 12;
  ASSERT_EQ(ConfigureLink(link, &good, 1), 1);
  EXPECT_EQ(link.config.serialTries, 3u) << "0 is the default";
  EXPECT_EQ(link.currentTries, 3u) << "not a radio link: the serial tries";
}

using DeviceCommandTest = LinkOnPty;

TEST_F(DeviceCommandTest, ClassifiesPromptEmptyErrorAndLongAnswers) {
  Open();
  struct Case {
    std::string reply;
    int capacity;
    int result;
    std::string answer;
    int sends;
  };
  const Case cases[] = {
      {"\rOK\r>", 32, 5, "\rOK\r>", 1}, {"\r\r>", 32, -31, "\r\r>", 1},
      {"ERROR\r>", 32, -34, "", 3},     {"\rUnsupported\r>", 32, -34, "", 3},
      {"what?\r>", 32, -34, "", 3},     {"\r0123456789012345678901234567890123456789\r>", 10, 43, "\r01234567", 1},
  };
  int round = 0;
  for (const Case& c : cases) {
    const std::string command = "get -x" + std::to_string(++round) + "\r";
    device_.On(command.substr(0, command.size() - 1), {c.reply});
    std::string answer = "stale";
    int elapsed = -1;
    EXPECT_EQ(DeviceCommand(*link_, command, '>', 1000, &answer, c.capacity, &elapsed), c.result) << c.reply;
    EXPECT_EQ(answer, c.answer) << c.reply;
    EXPECT_GE(elapsed, 0);
    EXPECT_EQ(device_.Count(command.substr(0, command.size() - 1)), c.sends) << c.reply;
  }
  EXPECT_TRUE(Logged("DeviceCommand got 34 more bytes than expected (get -x6\r)"));
  EXPECT_TRUE(Logged("DeviceCommand: device returned empty answer"));
}

TEST_F(DeviceCommandTest, EchoEndsAtOnceWithoutRetry) {
  Open();
  device_.Echo(true);
  std::string answer;
  EXPECT_EQ(DeviceCommand(*link_, "get -ver\r", '>', 300, &answer, 32, nullptr), -32);
  EXPECT_EQ(device_.Count("get -ver"), 1);
  EXPECT_TRUE(answer.empty());
  EXPECT_TRUE(Logged("DeviceCommand is hearing echoed commands -- device is broken? Relay active?"));
}

TEST_F(DeviceCommandTest, SilenceIsRetriedThenNoAnswer) {
  Open();
  std::string answer;
  EXPECT_EQ(DeviceCommand(*link_, "get -ver\r", '>', 150, &answer, 32, nullptr), -21);
  EXPECT_EQ(device_.Count("get -ver"), 3);
  EXPECT_EQ(slept_, 3 * 50) << "a 50 ms pause after each silent try";

  device_.On("get -sn", {"", "\r42\r>"});  // silent once, then answers
  EXPECT_EQ(DeviceCommand(*link_, "get -sn\r", '>', 150, &answer, 32, nullptr), 5);
  EXPECT_EQ(answer, "\r42\r>");
}

// A NUL in an answer (noise at a baud switch, or a device's own byte) is kept where it
// came: it neither ends the answer nor hides the text after it.
TEST_F(DeviceCommandTest, NulBytesStayInTheAnswer) {
  Open();
  const std::string replies[] = {std::string("\rA\0B\r>", 6), std::string("\0\rOK\r>", 6)};
  for (const std::string& reply : replies) {
    device_.On("get -sn", {reply});
    std::string answer;
    EXPECT_EQ(DeviceCommand(*link_, "get -sn\r", '>', 500, &answer, 32, nullptr), 6);
    EXPECT_EQ(answer, reply);
    EXPECT_EQ(LastAnswer(*link_), reply);
  }
}

TEST_F(DeviceCommandTest, AnswerWithoutThePromptIsTakenAfterTheTimeOut) {
  Open();
  device_.On("get -sn", {"\rpartial"});
  std::string answer;
  const uint32_t start = MillisecondTick();
  EXPECT_EQ(DeviceCommand(*link_, "get -sn\r", '>', 200, &answer, 32, nullptr), 8);
  EXPECT_GE(MillisecondTick() - start, 200u);
  EXPECT_EQ(answer, "\rpartial");
}

TEST_F(DeviceCommandTest, TraceLevelsAndExtraWait) {
  Open();
  std::vector<std::string> traced;
  link_->hooks.trace = [&](const char* text) { traced.emplace_back(text); };
  device_.On("get -sn", {"\rSN1\r>"});
  for (const int level : {0, 1, 2, 3}) {
    link_->config.traceLevel = level;
    DeviceCommand(*link_, "get -sn\r", '>', 500, nullptr, 0, nullptr);
  }
  EXPECT_EQ(traced, (std::vector<std::string>{"\rSN1\r>", "get -sn\r", "get -sn\r", "\rSN1\r>"}));

  link_->config.traceLevel = 0;
  link_->config.extraWaitMs = 300;
  device_.On("get -sn", {"\rpartial"});
  const uint32_t start = MillisecondTick();
  EXPECT_EQ(DeviceCommand(*link_, "get -sn\r", '>', 100, nullptr, 0, nullptr), 8);
  EXPECT_GE(MillisecondTick() - start, 400u) << "the extra wait lengthens every time-out";
}

TEST_F(DeviceCommandTest, ClosedPortPassesTheDriverCode) {
  std::string answer;
  EXPECT_EQ(DeviceCommand(*link_, "get -ver\r", '>', 100, &answer, 32, nullptr), -21);
  EXPECT_TRUE(Logged("DeviceCommand got unexpected response (-21) from VCommWrite"));
}

using IdentifyTest = LinkOnPty;

TEST_F(IdentifyTest, VersionLineGivesClassVersionAndCapabilities) {
  Open();
  device_.On("get -ver", {"\rQRL 2.05\r>"});
  ASSERT_EQ(VerCommand(*link_, true), 1);
  const LoggerSettings& s = link_->settings;
  EXPECT_EQ(s.deviceClass, 12);
  EXPECT_EQ(s.className, "QRL2");
  EXPECT_EQ(s.versionNumber, 205);
  EXPECT_EQ(s.versionText, "QRL 2.05");
  EXPECT_TRUE(s.newFirmware);
  EXPECT_EQ(s.capabilities, 0x7C3F6F7u);
  EXPECT_TRUE(Logged("VerCommand found \"QRL 2.05\" ver 205"));

  device_.On("get -ver", {"\rlg20 1.19\r>"});
  ASSERT_EQ(VerCommand(*link_, true), 1);
  EXPECT_EQ(s.deviceClass, 3);
  EXPECT_EQ(s.capabilities, 0x7737u + 0x80 + 0x40 + 0x8800 + 0x70000 + 0xC00000 + 0x200000);

  device_.On("get -ver", {"\rXYZ 3.00\r>"});
  ASSERT_EQ(VerCommand(*link_, true), 1);
  EXPECT_EQ(s.deviceClass, 0);
  EXPECT_EQ(s.className, "Unknown");
}

TEST_F(IdentifyTest, TwoErrorAnswersMeanAnOldLg2ReadThroughShow) {
  Open();
  device_.On("get -ver", {"ERROR\r>"});
  device_.On("show", {"\rID: OLDLOG\rVersion: 1.23\rRadio: 1\rWake: 30\rResets: 4\r>"});
  ASSERT_EQ(VerCommand(*link_, false), 1);
  const LoggerSettings& s = link_->settings;
  EXPECT_EQ(s.deviceClass, 2);
  EXPECT_FALSE(s.newFirmware);
  EXPECT_EQ(s.capabilities, 0x331Cu);
  EXPECT_EQ(s.deviceName, "OLDLOG");
  EXPECT_EQ(s.versionNumber, 123);
  EXPECT_EQ(s.wake, 30);
  EXPECT_EQ(s.rmode, 1);
  EXPECT_EQ(link_->resets, 4u);
  EXPECT_TRUE(Logged("VerCommand found Lg2 with old firmware"));
  EXPECT_TRUE(Logged("ParseShowCommand found OLDLOG:1.23:1:30:4"));

  // Once known, the old device is asked "show" only.
  const int versions = device_.Count("get -ver");
  EXPECT_EQ(VerCommand(*link_, false), 1);
  EXPECT_EQ(device_.Count("get -ver"), versions);

  // Asking only for the name leaves the record alone, even when the answer is bad.
  device_.On("show", {"\rgarbage\r>"});
  std::string name;
  EXPECT_EQ(ParseShowCommand(*link_, &name), -30);
  EXPECT_EQ(s.deviceName, "OLDLOG");
  EXPECT_EQ(s.versionNumber, 123);
}

TEST_F(IdentifyTest, OldModelBeforeOneTenIsUnsupported) {
  Open();
  Identify(kClassLg2, 0, false, "");
  device_.On("show", {"\rID: ANCIENT\rVersion: 1.05\rRadio: 0\rWake: 30\rResets: 1\r>"});
  EXPECT_EQ(ParseShowCommand(*link_, nullptr), -13);
  Identify(kClassLg2, 0, false, "");
  device_.On("show", {"\rID: BROKEN\rVersion: 1.23\rRadio: x\rWake: 30\rResets: 1\r>"});
  EXPECT_EQ(ParseShowCommand(*link_, nullptr), -30);
  EXPECT_EQ(link_->settings.versionNumber, -1);
  EXPECT_EQ(link_->settings.wake, -1);
  EXPECT_EQ(link_->settings.deviceName, "");
  EXPECT_TRUE(Logged("ParseShowCommand failed with errors "));
  EXPECT_TRUE(Logged(" and 4 ("));
  Identify(kClassLg20, 200);
  EXPECT_EQ(ParseShowCommand(*link_, nullptr), -11) << "not for the current command set";
}

TEST_F(IdentifyTest, LoaderAnswersAndFailuresForgetTheIdentity) {
  Open();
  Identify(kClassLg20, 202);
  link_->settings.deviceClass = kClassUnknown;
  device_.On("get -ver", {"\r+LDR"});
  EXPECT_EQ(VerCommand(*link_, true), -80);
  EXPECT_EQ(device_.Count("get -ver"), 1) << "the loader answer stops at once";
  EXPECT_EQ(link_->settings.versionNumber, 0);
  EXPECT_EQ(link_->settings.versionText, "");
  EXPECT_FALSE(link_->settings.newFirmware);
  EXPECT_TRUE(Logged("VerCommand failed with error -80"));

  device_.On("get -ver", {"$"});
  EXPECT_EQ(VerCommand(*link_, true), -81);
  EXPECT_EQ(device_.Count("get -ver"), 3) << "the loader prompt twice";

  device_.On("get -ver", {"\r>"});
  EXPECT_EQ(VerCommand(*link_, true), -32);

  // Answers that never identify the device do not pass for success.
  device_.On("get -ver", {"\r1+\r>"});
  EXPECT_EQ(VerCommand(*link_, true), -30);
}

TEST_F(IdentifyTest, SilentDeviceIsNoAnswer) {
  Open();
  link_->currentTries = 2;
  EXPECT_EQ(VerCommand(*link_, true), -21);
  EXPECT_EQ(device_.Count("get -ver"), 2);
}

using ConnectTest = LinkOnPty;

TEST_F(ConnectTest, SerialLoginMovesBothSidesToTheRequestedRate) {
  device_.On("get -ver", {"\rLG20 2.02\r>"});
  device_.On("set -baud 4", {"\rOK\r>"});
  device_.On("set -baud 0", {"\rOK\r>"});
  ConnectParams params;
  params.portName = pty_.slavePath;
  params.connectionType = kConnectionSerial;
  params.baudIndex = 6;
  ASSERT_EQ(ConnectDevice(*link_, &params), 1);
  EXPECT_TRUE(IsConnected(*link_));
  EXPECT_EQ(params.baudIndex, 6);
  EXPECT_EQ(link_->port.hostBaud, 115200u);
  EXPECT_EQ(pty_.SlaveBaud(), 115200u);
  EXPECT_TRUE(Logged("DeviceLogin communicating with a device running LG20 2.02 at 115200 baud"));

  EXPECT_EQ(DisconnectDevice(*link_), 1);
  EXPECT_EQ(device_.Count("set -baud 0"), 1) << "the device goes back to 9600";
  EXPECT_FALSE(IsConnected(*link_));
  EXPECT_EQ(link_->port.handle, nullptr);
  EXPECT_EQ(link_->settings.versionNumber, 0) << "the record is cleared";
  EXPECT_EQ(DisconnectDevice(*link_), 0);
}

TEST_F(ConnectTest, RatesTheDeviceCannotTakeStayAtNineSixHundred) {
  device_.On("get -ver", {"\rLG20 2.02\r>"});
  ConnectParams params;
  params.portName = pty_.slavePath;
  params.connectionType = kConnectionSerial;
  params.baudIndex = 1;  // 1200: the device has no code for it
  ASSERT_EQ(ConnectDevice(*link_, &params), 1);
  EXPECT_EQ(params.baudIndex, 2);
  EXPECT_EQ(link_->port.hostBaud, 9600u);
  EXPECT_EQ(device_.Count("set -baud 0"), 0);
}

TEST_F(ConnectTest, RefusedBaudChangeStaysAtNineSixHundred) {
  device_.On("get -ver", {"\rLG20 2.02\r>"});
  device_.On("set -baud 1", {"\rNAK"});
  ConnectParams params;
  params.portName = pty_.slavePath;
  params.connectionType = kConnectionSerial;
  params.baudIndex = 3;
  ASSERT_EQ(ConnectDevice(*link_, &params), 1);
  EXPECT_EQ(params.baudIndex, 2);
  EXPECT_EQ(link_->port.hostBaud, 9600u);
  EXPECT_TRUE(Logged("DeviceLogin: device didn't change baud rate (error -30)"));
}

TEST_F(ConnectTest, BadParametersAndSilentDevices) {
  ConnectParams params;
  params.portName = pty_.slavePath;
  EXPECT_EQ(ConnectDevice(*link_, nullptr), -10);
  params.connectionType = 0;
  EXPECT_EQ(ConnectDevice(*link_, &params), -11);
  params.connectionType = 40;
  EXPECT_EQ(ConnectDevice(*link_, &params), -13);
  params.connectionType = 55;
  EXPECT_EQ(ConnectDevice(*link_, &params), -10);
  params.connectionType = kConnectionSerial;
  params.baudIndex = 9;
  EXPECT_EQ(ConnectDevice(*link_, &params), -11);

  params.portName = "/dev/vorn-no-such-port";
  params.baudIndex = 0;
  EXPECT_EQ(ConnectDevice(*link_, &params), -kSysPortMissing);

  params.portName = pty_.slavePath;
  link_->config.serialTries = 2;
  EXPECT_EQ(ConnectDevice(*link_, &params), -20);
  EXPECT_FALSE(IsConnected(*link_));
  EXPECT_EQ(link_->port.handle, nullptr) << "a failed connection closes the port";
  EXPECT_TRUE(Logged("DeviceLogin: nothing is listening over the serial port"));

  link_->config.keepPortOpen = true;
  EXPECT_EQ(ConnectDevice(*link_, &params), -20);
  EXPECT_FALSE(IsConnected(*link_));
  EXPECT_NE(link_->port.handle, nullptr) << "kept open when asked";
}

using BaudTest = LinkOnPty;

TEST_F(BaudTest, RateCodesSilenceAndPrompts) {
  Open();
  Identify(kClassLg20, 202);
  device_.On("set -baud 0", {"\rOK\r>"});
  EXPECT_EQ(SetBaudCommand(*link_, 4800), 1);
  EXPECT_TRUE(Logged("SetBaudCommand: unsupported baud rate 4800, using 9600"));
  EXPECT_TRUE(Logged("SetBaudCommand set device baud rate to 9600"));

  // Going back to 9600 the device may already have switched: silence is success.
  link_->currentTries = 1;
  device_.On("set -baud 0", {""});
  EXPECT_EQ(SetBaudCommand(*link_, 9600), 1);

  link_->currentTries = 3;
  device_.On("set -baud 1", {"\rK\r>"});
  EXPECT_EQ(SetBaudCommand(*link_, 19200), -30);
  EXPECT_EQ(device_.Count("set -baud 1"), 3) << "a bare prompt is tried again";
  EXPECT_TRUE(Logged("SetBaudCommand failed (heard prompt): trying again"));

  device_.On("set -baud 2", {"\rNAK"});
  EXPECT_EQ(SetBaudCommand(*link_, 38400), -30);
  EXPECT_EQ(device_.Count("set -baud 2"), 1);

  slept_ = 0;
  link_->currentTries = 1;
  EXPECT_EQ(SetBaudCommand(*link_, 57600), -21);
  EXPECT_EQ(slept_, 50 + 1500 + 100) << "silent try, retry pause at 9600, settle";

  link_->settings.newFirmware = false;
  const size_t heard = device_.Heard().size();
  EXPECT_EQ(SetBaudCommand(*link_, 19200), -1);
  EXPECT_EQ(device_.Heard().size(), heard) << "the old command set cannot change its rate";
}

using LoginTest = LinkOnPty;

TEST_F(LoginTest, LoginAnswers) {
  Open();
  device_.On("login LOG1", {"\r\r>"});
  const std::string name = "LOG1";
  EXPECT_EQ(LoginCommand(*link_, &name), 1) << "the empty answer is a good login";
  device_.On("login", {"\r>"});
  const std::string empty;
  EXPECT_EQ(LoginCommand(*link_, &empty), 1);
  device_.On("login LOG2", {"\rWelcome to the logger\r>"});
  const std::string second = "LOG2";
  EXPECT_EQ(LoginCommand(*link_, &second), -30) << "the prompt must come within the kept answer";
  const std::string tooLong = "ABCDEFGHI";
  EXPECT_EQ(LoginCommand(*link_, &tooLong), -54);
  EXPECT_TRUE(Logged("LoginCommand: Device name ABCDEFGHI is wrong length (9 characters)"));
}

}  // namespace
