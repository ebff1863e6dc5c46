#include "engine/data/record_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/byte_order.h"

namespace zarnik {
namespace {

TFieldDefinition Field(uint8_t type, uint16_t offset, uint16_t size = 0, uint8_t subtype = 0) {
  TFieldDefinition f;
  f.number = 1;
  f.dataType = type;
  f.subtype = subtype;
  f.size = size;
  f.DerivePhysicalSize();
  f.offset = offset;
  return f;
}

std::span<const uint8_t> Text(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.c_str()), s.size() + 1};
}

std::string StoredText(const std::vector<uint8_t>& record, const TFieldDefinition& f) {
  TFieldValue v = GetFieldValue(record, f);
  return std::string(reinterpret_cast<const char*>(v.bytes.data()));
}

// The worked example: an integer at 25 and a string of size 10 at 30, record size 48.
TEST(RecordLayoutTest, IntegerAndNullStringExample) {
  std::vector<uint8_t> record(48, 0xEE);
  TFieldDefinition i = Field(kFieldInteger, 25), s = Field(kFieldString, 30, 10);
  uint8_t seven[4] = {7, 0, 0, 0};
  ASSERT_TRUE(SetFieldValue(record, i, std::span<const uint8_t>(seven)));
  ASSERT_TRUE(SetFieldValue(record, s, std::nullopt));
  EXPECT_EQ(record[25], 1);
  EXPECT_EQ(std::vector<uint8_t>(record.begin() + 26, record.begin() + 30), std::vector<uint8_t>({7, 0, 0, 0}));
  EXPECT_EQ(record[30], 0);
  EXPECT_EQ(std::vector<uint8_t>(record.begin() + 31, record.begin() + 42), std::vector<uint8_t>(11, 0));
  EXPECT_EQ(record[42], 0xEE);  // padding untouched
  EXPECT_FALSE(GetFieldValue(record, i).isNull);
  EXPECT_TRUE(GetFieldValue(record, s).isNull);
}

