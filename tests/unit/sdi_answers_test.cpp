// The readers of sensor answers, the calibration rules and the type names:
// tables of the cases that matter, and random replies that must never make a
// reader leave its text or overrun a limit (the sanitizer build checks the
// former). The seed is fixed so a failure repeats; VORN_FUZZ_SEED picks another.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sdi12/sdi_answers.h"
#include "sdi12/sdi_sensor.h"

namespace {

const std::string kOldXa = "a 1 1.44832 1.91683 2.35961 2.991";
const std::string kK7Xa = "a 1 1.39619 2.03054 2.54573 2.9907";
const std::string kHb7Xa = "a 1 1.4724 2.03944 2.5652 2.9907";

TEST(SdiAnswers, AnswerTextSkipsTheAddressAndOneSpaceAndEndsAtTheReturn) {
  struct Case {
    std::string reply;
    std::string text;
  };
  const Case cases[] = {
      {"0 1 2 3\r\n", "1 2 3"}, {"01 2 3\r\n", "1 2 3"}, {"0  two\r", " two"}, {"0\r\n", ""}, {"0", ""}, {"", ""},
      {"0\tx\ry\r", "x"},       {"0 abc", "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(SDIAnswerText(c.reply), c.text) << c.reply;
}

TEST(SdiAnswers, IdentityVersionComesFromCharacters18To20AndShortAnswersStayInside) {
  struct Case {
    std::string reply;
    std::string identity;
    uint32_t version;
  };
  const Case cases[] = {
      {"013TESSALY K7W   356SN4411\r\n", "TESSALY K7W   356SN4411", 356},
      {"313TESSALY SKY61 140\r\n", "TESSALY SKY61 140", 140},
      {"013TESSALY SKY61 14\r\n", "TESSALY SKY61 14", 14},  // the line ends inside the version
      {"013TESSALY SKY61\r\n", "TESSALY SKY61", 0},
      {"013\r\n", "", 0},
      {"0\r\n", "", 0},
      {"013TESSALY SKY61 x40\r\n", "TESSALY SKY61 x40", 0},
      {"013" + std::string(60, 'A') + "\r\n", std::string(36, 'A'), 0},
  };
  for (const Case& c : cases) {
    const SDIIdentityAnswer answer = ReadIdentityAnswer(c.reply);
    EXPECT_EQ(answer.identity, c.identity) << c.reply;
    EXPECT_EQ(answer.version, c.version) << c.reply;
    EXPECT_EQ(answer.address, c.reply.front()) << c.reply;
  }
  EXPECT_FALSE(ReadIdentityAnswer("").address.has_value());
}

TEST(SdiAnswers, TypeIsOneCharacterOrUpToThreeDigits) {
  struct Case {
    std::string reply;
    uint8_t type;
    bool numeric;
  };
  const Case cases[] = {
      {"0122\r\n", 122, true},  {"0z\r\n", 'z', false},         {"0 ]\r\n", ']', false}, {"09\r\n", 9, true},
      {"01234\r\n", 123, true}, {"0300\r\n", 300 & 0xFF, true}, {"0\r\n", 0, false},     {"012a\r\n", 12, true},
  };
  for (const Case& c : cases) {
    const SDITypeAnswer answer = ReadTypeAnswer(c.reply);
    EXPECT_EQ(answer.type, c.type) << c.reply;
    EXPECT_EQ(answer.numeric, c.numeric) << c.reply;
  }
}

TEST(SdiAnswers, SerialNumberIsAbsentWhenTheAnswerHoldsOnlyTheAddress) {
  EXPECT_FALSE(ReadSerialAnswer("0\r\n"));
  EXPECT_FALSE(ReadSerialAnswer("0"));
  EXPECT_FALSE(ReadSerialAnswer("0 \r\n"));
  EXPECT_EQ(ReadSerialAnswer("0S61-004211\r\n"), "S61-004211");
  EXPECT_EQ(ReadSerialAnswer("0" + std::string(40, '7') + "\r\n"), std::string(32, '7'));
}

TEST(SdiAnswers, MinusOnesOfOldK7FirmwareBecomePlusZero) {
  struct Case {
    std::string reply;
    std::string cleared;
    bool changed;
  };
  const Case cases[] = {
      {"0 1 -1 2 -1 3 -1\r\n", "0 1 +0 2 +0 3 +0\r\n", true},
      {"0 -1\r-1\r\n", "0 +0\r-1\r\n", true},  // only the first "-1\r"
      {"0 -12 -1.5\r\n", "0 -12 -1.5\r\n", false},
      {"0 -1", "0 -1", false},
  };
  for (Case c : cases) {
    EXPECT_EQ(ClearMinusOnes(c.reply), c.changed) << c.cleared;
    EXPECT_EQ(c.reply, c.cleared);
  }
}

TEST(SdiAnswers, XaDefaultsFollowTheFirmwareGeneration) {
  const std::string own = "0 1 1.40 2.00 2.50 2.99\r\n";
  const std::string old = "0 1 1.44832 1.91683 2.35961 2.991\r\n";
  struct Case {
    uint32_t type;
    uint32_t version;
    std::string reply;
    bool failed;
    std::string expected;  // "" when the reply stands
  };
  const Case cases[] = {
      {kSensorK7W, 360, own, false, kK7Xa},  // inside the window: anything but the old default is replaced
      {kSensorK7W, 360, old, false, ""},     // the old default is kept
      {kSensorK7W, 400, own, false, ""},     // above the window: as read
      {kSensorK7W, 399, own, false, kK7Xa},
      {kSensorK7W, 355, own, false, ""},  // below the window: as read when long enough
      {kSensorK7W, 355, "0 1\r\n", false, kOldXa},
      {kSensorK7W, 355, "", true, kOldXa},
      {kSensorK7V, 356, "", true, kK7Xa},
      {kSensorK7W, 400, "", true, ""},  // no default above the window
      {kSensorHb7, 353, own, false, kHb7Xa},
      {kSensorHb7, 401, own, false, kHb7Xa},
      {kSensorHb7, 402, own, false, ""},
      {kSensorHb7, 352, "0 x\r\n", false, kOldXa},
      {kSensorSkyra61, 360, "", true, ""},  // no rules for other types
  };
  for (const Case& c : cases) {
    const auto substitute = XaDefault(c.type, c.version, c.reply, c.failed);
    EXPECT_EQ(substitute ? std::string(*substitute) : "", c.expected) << c.type << " " << c.version << " " << c.reply;
  }
}

TEST(SdiAnswers, ACalibrationReadBackIsTheSameByValueAtThePrecisionTheSensorPrints) {
  struct Case {
    const char* written;
    const char* readBack;
    bool same;
  };
  const Case cases[] = {
      {"0.0012 1.0034 -0.52 25.0", "0.0012 1.0034 -0.52 25.0", true},
      {"0.0012 1.0034 -0.52 25.0", "+0.001200 +1.003400 -0.520000 +25.000000", true},  // printed its own way
      {"0.98 +0 1.02", "0.98 0 1.02", true},
      {"1 1.02", "  1   1.02 ", true},
      {"", "", true},
      // A sensor that rounds what it stores and prints every number alike.
      {"0.981", "+0.98", true},
      {"0.981 1.5", "9.810e-01 1.500e+00", true},
      {"0.981", "9.81e-1", true},
      {"0.0012 1.0034 -0.52 25.0", "+0.00 +1.00 -0.52 +25.00", true},
      {"1.00345", "1.0034", true},
      {"a 1 1.39619 2.03054 2.54573 2.9907", "a +1.00 +1.40 +2.03 +2.55 +2.99", true},  // number by number
      {"a 1 1.39619 2.03054 2.54573 2.9907", "a +1.00 +1.40 +2.03 +2.56 +2.99", false},
      {"0.981 1.5", "+0.97 +1.50", false},  // a value that really differs
      {"1.00346", "1.0034", false},
      {"0.98", "0.981", false},  // more digits shown than written: the sensor holds another value
      // A sensor that keeps its text as written: a digit fewer was lost on the way.
      {"0.0012 1.0034 -0.52 25.0", "0.0012 1.003 -0.52 25.0", false},
      {"0.0012 1.0034 -0.52 25.0", "0.0012 1.0034 0.52 25.0", false},  // a lost sign
      {"0.0012 1.0034 -0.52 25.0", "0.0012 1.034 -0.52 25.0", false},  // a lost digit
      {"0.0012 1.0034 -0.52 25.0", "0.00121.0034 -0.52 25.0", false},  // a lost space
      {"0.0012 1.0034 -0.52 25.0", "0.0012 1.0034 -0.52", false},      // a lost value
      {"a 1 b", "a 1 b", true},
      {"a 1 b", "a 1 c", false},
      {"0.5", "0.5x", false},
      {"1 2", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(SDISameCalibration(c.written, c.readBack), c.same) << c.written << " / " << c.readBack;
}

// Noise is told by the frame of an answer and the shape its value must have, never by the
// byte values inside it: a sensor keeps what people typed.
TEST(SdiAnswers, AnAnswerIsFramedByItsAddressAndLineEnd) {
  struct Case {
    const char* command;
    std::string reply;
    bool framed;
  };
  const Case cases[] = {
      {"?X#!", "0S/N 61#4211 (b)\r\n", true},
      {"?X#!", "0S61\xB5-4211\r\n", true},  // a byte above 0x7F is a byte the sensor holds
      {"?X#!", "0S61-004211\r", true},       // the line feed may still be on its way
      {"?X#!", "zOK\r\n", true},
      {"?X#!", "0S61-004211", false},  // no line end: the answer did not end
      {"?X#!", ".k#Fz(q\r\n", false},  // no address first
      {"?X#!", "\xC1\xB2\r\n", false},
      {"?X#!", "\r\n", false},
      {"?X#!", "", false},
      {"3I!", "313TESSALY SKY61 140\r\n", true},
      {"3I!", "013TESSALY SKY61 140\r\n", false},  // another address than the one asked
      {"0A3!", "3\r\n", true},                     // an address change answers from the new one
      {"?!", "7\r\n", true},
  };
  for (const Case& c : cases) EXPECT_EQ(SDIFramed(c.command, c.reply), c.framed) << c.command << " " << c.reply;
  EXPECT_TRUE(SDIFrom("3OK\r\n", '3'));
  EXPECT_FALSE(SDIFrom("0OK\r\n", '3'));
  EXPECT_FALSE(SDIFrom("", '3'));
}

TEST(SdiAnswers, TheValuesACaptureKeepsHaveTheirShape) {
  struct Case {
    bool (*shaped)(std::string_view);
    std::string reply;
    bool expected;
  };
  const Case cases[] = {
      {SDIIdentityShaped, "013TESSALY SKY61 140\r\n", true},
      {SDIIdentityShaped, "013TESSALY K7W   356SN4411\r\n", true},
      {SDIIdentityShaped, "0ERROR\r\n", true},  // a refusal is told by its caller
      {SDIIdentityShaped, "0\r\n", false},
      {SDIIdentityShaped, "0k#Fz(q3vR~p0M&aa;1xe\r\n", false},
      {SDIIdentityShaped, "013TESSALY SKY61 1.4\r\n", false},
      {SDITypeShaped, "0]\r\n", true},
      {SDITypeShaped, "0 z\r\n", true},
      {SDITypeShaped, "0122\r\n", true},
      {SDITypeShaped, "0\r\n", false},
      {SDITypeShaped, "0k#F\r\n", false},
      {SDITypeShaped, "01234\r\n", false},
      {SDICalibrationShaped, "0 0.0012 1.0034 -0.52 25.0\r\n", true},
      {SDICalibrationShaped, "0 +1.5e-3 2 -7. .5 9.810e-01\r\n", true},
      {SDICalibrationShaped, "0 \r\n", true},  // a blank sensor
      {SDICalibrationShaped, "0ERROR\r\n", true},
      {SDICalibrationShaped, "0 1.2x#q 3\r\n", false},
      {SDICalibrationShaped, "0 1 - 2\r\n", false},
      {SDICalibrationShaped, "0 1e 2\r\n", false},
      {SDICalibrationShaped, "0 nan\r\n", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.shaped(c.reply), c.expected) << c.reply;
}

TEST(SdiAnswers, OldCalibrationIsConvertedToTheSixTermForm) {
  EXPECT_EQ(ConvertedCalibration("1 2 3 4 5 6 7 8 9"), "1.000 -2.000000e+03 1.000000e+03 0.000000e+00 5.5 9.0");
  // Fewer than nine terms: no coefficients, the read terms kept where they go.
  EXPECT_EQ(ConvertedCalibration("1.5 2 3"), "1.500 0.000000e+00 0.000000e+00 0.000000e+00 0.0 0.0");
  EXPECT_EQ(ConvertedCalibration(""), "0.000 0.000000e+00 0.000000e+00 0.000000e+00 0.0 0.0");
  // Equal second and third terms give no slope: zeros, never "inf" written to a sensor.
  EXPECT_EQ(ConvertedCalibration("1 2 2 4 5 6 7 8 9"), "1.000 0.000000e+00 0.000000e+00 0.000000e+00 0.0 9.0");
}

TEST(SdiSensorTypes, NamesFamiliesAndUnknownCodes) {
  struct Case {
    uint32_t code;
    const char* name;
  };
  const Case cases[] = {
      {92, "SKYRA 32 Anemometer"},
      {']', "SKYRA 61 Sensor Suite"},
      {'^', "PL-3 Rain Gauge"},
      {'u', "DG7 Drain Gauge"},
      {'z', "K7W Sensor"},
      {'|', "AQUIN-WN Sensor"},
      {'~', "AQUIN-WN Sensor"},
      {127, "AQUIN-WN Sensor"},
      {'}', "RX-VN Sensor"},
      {260, "NDR Family"},
      {261, "WPX-4 WPX-8 NIVARA 51"},
      {264, "NIVARA 3x Family"},
      {263, "Unknown Sensor (type 263)"},
      {118, "Unknown Sensor (type 118)"},
      {0, "Unknown Sensor (type 0)"},
      {4294967295u, "Unknown Sensor (type 4294967295)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SensorTypeName(c.code), c.name) << c.code;
    EXPECT_LT(SensorTypeName(c.code).size(), kSensorTypeNameSize);
  }
  EXPECT_TRUE(SensorFamilyMember(kFamilyWpx, 'l'));
  EXPECT_FALSE(SensorFamilyMember(kFamilyWpx, 'k')) << "the type write does not count the NIVARA 51";
  EXPECT_TRUE(SensorFamilyMember(kFamilyNdr, 's'));
  EXPECT_FALSE(SensorFamilyMember(kFamilyNdr, 0));
  EXPECT_FALSE(SensorFamilyMember(']', ']'));
}

// Random replies built from the pieces sensors and noise produce.
const std::vector<std::string> kPieces = {
    "\r",
    "\n",
    " ",
    "\t",
    "0",
    "?",
    "-1 ",
    "-1\r",
    "-1",
    "+0",
    "1",
    "12",
    "122",
    "999",
    "z",
    "]",
    "OK",
    "ERROR",
    "No BSL",
    "Code Good",
    "13TESSALY K7W   356",
    "1.44832",
    "nan",
    "inf",
    "1e39",
    "a 1",
    std::string(1, '\0'),
    "\xff",
    "\x80",
    std::string(40, '7'),
    std::string(300, 'x'),
};

uint32_t Seed() {
  const char* text = std::getenv("VORN_FUZZ_SEED");
  return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20240712u;
}

std::string RandomReply(std::mt19937& random) {
  std::uniform_int_distribution<int> length(0, 10);
  std::uniform_int_distribution<size_t> piece(0, kPieces.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string reply;
  for (int i = length(random); i > 0; --i) {
    if (byte(random) < 50) {
      reply.push_back(static_cast<char>(byte(random)));
    } else {
      reply += kPieces[piece(random)];
    }
  }
  return reply.substr(0, kSDIReplySize - 1);
}

TEST(SdiAnswersFuzz, RandomRepliesStayWithinEveryLimit) {
  std::mt19937 random(Seed());
  const std::vector<std::string_view> defaults = {kOldXa, kK7Xa, kHb7Xa};
  for (int round = 0; round < 40000; ++round) {
    std::string reply = RandomReply(random);
    const std::string_view text = SDIAnswerText(reply);
    ASSERT_EQ(text.find('\r'), std::string_view::npos);
    ASSERT_LE(text.size(), reply.size());

    const SDIIdentityAnswer identity = ReadIdentityAnswer(reply);
    ASSERT_LE(identity.identity.size(), kSDIIdentityMax);
    ASSERT_EQ(identity.identity.find('\r'), std::string::npos);
    ASSERT_LE(identity.version, 999u);

    const SDITypeAnswer type = ReadTypeAnswer(reply);
    if (type.numeric) {
      ASSERT_TRUE(!text.empty() && text.front() >= '0' && text.front() <= '9');
    }

    const auto serial = ReadSerialAnswer(reply);
    if (serial) {
      ASSERT_LE(serial->size(), kSDISerialMax);
    }

    for (uint32_t sensorType : {kSensorK7W, kSensorHb7, kSensorSkyra61}) {
      for (uint32_t version : {300u, 356u, 380u, 401u, 500u}) {
        const auto substitute = XaDefault(sensorType, version, reply, round % 7 == 0);
        if (substitute) {
          ASSERT_NE(std::find(defaults.begin(), defaults.end(), *substitute), defaults.end());
        }
      }
    }

    const size_t before = reply.size();
    ClearMinusOnes(reply);
    ASSERT_EQ(reply.size(), before);

    const std::string converted = ConvertedCalibration(text);
    ASSERT_LT(converted.size(), kSDICalibrationMax);

    // Framing and shapes read only inside the reply; a text is always the same as itself.
    SDIFramed("?X4!", reply);
    SDIIdentityShaped(reply);
    SDITypeShaped(reply);
    SDICalibrationShaped(reply);
    ASSERT_TRUE(SDISameCalibration(text, text));
    SDISameCalibration(text, converted);
  }
}

}  // namespace
