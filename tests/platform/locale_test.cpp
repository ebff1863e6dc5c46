#include "platform/locale.h"

#include <gtest/gtest.h>

#include "platform/date_time.h"

namespace zarnik::platform {
namespace {

TEST(CaseMapping, FollowsWindows1252) {
  struct Case {
    uint8_t lower, upper;
  } cases[] = {{'a', 'A'}, {'z', 'Z'}, {0xE0, 0xC0}, {0xFE, 0xDE}, {0x9A, 0x8A},
               {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (const Case& c : cases) {
    EXPECT_EQ(CharUpper(c.lower), c.upper) << int(c.lower);
    EXPECT_EQ(CharLower(c.upper), c.lower) << int(c.upper);
  }
  // Characters without a case partner map to themselves.
  for (uint8_t c : {uint8_t(0xF7), uint8_t(0xD7), uint8_t(0xDF), uint8_t(0xB5), uint8_t('1'), uint8_t(0x80)}) {
    EXPECT_EQ(CharUpper(c), c) << int(c);
    EXPECT_EQ(CharLower(c), c) << int(c);
  }
}

TEST(CaseMapping, NamesCompareTrimmedWithoutCase) {
  EXPECT_TRUE(SameName("  TheData ", "thedata"));
  EXPECT_FALSE(SameName("TheData", "TheData2"));
  EXPECT_LT(CompareText("abc", "ABD", true), 0);
  EXPECT_GT(CompareText("abc", "ABC", false), 0);
  EXPECT_FALSE(IsLocaleInstalled(1033));
  EXPECT_TRUE(IsLocaleInstalled(0));
}

TEST(DateTime, EncodesDaysSince18991230) {
  TDateTime value = -1;
  ASSERT_TRUE(TryEncodeDate(1899, 12, 30, value));
  EXPECT_EQ(value, 0.0);
  ASSERT_TRUE(TryEncodeDate(2000, 1, 1, value));
  EXPECT_EQ(value, 36526.0);
  ASSERT_TRUE(TryEncodeDate(1, 1, 1, value));
  EXPECT_EQ(value, -693593.0);
  EXPECT_FALSE(TryEncodeDate(2001, 2, 29, value));
  int y, m, d;
  DecodeDate(36526.75, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
  int h, mi, s, ms;
  TDateTime time;
  ASSERT_TRUE(TryEncodeTime(18, 30, 15, 250, time));
  DecodeTime(36526.0 + time, h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 183015250);
}

}  // namespace
}  // namespace zarnik::platform
