#include "engine/data/table_definition.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/data/record_layout.h"
#include "platform/byte_order.h"
#include "tests/engine/data/test_tables.h"

namespace zarnik {
namespace {

using namespace test_tables;

const TDigest kDefaultDigest = MD5Digest(kDefaultSignature);
const std::array<uint8_t, 16> kNoPasswordCheck{};

void Poke(std::vector<uint8_t>& image, size_t offset, std::initializer_list<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
}

// A table of one string field of size 10: record size 40, data start 1280,
// written on 2000-01-01 00:00, compared with its bytes written out by hand.
TEST(TableDefinitionTest, NewTableIsByteExact) {
  TTableDefinition table = NewTable({NewField("Name", kFieldString, 10)});
  table.SetTableInfo(0, 1, 2, 0, 512, 4096, "Desc", false, kNoPasswordCheck);
  table.PrepareHeaderWrite(36526.0);
  EXPECT_EQ(table.RecordSize(), 40u);
  EXPECT_EQ(table.DataStart(), 1280u);
  EXPECT_EQ(table.RecordOffset(1), 1280u);
  EXPECT_EQ(table.header.lastUpdate, -657068.0);

  std::vector<uint8_t> expected(1280, 0);
  Poke(expected, 0, {1, 0, 0, 0});  // one write counted
  Poke(expected, 8, {6});
  Poke(expected, 9, {0x5f, 0x6b, 0x73, 0x23, 0xac, 0xe2, 0x2f, 0x06, 0xd0, 0x52, 0x17, 0xcd, 0xd8, 0x8e, 0xca, 0x7e});
  Poke(expected, 29, {1, 0, 0, 0});
  Poke(expected, 45, {40, 0, 1, 0, 0, 0, 0x00, 0x02, 0, 0});
  Poke(expected, 59, {0x00, 0x10, 0, 0});
  Poke(expected, 63, {0x00, 0x00, 0x00, 0x00, 0x58, 0x0d, 0x24, 0xc1});
  Poke(expected, 71, {4, 'D', 'e', 's', 'c'});
  Poke(expected, 193, {1, 0, 2, 0, 1});  // user versions, header changed flag
  Poke(expected, 512, {1, 0, 4, 'N', 'a', 'm', 'e'});
  Poke(expected, 512 + 164, {1, 0, 10, 0, 0, 11, 0, 0, 25, 0});

  std::vector<uint8_t> written(1280, 0xCC);
  table.EncodeHeader(std::span<uint8_t>(written).first(512));
  ASSERT_EQ(table.DefinitionsSize(), 768u);
  table.EncodeDefinitions(std::span<uint8_t>(written).subspan(512));
  EXPECT_EQ(written, expected);

  TTableDefinition read;
  read.DecodeHeader(written);
  read.DecodeDefinitions(std::span<const uint8_t>(written).subspan(512));
  EXPECT_FALSE(read.IsHeaderChanged());
  EXPECT_EQ(read.header.headerChangedFlag, 0);
  EXPECT_EQ(read.header.description, "Desc");
  ASSERT_EQ(read.FieldCount(), 1u);
  EXPECT_EQ(read.Fields()[0].name, "Name");
  EXPECT_FALSE(read.CheckHeader(1280));
}

TEST(TableDefinitionTest, ReservedBytesAreWrittenBackAsRead) {
  std::vector<uint8_t> image(512, 0);
  for (size_t i = 198; i < 512; ++i) image[i] = static_cast<uint8_t>(i);
  Poke(image, 4, {9, 8, 7, 6});
  image[197] = 1;
  TTableDefinition table;
  table.DecodeHeader(image);
  std::vector<uint8_t> written(512);
  table.EncodeHeader(written);
  image[197] = 0;  // a reader clears the writer's flag
  EXPECT_EQ(written, image);
}

TEST(TableDefinitionTest, RecordSizeOfOneIntegerField) {
  TTableDefinition table = NewTable({NewField("I", kFieldInteger)});
  EXPECT_EQ(table.Fields()[0].offset, 25);
  EXPECT_EQ(table.Fields()[0].physicalSize, 4);
  EXPECT_EQ(table.RecordSize(), 32u);
}

TEST(TableDefinitionTest, ChangeCounterCountsMarksAndWrites) {
  TTableDefinition table;
  table.InitNew(kDefaultDigest);
  table.PrepareHeaderWrite(0);
  table.PrepareHeaderWrite(0);
  EXPECT_EQ(table.header.changeCounter, 2u);
  table.MarkHeaderChanged();
  EXPECT_TRUE(table.IsHeaderChanged());
  table.PrepareHeaderWrite(0);
  EXPECT_EQ(table.header.changeCounter, 4u);
}

TEST(TableDefinitionTest, FindsFieldsAndSystemFields) {
  TTableDefinition table = NewTable({NewField("Alpha", kFieldInteger), NewField("Beta", kFieldString, 5)});
  EXPECT_EQ(table.FindFieldNumber("recordid"), -1);
  EXPECT_EQ(table.FindFieldNumber("RECORDHASH"), -2);
  EXPECT_EQ(table.FindFieldNumber(" beta "), 2);
  EXPECT_EQ(table.FindFieldNumber("Gamma"), 0);
  EXPECT_EQ(table.FindField("ALPHA"), &table.Fields()[0]);
  EXPECT_EQ(table.FindField("Gamma"), nullptr);
  EXPECT_EQ(table.GetFieldDefinition(-1)->offset, 5);
  EXPECT_EQ(table.GetFieldDefinition(-2)->offset, 9);
  EXPECT_EQ(table.GetFieldDefinition(2)->name, "Beta");
  EXPECT_EQ(table.GetFieldDefinition(3), nullptr);
  EXPECT_EQ(table.GetFieldDefinition(0), nullptr);
}

TEST(TableDefinitionTest, UpdateFieldDefinitionChangesOnlyItsAttributes) {
  TTableDefinition table = NewTable({NewField("Alpha", kFieldString, 5)});
  table.ClearDefinitionsChanged();
  TFieldDefinition update = NewField(std::string(70, 'N'), kFieldInteger, 99, kSubtypeFixedString);
  update.number = 1;
  update.required = true;
  update.defaultValue = "x";
  ASSERT_TRUE(table.UpdateFieldDefinition(1, update));
  const TFieldDefinition& f = table.Fields()[0];
  EXPECT_EQ(f.name.size(), 60u);
  EXPECT_EQ(f.subtype, kSubtypeFixedString);
  EXPECT_TRUE(f.required);
  EXPECT_EQ(f.defaultValue, "x");
  EXPECT_EQ(f.dataType, kFieldString);
  EXPECT_EQ(f.size, 5);
  EXPECT_TRUE(table.AreDefinitionsChanged());
  EXPECT_FALSE(table.UpdateFieldDefinition(2, update));
}

TEST(TableDefinitionTest, SetFieldDefinitionsLimits) {
  std::vector<TFieldDefinition> blobs;
  for (int i = 0; i < 129; ++i) blobs.push_back(NewField("B" + std::to_string(i), kFieldBlob));
  std::vector<TFieldDefinition> wide;
  for (int i = 0; i < 128; ++i) wide.push_back(NewField("S" + std::to_string(i), kFieldString, 512));
  blobs = Numbered(blobs);
  wide = Numbered(wide);
  for (auto* fields : {&blobs, &wide}) ASSERT_FALSE(ValidateTableDefinition(*fields, 0, false, ""));

  TTableDefinition table = NewTable({NewField("A", kFieldInteger)});
  EXPECT_EQ(table.SetFieldDefinitions(blobs).code, ZARNIK_BLOBLIMIT);
  EXPECT_EQ(table.SetFieldDefinitions(wide).code, ZARNIK_RECTOOBIG);
  EXPECT_EQ(table.FieldCount(), 1u);  // a refused set changes nothing
  blobs.pop_back();
  EXPECT_FALSE(table.SetFieldDefinitions(blobs));
  EXPECT_EQ(table.header.blobFieldCount, 128);
  EXPECT_TRUE(table.HasBlobFields());
}

TEST(TableDefinitionTest, ValidationCompletesTheDefinitions) {
  std::vector<TFieldDefinition> fields = Numbered({NewField("  Padded  ", kFieldInteger, 7), NewField("Amount", kFieldBcd),
                                                   NewField("Memo", kFieldBlob, 0, kSubtypeMemo)});
  fields[0].scale = 3;
  fields[1].scale = 2;
  fields[2].compression = 9;
  ASSERT_FALSE(ValidateTableDefinition(fields, 0, false, ""));
  EXPECT_EQ(fields[0].name, "Padded");
  EXPECT_EQ(fields[0].size, 0);
  EXPECT_EQ(fields[0].scale, 0);
  EXPECT_EQ(fields[0].offset, 25);
  EXPECT_EQ(fields[1].offset, 30);
  EXPECT_EQ(fields[1].physicalScale, 2);
  EXPECT_EQ(fields[2].offset, 65);
  EXPECT_EQ(ComputeRecordSize(fields), 80u);
}

TEST(TableDefinitionTest, ValidationErrors) {
  using Mutation = std::function<void(std::vector<TFieldDefinition>&)>;
  struct Case {
    const char* name;
    Mutation change;
    TErrorCode code;
  } cases[] = {
      {"no fields", [](auto& f) { f.clear(); }, ZARNIK_FLDLIMIT},
      {"1025 fields", [](auto& f) { f.resize(1025, f[0]); }, ZARNIK_FLDLIMIT},
      {"empty name", [](auto& f) { f[1].name = "  "; }, ZARNIK_INVALIDFIELDNAME},
      {"RecordID", [](auto& f) { f[1].name = "recordid"; }, ZARNIK_INVALIDFIELDNAME},
      {"RecordHash", [](auto& f) { f[1].name = " RECORDHASH"; }, ZARNIK_INVALIDFIELDNAME},
      {"digit first", [](auto& f) { f[1].name = "1st"; }, ZARNIK_INVALIDFIELDNAME},
      {"same name", [](auto& f) { f[1].name = " ALPHA "; }, ZARNIK_INVALIDFIELDNAME},
      {"same number", [](auto& f) { f[1].number = 1; }, ZARNIK_INVALIDFLDTYPE},
      {"type 0", [](auto& f) { f[1].dataType = 0; }, ZARNIK_INVALIDFLDTYPE},
      {"string size 0", [](auto& f) { f[1].size = 0; }, ZARNIK_INVALIDFLDTYPE},
      {"string size 513", [](auto& f) { f[1].size = 513; }, ZARNIK_INVALIDFLDTYPE},
      {"wide size 257", [](auto& f) { f[1].subtype = kSubtypeWideString, f[1].size = 257; }, ZARNIK_INVALIDFLDTYPE},
      {"compressed integer", [](auto& f) { f[0].compression = 1; }, ZARNIK_INVALIDFLDTYPE},
      {"compression 10", [](auto& f) { f[2].compression = 10; }, ZARNIK_INVALIDFLDTYPE},
      {"computed", [](auto& f) { f[0].computed = true; }, ZARNIK_INVALIDFLDTYPE},
      {"bad default", [](auto& f) { f[0].defaultValue = "abc"; }, ZARNIK_INVALIDVCHKSTRUCT},
      {"bad maximum", [](auto& f) { f[0].maximumValue = "1.5"; }, ZARNIK_INVALIDVCHKSTRUCT},
      {"BLOB minimum", [](auto& f) { f[2].minimumValue = "a"; }, ZARNIK_INVALIDVCHKSTRUCT},
  };
  for (const Case& c : cases) {
    std::vector<TFieldDefinition> fields =
        Numbered({NewField("Alpha", kFieldInteger), NewField("Beta", kFieldString, 10), NewField("Gamma", kFieldBlob)});
    c.change(fields);
    EXPECT_EQ(ValidateTableDefinition(fields, 0, false, "").code, c.code) << c.name;
  }
  std::vector<TFieldDefinition> one = Numbered({NewField("Alpha", kFieldInteger)});
  EXPECT_EQ(ValidateTableDefinition(one, 0, true, "   ").code, ZARNIK_INVALIDPASSWORD);
  EXPECT_EQ(ValidateTableDefinition(one, 0, true, std::string(129, 'p')).code, ZARNIK_INVALIDPASSWORD);
  EXPECT_FALSE(ValidateTableDefinition(one, 0, true, " " + std::string(128, 'p') + " "));
  EXPECT_EQ(ValidateTableDefinition(one, 1033, false, "").code, ZARNIK_CANNOTLOADLDDRV);
  std::vector<TFieldDefinition> named = Numbered({NewField("Alpha", kFieldInteger), NewField("alpha", kFieldInteger)});
  EXPECT_EQ(ValidateTableDefinition(named, 0, false, "").fieldName, "alpha");
}

// A consistent two-field table of 3 records, then one damage at a time.
TEST(TableDefinitionTest, HeaderCheck) {
  using Damage = std::function<void(TTableDefinition&, uint64_t&)>;
  struct Case {
    const char* name;
    Damage damage;
    TErrorCode code;
  } cases[] = {
      {"consistent", [](auto&, auto&) {}, ZARNIK_NONE},
      {"empty file", [](auto& t, auto& size) { size = t.DataStart(), t.header.nextRecordNumber = 1; }, ZARNIK_NONE},
      {"half a record more", [](auto& t, auto& size) { size += t.RecordSize() / 2; }, ZARNIK_HEADERCORRUPT},
      {"next record number", [](auto& t, auto&) { t.header.nextRecordNumber = 3; }, ZARNIK_HEADERCORRUPT},
      {"next record number 0", [](auto& t, auto& size) { size = t.DataStart(), t.header.nextRecordNumber = 0; },
       ZARNIK_HEADERCORRUPT},
      {"head beyond", [](auto& t, auto&) { t.header.freeRecordHead = 4; }, ZARNIK_HEADERCORRUPT},
      {"head negative", [](auto& t, auto&) { t.header.freeRecordHead = -1; }, ZARNIK_HEADERCORRUPT},
      {"head last", [](auto& t, auto&) { t.header.freeRecordHead = 3; }, ZARNIK_NONE},
      {"record size", [](auto& t, auto&) { t.header.recordSize = 56; }, ZARNIK_HEADERCORRUPT},
      {"record size 0", [](auto& t, auto&) { t.header.recordSize = 0; }, ZARNIK_HEADERCORRUPT},
      {"locale", [](auto& t, auto&) { t.header.localeId = 1031; }, ZARNIK_CANNOTLOADLDDRV},
      {"field count", [](auto& t, auto&) { t.header.fieldCount = 3; }, ZARNIK_HEADERCORRUPT},
  };
  for (const Case& c : cases) {
    TTableDefinition table = NewTable({NewField("Alpha", kFieldInteger), NewField("Beta", kFieldString, 10)});
    table.header.nextRecordNumber = 4;
    uint64_t size = table.DataStart() + 3 * table.RecordSize();
    c.damage(table, size);
    EXPECT_EQ(table.CheckHeader(size).code, c.code) << c.name;
  }
}

TEST(TableDefinitionTest, HeaderCheckOfDamagedDefinitions) {
  using Damage = std::function<void(TFieldDefinition&)>;
  struct Case {
    const char* name;
    Damage damage;
  } cases[] = {
      {"offset", [](auto& f) { f.offset = 31; }},
      {"number", [](auto& f) { f.number = 5; }},
      {"same number", [](auto& f) { f.number = 1; }},
      {"same name", [](auto& f) { f.name = "ALPHA"; }},
      {"empty name", [](auto& f) { f.name.clear(); }},
      {"bad first character", [](auto& f) { f.name = "#x"; }},
      {"type 0", [](auto& f) { f.dataType = 0; }},
      {"size", [](auto& f) { f.size = 600; }},
      {"scale", [](auto& f) { f.scale = 2; }},
      {"value text", [](auto& f) { f.dataType = kFieldDate, f.size = 0, f.minimumValue = "2001-02-30"; }},
  };
  for (const Case& c : cases) {
    TTableDefinition table = NewTable({NewField("Alpha", kFieldInteger), NewField("Beta", kFieldString, 10)});
    table.header.nextRecordNumber = 1;
    std::vector<uint8_t> area(table.DefinitionsSize());
    table.EncodeDefinitions(area);
    TFieldDefinition second;
    second.DecodeFrom(std::span<const uint8_t>(area).subspan(768));
    c.damage(second);
    second.EncodeTo(std::span<uint8_t>(area).subspan(768));
    table.DecodeDefinitions(area);
    EXPECT_EQ(table.CheckHeader(table.DataStart()).code, ZARNIK_HEADERCORRUPT) << c.name;
  }
}

TEST(TableDefinitionTest, HeaderCheckDerivesPhysicalSizes) {
  TTableDefinition table = NewTable({NewField("Alpha", kFieldInteger), NewField("Beta", kFieldString, 10)});
  table.header.nextRecordNumber = 1;
  std::vector<uint8_t> area(table.DefinitionsSize());
  table.EncodeDefinitions(area);
  platform::PutUInt16(area, 768 + TFieldDefinition::kPhysicalSizeOffset, 60000);
  table.DecodeDefinitions(area);
  EXPECT_FALSE(table.CheckHeader(table.DataStart()));
  EXPECT_EQ(table.Fields()[1].physicalSize, 11);
}

// Deleting 5, 9 and 2 chains 2 -> 9 -> 5 -> 0; three allocations reuse them in
// that order, then the file grows.
TEST(TableDefinitionTest, FreeChainOrder) {
  TTableDefinition table = NewTable({NewField("I", kFieldInteger)});
  std::vector<std::vector<uint8_t>> records(11, std::vector<uint8_t>(table.RecordSize(), 0));
  for (int i = 0; i < 10; ++i) table.BufferAppended();
  EXPECT_EQ(table.PhysicalRecordCount(), 10u);
  for (uint32_t n : {5u, 9u, 2u}) table.FreeRecord(records[n], n);
  EXPECT_EQ(table.header.freeRecordHead, 2);
  EXPECT_EQ(GetNextFree(records[2]), 9);
  EXPECT_EQ(GetNextFree(records[9]), 5);
  EXPECT_EQ(GetNextFree(records[5]), 0);
  EXPECT_EQ(GetRecordStatus(records[5]), kRecordDeleted);

  std::vector<uint32_t> allocated;
  for (int i = 0; i < 4; ++i) {
    uint32_t n = table.NextFreeRecord();
    allocated.push_back(n);
    if (n > table.PhysicalRecordCount()) {
      table.BufferAppended();
      continue;
    }
    table.TakeFreeRecord(records[n]);
    SetRecordStatus(records[n], kRecordActive);
  }
  EXPECT_EQ(allocated, std::vector<uint32_t>({2, 9, 5, 11}));
  EXPECT_EQ(table.header.freeRecordHead, 0);
  EXPECT_EQ(table.header.nextRecordNumber, 12);
}

TEST(TableDefinitionTest, FreeChainStopsAtALiveRecordAndIgnoresAHeadOutOfRange) {
  TTableDefinition table = NewTable({NewField("I", kFieldInteger)});
  std::vector<uint8_t> live(table.RecordSize(), 0);
  table.BufferAppended();
  table.BufferAppended();
  table.header.freeRecordHead = 2;
  EXPECT_EQ(table.NextFreeRecord(), 2u);
  table.TakeFreeRecord(live);  // the head pointed at a live record: the chain ends
  EXPECT_EQ(table.header.freeRecordHead, 0);
  for (int32_t head : {-4, 3, 1 << 30}) {
    table.header.freeRecordHead = head;
    EXPECT_EQ(table.NextFreeRecord(), 3u) << head;
  }
  table.header.freeRecordHead = 0;
  table.FreeRecord(live, 1);  // the only deleted record
  EXPECT_EQ(table.header.freeRecordHead, 1);
  EXPECT_EQ(GetNextFree(live), 0);
}

TEST(TableDefinitionTest, AppendLimits) {
  TTableDefinition table = NewTable({NewField("S", kFieldString, 69)});  // record size 96
  table.header.nextRecordNumber = 3;
  uint64_t end = table.DataStart() + 2 * 96;
  EXPECT_TRUE(table.CanAppend(end, 3));
  EXPECT_FALSE(table.CanAppend(end - 1, 3));
  EXPECT_FALSE(table.CanAppend(end, 2));
  EXPECT_EQ(table.DataEnd(), end);
}

TEST(TableDefinitionTest, EmptyTableResetsCounters) {
  TTableDefinition table = NewTable({NewField("I", kFieldInteger)});
  table.header = TDataHeader{};
  table.header.changeCounter = 9;
  table.header.freeRecordHead = 3;
  table.header.nextRecordNumber = 8;
  table.header.lastRecordID = 12;
  table.header.lastAutoIncrement = 4;
  table.header.recordCount = 6;
  table.ClearHeaderChanged();
  table.EmptyTable();
  EXPECT_EQ(table.header.changeCounter, 0u);
  EXPECT_EQ(table.header.freeRecordHead, 0);
  EXPECT_EQ(table.header.nextRecordNumber, 1);
  EXPECT_EQ(table.header.lastRecordID, 0);
  EXPECT_EQ(table.header.lastAutoIncrement, 0);
  EXPECT_EQ(table.header.recordCount, 0);
  EXPECT_TRUE(table.IsHeaderChanged());
  EXPECT_EQ(table.NextFreeRecord(), 1u);
}

// Values no consistent header holds must not overflow, divide by zero or
// allocate without bound.
TEST(TableDefinitionTest, NonsenseHeaderValuesAreSafe) {
  std::vector<uint8_t> image(512 + 768, 0);
  platform::PutUInt16(image, TDataHeader::kFieldCountOffset, 65535);
  platform::PutInt32(image, TDataHeader::kNextRecordNumberOffset, -7);
  platform::PutInt32(image, TDataHeader::kRecordCountOffset, 2147483647);
  TTableDefinition table;
  table.DecodeHeader(image);
  table.DecodeDefinitions(std::span<const uint8_t>(image).subspan(512));
  EXPECT_EQ(table.FieldCount(), 1u);  // only what the area holds
  EXPECT_EQ(table.DataStart(), 512u + 768u * 65535u);
  EXPECT_EQ(table.PhysicalRecordCount(), 0u);
  EXPECT_EQ(table.NextFreeRecord(), 1u);
  EXPECT_EQ(table.CheckHeader(table.DataStart() + 100).code, ZARNIK_HEADERCORRUPT);
  table.IncrementRecordCount();
  EXPECT_EQ(table.header.recordCount, 2147483647);
  table.header.recordCount = -2147483647 - 1;
  table.DecrementRecordCount();
  EXPECT_EQ(table.header.recordCount, -2147483647 - 1);
  table.BufferAppended();
  EXPECT_EQ(table.header.nextRecordNumber, 2);
  table.header.nextRecordNumber = 2147483647;
  table.BufferAppended();
  EXPECT_EQ(table.header.nextRecordNumber, 2147483647);
  EXPECT_TRUE(table.CanAppend(UINT64_MAX, UINT64_MAX));  // record size 0: nothing to multiply out
}

TEST(TableDefinitionTest, CounterSuccessor) {
  EXPECT_EQ(NextCounterValue(0), 1);
  EXPECT_EQ(NextCounterValue(41), 42);
  EXPECT_EQ(NextCounterValue(2147483647), 1);
  EXPECT_EQ(NextCounterValue(-5), 1);
  TTableDefinition table;
  table.header.blobRevision = 2147483646;
  EXPECT_EQ(table.NextBlobRevision(), 2147483647);
  EXPECT_EQ(table.NextBlobRevision(), 1);
  EXPECT_EQ(table.header.blobRevision, 1);
  EXPECT_TRUE(table.IsHeaderChanged());
}

}  // namespace
}  // namespace zarnik
