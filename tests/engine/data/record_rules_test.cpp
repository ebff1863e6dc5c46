#include "engine/data/record_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/data/bcd.h"
#include "platform/byte_order.h"
#include "tests/engine/data/test_tables.h"

namespace zarnik {
namespace {

using namespace platform;
using namespace test_tables;

constexpr TDateTime kNoon2000 = 36526.5;  // 2000-01-01 12:00
constexpr int32_t kDay2000 = 730120;

TFieldDefinition WithDefault(TFieldDefinition f, const char* text) {
  f.defaultValue = text;
  return f;
}

TFieldDefinition Scaled(TFieldDefinition f, uint8_t scale) {
  f.scale = scale;
  return f;
}

std::span<const uint8_t> Value(const TTableDefinition& t, const std::vector<uint8_t>& record, const char* name) {
  TFieldValue v = GetFieldValue(record, *t.FindField(name));
  EXPECT_FALSE(v.isNull) << name;
  return v.bytes;
}

TEST(RecordRulesTest, NewRecordGetsDefaults) {
  TTableDefinition t = NewTable({
      WithDefault(NewField("S", kFieldString, 10), "abc  "), WithDefault(NewField("G", kFieldString, 38, kSubtypeGuid), "CURRENT_GUID"),
      WithDefault(NewField("D", kFieldDate), "CURRENT_DATE"),  WithDefault(NewField("B", kFieldBoolean), "true"),
      WithDefault(NewField("SI", kFieldSmallInt), "-3"),       WithDefault(NewField("W", kFieldWord), "65535"),
      WithDefault(NewField("I", kFieldInteger), "7"),          WithDefault(NewField("F", kFieldFloat), "1.25"),
      WithDefault(Scaled(NewField("N", kFieldBcd), 1), "2.55"),            WithDefault(NewField("T", kFieldTime), "1:00 PM"),
      WithDefault(NewField("TS", kFieldTimestamp), "CURRENT_TIMESTAMP"),
      WithDefault(NewField("L", kFieldLargeInt), "-9000000000"), WithDefault(NewField("BY", kFieldBytes, 4), "zz"),
      NewField("Plain", kFieldInteger),
  });
  std::vector<uint8_t> record(t.RecordSize(), 0xEE);
  InitRecord(t, record, kNoon2000);
  EXPECT_EQ(GetRecordStatus(record), 0);
  EXPECT_EQ(GetRecordID(record), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Value(t, record, "S").data())), "abc");
  EXPECT_EQ(Value(t, record, "G")[0], '{');
  EXPECT_EQ(GetInt32(Value(t, record, "D"), 0), kDay2000);
  EXPECT_EQ(GetInt16(Value(t, record, "B"), 0), 1);
  EXPECT_EQ(GetInt16(Value(t, record, "SI"), 0), -3);
  EXPECT_EQ(GetUInt16(Value(t, record, "W"), 0), 65535);
  EXPECT_EQ(GetInt32(Value(t, record, "I"), 0), 7);
  EXPECT_EQ(GetFloat64(Value(t, record, "F"), 0), 1.25);
  EXPECT_EQ(BcdToCurrency(Value(t, record, "N")), 26000);  // one place, half to even
  EXPECT_EQ(GetInt32(Value(t, record, "T"), 0), 13 * 3600000);
  EXPECT_EQ(GetFloat64(Value(t, record, "TS"), 0), kDay2000 * 86400000.0 + 43200000);
  EXPECT_EQ(GetInt64(Value(t, record, "L"), 0), -9000000000);
  EXPECT_EQ(std::vector<uint8_t>(Value(t, record, "BY").begin(), Value(t, record, "BY").end()),
            std::vector<uint8_t>(4, 0));  // bytes: zero, but not NULL
  EXPECT_TRUE(GetFieldValue(record, *t.FindField("Plain")).isNull);
  EXPECT_EQ(record.back(), 0);
}

