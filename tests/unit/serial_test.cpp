#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pty_pair.h"
#include "serial/serial_port.h"

namespace {

std::atomic<int> gPumps{0};
void CountingPump(int maxWaitMs) {
  ++gPumps;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(maxWaitMs, 20)));
}

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
