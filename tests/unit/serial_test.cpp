#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

#include "pty_pair.h"
#include "serial/serial_port.h"
#include "test_folder.h"

namespace {

std::atomic<int> gPumps{0};
void CountingPump(int maxWaitMs) {
  ++gPumps;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(maxWaitMs, 20)));
}

// A port record that writes every line to an error file of the test's own.
class LoggedPort : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_serial_");
    log_ = CreateMessageLog((dir_ / "serial.errors.txt").string(), kLogBytes, true);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  bool Logged(const std::string& text) const {
    std::ifstream in(log_.fileName, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str().find(text) != std::string::npos;
  }

  std::filesystem::path dir_;
  MessageLog log_;
};

TEST(SerialPort, OpensAtNineSixHundredWhenBaudIsZero) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, pty.slavePath, 0), 1);
  EXPECT_EQ(port.hostBaud, 9600u);
  EXPECT_EQ(pty.SlaveBaud(), 9600u);
  EXPECT_EQ(VSHostBaud(port, 9600), 0);
  EXPECT_EQ(VSHostBaud(port, 57600), 1);
  EXPECT_EQ(pty.SlaveBaud(), 57600u);
  EXPECT_EQ(VSClose(port), 1);
  EXPECT_EQ(VSClose(port), 0);
}

TEST(SerialPort, ReopenClosesTheOldHandleFirst) {
  PtyPair first, second;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, first.slavePath, 9600), 1);
  ASSERT_EQ(VSOpen(port, second.slavePath, 9600), 1);
  SerialPort other;
  EXPECT_EQ(VSOpen(other, first.slavePath, 9600), 1) << "the first port was released";
}

TEST(SerialPort, OpenFailuresUseTheDriverNumbering) {
  PtyPair pty;
  SerialPort holder, second;
  EXPECT_EQ(VSOpen(second, "/dev/vorn-no-such-port", 9600), -kSysPortMissing);
  EXPECT_EQ(VSOpen(second, "ttyVORNMISSING", 9600), -kSysPortMissing);
  ASSERT_EQ(VSOpen(holder, pty.slavePath, 9600), 1);
  EXPECT_EQ(VSOpen(second, pty.slavePath, 9600), -kSysPortInUse);
}

TEST(SerialPort, WaitFindsACharacterInASecondPieceAndReadHandsOverAll) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  std::thread device([&] {
    pty.Send("abc");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    pty.Send(">");
  });
  EXPECT_EQ(VSWait(port, 1000, '>'), '>');
  device.join();
  char got[20];
  int count = 0;
  EXPECT_EQ(VSRead(port, got, 20, &count), 4);
  EXPECT_EQ(std::string(got, 4), "abc>");
}

TEST(SerialPort, TimedOutWaitLeavesItsTextForTheNextRead) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  pty.Send("partial");
  const uint32_t start = MillisecondTick();
  EXPECT_EQ(VSWait(port, 300, '>'), 0);
  const uint32_t took = MillisecondTick() - start;
  EXPECT_GE(took, 300u);
  EXPECT_LT(took, 600u);
  pty.Send("more");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  char got[64];
  int count = 0;
  EXPECT_EQ(VSRead(port, got, 64, &count), 11);
  EXPECT_EQ(std::string(got, 11), "partialmore");
}

TEST(SerialPort, ReadSmallerThanTheBufferDropsTheRest) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  pty.Send("0123456789>");
  ASSERT_EQ(VSWait(port, 1000, '>'), '>');
  char got[4];
  int count = 0;
  EXPECT_EQ(VSRead(port, got, 4, &count), 4);
  EXPECT_EQ(std::string(got, 4), "0123");
  pty.Send("x");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(VSRead(port, got, 4, &count), 1);
  EXPECT_EQ(got[0], 'x');
}

TEST(SerialPort, ReadReturnsWithinItsWaitWhenNothingArrives) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  char got[8];
  int count = 0;
  const uint32_t start = MillisecondTick();
  EXPECT_EQ(VSRead(port, got, 8, &count), 0);
  EXPECT_LE(MillisecondTick() - start, 150u);
}

// A NUL byte is data like any other: everything the wait gathered reaches the reader,
// whether the wait found its character or ran out of time.
TEST(SerialPort, NulBytesInAReplyAreDeliveredWithTheRest) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  const std::string replies[] = {std::string("ab\0cd>", 6), std::string("\0OK>", 4), std::string("\0\0\0>", 4)};
  for (const std::string& reply : replies) {
    pty.Send(reply);
    ASSERT_EQ(VSWait(port, 1000, '>'), '>');
    char got[20];
    int count = 0;
    EXPECT_EQ(VSRead(port, got, 20, &count), static_cast<int>(reply.size()));
    EXPECT_EQ(std::string(got, static_cast<size_t>(count)), reply);
  }
  const std::string partial("x\0y", 3);
  pty.Send(partial);
  EXPECT_EQ(VSWait(port, 150, '>'), 0);
  char got[20];
  int count = 0;
  EXPECT_EQ(VSRead(port, got, 20, &count), 3);
  EXPECT_EQ(std::string(got, static_cast<size_t>(count)), partial);

  pty.Send(std::string("\0z>", 3));
  ASSERT_EQ(VSWait(port, 1000, '>'), '>');
  VSPurge(port, 0);
  EXPECT_EQ(VSRead(port, got, 20, &count), 0) << "a purge empties the buffer whatever its first byte";
}

