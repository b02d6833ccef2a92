// Record names and their order: what the instrument gets back, in which order.
#include <gtest/gtest.h>

#include "instrument/instrument_link.h"
#include "instrument/instrument_settings.h"

namespace {

std::vector<std::string> Names(const RecordSet& set) {
  std::vector<std::string> names;
  for (const Record& record : set.records) names.push_back(record.name);
  return names;
}

std::vector<std::string> Texts(const RecordSet& set) {
  std::vector<std::string> texts;
  for (const Record& record : set.records) texts.push_back(record.text);
  return texts;
}

TEST(RecordNames, DecodesBase64WhateverTheTextHolds) {
  EXPECT_EQ(DecodeBase64("TWFu"), "Man");
  EXPECT_EQ(DecodeBase64("TWE="), "Ma");
  EXPECT_EQ(DecodeBase64("TQ=="), "M");
  EXPECT_EQ(DecodeBase64("TWFuTQ"), "ManM") << "a short last group counts its missing characters as zero bits";
  EXPECT_EQ(DecodeBase64("T*Fu"), DecodeBase64("TAFu")) << "characters outside the alphabet are zero bits";
  EXPECT_EQ(DecodeBase64(""), "");
}

TEST(RecordNames, EqnAndUserNames) {
  InstrumentLink link(nullptr);
  RecordSet eqn;
  eqn.records = {{"", "Bulk_EC 0.85*x"}, {"", "a`b_c"}, {"", "ABCDEFGHIJKLMNOPQRSTUVWXYZ x"}, {"", ""}};
  ASSERT_EQ(ExtractNames(link, eqn, kRecordsEqn), 1);
  EXPECT_EQ(Names(eqn), (std::vector<std::string>{"Bulk EC", "a,b c", "ABCDEFGHIJKLMNOPQRST", ""}));

  RecordSet user;
  // "1\t2\t3\tThirteenChars\tx", a name of one field only, and a fourth field at the end of the text.
  user.records = {{"", "MQkyCTMJVGhpcnRlZW5DaGFycwl4"}, {"", "T25seQ=="}, {"", "YQliCWMJTGFzdA=="}};
  ASSERT_EQ(ExtractNames(link, user, kRecordsUser), 1);
  EXPECT_EQ(Names(user), (std::vector<std::string>{"ThirteenC", "", "Last"}));

  RecordSet empty;
  EXPECT_EQ(ExtractNames(link, empty, kRecordsEqn), -10);
  EXPECT_EQ(ExtractNames(link, eqn, 3), -11);
  EXPECT_EQ(AlphabetizeRecords(link, eqn, 0), -11);
}

TEST(RecordNames, OrderIgnoresCaseAndPutsEqualNamesFirst) {
  const struct {
    const char* a;
    const char* b;
    bool before;
  } cases[] = {
      {"apple", "Banana", true}, {"Banana", "apple", false}, {"abc", "ABC", true},  {"ABC", "abc", true},
      {"ab", "abc", true},       {"abc", "ab", false},       {"", "", true},        {"", "a", true},
      {"a", "", false},          {"Z9", "z8", false},        {"x y", "xy", true},
  };
  for (const auto& c : cases) EXPECT_EQ(RecordNameBefore(c.a, c.b), c.before) << c.a << " / " << c.b;
  const std::string long1 = std::string(32, 'k') + "b";
  const std::string long2 = std::string(32, 'K') + "a";
  EXPECT_TRUE(RecordNameBefore(long1, long2)) << "only 32 characters count";
}

TEST(RecordNames, AlphabetizeSortsByNameAndReversesEqualNames) {
  InstrumentLink link(nullptr);
  RecordSet eqn;
  eqn.records = {{"", "b_x 1"}, {"", "A 2"}};
  ASSERT_EQ(AlphabetizeRecords(link, eqn, kRecordsEqn), 1);
  EXPECT_EQ(Texts(eqn), (std::vector<std::string>{"A 2", "b_x 1"}));
  EXPECT_EQ(Names(eqn), (std::vector<std::string>{"A", "b x"}));

  RecordSet same;
  same.records = {{"", "Peat 1"}, {"", "peat 2"}, {"", "Clay 3"}, {"", "PEAT 4"}, {"", "zinc 5"}, {"", "clay 6"}};
  ASSERT_EQ(AlphabetizeRecords(link, same, kRecordsEqn), 1);
  EXPECT_EQ(Texts(same), (std::vector<std::string>{"clay 6", "Clay 3", "PEAT 4", "peat 2", "Peat 1", "zinc 5"}));
}

}  // namespace