TEST(RecordRulesTest, Constraints) {
  TFieldDefinition req = NewField("Req", kFieldInteger), num = NewField("Num", kFieldInteger),
                   str = NewField("Str", kFieldString, 5), day = NewField("Day", kFieldDate);
  req.required = true;
  num.minimumValue = "10";
  num.maximumValue = "20";
  str.minimumValue = "b";
  day.maximumValue = "CURRENT_DATE";
  TTableDefinition t = NewTable({req, num, str, day});
  auto set = [&](std::vector<uint8_t>& r, const char* name, int32_t v) {
    uint8_t bytes[4];
    PutInt32(bytes, 0, v);
    SetFieldValue(r, *t.FindField(name), std::span<const uint8_t>(bytes));
  };
  auto setText = [&](std::vector<uint8_t>& r, const char* text) {
    SetFieldValue(r, *t.FindField("Str"), std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text), strlen(text) + 1));
  };
  std::vector<uint8_t> r(t.RecordSize(), 0);
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).code, ZARNIK_REQDERR);
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).fieldName, "Req");
  set(r, "Req", 0);
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).code, ZARNIK_MINVALERR);  // a NULL string is below "b"
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).fieldName, "Str");
  setText(r, "c");
  EXPECT_FALSE(CheckConstraints(t, r, kNoon2000));  // a NULL number is not compared
  set(r, "Num", 9);
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).code, ZARNIK_MINVALERR);
  set(r, "Num", 20);
  EXPECT_FALSE(CheckConstraints(t, r, kNoon2000));
  set(r, "Num", 21);
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).code, ZARNIK_MAXVALERR);
  set(r, "Num", 15);
  set(r, "Day", kDay2000 + 1);
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).code, ZARNIK_MAXVALERR);
  EXPECT_EQ(CheckConstraints(t, r, kNoon2000).fieldName, "Day");
  set(r, "Day", kDay2000);
  EXPECT_FALSE(CheckConstraints(t, r, kNoon2000));
  std::vector<uint8_t> tooShort(8, 0);  // a required field outside the record reads as NULL
  EXPECT_EQ(CheckConstraints(t, tooShort, kNoon2000).code, ZARNIK_REQDERR);
}

