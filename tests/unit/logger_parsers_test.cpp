#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "logger/answer_parsers.h"

namespace {

TEST(VersionLine, ReadsTagAndVersionFromTheFirstLine) {
  struct Case {
    std::string answer;
    VersionStatus status;
    std::string tag;
    int32_t number;
  };
  const Case cases[] = {
      {"\rLG20 2.02\r>", VersionStatus::kOk, "LG20", 202},
      {"\r\r\rQRL 2.05\r\r>", VersionStatus::kOk, "QRL", 205},
      {"lg20 1.19\r>", VersionStatus::kOk, "lg20", 119},
      {"FH  1.09\r", VersionStatus::kOk, "FH", 109},
      {"LG20 2.02", VersionStatus::kNoLineEnd, "", 0},
      {"\r\r", VersionStatus::kNoLineEnd, "", 0},
      {"\r.\r>", VersionStatus::kUnreadable, "", 0},
      {"LG20 2.0\r>", VersionStatus::kUnreadable, "", 0},
      {"LG20 2.-1\r>", VersionStatus::kUnreadable, "", 0},
      {"LG20 v2.02\r>", VersionStatus::kUnreadable, "", 0},
      {"LG20 99999999999.99\r>", VersionStatus::kUnreadable, "", 0},
      // The line is cut at 20 characters before it is read.
      {"AVERYLONGMODELTAG 1.23\r>", VersionStatus::kUnreadable, "", 0},
  };
  for (const Case& c : cases) {
    const VersionLine line = ParseVersionLine(c.answer);
    EXPECT_EQ(line.status, c.status) << c.answer;
    if (c.status != VersionStatus::kOk) continue;
    EXPECT_EQ(line.tag, c.tag);
    EXPECT_EQ(line.number, c.number);
  }
  EXPECT_EQ(ParseVersionLine("\rQRL 2.05\r>").text, "QRL 2.05");
  EXPECT_EQ(ParseVersionLine("ABCDEFGHIJ 1.23456789\r").text, "ABCDEFGHIJ 1.2345678");
}

TEST(ShowAnswer, ReadsEachLabelFromItsFixedOffset) {
  const ShowAnswer show = ParseShowAnswer("\rID: LOGGER1\rVersion: 1.23\rRadio: 2\rWake: 60\rResets: 7\r>");
  EXPECT_EQ(show.errorBits, 0u);
  EXPECT_EQ(show.name.value_or(""), "LOGGER1");
  EXPECT_EQ(show.versionText.value_or(""), "1.23");
  EXPECT_EQ(show.versionNumber.value_or(0), 123);
  EXPECT_EQ(show.rmode.value_or(-9), 2);
  EXPECT_EQ(show.wake.value_or(-9), 60);
  EXPECT_EQ(show.resets.value_or(-9), 7);

  const ShowAnswer longName = ParseShowAnswer("ID: ABCDEFGHIJK\r>");
  EXPECT_EQ(longName.name.value_or(""), "ABCDEFGH") << "one word of at most 8 characters";

  EXPECT_EQ(ParseShowAnswer("\rnothing here\r>").errorBits, 0u) << "missing labels add nothing";
  EXPECT_EQ(ParseShowAnswer("ID:").errorBits, kShowErrorName) << "a label at the very end";
  EXPECT_EQ(ParseShowAnswer("Version: x.yz\r").errorBits, kShowErrorVersion);
  EXPECT_EQ(ParseShowAnswer("Version: 1.2\r").errorBits, kShowErrorVersion);
  EXPECT_EQ(ParseShowAnswer("Radio: -\rWake: \rResets: q\r").errorBits,
            kShowErrorRadio | kShowErrorWake | kShowErrorResets);
}

TEST(AnswerReaders, TextValues) {
  EXPECT_EQ(ReadTextAnswer("\r  North Field\r>", 25).text, "North Field");
  EXPECT_EQ(ReadTextAnswer("\r>", 25).result, -31);
  EXPECT_EQ(ReadTextAnswer("", 25).result, -30);
  EXPECT_EQ(ReadTextAnswer("\r\r", 25).result, -30);
  EXPECT_EQ(ReadTextAnswer("\rABCDEFGHIJ\r>", 8).text, "ABCDEFGH");
  EXPECT_EQ(ReadTextAnswer(std::string("\rAB\0CD\r>", 8), 8).text, "AB") << "a NUL ends the text";

  EXPECT_EQ(ReadLineAfterReturn("\rSN-0042\r>", 15), "SN-0042");
  EXPECT_EQ(ReadLineAfterReturn("SN-0042", 15), "") << "no carriage return, no value";
  EXPECT_EQ(ReadLineAfterReturn("\r>", 15), "") << "the bare prompt is no value";
  EXPECT_EQ(ReadWordAfterReturn("\rLOG 7\r>", 8).value_or(""), "LOG");
  EXPECT_FALSE(ReadWordAfterReturn("\r>", 8));
  EXPECT_FALSE(ReadWordAfterReturn("LOG7", 8));
}

TEST(AnswerReaders, Numbers) {
  EXPECT_EQ(ReadIntegerAnswer("\r -12\r>").value_or(0), -12);
  EXPECT_EQ(ReadIntegerAnswer("\r+7\r>").value_or(0), 7);
  EXPECT_FALSE(ReadIntegerAnswer("\r>"));
  EXPECT_FALSE(ReadIntegerAnswer("-"));
  EXPECT_EQ(ReadIntegerAnswer("99999999999999999999999").value_or(0), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ReadIntegerAnswer("-99999999999999999999999").value_or(0), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ReadIntegerAfterReturn("x\r60\r>").value_or(0), 60);
  EXPECT_FALSE(ReadIntegerAfterReturn("60"));

  EXPECT_DOUBLE_EQ(ReadRealAnswer("\r+46.10000\r>").value_or(0), 46.1);
  EXPECT_DOUBLE_EQ(ReadRealAnswer("\r-46.12345\r>").value_or(0), -46.12345);
  EXPECT_FALSE(ReadRealAnswer("\rnan\r>"));
  EXPECT_FALSE(ReadRealAnswer("\rinf\r>"));
  EXPECT_FALSE(ReadRealAnswer("1e999"));
  EXPECT_FALSE(ReadRealAnswer("+-5"));

  EXPECT_EQ(ReadHexAnswer("C\r").value_or(0), 12u);
  EXPECT_EQ(ReadHexAnswer(" 0x1F\r").value_or(0), 31u);
  EXPECT_EQ(ReadHexAnswer("0x").value_or(99), 0u) << "the 0 before a bare x";
  EXPECT_EQ(ReadHexAnswer("FFFFFFFFFFFF").value_or(0), 0xFFFFFFFFu);
  EXPECT_FALSE(ReadHexAnswer("\rOK\r"));

  std::array<int32_t, 5> five{};
  EXPECT_EQ(ReadIntegerList("\r1 2 300 4 5\r>", five), 5);
  EXPECT_EQ(five[2], 300);
  EXPECT_EQ(ReadIntegerList("\r1 2 x 4 5\r>", five), 2);
  std::array<uint32_t, 11> eleven{};
  EXPECT_EQ(ReadUnsignedList("10 1 20 2 -3", eleven), 4) << "no sign on an unsigned number";
}

TEST(AnswerReaders, DatesAndRadioValues) {
  DeviceDate date;
  EXPECT_EQ(ParseDeviceDate("\rDate\\Time: 2024-03-05 14:07:09\r>", &date), 6);
  EXPECT_EQ(date.year, 2024);
  EXPECT_EQ(date.second, 9);
  EXPECT_EQ(ParseDeviceDate("\r2024-3-5  4:07:09\r>", &date), 6);
  EXPECT_EQ(date.hour, 4);
  EXPECT_EQ(ParseDeviceDate("\r2024-03-05\r>", &date), 3);
  EXPECT_EQ(ParseDeviceDate("\r2024/03/05\r>", &date), 1);

  EXPECT_EQ(RadioValueText("OK\r1234\r>"), "1234\r>");
  EXPECT_EQ(RadioValueText("1234"), "1234");
  EXPECT_EQ(RadioValueText("OK"), "");
  EXPECT_EQ(RadioValueText("K"), "");
}

}  // namespace
