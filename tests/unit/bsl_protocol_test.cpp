// The loader protocol against a scripted device on a pseudo-terminal: frames,
// reply classification, retries and their spacing, connecting, erasing,
// uploading and cancelling.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "pty_pair.h"
#include "scripted_device.h"

namespace {

constexpr uint32_t kLoaderBaud = 57600;

std::string Accept(const std::string&) { return "+\r"; }

// Letter and argument of a frame, without the checksum trailer.
std::string Body(const std::string& frame) { return frame.substr(0, frame.rfind('.')); }

std::vector<std::string> Bodies(const ScriptedDevice& device) {
  std::vector<std::string> bodies;
  for (const std::string& text : device.Texts()) bodies.push_back(Body(text));
  return bodies;
}

// An engine talking on a port the test opened and lends it, as a pass-through link would.
class LentPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(VSOpen(lender, pty.slavePath, kBootBaud), 1);
    ASSERT_EQ(BSLHandOff(engine, lender.handle, lender.readBuffer, pty.slavePath, false, 3), 1);
  }
  void TearDown() override { BSLHandBack(engine); }

  PtyPair pty;
  SerialPort lender;
  HostBSL engine{nullptr, BuiltInFirmware()};
};

TEST(BslFrames, ChecksumIsTheCharacterSumModulo65535) {
  EXPECT_EQ(BSLFrame('g', ""), "g.0095\r");
  EXPECT_EQ(BSLFrame('@', "6E00"), "@6E00.0149\r");
  EXPECT_EQ(BSLChecksum('W', std::string(512, '\xFF')), (46u + 'W' + 512u * 255u) % 65535u);
}

TEST(BslFrames, RepliesAreClassifiedByWhereThePlusStands) {
  const std::pair<std::string, int> cases[] = {
      {"+", 1}, {"x+", 2}, {"+12+\r", 5}, {"-", kBslRejected}, {"?", kBslRejected},
      {"ok\r", kBslRejected}, {"", kBslNotConnected}, {"-+", 2},
  };
  for (const auto& [reply, result] : cases) EXPECT_EQ(BSLClassifyReply(reply), result) << reply;
}

TEST_F(LentPort, CommandsAreFramedAndTheirRepliesReturned) {
  ScriptedDevice device(pty, [](const std::string& m) { return m[0] == 'g' ? "+27+\r" : m[0] == '@' ? "-\r" : "x+"; });
  std::string reply;
  int elapsed = -1;
  EXPECT_EQ(BSLCommand(engine, 'g', nullptr, 0, '\r', &reply, &elapsed), 5);
  EXPECT_EQ(reply, "+27+\r");
  EXPECT_GE(elapsed, 0);
  EXPECT_EQ(BSLCommand(engine, '@', "6E00", 4, '\r', &reply, nullptr), kBslRejected);
  const uint32_t values[] = {0x1234, 0xABCDE};
  EXPECT_EQ(BSLCommand(engine, 'X', values, 2, '+', &reply, nullptr, true), 2);
  EXPECT_EQ(device.Texts(), (std::vector<std::string>{"g.0095\r", "@6E00.0149\r", BSLFrame('X', "01234ABCDE")}));
}

TEST_F(LentPort, OversizedOrIncompleteCommandsAreRefusedUnsent) {
  ScriptedDevice device(pty, Accept);
  std::string reply;
  const std::string tooLong(513, '0');
  const std::vector<uint32_t> values(129, 0);
  EXPECT_EQ(BSLCommand(engine, 'W', tooLong.c_str(), 513, '\r', &reply, nullptr), kBslBadArgument);
  EXPECT_EQ(BSLCommand(engine, 'W', "00", 2, '\r', nullptr, nullptr), kBslMissingArgument);
  EXPECT_EQ(BSLCommand(engine, 'W', nullptr, 0, '\r', &reply, nullptr), kBslMissingArgument);
  EXPECT_EQ(BSLCommand(engine, 'V', values.data(), 129, '+', &reply, nullptr, false), kBslBadArgument);
  // 108 five-digit values would overrun the command buffer; 107 fit.
  EXPECT_EQ(BSLCommand(engine, 'V', values.data(), 108, '+', &reply, nullptr, true), kBslBadArgument);
  EXPECT_TRUE(device.Texts().empty());
  EXPECT_EQ(BSLCommand(engine, 'V', values.data(), 107, '+', &reply, nullptr, true), 2);
  HostBSL idle(nullptr, BuiltInFirmware());
  EXPECT_EQ(BSLCommand(idle, 'g', nullptr, 0, '\r', &reply, nullptr), kBslNotConnected);
}

