// The SDI-12 link over a real pseudo-terminal against a scripted sensor bus:
// the framing of one exchange (wake, retries, probes, bounded replies) and the
// operations' reading and writing rules. The link's pauses run on a virtual
// clock; only answer time-outs take real time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logger/device_link.h"
#include "pty_pair.h"
#include "sdi12/sdi_sensor.h"
#include "sdi_bus.h"
#include "test_folder.h"

namespace {

using Answers = std::map<std::string, std::string>;

constexpr uint32_t kShortTimeoutMs = 100;  // for exchanges that are meant to go unanswered

class SdiOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_sdi_");
    log_ = CreateMessageLog((dir_ / "sdi.errors.txt").string(), kLogBytes, true);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
    ASSERT_EQ(VSOpen(link_->port, pty_.slavePath, kLinkBaud), 1);
    sensor_ = std::make_unique<SDISensor>(&log_, link_.get());
  }

  void TearDown() override {
    bus_.reset();
    sensor_.reset();
    link_.reset();
    std::filesystem::remove_all(dir_);
  }

  void Play(SdiBus::Script script) { bus_ = std::make_unique<SdiBus>(pty_, std::move(script)); }

  // A sensor answering these commands (each answer gets its "\r\n"); silence otherwise.
  // Commands whose text goes on after a key ("?X5...") are found by the key with a '*'.
  void Play(const Answers& answers) {
    Play([answers](const std::string& command) -> std::string {
      auto found = answers.find(command);
      for (size_t cut = command.size(); found == answers.end() && cut > 0; --cut) {
        found = answers.find(command.substr(0, cut) + "*");
      }
      return found == answers.end() ? "" : found->second + "\r\n";
    });
  }

  // The same, but a write changes what the matching read answers, as in a sensor:
  // "?X#..." -> "?X#", "?X5..." -> "?X4", "?Xb..." -> "?Xa", "?XO..." -> "?XO". `mangle`
  // may change what a write stores (a byte lost on the way).
  void PlayRemembering(const Answers& answers, std::function<std::string(std::string)> mangle = nullptr) {
    auto held = std::make_shared<Answers>(answers);
    Play([held, mangle](const std::string& command) -> std::string {
      static const std::map<std::string, std::string> kReadOf = {
          {"?X#", "?X#"}, {"?X5", "?X4"}, {"?Xb", "?Xa"}, {"?XO", "?XO"}};
      const auto read = kReadOf.find(command.substr(0, 3));
      if (command.size() > 3 && read != kReadOf.end()) {
        const std::string value = command.substr(3);
        (*held)[read->second] = "0" + (mangle ? mangle(value) : value);
        return "0OK\r\n";
      }
      const auto found = held->find(command);
      return found == held->end() ? "" : found->second + "\r\n";
    });
  }

  std::vector<std::string> Commands() const { return bus_->Commands(); }

  // The bytes the bus heard, once it has heard at least `count` (raw bytes are not answered,
  // so nothing else tells when they have arrived).
  std::string RawAfter(size_t count) const {
    for (int wait = 0; wait < 100 && bus_->Raw().size() < count; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return bus_->Raw();
  }

  std::string LogText() const {
    std::ifstream in(log_.fileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Logged(const std::string& text) const { return LogText().find(text) != std::string::npos; }

  std::filesystem::path dir_;
  PtyPair pty_;
  std::unique_ptr<SdiBus> bus_;
  MessageLog log_;
  std::unique_ptr<DeviceLink> link_;
  std::unique_ptr<SDISensor> sensor_;
  int slept_ = 0;
};

// The K7W the capture tests read: old firmware markers in X4, its own Xa.
Answers K7W(const std::string& version) {
  return {{"?I", "013TESSALY K7W   " + version},
          {"?X8", "0z"},
          {"?X#", "0K7W-118734"},
          {"?", "0"},
          {"?X4", "0 0.98 -1 1.02 -1 0.5 -1"},
          {"?Xa", "0 1 1.40 2.00 2.50 2.99"},
          {"?X#*", "0OK"},
          {"?X5*", "0OK"},
          {"?Xb*", "0OK"},
          {"0A0", "0"}};
}

TEST_F(SdiOnPty, EveryExchangeWakesTheBusAndTheReplyKeeps255Characters) {
  Play([](const std::string& command) { return command == "?I" ? "0" + std::string(253, 'x') + "\r\n" : ""; });
  std::string reply;
  int length = static_cast<int>(kSDIReplySize);
  int elapsed = -1;
  EXPECT_EQ(SDISendCommand(*sensor_, "?I!", &reply, &length, &elapsed), 256) << "the count is what was read";
  EXPECT_EQ(reply.size(), 255u);
  EXPECT_EQ(length, 255);
  EXPECT_EQ(reply.back(), '\r') << "the line feed is the byte that did not fit";
  EXPECT_GE(elapsed, 0);

  length = 10;
  EXPECT_EQ(SDISendCommand(*sensor_, "?I!", &reply, &length, nullptr), 256);
  EXPECT_EQ(reply, "0xxxxxxxx");
  EXPECT_EQ(length, 9);
  EXPECT_EQ(sensor_->reply.size(), 255u) << "the record keeps the whole bounded reply";
  EXPECT_TRUE(Logged("SDISendCommand dropped 247 bytes of the answer to \"?I!\""));
  EXPECT_EQ(bus_->Raw(), "|?I!|?I!");
  EXPECT_EQ(slept_, 2 * 175);
  EXPECT_TRUE(Logged("SDISendCommand sent \"?I!\""));
}

TEST_F(SdiOnPty, AnUnansweredCommandProbesTheBusBetweenAttempts) {
  Play(Answers{{"?", "0"}});
  sensor_->timeoutMs = kShortTimeoutMs;
  sensor_->tries = 3;
  std::string reply = "stale";
  int length = 64;
  EXPECT_EQ(SDISendCommand(*sensor_, "?X4!", &reply, &length, nullptr), kSDINoAnswer);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(length, 0);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"?X4", "?", "?X4", "?", "?X4", "?"}));
  // Wake, probe (three breaks); no wake before the second attempt; wake again before the third.
  EXPECT_EQ(bus_->Wakes(), 1 + 3 + 0 + 3 + 1 + 3);
  EXPECT_EQ(slept_, 175 + 3 * 30 + 3 * 30 + 175 + 3 * 30);
}