TRecordHash Md5Of(std::span<const uint8_t> bytes) {
  return MD5Digest(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

TEST(RecordRulesTest, HashCoversTheFieldsAndPadding) {
  TTableDefinition t = NewTable({NewField("I", kFieldInteger)});
  ASSERT_EQ(t.RecordSize(), 32u);
  std::vector<uint8_t> r(32, 0);
  SetRecordID(r, 5);
  r[31] = 0x77;  // padding counts without BLOB fields
  EXPECT_EQ(ComputeRecordHash(t, r), Md5Of(std::span<const uint8_t>(r).subspan(25)));
  SetRecordID(r, 6);  // the system part does not count
  EXPECT_EQ(ComputeRecordHash(t, r), Md5Of(std::span<const uint8_t>(r).subspan(25)));
  std::vector<uint8_t> shortRecord(10, 0);
  EXPECT_EQ(ComputeRecordHash(t, shortRecord), Md5Of({}));
}

TEST(RecordRulesTest, HashIgnoresBlobReferencesAndHiddenColumns) {
  TTableDefinition t = NewTable({NewField("I", kFieldInteger), NewField("M", kFieldBlob, 0, kSubtypeMemo)});
  std::vector<uint8_t> a(t.RecordSize(), 0), b(t.RecordSize(), 0);
  uint8_t seven[4] = {7, 0, 0, 0}, block1[4] = {1, 0, 0, 0}, block9[4] = {9, 0, 0, 0};
  for (auto* r : {&a, &b}) SetFieldValue(*r, t.Fields()[0], std::span<const uint8_t>(seven));
  SetFieldValue(a, t.Fields()[1], std::span<const uint8_t>(block1));
  SetFieldValue(b, t.Fields()[1], std::span<const uint8_t>(block9));
  PutInt32(b, t.Fields()[1].offset + 5, 44);  // revision
  b.back() = 0x55;                             // padding does not count with BLOB fields
  EXPECT_EQ(ComputeRecordHash(t, a), ComputeRecordHash(t, b));
  std::vector<uint8_t> image(t.RecordSize(), 0);
  std::copy_n(a.begin() + 25, 5, image.begin() + 25);
  EXPECT_EQ(ComputeRecordHash(t, a), Md5Of(std::span<const uint8_t>(image).subspan(25)));

  TTableDefinition plain = NewTable({NewField("I", kFieldInteger), NewField("J", kFieldInteger)});
  std::vector<uint8_t> r(plain.RecordSize(), 0);
  SetFieldValue(r, plain.Fields()[1], std::span<const uint8_t>(seven));
  std::vector<TFieldDefinition> fields = plain.Fields();
  fields[1].runTimeArea[4] = 1;  // hidden column of a query result
  TTableDefinition hidden;
  ASSERT_FALSE(hidden.SetFieldDefinitions(fields));
  EXPECT_EQ(ComputeRecordHash(hidden, r, true), ComputeRecordHash(plain, std::vector<uint8_t>(r.size(), 0), true));
}

TEST(RecordRulesTest, RecordIDsWrapToOne) {
  TTableDefinition t = NewTable({NewField("I", kFieldInteger)});
  std::vector<uint8_t> r(t.RecordSize(), 0);
  AssignRecordID(t, r);
  EXPECT_EQ(GetRecordID(r), 1);
  t.ClearHeaderChanged();
  NoteRecordID(t, r);
  EXPECT_EQ(t.header.lastRecordID, 1);
  EXPECT_TRUE(t.IsHeaderChanged());
  t.header.lastRecordID = 2147483647;
  AssignRecordID(t, r);
  EXPECT_EQ(GetRecordID(r), 1);
  NoteRecordID(t, r);  // the counter follows the wrap, so the next ID is 2, not 1 again
  EXPECT_EQ(t.header.lastRecordID, 1);
  AssignRecordID(t, r);
  EXPECT_EQ(GetRecordID(r), 2);
  SetRecordID(r, 1);  // a copied record below the counter leaves it alone
  t.header.lastRecordID = 50;
  NoteRecordID(t, r);
  EXPECT_EQ(t.header.lastRecordID, 50);
}

TEST(RecordRulesTest, AutoIncrements) {
  TTableDefinition t = NewTable({NewField("ID", kFieldInteger, 0, kSubtypeAutoInc), NewField("I", kFieldInteger)});
  const TFieldDefinition& id = t.Fields()[0];
  t.header.lastAutoIncrement = 7;
  std::vector<uint8_t> r(t.RecordSize(), 0);
  uint8_t hundred[4] = {100, 0, 0, 0};
  SetFieldValue(r, id, std::span<const uint8_t>(hundred));
  AssignAutoIncrements(t, r);
  EXPECT_EQ(GetInt32(GetFieldValue(r, id).bytes, 0), 100);
  NoteAutoIncrements(t, r);
  EXPECT_EQ(t.header.lastAutoIncrement, 100);
  std::fill(r.begin(), r.end(), 0);
  AssignAutoIncrements(t, r);
  EXPECT_EQ(GetInt32(GetFieldValue(r, id).bytes, 0), 101);
  EXPECT_TRUE(GetFieldValue(r, t.Fields()[1]).isNull);  // plain integers are not numbered
  t.header.lastAutoIncrement = 2147483647;
  std::fill(r.begin(), r.end(), 0);
  AssignAutoIncrements(t, r);
  NoteAutoIncrements(t, r);
  EXPECT_EQ(GetInt32(GetFieldValue(r, id).bytes, 0), 1);
  EXPECT_EQ(t.header.lastAutoIncrement, 1);
}

}  // namespace
}  // namespace zarnik