TEST_F(LentPort, AnUnansweredAddressIsTriedThreeTimesThenFailsAsNotConnected) {
  ScriptedDevice device(pty, [](const std::string&) { return ""; });
  EXPECT_EQ(BSLSendAddress(engine, 0x6E00, false), kBslNotConnected);
  const std::vector<DeviceMessage> sent = device.Received();
  ASSERT_EQ(sent.size(), 3u);
  for (size_t i = 1; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].text, "@6E00.0149\r");
    // Each try waits a second for its reply, then 175 ms before the next.
    EXPECT_GE(sent[i].atMs - sent[i - 1].atMs, 1170u);
    EXPECT_LT(sent[i].atMs - sent[i - 1].atMs, 1800u);
  }
}

TEST_F(LentPort, ARejectedBlockIsRetriedAfterItsAddressIsSentAgain) {
  engine.imageText = "@01000" + std::string(512, 'A') + "BBBB";
  int blocks = 0;
  ScriptedDevice device(pty, [&](const std::string& m) { return m[0] == 'W' && ++blocks == 2 ? "-\r" : "+\r"; });
  EXPECT_GT(BSLSendFirmware(engine, true), 0);
  const std::vector<std::string> expected = {"@01000", "W" + std::string(512, 'A'), "WBBBB", "@01100", "WBBBB"};
  ASSERT_EQ(Bodies(device), expected);
  const std::vector<DeviceMessage> sent = device.Received();
  EXPECT_GE(sent[3].atMs - sent[2].atMs, 170u) << "175 ms between the failed try and the next";
}

TEST_F(LentPort, ABlockRejectedEveryTimeFailsWithoutAFinalReaddress) {
  engine.imageText = "@01000ABCD";
  ScriptedDevice device(pty, [](const std::string& m) { return m[0] == 'W' ? "-\r" : "+\r"; });
  EXPECT_EQ(BSLSendFirmware(engine, true), kBslRejected);
  const std::vector<std::string> expected = {"@01000", "WABCD", "@01000", "WABCD", "@01000", "WABCD"};
  EXPECT_EQ(Bodies(device), expected);
}

TEST_F(LentPort, SixteenBitAddressingDropsTheFifthDigit) {
  engine.imageText = "@10000ABCD@0FE001234";
  ScriptedDevice device(pty, Accept);
  EXPECT_GT(BSLSendFirmware(engine, false), 0);
  EXPECT_GT(BSLSendFirmware(engine, true), 0);
  const std::vector<std::string> expected = {"@0000", "WABCD", "@FE00", "W1234",
                                             "@10000", "WABCD", "@0FE00", "W1234"};
  EXPECT_EQ(Bodies(device), expected);
}

TEST_F(LentPort, ProgressIsReportedEvery512CharactersAndACancelStopsTheUpload) {
  engine.imageText = "@01000" + std::string(2048, '0');
  engine.showProgress = true;
  std::vector<std::tuple<int, int, int, char>> calls;
  engine.progress = [&](int total, int done, int phase, char letter) {
    calls.emplace_back(total, done, phase, letter);
    return done < 1024;
  };
  ScriptedDevice device(pty, Accept);
  EXPECT_EQ(BSLSendFirmware(engine, true), kBslCancelled);
  const std::vector<std::tuple<int, int, int, char>> expected = {
      {2054, 0, 1, 'W'}, {2054, 512, 1, 'W'}, {2054, 1024, 1, 'W'}, {2054, 2054, 2, 'W'}};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(Bodies(device), (std::vector<std::string>{"@01000", "W" + std::string(512, '0')}));
}