TEST_F(SdiOnPty, ASilentBusEndsTheExchangeAtTheFirstProbe) {
  Play(Answers{});
  sensor_->timeoutMs = kShortTimeoutMs;
  EXPECT_EQ(SDISendCommand(*sensor_, "?X4!", nullptr, nullptr, nullptr), kSDIBusSilent);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"?X4", "?"}));
}

TEST_F(SdiOnPty, WithOneTryTheProbesAnswerCountsAsTheReply) {
  Play(Answers{{"?", "0"}});
  sensor_->timeoutMs = kShortTimeoutMs;
  sensor_->tries = 1;
  std::string reply;
  int length = 64;
  EXPECT_EQ(SDISendCommand(*sensor_, "?B!", &reply, &length, nullptr), 3);
  EXPECT_EQ(reply, "0\r\n");
}

// Every attempt that brings an answer ends the exchange with it, whatever the attempts
// before it met; only when no attempt is answered does the bus decide: -22 when the probes
// are answered, -21 when even they are not.
TEST_F(SdiOnPty, ACommandAnsweredAtAnyAttemptIsAnswered) {
  struct Case {
    int answeredOn;  // the attempt that is answered; 0: none
    bool probesAnswered;
    int result;
    size_t commands;
  };
  const Case cases[] = {
      {1, true, 22, 1}, {2, true, 22, 3}, {3, true, 22, 5}, {5, true, 22, 9},
      {0, true, kSDINoAnswer, 10}, {0, false, kSDIBusSilent, 2},
  };
  for (const Case& c : cases) {
    auto heard = std::make_shared<int>(0);
    Play([heard, c](const std::string& command) -> std::string {
      if (command == "?") return c.probesAnswered ? "0\r\n" : "";
      return ++*heard == c.answeredOn ? "013TESSALY SKY61 140\r\n" : "";
    });
    sensor_->timeoutMs = kShortTimeoutMs;
    std::string reply;
    int length = 64;
    EXPECT_EQ(SDISendCommand(*sensor_, "?I!", &reply, &length, nullptr), c.result) << c.answeredOn;
    EXPECT_EQ(reply, c.result > 0 ? "013TESSALY SKY61 140\r\n" : "") << c.answeredOn;
    EXPECT_EQ(Commands().size(), c.commands) << c.answeredOn;
  }
  // The same through an operation: the identity answered on the third attempt is the sensor's.
  auto heard = std::make_shared<int>(0);
  Play([heard](const std::string& command) -> std::string {
    if (command == "?") return "0\r\n";
    return ++*heard == 3 ? "013TESSALY SKY61 140\r\n" : "";
  });
  EXPECT_EQ(SDIGetSensorVersion(*sensor_), 140);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"?I", "?", "?I", "?", "?I"}));
}