TEST(RecordLayoutTest, StringRules) {
  struct Case {
    const char* name;
    uint8_t subtype, characterCase;
    std::string input, stored;
    bool isNull;
  } cases[] = {
      {"empty is NULL", 0, 0, "", "", true},
      {"trailing blanks trimmed", 0, 0, "ab  ", "ab", false},
      {"blanks only is NULL", 0, 0, "   ", "", true},
      {"fixed keeps blanks", kSubtypeFixedString, 0, "ab  ", "ab  ", false},
      {"cut to size", 0, 0, "0123456789ABC", "0123456789", false},
      {"upper", 0, 2, "abc\xE9", "ABC\xC9", false},
      {"lower", 0, 1, "ABC\xC9", "abc\xE9", false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> record(40, 0xEE);
    TFieldDefinition f = Field(kFieldString, 25, 10, c.subtype);
    f.characterCase = c.characterCase;
    ASSERT_TRUE(SetFieldValue(record, f, Text(c.input))) << c.name;
    EXPECT_EQ(GetFieldValue(record, f).isNull, c.isNull) << c.name;
    EXPECT_EQ(StoredText(record, f), c.stored) << c.name;
    EXPECT_EQ(record[36], 0) << c.name;  // the terminator slot is always zero
  }
}

TEST(RecordLayoutTest, WideStringIsStoredInSixteenBitUnits) {
  std::vector<uint8_t> record(48, 0);
  TFieldDefinition f = Field(kFieldString, 25, 3, kSubtypeWideString);
  f.characterCase = 2;
  ASSERT_EQ(f.physicalSize, 7);
  const uint8_t text[] = {'a', 0, 0x3B, 0x04, 'b', 0, 'c', 0, 'd', 0, 0, 0};  // a, Cyrillic, b, c, d
  ASSERT_TRUE(SetFieldValue(record, f, std::span<const uint8_t>(text)));
  TFieldValue v = GetFieldValue(record, f);
  EXPECT_FALSE(v.isNull);
  EXPECT_EQ(std::vector<uint8_t>(v.bytes.begin(), v.bytes.end()),
            std::vector<uint8_t>({'A', 0, 0x3B, 0x04, 'B', 0, 0}));
}

TEST(RecordLayoutTest, BlobReferenceAndBooleanRules) {
  std::vector<uint8_t> record(40, 0);
  TFieldDefinition blob = Field(kFieldBlob, 25), flag = Field(kFieldBoolean, 34);
  auto setBlob = [&](int32_t block, bool nullHint) {
    uint8_t bytes[4];
    platform::PutInt32(bytes, 0, block);
    SetFieldValue(record, blob, std::span<const uint8_t>(bytes), nullHint);
    return GetFieldValue(record, blob);
  };
  platform::PutInt32(record, 30, 77);  // the revision belongs to the BLOB layer
  EXPECT_FALSE(setBlob(5, false).isNull);
  EXPECT_EQ(GetFieldValue(record, blob).bytes.size(), 4u);
  EXPECT_TRUE(setBlob(0, false).isNull);
  EXPECT_FALSE(setBlob(-3, false).isNull);
  EXPECT_TRUE(setBlob(-3, true).isNull);
  SetFieldValue(record, blob, std::nullopt);
  EXPECT_EQ(platform::GetInt32(record, 26), 0);
  EXPECT_EQ(platform::GetInt32(record, 30), 77);

  for (int16_t in : {0, 1, 5, -1}) {
    uint8_t bytes[2];
    platform::PutInt16(bytes, 0, in);
    SetFieldValue(record, flag, std::span<const uint8_t>(bytes));
    EXPECT_EQ(platform::GetInt16(GetFieldValue(record, flag).bytes, 0), in == 0 ? 0 : 1) << in;
  }
}

TEST(RecordLayoutTest, SystemFieldsAndHeaderBytes) {
  std::vector<uint8_t> record(32, 0);
  SetRecordStatus(record, kRecordDeleted);
  SetRecordLink(record, 9);
  SetRecordID(record, 42);
  TRecordHash hash;
  for (size_t i = 0; i < hash.size(); ++i) hash[i] = static_cast<uint8_t>(i + 1);
  SetRecordHash(record, hash);
  EXPECT_EQ(GetNextFree(record), 9);
  EXPECT_EQ(platform::GetInt32(GetFieldValue(record, TFieldDefinition::RecordIDField()).bytes, 0), 42);
  TFieldValue h = GetFieldValue(record, TFieldDefinition::RecordHashField());
  EXPECT_FALSE(h.isNull);
  EXPECT_TRUE(std::equal(h.bytes.begin(), h.bytes.end(), hash.begin()));
  SetRecordStatus(record, kRecordActive);
  EXPECT_EQ(GetNextFree(record), 0);
  EXPECT_EQ(GetRecordLink(record), 9);
  uint8_t id[4] = {1, 0, 0, 0};
  EXPECT_FALSE(SetFieldValue(record, TFieldDefinition::RecordIDField(), std::span<const uint8_t>(id)));
  EXPECT_EQ(GetRecordID(record), 42);
}

TEST(RecordLayoutTest, FieldsOutsideTheRecordReadAsNullAndAreNotWritten) {
  uint8_t value[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    const char* name;
    size_t recordSize;
    TFieldDefinition field;
  } cases[] = {
      {"empty record", 0, Field(kFieldInteger, 25)},
      {"slot past the end", 32, Field(kFieldLargeInt, 25)},
      {"offset past the end", 32, Field(kFieldInteger, 60000)},
      {"string past the end", 40, Field(kFieldString, 25, 512)},
      {"system part of a short record", 8, TFieldDefinition::RecordHashField()},
  };
  for (Case& c : cases) {
    std::vector<uint8_t> record(c.recordSize, 0x11);
    EXPECT_FALSE(FieldFits(record.size(), c.field)) << c.name;
    EXPECT_TRUE(GetFieldValue(record, c.field).isNull) << c.name;
    EXPECT_TRUE(GetFieldValue(record, c.field).bytes.empty()) << c.name;
    EXPECT_FALSE(SetFieldValue(record, c.field, std::span<const uint8_t>(value))) << c.name;
    EXPECT_FALSE(SetFieldValue(record, c.field, std::nullopt)) << c.name;
    EXPECT_EQ(record, std::vector<uint8_t>(c.recordSize, 0x11)) << c.name;
  }
  std::vector<uint8_t> shortRecord(8, 0x11);
  EXPECT_EQ(GetRecordID(shortRecord), 0);
  SetRecordStatus(shortRecord, kRecordDeleted);
  EXPECT_EQ(shortRecord, std::vector<uint8_t>(8, 0x11));

  TFieldDefinition computed = Field(kFieldInteger, 25);
  computed.computed = true;
  std::vector<uint8_t> record(32, 0);
  EXPECT_FALSE(SetFieldValue(record, computed, std::span<const uint8_t>(value)));
  EXPECT_TRUE(GetFieldValue(record, computed).isNull);
}

TEST(RecordLayoutTest, ShortValuesAreZeroFilled) {
  std::vector<uint8_t> record(40, 0xEE);
  TFieldDefinition f = Field(kFieldBytes, 25, 6);
  uint8_t two[2] = {9, 8};
  ASSERT_TRUE(SetFieldValue(record, f, std::span<const uint8_t>(two)));
  EXPECT_EQ(std::vector<uint8_t>(record.begin() + 25, record.begin() + 32), std::vector<uint8_t>({1, 9, 8, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace zarnik