TEST_F(LentPort, FlashEraseSkipsTheLoadersAreaAndRefusesToStartInIt) {
  ScriptedDevice device(pty, Accept);
  engine.showProgress = true;
  std::vector<std::pair<int, int>> calls;
  engine.progress = [&](int total, int done, int, char) {
    calls.emplace_back(total, done);
    return true;
  };
  EXPECT_EQ(BSLEraseFlash(engine, 0xFA00, 0x10400, true), kBslBadArgument);
  EXPECT_EQ(BSLEraseFlash(engine, 0xFFFF, 0x10400, true), kBslBadArgument);
  EXPECT_EQ(BSLEraseFlash(engine, 0x2000, 0x2000, true), 1);
  EXPECT_TRUE(device.Texts().empty());
  EXPECT_GT(BSLEraseFlash(engine, 0xF800, 0x10400, true), 0);
  EXPECT_EQ(Bodies(device), (std::vector<std::string>{"X0F800", "X10000", "X10200"}));
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 0}, {6, 0}, {6, 6}}));
}

TEST_F(LentPort, EraseProgressComesEveryTenSegmentsAndCanCancel) {
  ScriptedDevice device(pty, Accept);
  engine.showProgress = true;
  std::vector<int> done;
  engine.progress = [&](int, int d, int phase, char letter) {
    EXPECT_EQ(letter, 'X');
    if (phase == kProgressRunning) done.push_back(d);
    return d < 20;
  };
  EXPECT_EQ(BSLEraseFlash(engine, 0x1000, 0x1000 + 30 * 512, false), kBslCancelled);
  EXPECT_EQ(done, (std::vector<int>{0, 10, 20}));
  EXPECT_EQ(device.Texts().size(), 20u);
}

TEST_F(LentPort, InfoEraseWalksItsSegmentsAndVectorsGoInOneFrame) {
  ScriptedDevice device(pty, [](const std::string& m) { return m[0] == 'V' ? "+" : "+\r"; });
  EXPECT_EQ(BSLEraseINFO(engine, 0x1800, 0, 128, true), 1);
  EXPECT_GT(BSLEraseINFO(engine, 0x1800, 3, 128, true), 0);
  for (size_t i = 0; i < kVectorCount; ++i) engine.vectorWords[i] = 0x6E00 + static_cast<uint32_t>(i);
  EXPECT_GT(BSLSendVectors(engine), 0);
  const std::vector<std::string> texts = device.Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(Body(texts[0]), "X01800");
  EXPECT_EQ(Body(texts[2]), "X01900");
  EXPECT_EQ(texts[3].size(), 71u);
  EXPECT_EQ(texts[3].substr(0, 9), "V6E006E01");
}

TEST_F(LentPort, AttachAndProbeTellTheLoadersState) {
  const std::string promptReplies[] = {"$", "?\r", ""};
  std::atomic<int> prompt{0};
  ScriptedDevice device(pty, [&](const std::string& m) {
    return m == "\r" ? promptReplies[prompt.load()] : m == "P" ? "#" : "";
  });
  EXPECT_EQ(BSLAttach(engine), 1);
  prompt = 1;
  EXPECT_EQ(BSLAttach(engine), 1) << "already attached counts as attached";
  EXPECT_EQ(BSLCheck(engine, pty.slavePath, kBootBaud), kBslAlreadyActive);
  prompt = 0;
  EXPECT_EQ(BSLCheck(engine, pty.slavePath, kBootBaud), kBslWaiting);
  prompt = 2;
  EXPECT_EQ(BSLCheck(engine, pty.slavePath, kBootBaud), kBslNotConnected);
}

TEST(BslLentPort, DisconnectGivesALentPortBackWithoutClosingIt) {
  PtyPair pty;
  SerialPort lender;
  ASSERT_EQ(VSOpen(lender, pty.slavePath, kBootBaud), 1);
  {
    HostBSL engine(nullptr, BuiltInFirmware());
    EXPECT_EQ(BSLHandOff(engine, lender.handle, nullptr, pty.slavePath, false, 0), kBslBadArgument);
    ASSERT_EQ(BSLHandOff(engine, lender.handle, lender.readBuffer, pty.slavePath, false, 0), 1);
    EXPECT_EQ(engine.tryCount, 3u);
    EXPECT_GE(BSLDisconnect(engine), 0);
    EXPECT_FALSE(engine.connected);
    ASSERT_EQ(BSLHandOff(engine, lender.handle, lender.readBuffer, pty.slavePath, false, 3), 1);
  }  // the engine goes with the port still lent to it
  EXPECT_EQ(VSWriteText(lender, "still open"), 10);
  EXPECT_EQ(pty.Receive(), "still open");
}