// Noise is told by the frame (the address first, the line end) and the shape the value must
// have, never by byte values: a serial number with unusual characters is the sensor's own.
TEST_F(SdiOnPty, CaptureKeepsWhatIsFramedAndNothingElse) {
  struct Case {
    std::string command;
    std::string answer;  // as sent, line end included where there is one
    bool kept;
  };
  const Case cases[] = {
      {"?X#", "0S/N 61#4211 (b)\r\n", true},
      {"?X#", "0S61\xB5-4211\r\n", true},
      {"?X#", "\n0S61-004211\r\n", true},  // the line feed an earlier answer left behind
      {"?X#", "3S61-004211\r\n", false},  // not the sensor the capture found
      {"?X#", "0S61-004211", false},        // no line end
      {"?X#", "%k#Fz(q\r\n", false},
      {"?X4", "0 +1.5e-3 2 -7.\r\n", true},
      {"?X4", "0 1.2x#q 3\r\n", false},  // no calibration has this shape
      {"?X8", "0]\r\n", true},
      {"?X8", "0k#F\r\n", false},
  };
  for (const Case& c : cases) {
    Play([c](const std::string& command) -> std::string {
      if (command == "?") return "0\r\n";
      return command == c.command ? c.answer : "";
    });
    sensor_->timeoutMs = kShortTimeoutMs;
    sensor_->tries = 2;
    sensor_->address = '0';
    sensor_->serialNumber.clear();
    sensor_->calibrationX4.clear();
    sensor_->sensorType = 'u';
    int result = 0;
    std::string kept;
    if (c.command == "?X#") {
      result = SDIGetSensorSN(*sensor_);
      kept = sensor_->serialNumber;
    } else if (c.command == "?X4") {
      result = SDIGetSensorCalibration(*sensor_);
      kept = sensor_->calibrationX4;
    } else {
      result = SDIGetSensorType(*sensor_);
      kept = std::string(1, static_cast<char>(sensor_->sensorType));
    }
    const std::string text = c.answer.substr(c.answer.find_first_not_of('\n'));
    const std::string value = text.substr(c.command == "?X4" ? 2 : 1, text.find('\r') - (c.command == "?X4" ? 2 : 1));
    if (c.kept) {
      EXPECT_EQ(result, kSDIOk) << c.answer;
      EXPECT_EQ(kept, value) << c.answer;
    } else {
      EXPECT_NE(kept, value) << c.answer;
      EXPECT_TRUE(Logged("SDISendCommand received line noise for \"" + c.command + "!\"")) << c.answer;
    }
  }
}

