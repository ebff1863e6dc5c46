#include "engine/data/value_text.h"

#include <gtest/gtest.h>

#include "engine/data/bcd.h"
#include "platform/byte_order.h"

namespace zarnik {
namespace {

using namespace platform;

TFieldDefinition Field(uint8_t type, uint8_t subtype = 0, uint16_t size = 0, uint8_t scale = 0) {
  TFieldDefinition f;
  f.dataType = type;
  f.subtype = subtype;
  f.size = size;
  f.scale = scale;
  f.DerivePhysicalSize();
  return f;
}

constexpr TDateTime kNoon2000 = 36526.5;   // 2000-01-01 12:00
constexpr int32_t kDay2000 = 730120;       // its day number
constexpr double kMsPerDay = 86400000.0;

TEST(ValueTextTest, AcceptedTexts) {
  struct Case {
    uint8_t type;
    const char* text;
    bool valid;
  } cases[] = {
      {kFieldString, "anything at all", true}, {kFieldBytes, "x", true},           {kFieldVarBytes, "x", true},
      {kFieldBlob, "x", false},                {kFieldBlob, "", true},             {17, "1", false},
      {kFieldDate, "2000-02-29", true},        {kFieldDate, "1900-02-29", false},  {kFieldDate, "2000-1-5", true},
      {kFieldDate, "current_date", true},      {kFieldDate, "2000-01-01x", false}, {kFieldDate, "01/01/2000", false},
      {kFieldTime, "23:59", true},             {kFieldTime, "23:59:59.999", true}, {kFieldTime, "24:00", false},
      {kFieldTime, "11:15 pm", true},          {kFieldTime, "13:15 PM", false},    {kFieldTime, "10:00:00.", false},
      {kFieldTime, "CURRENT_TIME", true},      {kFieldTime, "10", false},          {kFieldTime, "10:00 XM", false},
      {kFieldTimestamp, "2000-01-01", true},   {kFieldTimestamp, "2000-01-01 10:30", true},
      {kFieldTimestamp, "10:30:05", true},     {kFieldTimestamp, "CURRENT_TIMESTAMP", true},
      {kFieldTimestamp, "current_date", true}, {kFieldTimestamp, "2000-01-01 25:00", false},
      {kFieldBoolean, "TRUE", true},           {kFieldBoolean, "false", true},     {kFieldBoolean, "yes", false},
      {kFieldSmallInt, "-32768", true},        {kFieldSmallInt, "32768", false},   {kFieldSmallInt, "+12", true},
      {kFieldWord, "65535", true},             {kFieldWord, "-1", false},          {kFieldInteger, "2147483647", true},
      {kFieldInteger, "2147483648", false},    {kFieldInteger, "1.0", false},      {kFieldInteger, "", true},
      {kFieldLargeInt, "-9223372036854775808", true}, {kFieldLargeInt, "9223372036854775808", false},
      {kFieldFloat, "-12.5", true},            {kFieldFloat, "1e300", true},       {kFieldFloat, "nan", false},
      {kFieldFloat, "1,5", false},             {kFieldFloat, ".", false},          {kFieldBcd, "12.3456", true},
      {kFieldBcd, "1e20", false},              {kFieldBcd, "abc", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsValidValueText(Field(c.type), c.text), c.valid) << int(c.type) << " '" << c.text << "'";
}

TEST(ValueTextTest, EncodedValues) {
  auto int32Of = [](uint8_t type, const char* text) {
    return GetInt32(*EncodeValueText(Field(type), text, kNoon2000), 0);
  };
  auto stampOf = [](const char* text) {
    return GetFloat64(*EncodeValueText(Field(kFieldTimestamp), text, kNoon2000), 0);
  };
  EXPECT_EQ(int32Of(kFieldDate, "2000-01-01"), kDay2000);
  EXPECT_EQ(int32Of(kFieldDate, "0001-01-01"), 1);
  EXPECT_EQ(int32Of(kFieldDate, "CURRENT_DATE"), kDay2000);
  EXPECT_EQ(int32Of(kFieldTime, "01:02:03.004"), 3723004);
  EXPECT_EQ(int32Of(kFieldTime, "01:02:03.5"), 3723500);
  EXPECT_EQ(int32Of(kFieldTime, "12:30 PM"), 45000000);
  EXPECT_EQ(int32Of(kFieldTime, "12:30 AM"), 1800000);
  EXPECT_EQ(int32Of(kFieldTime, "CURRENT_TIME"), 43200000);
  EXPECT_EQ(int32Of(kFieldInteger, "-17"), -17);
  EXPECT_EQ(stampOf("2000-01-01 00:00:01"), kDay2000 * kMsPerDay + 1000);
  EXPECT_EQ(stampOf("CURRENT_TIMESTAMP"), kDay2000 * kMsPerDay + 43200000);
  EXPECT_EQ(stampOf("CURRENT_DATE"), kDay2000 * kMsPerDay);
  EXPECT_EQ(stampOf("CURRENT_TIME"), 693594 * kMsPerDay + 43200000);
  EXPECT_EQ(stampOf("06:00"), 693594 * kMsPerDay + 21600000);
  EXPECT_EQ(GetInt16(*EncodeValueText(Field(kFieldBoolean), "True", 0), 0), 1);
  EXPECT_EQ(GetFloat64(*EncodeValueText(Field(kFieldFloat), "-2.25", 0), 0), -2.25);
  EXPECT_EQ(GetInt64(*EncodeValueText(Field(kFieldLargeInt), "-9000000000", 0), 0), -9000000000);

  auto bcd = *EncodeValueText(Field(kFieldBcd, 0, 0, 2), "-12.345", 0);
  ASSERT_EQ(bcd.size(), 34u);
  EXPECT_EQ(BcdToCurrency(bcd), -123400);  // two places, half to even

  auto text = *EncodeValueText(Field(kFieldString, 0, 10), "abc", 0);
  EXPECT_EQ(text, std::vector<uint8_t>({'a', 'b', 'c', 0}));
  auto wide = *EncodeValueText(Field(kFieldString, kSubtypeWideString, 4), "a\x80", 0);
  EXPECT_EQ(wide, std::vector<uint8_t>({'a', 0, 0xAC, 0x20, 0, 0}));
  std::string guid(reinterpret_cast<const char*>(EncodeValueText(Field(kFieldString, kSubtypeGuid, 38), "CURRENT_GUID", 0)->data()));
  EXPECT_EQ(guid.size(), 38u);
  EXPECT_EQ(guid.front(), '{');
  EXPECT_EQ(guid[9], '-');
  EXPECT_NE(guid, NewGuidText());
}

TEST(ValueTextTest, ComparesByType) {
  auto compare = [](const TFieldDefinition& f, const char* a, const char* b) {
    return CompareFieldValues(f, *EncodeValueText(f, a, 0), *EncodeValueText(f, b, 0));
  };
  EXPECT_LT(compare(Field(kFieldString, 0, 10), "ab", "abc"), 0);
  EXPECT_GT(compare(Field(kFieldString, 0, 10), "b", "abc"), 0);
  EXPECT_GT(compare(Field(kFieldString, 0, 10), "a", "B"), 0);  // byte order
  EXPECT_LT(compare(Field(kFieldString, kSubtypeWideString, 10), "a", "b"), 0);
  EXPECT_LT(compare(Field(kFieldInteger), "-5", "3"), 0);
  EXPECT_LT(compare(Field(kFieldSmallInt), "-5", "3"), 0);
  EXPECT_GT(compare(Field(kFieldWord), "40000", "3"), 0);
  EXPECT_LT(compare(Field(kFieldLargeInt), "-9000000000", "1"), 0);
  EXPECT_LT(compare(Field(kFieldBoolean), "FALSE", "TRUE"), 0);
  EXPECT_EQ(compare(Field(kFieldFloat), "1.50", "1.5"), 0);
  EXPECT_LT(compare(Field(kFieldDate), "1999-12-31", "2000-01-01"), 0);
  EXPECT_GT(compare(Field(kFieldTimestamp), "2000-01-01 00:00:01", "2000-01-01"), 0);
  EXPECT_LT(compare(Field(kFieldBcd, 0, 0, 4), "-1.0001", "-1"), 0);
  EXPECT_EQ(CompareFieldValues(Field(kFieldInteger), {}, {}), 0);  // values too short read as 0
}

TEST(BcdTest, CurrencyToBcdLayout) {
  TBcd bcd = *CurrencyToBcd(-123456, 32, 2);  // -12.3456 at two places: -12.35
  EXPECT_EQ(bcd[0], 32);
  EXPECT_EQ(bcd[1], 0x80 | 2);
  // 32 digits fill bytes 2-17, right-aligned; the rest stays zero
  for (size_t i = 2; i < 34; ++i) {
    if (i != 16 && i != 17) {
      EXPECT_EQ(bcd[i], 0) << i;
    }
  }
  EXPECT_EQ(bcd[16], 0x12);
  EXPECT_EQ(bcd[17], 0x35);
  EXPECT_EQ(BcdToCurrency(bcd), -123500);

  TBcd precise = *CurrencyToBcd(10001, 32, 6);  // 1.0001 at six places: 1000100
  EXPECT_EQ(precise[1], 6);
  EXPECT_EQ(precise[14], 0x01);
  EXPECT_EQ(precise[15], 0x00);
  EXPECT_EQ(precise[16], 0x01);
  EXPECT_EQ(precise[17], 0x00);
  EXPECT_EQ(BcdToCurrency(precise), 10001);
  EXPECT_EQ(CurrencyToBcd(0, 32, 4).value()[1], 4);  // no sign for zero
  EXPECT_EQ(CurrencyToBcd(-0, 32, 0).value()[1], 0);
}

TEST(BcdTest, RoundingAndLimits) {
  EXPECT_EQ(BcdToCurrency(*CurrencyToBcd(1250, 32, 2)), 1200);   // 0.125 -> 0.12
  EXPECT_EQ(BcdToCurrency(*CurrencyToBcd(1350, 32, 2)), 1400);   // 0.135 -> 0.14
  EXPECT_EQ(BcdToCurrency(*CurrencyToBcd(INT64_MIN, 32, 4)), INT64_MIN);
  EXPECT_EQ(BcdToCurrency(*CurrencyToBcd(INT64_MAX, 32, 4)), INT64_MAX);
  EXPECT_FALSE(CurrencyToBcd(INT64_MAX, 32, 20));  // 15 integer digits do not fit in 12
  EXPECT_FALSE(CurrencyToBcd(1, 0, 0));
  EXPECT_FALSE(CurrencyToBcd(1, 32, 33));

  TBcd damaged{};
  damaged[0] = 64;
  damaged[2] = 0xA0;  // not a digit
  EXPECT_FALSE(BcdToCurrency(damaged));
  damaged[2] = 0x99;
  for (size_t i = 3; i < 34; ++i) damaged[i] = 0x99;  // 64 nines
  EXPECT_FALSE(BcdToCurrency(damaged));
  damaged[0] = 30;
  damaged[1] = 63;  // more places than digits: a tiny number
  EXPECT_EQ(BcdToCurrency(damaged), 0);
  uint8_t tooShort[1] = {32};
  EXPECT_FALSE(BcdToCurrency(tooShort));
}

TEST(BcdTest, ParsesDecimalTexts) {
  EXPECT_EQ(ParseCurrency("12.3456"), 123456);
  EXPECT_EQ(ParseCurrency("-0.00005"), 0);
  EXPECT_EQ(ParseCurrency("0.00015"), 2);
  EXPECT_EQ(ParseCurrency("+7"), 70000);
  EXPECT_EQ(ParseCurrency(".5"), 5000);
  EXPECT_EQ(ParseCurrency("1.5e3"), 15000000);
  EXPECT_EQ(ParseCurrency("922337203685477.5807"), INT64_MAX);
  EXPECT_FALSE(ParseCurrency("922337203685477.5808"));
  for (const char* bad : {"", "-", ".", "1.2.3", "12a", "1e999"}) EXPECT_FALSE(ParseCurrency(bad)) << bad;
}

}  // namespace
}  // namespace zarnik