// A device that runs its firmware until the boot word, then its loader.
std::string LoaderScript(const std::string& message, const std::string& bootReply) {
  if (message.rfind("boot ", 0) == 0) return bootReply;
  if (message == "\r") return "$";
  if (message == "P") return "#";
  if (message == "g.0095\r") return "+17+\r";
  return "+\r";
}

TEST(BslConnect, BringsUpTheLoaderAndSwitchesToItsBaud) {
  PtyPair pty;
  ScriptedDevice device(pty, [](const std::string& m) { return LoaderScript(m, "OK\r"); });
  HostBSL engine(nullptr, BuiltInFirmware());
  EXPECT_EQ(BSLConnect(engine, pty.slavePath, kLoaderBaud, true, 3), 17);
  EXPECT_EQ(engine.bslVersion, 17u);
  EXPECT_TRUE(engine.connected);
  EXPECT_EQ(pty.SlaveBaud(), kLoaderBaud);
  EXPECT_EQ(device.Texts(), (std::vector<std::string>{"boot ZEPH\r", "\r", "P", "g.0095\r"}));
  EXPECT_EQ(BSLDisconnect(engine), 1);
  EXPECT_EQ(BSLDisconnect(engine), 0);
}

TEST(BslConnect, ADeviceWithoutALoaderIsReportedAsSuch) {
  PtyPair pty;
  ScriptedDevice device(pty, [](const std::string& m) { return LoaderScript(m, "VornBSL MISSING\r"); });
  HostBSL engine(nullptr, BuiltInFirmware());
  EXPECT_EQ(BSLConnect(engine, pty.slavePath, kLoaderBaud, false, 3), kBslNoLoader);
  EXPECT_FALSE(engine.connected);
  // The boot word once; then the probe's "\r" finds a waiting loader, which is not an active one.
  EXPECT_EQ(device.Texts(), (std::vector<std::string>{"boot ZEPH\r", "\r"}));
}

TEST(BslConnect, AFailedInvocationGoesOnWhenTheProbeFindsTheLoaderActive) {
  PtyPair pty;
  ScriptedDevice device(pty, [](const std::string& m) { return m == "\r" ? "?" : LoaderScript(m, "ERROR\r"); });
  HostBSL engine(nullptr, BuiltInFirmware());
  EXPECT_EQ(BSLConnect(engine, pty.slavePath, kLoaderBaud, false, 1), 17);
  EXPECT_EQ(device.Texts(), (std::vector<std::string>{"boot ZEPH\r", "\r", "g.0095\r"}));
}

TEST(BslConnect, AMissingPortOrNoTriesFail) {
  HostBSL engine(nullptr, BuiltInFirmware());
  EXPECT_EQ(BSLConnect(engine, "", kLoaderBaud, false, 3), kBslMissingArgument);
  EXPECT_EQ(BSLConnect(engine, "/dev/vorn-no-such-port", kLoaderBaud, false, 3), -kSysPortMissing);
  PtyPair pty;
  EXPECT_EQ(BSLConnect(engine, pty.slavePath, kLoaderBaud, false, 0), kBslNoTry);
  EXPECT_FALSE(engine.connected);
}

TEST(BslConnect, AnAlreadyActiveLoaderAnswersTheBootWordWithAQuestionMark) {
  PtyPair pty;
  char pattern[] = "/tmp/vorn-connect-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string logPath = std::string(pattern) + "/errors.txt";
  MessageLog log = CreateMessageLog(logPath, kLogStep, true);
  ScriptedDevice device(pty, [](const std::string& m) { return LoaderScript(m, "?\r"); });
  HostBSL engine(&log, BuiltInFirmware());
  EXPECT_EQ(BSLInvocation(engine, kLoaderBaud), kBslNoTry) << "no tries before a connect";
  engine.tryCount = 3;
  ASSERT_EQ(VSOpen(engine.port, pty.slavePath, kBootBaud), 1);
  engine.connected = true;
  EXPECT_EQ(BSLInvocation(engine, kLoaderBaud), 1);
  std::ifstream in(logPath);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("BSLInvocation found the VornBSL already active"), std::string::npos);
  std::filesystem::remove_all(pattern);
}

}  // namespace