TEST_F(SdiOnPty, CaptureOfAK7WClearsOldMarkersAndSetsTheNewXaDefault) {
  PlayRemembering(K7W("360"));
  ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->version, 360u);
  EXPECT_EQ(sensor_->identity, "TESSALY K7W   360");
  EXPECT_EQ(sensor_->address, '0');
  EXPECT_EQ(sensor_->sensorType, 'z');
  EXPECT_FALSE(sensor_->typeIsNumeric);
  EXPECT_EQ(sensor_->serialNumber, "K7W-118734");
  EXPECT_EQ(sensor_->calibrationX4, "0.98 +0 1.02 +0 0.5 +0");
  EXPECT_EQ(sensor_->calibrationXa, "1 1.39619 2.03054 2.54573 2.9907");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"?I", "?X8", "?X#", "?", "?X4", "?Xa"}));
  EXPECT_TRUE(Logged("SDIGetSensorCalibration updated X4 to remove '-1'"));
  EXPECT_TRUE(Logged("SDIGetSensorCalibration set calibration Xa \"1 1.39619 2.03054 2.54573 2.9907\""));
  EXPECT_TRUE(Logged("SDIGetSensorVersion found sensor info: TESSALY K7W   360"));

  ASSERT_EQ(SDISetSensorInfo(*sensor_), kSDIOk);
  const std::vector<std::string> all = Commands();
  EXPECT_EQ(std::vector<std::string>(all.begin() + 6, all.end()),
            (std::vector<std::string>{"?X#K7W-118734", "?X#", "0A0", "?X50.98 +0 1.02 +0 0.5 +0", "?X4",
                                      "?Xb1 1.39619 2.03054 2.54573 2.9907", "?Xa"}))
      << "each write is read back";
  EXPECT_TRUE(Logged("SDISetSensorSN successfully set sensor serial number to \"K7W-118734\""));
  EXPECT_TRUE(Logged("SDISetSensorAddress successfully set sensor address to '0'"));
  EXPECT_TRUE(Logged("SDISetSensorCalibration successfully set sensor Xb calibration to"));
}

TEST_F(SdiOnPty, AboveTheVersionWindowXaIsKeptAsRead) {
  Play(K7W("400"));
  ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->calibrationXa, "1 1.40 2.00 2.50 2.99");
  EXPECT_TRUE(Logged("SDIGetSensorCalibration found calibration Xa \"1 1.40 2.00 2.50 2.99\""));
}

TEST_F(SdiOnPty, OldDrainGaugeCalibrationIsConvertedAndAMissingSerialIsNotWritten) {
  for (const std::string version : {"339", "340"}) {
    PlayRemembering(Answers{{"?I", "013TESSALY DG7   " + version},
                            {"?X8", "0u"},
                            {"?X#", "0"},
                            {"?", "0"},
                            {"?X4", "0 1 2 3 4 5 6 7 8 9"},
                            {"0A0", "0"}});
    ASSERT_EQ(SDIGetSensorInfo(*sensor_), kSDIOk) << version;
    EXPECT_TRUE(sensor_->serialNumber.empty());
    EXPECT_EQ(sensor_->calibrationX4,
              version == "339" ? "1.000 -2.000000e+03 1.000000e+03 0.000000e+00 5.5 9.0" : "1 2 3 4 5 6 7 8 9");
    EXPECT_EQ(SDISetSensorSN(*sensor_), kSDINothing);
    ASSERT_EQ(SDISetSensorInfo(*sensor_), kSDIOk);
    for (const std::string& command : Commands()) EXPECT_NE(command.rfind("?X#", 0) == 0 && command != "?X#", true);
    const std::vector<std::string> all = Commands();
    EXPECT_EQ(std::vector<std::string>(all.end() - 2, all.end()),
              (std::vector<std::string>{"?X5" + sensor_->calibrationX4, "?X4"}))
        << "a DG7 takes no Xb";
  }
  EXPECT_TRUE(Logged("SDISetSensorSN didn't find a valid serial number"));
}

TEST_F(SdiOnPty, TypeIsWrittenBackInTheFormTheSensorReportedIt) {
  struct Case {
    std::string answer;
    bool numeric;
    std::string write;
  };
  const Case cases[] = {{"0122", true, "?X9 122"}, {"0z", false, "?X9 z"}};
  for (const Case& c : cases) {
    Play(Answers{{"?X8", c.answer}, {"?X9*", "0OK"}});
    ASSERT_EQ(SDIGetSensorType(*sensor_), kSDIOk);
    EXPECT_EQ(sensor_->sensorType, 122);
    EXPECT_EQ(sensor_->typeIsNumeric, c.numeric);
    EXPECT_EQ(SDISetSensorType(*sensor_, 122), kSDIOk);
    EXPECT_EQ(Commands().back(), c.write);
  }
  EXPECT_TRUE(Logged("SDISetSensorType successfully set sensor type to \"122\""));
}

