// Random answers against the answer readers: whatever a device sends, every
// reader returns a bounded result and never reads outside its text (the
// sanitizer build checks the latter). The seed is fixed so a failure repeats;
// VORN_FUZZ_SEED picks another.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "logger/answer_parsers.h"
#include "logger/setting_commands.h"
#include "logger/settings_loop.h"
#include "logger_link_fixture.h"

namespace {

constexpr int kRounds = 60000;

const std::vector<std::string> kPieces = {
    "\r", "\r", ">", " ", "\t", ".", "-", "+", "K", "OK", "0", "1", "9", "00", "12", "255", "4294967296",
    "99999999999999999999", "2.05", "1.1", "LG20", "QRL", "ID:", "Version:", "Radio:", "Wake:", "Resets:",
    "Date\\Time:", ":", "0x", "FF", "e", "1e308", "nan", "inf", "ERROR", "?", "No Radio", std::string(1, '\0'),
    "\xff", "\x80", "$", "+++", std::string(40, 'A'), std::string(300, '7'),
};

uint32_t Seed() {
  const char* text = std::getenv("VORN_FUZZ_SEED");
  return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20240611u;
}

std::string RandomAnswer(std::mt19937& random) {
  std::uniform_int_distribution<int> length(0, 12);
  std::uniform_int_distribution<size_t> piece(0, kPieces.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string answer;
  const int pieces = length(random);
  for (int i = 0; i < pieces; ++i) {
    if (byte(random) < 40) {
      answer.push_back(static_cast<char>(byte(random)));
    } else {
      answer += kPieces[piece(random)];
    }
  }
  return answer;
}

bool HasSpace(std::string_view text) {
  for (const char c : text) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) return true;
  }
  return false;
}

void CheckOne(std::string_view answer) {
  const VersionLine line = ParseVersionLine(answer);
  EXPECT_LE(line.text.size(), 20u);
  if (line.status == VersionStatus::kOk) {
    EXPECT_FALSE(line.tag.empty());
    EXPECT_LE(line.tag.size(), 20u);
  }

  const ShowAnswer show = ParseShowAnswer(answer);
  EXPECT_EQ(show.errorBits & ~31u, 0u);
  if (show.name) {
    EXPECT_LE(show.name->size(), 8u);
    EXPECT_TRUE(show.hasName);
  }
  if (show.versionText) {
    EXPECT_LE(show.versionText->size(), 20u);
  }

  const TextAnswer text = ReadTextAnswer(answer, 25);
  EXPECT_TRUE(text.result == 1 || text.result == -30 || text.result == -31);
  EXPECT_LE(text.text.size(), 25u);
  if (text.result == 1) {
    EXPECT_EQ(text.text.find_first_of(std::string("\r\0", 2)), std::string::npos);
  }
  EXPECT_LE(ReadLineAfterReturn(answer, 15).size(), 15u);

  for (const auto& word : {ReadWordAnswer(answer, 8), ReadWordAfterReturn(answer, 8)}) {
    if (!word) continue;
    EXPECT_LE(word->size(), 8u);
    EXPECT_FALSE(word->empty());
    EXPECT_FALSE(HasSpace(*word));
  }

  ReadIntegerAnswer(answer);
  ReadIntegerAfterReturn(answer);
  ReadHexAnswer(answer);
  if (const auto real = ReadRealAnswer(answer)) {
    EXPECT_TRUE(std::isfinite(*real));
  }
  std::array<int32_t, 5> five{};
  EXPECT_LE(ReadIntegerList(answer, five), 5);
  std::array<uint32_t, 11> eleven{};
  EXPECT_LE(ReadUnsignedList(answer, eleven), 11);
  DeviceDate date;
  const int fields = ParseDeviceDate(answer, &date);
  EXPECT_TRUE(fields >= 0 && fields <= 6);

  const std::string_view radio = RadioValueText(answer);
  const bool inside = radio.data() >= answer.data() && radio.data() + radio.size() <= answer.data() + answer.size();
  EXPECT_TRUE(radio.empty() || inside) << "the radio value is a part of the answer";
  ReadHexAnswer(radio);
  ReadWordAnswer(radio, 8);
}