TEST(SerialPort, PurgeDiscardsWhatArrivedBefore) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  pty.Send("stale");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(VSPurge(port, kPurgeReceive), 0);
  pty.Send("new");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  char got[16];
  int count = 0;
  EXPECT_EQ(VSRead(port, got, 16, &count), 3);
  EXPECT_EQ(std::string(got, 3), "new");
}

TEST(SerialPort, WriteReachesTheDeviceAndClosedPortsRefuse) {
  PtyPair pty;
  SerialPort port;
  EXPECT_EQ(VSWriteText(port, "x"), kSerialFailed);
  EXPECT_EQ(VSWait(port, 10, 'x'), kSerialFailed);
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  EXPECT_EQ(VSWriteText(port, "get -ver\r"), 9);
  EXPECT_EQ(pty.Receive(), "get -ver\r");
  SerialPort unnamed;
  EXPECT_EQ(VSHostBaud(unnamed, 57600), kSerialNoName);
}

// A record that borrows another's open port (as the loader engine does) talks on it, and its
// close forgets the port without closing it: the lender's port stays open and works.
TEST(SerialPort, ABorrowerForgetsALentPortWithoutClosingIt) {
  PtyPair pty;
  SerialPort lender;
  ASSERT_EQ(VSOpen(lender, pty.slavePath, 9600), 1);
  {
    SerialPort borrower;
    borrower.handle = lender.handle;
    borrower.readBuffer = lender.readBuffer;
    borrower.borrowed = true;
    EXPECT_EQ(VSWriteText(borrower, "lent"), 4);
    EXPECT_EQ(pty.Receive(), "lent");
    EXPECT_EQ(VSClose(borrower), 1);
    EXPECT_EQ(borrower.handle, nullptr);
  }
  EXPECT_EQ(VSWriteText(lender, "still open"), 10);
  EXPECT_EQ(pty.Receive(), "still open");
}

using SerialHangUp = LoggedPort;

// A quiet device is silence until the time-out; a device that goes away (the adapter
// pulled out) ends the wait at once, and so does every read after it.
TEST_F(SerialHangUp, QuietIsSilenceButAHangUpFailsAtOnce) {
  PtyPair pty;
  SerialPort port(&log_);
  ASSERT_EQ(VSOpen(port, pty.slavePath, 9600), 1);
  uint32_t start = MillisecondTick();
  EXPECT_EQ(VSWait(port, 300, '>'), 0);
  EXPECT_GE(MillisecondTick() - start, 300u);
  char got[8];
  int count = 0;
  EXPECT_EQ(VSRead(port, got, 8, &count), 0);

  std::thread device([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    pty.CloseMaster();
  });
  start = MillisecondTick();
  EXPECT_EQ(VSWait(port, 5000, '>'), kSerialFailed);
  const uint32_t took = MillisecondTick() - start;
  device.join();
  EXPECT_LT(took, 500u) << "the wait must not run on to its time-out";
  EXPECT_TRUE(Logged("VSWait ReadFile failed (error "));
  start = MillisecondTick();
  EXPECT_EQ(VSRead(port, got, 8, &count), kSerialFailed);
  EXPECT_EQ(count, 0);
  EXPECT_LT(MillisecondTick() - start, 50u);
  EXPECT_TRUE(Logged("VSRead ReadFile failed (error "));
  EXPECT_EQ(VSClose(port), 1);
}

using SerialOpenSetup = LoggedPort;

// Each step of the set-up that fails says which one it was; the device is let go.
TEST_F(SerialOpenSetup, EachFailedStepLogsItsOwnLine) {
  const std::string plainFile = (dir_ / "not-a-port").string();
  std::ofstream(plainFile) << "x";
  SerialPort port(&log_);
  EXPECT_EQ(VSOpen(port, plainFile, 9600), -(1000 + ENOTTY));
  EXPECT_TRUE(Logged("VSOpen failed to retreive DCB on comm port (error " + std::to_string(1000 + ENOTTY) + ")"));
  EXPECT_EQ(port.handle, nullptr);

  PtyPair pty;
  EXPECT_EQ(VSOpen(port, pty.slavePath, 12345), -(1000 + EINVAL)) << "no such rate";
  EXPECT_TRUE(Logged("VSOpen failed to apply DCB on comm port (error " + std::to_string(1000 + EINVAL) + ")"));
  EXPECT_EQ(port.handle, nullptr);
  EXPECT_FALSE(Logged("VSOpen failed to open comm port"));
  SerialPort other;
  EXPECT_EQ(VSOpen(other, pty.slavePath, 9600), 1) << "the failed open let the port go";
}

TEST(SleepPumping, PumpsFromOneHundredSeventyMilliseconds) {
  SetPumpHook(CountingPump);
  gPumps = 0;
  SleepPumping(169);
  EXPECT_EQ(gPumps.load(), 0);
  const uint32_t start = MillisecondTick();
  SleepPumping(170);
  EXPECT_GT(gPumps.load(), 0);
  EXPECT_GE(MillisecondTick() - start, 170u);
  SetPumpHook(nullptr);
}

// The window's pump is for its own thread: an update on another thread must not dispatch
// the window's events, and a hook installed there does not leak back.
TEST(SleepPumping, TheHookBelongsToTheThreadThatInstalledIt) {
  SetPumpHook(CountingPump);
  gPumps = 0;
  std::thread other([] {
    SleepPumping(200);
    SetPumpHook(CountingPump);
  });
  other.join();
  EXPECT_EQ(gPumps.load(), 0);
  SleepPumping(170);
  EXPECT_GT(gPumps.load(), 0);
  SetPumpHook(nullptr);
  gPumps = 0;
  SleepPumping(170);
  EXPECT_EQ(gPumps.load(), 0);
}

}  // namespace