TEST_F(SdiOnPty, FamilySelectionsWriteOnlyTheirMembers) {
  Play(Answers{{"?X9*", "0OK"}});
  struct Case {
    uint8_t stored;
    uint32_t selected;
    int result;
    std::string write;  // "" when nothing may be sent
  };
  const Case cases[] = {
      {'k', kFamilyWpx, kSDINotConfirmed, ""}, {'y', kFamilyWpx, kSDIOk, "?X9 y"}, {'s', kFamilyNdr, kSDIOk, "?X9 s"},
      {'z', kFamilyHtk, kSDINotConfirmed, ""}, {'z', 0, kSDIInvalidType, ""},      {'z', 255, kSDIInvalidType, ""},
      {'z', 300, kSDIInvalidType, ""},         {'z', ']', kSDIOk, "?X9 ]"},
  };
  for (const Case& c : cases) {
    sensor_->sensorType = c.stored;
    const size_t before = Commands().size();
    EXPECT_EQ(SDISetSensorType(*sensor_, c.selected), c.result) << c.selected;
    if (c.write.empty()) {
      EXPECT_EQ(Commands().size(), before) << c.selected;
    } else {
      EXPECT_EQ(Commands().back(), c.write) << c.selected;
    }
  }
  EXPECT_TRUE(Logged("SDISetSensorType didn't get a valid WPX Sensor type (261)"));
  EXPECT_TRUE(Logged("SDISetSensorType didn't get a valid sensor type (0)"));
}

TEST_F(SdiOnPty, CalibrationWritesFollowTheTypeAndXOPresence) {
  struct Case {
    uint8_t type;
    std::string xa;  // "" : the sensor answers ERROR
    std::string xo;  // "" : the sensor answers ERROR
    std::vector<std::string> writes;
  };
  const Case cases[] = {
      {'l', "2 3", "", {"?X51 4", "?X4"}},  // a WPX-8 reads Xa but never takes it back
      {']', "2 3", "", {"?X51 4", "?X4", "?Xb2 3", "?Xa"}},
      {']', "2 3", "0 0 0.25", {"?X51 4", "?X4", "?Xb2 3", "?Xa", "?XO0 0 0.25", "?XO"}},
      {']', "", "", {"?X51 4", "?X4"}},  // an Xa never read is not written as an empty one
      {'u', "2 3", "", {"?X51 4", "?X4"}},
  };
  for (const Case& c : cases) {
    PlayRemembering(Answers{{"?", "0"},
                            {"?X4", "0 1 4"},
                            {"?Xa", c.xa.empty() ? "0ERROR" : "0 " + c.xa},
                            {"?XO", c.xo.empty() ? "0ERROR" : "0 " + c.xo}});
    sensor_->sensorType = c.type;
    sensor_->xoPresent = false;  // only a SKYRA 61 reads XO and sets the flag
    sensor_->calibrationXa.clear();
    ASSERT_EQ(SDIGetSensorCalibration(*sensor_), kSDIOk);
    EXPECT_EQ(sensor_->xoPresent, !c.xo.empty() && c.type == ']');
    const size_t before = Commands().size();
    ASSERT_EQ(SDISetSensorCalibration(*sensor_, nullptr), kSDIOk) << c.type;
    const std::vector<std::string> all = Commands();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()), c.writes) << c.type;
  }
  sensor_->sensorType = '^';
  EXPECT_EQ(SDIGetSensorCalibration(*sensor_), kSDINothing);
  EXPECT_EQ(SDISetSensorCalibration(*sensor_, nullptr), kSDINothing);
  EXPECT_TRUE(Logged("SDIGetSensorCalibration no calibration for version PL-3"));
  EXPECT_TRUE(Logged("SDISetSensorCalibration has no Xb calibration to write"));
}