TEST(AnswerParsersFuzz, RandomAnswersGiveBoundedResults) {
  std::mt19937 random(Seed());
  for (int round = 0; round < kRounds; ++round) {
    // An exact-size heap copy, so reading one byte past the answer is caught.
    const std::string text = RandomAnswer(random);
    const std::vector<char> exact(text.begin(), text.end());
    CheckOne(std::string_view(exact.data(), exact.size()));
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "seed " << Seed() << " round " << round;
      return;
    }
  }
}

TEST(AnswerParsersFuzz, EveryPrefixOfARealAnswer) {
  // Truncated answers: every cut of answers a device really sends.
  const std::string answers[] = {
      "\rLG20 2.02\r>", "\rID: LOGGER1\rVersion: 1.23\rRadio: 2\rWake: 60\rResets: 7\r>",
      "\rDate\\Time: 2024-03-05 14:07:09\r>", "OK\r1234\r>", "\r10 1 20 2 30 3 40 4 50 5 165\r>",
  };
  for (const std::string& full : answers) {
    for (size_t cut = 0; cut <= full.size(); ++cut) {
      const std::vector<char> prefix(full.begin(), full.begin() + static_cast<long>(cut));
      CheckOne(std::string_view(prefix.data(), prefix.size()));
    }
  }
}

}  // namespace

// The same random answers through whole commands on a pseudo-terminal: every
// command ends with a known code and keeps its fields within their lengths.

namespace {

constexpr int kLinkRounds = 60;

const std::set<int> kKnownCodes = {1, 0, -1, -10, -11, -12, -13, -20, -21, -22, -23, -30, -31, -32,
                                   -33, -34, -35, -36, -37, -40, -45, -60, -65, -80, -81};

using AnswerFuzzOnLink = LinkOnPty;

void CheckRecord(const LoggerSettings& s) {
  EXPECT_LE(s.deviceName.size(), kDeviceNameMax);
  EXPECT_LE(s.versionText.size(), kVersionTextMax);
  EXPECT_LE(s.site.size(), kSiteMax);
  EXPECT_LE(s.radioVersion.size(), kRadioVersionMax);
  EXPECT_LE(s.serialNumber.size(), kSerialNumberMax);
}

TEST_F(AnswerFuzzOnLink, RandomAnswersToWholeCommands) {
  Open();
  std::mt19937 random(Seed());
  for (int round = 0; round < kLinkRounds; ++round) {
    // Every answer ends in the prompt so no exchange waits for its time-out.
    std::string answer = RandomAnswer(random) + ">";
    device_.Otherwise(answer);
    const auto known = [&](int result) { return kKnownCodes.count(result) == 1 || result > 1; };

    Identify(kClassLg20, 202);
    link_->settings.deviceClass = kClassUnknown;
    EXPECT_TRUE(known(VerCommand(*link_, true)));
    Identify(kClassLg2, 150, false);
    EXPECT_TRUE(known(ParseShowCommand(*link_, nullptr)));
    CheckRecord(link_->settings);

    Identify(kClassLg20, 202);
    link_->settings.trait = kTraitValid | kTraitRadio | kTraitCellular;
    LoggerSettings& s = link_->settings;
    EXPECT_TRUE(known(SiteCommand(*link_, &s.site, kRead)));
    EXPECT_TRUE(known(DepthCommand(*link_, &s.depths, kRead)));
    EXPECT_TRUE(known(ADCcalCommand(*link_, kAdc30, &s.adc30Slopes, &s.adc30Offsets, kRead)));
    uint32_t mask = kBitsRadio;
    EXPECT_TRUE(known(MSRadioCommand(*link_, &s.radioChannel, &s.radioSubChannel, &s.radioVersion, &mask, kRead)));
    EXPECT_TRUE(known(AuthKeyCommand(*link_, &s.authKey, kRead)));
    EXPECT_LE(s.authKey.size(), kAuthKeyMax);
    int64_t seconds = 0;
    EXPECT_TRUE(known(DeviceTime(*link_, &seconds, 0)));
    CheckRecord(link_->settings);
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "seed " << Seed() << " round " << round;
      return;
    }
  }
}

}  // namespace