// A byte lost on the bus can leave a sensor confirming a value nobody sent: the read-back
// catches it and the write goes out again, up to the tries; then the write is not confirmed.
TEST_F(SdiOnPty, AWriteIsReadBackAndRepeatedUntilTheSensorHoldsTheValue) {
  struct Case {
    int lostWrites;
    int result;
  };
  for (const Case& c : {Case{0, kSDIOk}, Case{2, kSDIOk}, Case{5, kSDINotConfirmed}}) {
    auto lost = std::make_shared<int>(c.lostWrites);
    PlayRemembering(Answers{{"?", "0"}, {"?X4", "0 0.5 1"}, {"?X#", "0"}}, [lost](std::string value) {
      if (*lost > 0 && value.size() > 1) {
        --*lost;
        value.erase(value.size() / 2, 1);
      }
      return value;
    });
    sensor_->sensorType = 'u';
    sensor_->serialNumber = "S61-004211";
    const std::string x4 = "0.0012 1.0034 -0.52 25.0";
    EXPECT_EQ(SDISetSensorSN(*sensor_), c.result) << c.lostWrites;
    *lost = c.lostWrites;
    EXPECT_EQ(SDISetSensorCalibration(*sensor_, &x4), c.result) << c.lostWrites;
    const std::vector<std::string> all = Commands();
    EXPECT_EQ(std::count(all.begin(), all.end(), "?X#S61-004211"), std::min(c.lostWrites + 1, 5));
    EXPECT_EQ(std::count(all.begin(), all.end(), "?X5" + x4), std::min(c.lostWrites + 1, 5));
  }
  EXPECT_TRUE(Logged("SDIConfirmedWrite read back \"0S61-04211\" after \"?X#S61-004211!\": writing again"));
}

// A sensor answering "OK" has taken the value; one that stores numbers its own way shows it at
// its own precision. Only a value that really differs is written again, and after the tries
// the write is not confirmed.
TEST_F(SdiOnPty, ASensorThatPrintsNumbersItsOwnWayTakesEachWriteOnce) {
  struct Case {
    std::string written;
    std::string held;  // what the sensor then shows
    int result;
    long writes;
  };
  const Case cases[] = {
      {"0.981 1.5", "+0.98 +1.50", kSDIOk, 1},
      {"0.981 1.5", "9.810e-01 1.500e+00", kSDIOk, 1},
      {"0.981 1.5", "0.981000 1.500000", kSDIOk, 1},
      {"1 1.39619 2.03054 2.54573 2.9907", "+1.00 +1.40 +2.03 +2.55 +2.99", kSDIOk, 1},
      {"0.981 1.5", "+0.97 +1.50", kSDINotConfirmed, 5},
      {"0.981 1.5", "+0.98", kSDINotConfirmed, 5},
  };
  for (const Case& c : cases) {
    const std::string held = c.held;
    PlayRemembering(Answers{{"?", "0"}, {"?X4", "0 0"}}, [held](const std::string&) { return " " + held; });
    sensor_->sensorType = 'u';
    EXPECT_EQ(SDISetSensorCalibration(*sensor_, &c.written), c.result) << c.held;
    const std::vector<std::string> all = Commands();
    EXPECT_EQ(std::count(all.begin(), all.end(), "?X5" + c.written), c.writes) << c.held;
  }
  EXPECT_TRUE(Logged("SDIConfirmedWrite read back \"0 +0.97 +1.50\" after \"?X50.981 1.5!\": writing again"));
}

// The restore tells a sensor that answered but refused or did not confirm a value (it runs its
// firmware and talks) from one that nobody heard (gone, or in its loader).
TEST_F(SdiOnPty, TheRestoreTellsARefusalFromSilence) {
  struct Case {
    const char* what;
    Answers changes;  // over a sensor that takes everything; "" : silent
    int result;
  };
  const Case cases[] = {
      {"all taken", {}, kSDIOk},
      {"X5 refused", {{"?X5*", "0ERROR"}}, kSDIErrorAnswer},
      {"serial refused", {{"?X#*", "0ERROR"}}, kSDIErrorAnswer},
      {"address not taken", {{"0A3", "0"}}, kSDINotConfirmed},
      {"X5 answered without OK", {{"?X5*", "0huh"}}, kSDINotConfirmed},
      {"X5 not answered", {{"?X5*", ""}}, kSDINoAnswer},
      {"X5 refused, Xb not answered", {{"?X5*", "0ERROR"}, {"?Xb*", ""}}, kSDINoAnswer},
      {"address not answered, X5 refused", {{"0A3", ""}, {"?X5*", "0ERROR"}}, kSDINoAnswer},
  };
  for (const Case& c : cases) {
    Answers answers{{"?", "0"},       {"?X#", "0S61-004211"}, {"?X4", "0 1 2"}, {"?Xa", "0 3 4"},
                    {"?X#*", "0OK"},  {"0A3", "3"},           {"?X5*", "0OK"},  {"?Xb*", "0OK"}};
    for (const auto& [command, answer] : c.changes) answers[command] = answer;
    Play([answers](const std::string& command) -> std::string {
      auto found = answers.find(command);
      for (size_t cut = command.size(); found == answers.end() && cut > 0; --cut) {
        found = answers.find(command.substr(0, cut) + "*");
      }
      return found == answers.end() || found->second.empty() ? "" : found->second + "\r\n";
    });
    sensor_->timeoutMs = kShortTimeoutMs;
    sensor_->tries = 2;
    sensor_->sensorType = ']';
    sensor_->address = '3';
    sensor_->serialNumber = "S61-004211";
    sensor_->calibrationX4 = "1 2";
    sensor_->calibrationXa = "3 4";
    const int result = SDISetSensorInfo(*sensor_);
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(SDIAnswered(result), c.result != kSDINoAnswer) << c.what;
    const std::vector<std::string> all = Commands();
    EXPECT_NE(std::find(all.begin(), all.end(), "?Xb3 4"), all.end()) << c.what << ": every write is made";
  }

  Play(Answers{});
  sensor_->serialNumber = "S61-004211";
  EXPECT_EQ(SDISetSensorInfo(*sensor_), kSDIBusSilent);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"?X#S61-004211", "?"})) << "a silent bus ends the restore";
  EXPECT_FALSE(SDIAnswered(kSDIBusSilent));
  EXPECT_FALSE(SDIAnswered(kSerialFailed));
}

TEST_F(SdiOnPty, AFailedCalibrationWriteIsNotHiddenByALaterOne) {
  struct Case {
    std::string x5;
    std::string xb;
    int result;
  };
  const Case cases[] = {
      {"0ERROR", "0OK", kSDIErrorAnswer},  // X5 refused, Xb confirmed
      {"0OK", "0huh", kSDINotConfirmed},   // Xb answered, never confirmed, after a good X5
      {"0OK", "0OK", kSDIOk},
  };
  for (const Case& c : cases) {
    Play(Answers{{"?X5*", c.x5}, {"?Xb*", c.xb}});
    sensor_->tries = 2;
    sensor_->timeoutMs = kShortTimeoutMs;  // no read-back is answered
    sensor_->sensorType = 'z';
    sensor_->calibrationXa = "1 2";
    const std::string x4 = "0.5 1";
    EXPECT_EQ(SDISetSensorCalibration(*sensor_, &x4), c.result) << c.x5 << c.xb;
  }
  EXPECT_TRUE(Logged("SDISetSensorCalibration did not set sensor calibration"));
}

TEST_F(SdiOnPty, TheLoaderIsStartedUnlessTheSensorHasNone) {
  Play(Answers{{"?B", "0No BSL"}});
  EXPECT_EQ(SDIInvokeVornBSL(*sensor_), kSDINoLoader);
  EXPECT_EQ(bus_->Raw(), "|?B!");
  EXPECT_TRUE(Logged("SDIInvokeVornBSL: sensor reported a missing VornBSL"));

  Play(Answers{{"?B", "0"}});
  sensor_->tries = 4;
  sensor_->timeoutMs = 1500;
  EXPECT_EQ(SDIInvokeVornBSL(*sensor_), kSDIOk);
  EXPECT_EQ(RawAfter(6), "|?B!]P");
  EXPECT_EQ(sensor_->tries, 4u) << "tries and time-out change for the one exchange only";
  EXPECT_EQ(sensor_->timeoutMs, 1500u);
}

TEST_F(SdiOnPty, FirmwareCheckAddressAndTypeAnswers) {
  struct Check {
    std::string answer;
    int result;
  };
  for (const Check& c :
       {Check{"0Code Good", kSDIOk}, Check{"0Code Corrupt", kSDICorruptFirmware}, Check{"0maybe", kSDIUnrecognised}}) {
    Play(Answers{{"?post", c.answer}});
    EXPECT_EQ(SDICheckBinary(*sensor_), c.result) << c.answer;
  }
  Play(Answers{{"0A3", "3"}, {"0A4", "0"}, {"?", "0"}});
  EXPECT_EQ(SDISetSensorAddress(*sensor_, '3'), kSDIOk);
  EXPECT_EQ(SDISetSensorAddress(*sensor_, '4'), kSDINotConfirmed);
  EXPECT_EQ(SDISetSensorAddress(*sensor_, '\0'), kSDINotConfirmed) << "an address that cannot travel";
  EXPECT_EQ(Commands(), (std::vector<std::string>{"0A3", "0A4", "?"})) << "an unconfirmed change asks who answers";
  EXPECT_TRUE(Logged("SDISetSensorAddress could not set sensor address to '4'"));

  Play(Answers{{"0A5", "0garbled"}, {"?", "5"}});
  EXPECT_EQ(SDISetSensorAddress(*sensor_, '5'), kSDIOk) << "the change was made; its answer was lost";
  EXPECT_TRUE(Logged("SDISetSensorAddress found the sensor answering at '5'"));
}

TEST_F(SdiOnPty, ATypeThatCannotBeAskedIsTakenFromTheIdentity) {
  sensor_->timeoutMs = kShortTimeoutMs;
  sensor_->tries = 2;
  Play(Answers{{"?", "0"}, {"?I", "013TESSALY K7W   360"}});
  EXPECT_EQ(SDIGetSensorType(*sensor_), kSDIOk);
  EXPECT_EQ(sensor_->sensorType, 'z');
  EXPECT_TRUE(Logged("SDIGetSensorType received error -22"));
  EXPECT_TRUE(Logged("SDIGetSensorType found sensor type as \"122\""));

  sensor_->identity.clear();
  sensor_->sensorType = 0;
  Play(Answers{{"?", "0"}, {"?I", "013TESSALY WPX4  360"}});
  EXPECT_EQ(SDIGetSensorType(*sensor_), kSDIUnrecognised);
  EXPECT_TRUE(Logged("SDIGetSensorType couldn't detirmine sensor type"));
}

// Whatever a broken sensor answers, a whole capture keeps every field within its limit.
TEST_F(SdiOnPty, RandomAnswersThroughAWholeCapture) {
  std::mt19937 random(4711);
  std::uniform_int_distribution<int> byte(1, 255);
  std::uniform_int_distribution<int> length(0, 300);
  const std::vector<std::string> types = {"z", "]", "w", "u", "122", "y", "^", ""};
  Play([&random, &byte, &length, &types](const std::string& command) {
    std::string answer = "0";
    if (command == "?X8") return answer + types[random() % types.size()] + "\r\n";
    for (int i = length(random); i > 0; --i) answer.push_back(static_cast<char>(byte(random)));
    return answer + "\r\n";
  });
  for (int round = 0; round < 120; ++round) {
    SDIGetSensorInfo(*sensor_);
    EXPECT_LE(sensor_->identity.size(), kSDIIdentityMax);
    EXPECT_LE(sensor_->serialNumber.size(), kSDISerialMax);
    EXPECT_LE(sensor_->calibrationX4.size(), kSDICalibrationMax);
    EXPECT_LE(sensor_->calibrationXa.size(), kSDICalibrationMax);
    EXPECT_LE(sensor_->calibrationXO.size(), kSDICalibrationMax);
    EXPECT_LE(sensor_->reply.size(), kSDIReplySize - 1);
    EXPECT_LE(sensor_->version, 999u);
  }
}

}  // namespace
