#include "cli/table_schema.h"

#include <gtest/gtest.h>

#include "cli/cli_error.h"
#include "engine/data/table_definition.h"
#include "tests/support/fixture_tables.h"

namespace zarnik::cli {
namespace {

using namespace zarnik::testing;

// The schema of the issue's example, every key spelled out.
const char* kFullSchema = R"({
  "fields": [{"name": "SeqNo", "type": "ftAutoInc"},
             {"name": "Field1", "type": "ftString", "size": 10, "required": false,
              "minimum": "", "maximum": "", "default": "", "charCase": "fcNoChange", "description": ""},
             {"name": "Field2", "type": "ftString", "size": 10, "required": true, "minimum": "A",
              "maximum": "Z\u00e9", "default": "M", "charCase": "fcUpperCase", "description": "caf\u00e9"},
             {"name": "Amount", "type": "ftBCD", "scale": 2},
             {"name": "Field7", "type": "ftMemo", "compression": 6}],
  "indexes": [{"name": "", "fields": ["SeqNo"], "options": ["ixPrimary", "ixUnique"], "compression": "icNone"},
              {"name": "wwTemp", "fields": ["Field2"], "options": ["ixCaseInsensitive"],
               "descFields": [], "compression": "icNone"},
              {"name": "ixDesc", "fields": ["Field1", "Amount"], "options": ["ixDescending"],
               "compression": "icFull"},
              {"name": "ixMixed", "fields": ["field1", "RecordID"], "descFields": ["RecordID"],
               "compression": "icTrailingByte"}],
  "textIndex": {"fields": ["Field1", "Field7"], "stopWords": ["A", "\u00c9T\u00c9"], "spaceChars": "- ",
                "includeChars": "BA"},
  "indexPageSize": 1024, "blobBlockSize": 256, "description": "The data", "locale": 0,
  "userMajorVersion": 3, "userMinorVersion": 4, "password": "Secret1"})";

TEST(TableSchema, ReadsEveryKey) {
  TTableSchema s = ParseTableSchema(json::parse(kFullSchema));
  ASSERT_EQ(s.fields.size(), 5u);
  const TFieldDefinition& f2 = s.fields[2];
  EXPECT_EQ(f2.number, 3);
  EXPECT_EQ(f2.dataType, kFieldString);
  EXPECT_EQ(f2.size, 10);
  EXPECT_TRUE(f2.required);
  EXPECT_EQ(f2.maximumValue, "Z\xE9");
  EXPECT_EQ(f2.defaultValue, "M");
  EXPECT_EQ(f2.characterCase, 2);
  EXPECT_EQ(f2.description, "caf\xE9");
  EXPECT_EQ(s.fields[3].dataType, kFieldBcd);
  EXPECT_EQ(s.fields[3].scale, 2);
  EXPECT_EQ(s.fields[4].subtype, kSubtypeMemo);
  EXPECT_EQ(s.fields[4].compression, 6);

  ASSERT_EQ(s.indexes.size(), 4u);
  ASSERT_EQ(s.PrimaryIndex(), &s.indexes[0]);
  EXPECT_TRUE(s.indexes[0].unique);
  EXPECT_EQ(s.indexes[0].fieldNumbers, std::vector<int32_t>{1});
  EXPECT_TRUE(s.indexes[1].caseInsensitive);
  EXPECT_FALSE(s.indexes[1].unique);
  EXPECT_TRUE(s.indexes[2].descending);
  EXPECT_EQ(s.indexes[2].descendingFields, (std::vector<bool>{true, true}));  // every field, none listed
  EXPECT_EQ(s.indexes[2].compression, 3);
  EXPECT_EQ(s.indexes[3].fieldNumbers, (std::vector<int32_t>{2, kRecordIDFieldNumber}));
  EXPECT_EQ(s.indexes[3].descendingFields, (std::vector<bool>{false, true}));

  EXPECT_EQ(s.textIndex.fieldNumbers, (std::vector<int32_t>{2, 5}));
  EXPECT_EQ(s.textIndex.stopWords, (std::vector<std::string>{"A", "\xC9T\xC9"}));
  EXPECT_EQ(s.textIndex.spaceChars, " -");
  EXPECT_EQ(s.textIndex.includeChars, "AB");
  EXPECT_EQ(s.indexPageSize, 1024u);
  EXPECT_EQ(s.blobBlockSize, 256u);
  EXPECT_EQ(s.description, "The data");
  EXPECT_EQ(s.userMajorVersion, 3);
  EXPECT_EQ(s.userMinorVersion, 4);
  EXPECT_EQ(s.password, "Secret1");
}

TEST(TableSchema, OnlyFieldsAreRequired) {
  TTableSchema s = ParseTableSchema(json::parse(R"({"fields": [{"name": "A", "type": "ftInteger"}],
                                                    "password": null})"));
  EXPECT_EQ(s.PrimaryIndex(), nullptr);
  EXPECT_TRUE(s.indexes.empty());
  EXPECT_TRUE(s.textIndex.fieldNumbers.empty());
  EXPECT_FALSE(s.textIndex.stopWords);
  EXPECT_EQ(s.indexPageSize, 4096u);
  EXPECT_EQ(s.blobBlockSize, 512u);
  EXPECT_EQ(s.locale, 0u);
  EXPECT_FALSE(s.password);
}

TEST(TableSchema, RefusesWhatItCannotRead) {
  const std::pair<const char*, const char*> cases[] = {
      {R"([])", "must be a JSON object"},
      {R"({})", "\"fields\" must list at least one field"},
      {R"({"fields": [], "x": 1})", "unknown key \"x\""},
      {R"({"fields": [{"name": "A"}]})", "field 1 (\"A\"): \"type\" must be a field type name"},
      {R"({"fields": [{"name": "A", "type": "ftText"}]})", "\"type\" must be a field type name"},
      {R"({"fields": [{"name": "A", "type": "ftString", "size": -1}]})", "\"size\" must be a whole number"},
      {R"({"fields": [{"name": "A", "type": "ftString", "size": 70000}]})", "from 0 to 65535"},
      {R"({"fields": [{"name": "A", "type": "ftString", "Size": 7}]})", "unknown key \"Size\""},
      {R"({"fields": [{"name": "A", "type": "ftString", "charCase": "upper"}]})",
       "\"charCase\" must be one of fcNoChange, fcLowerCase, fcUpperCase"},
      {R"({"fields": [{"name": "A", "type": "ftString", "required": 1}]})", "must be true or false"},
      {R"({"fields": [{"name": "\u4e2d", "type": "ftString"}]})", "U+4E2D has no Windows-1252 form"},
      {R"({"fields": [{"name": "A", "type": "ftInteger"}], "indexes": [{"fields": ["B"]}]})",
       "index 1: no field \"B\""},
      {R"({"fields": [{"name": "A", "type": "ftInteger"}], "indexes": [{"name": "i", "fields": []}]})",
       "index 1 (\"i\"): \"fields\" must name at least one field"},
      {R"({"fields": [{"name": "A", "type": "ftInteger"}], "indexes": [{"fields": ["A"], "options": ["ixBig"]}]})",
       "unknown index option \"ixBig\""},
      {R"({"fields": [{"name": "A", "type": "ftInteger"}, {"name": "B", "type": "ftInteger"}],
           "indexes": [{"fields": ["A"], "descFields": ["B"]}]})",
       "a field of \"descFields\" is not a key field"},
      {R"({"fields": [{"name": "A", "type": "ftInteger"}], "indexes": [{"fields": ["A"], "compression": "zip"}]})",
       "\"compression\" must be one of icNone"},
      {R"({"fields": [{"name": "A", "type": "ftInteger"}],
           "indexes": [{"fields": ["A"], "options": ["ixPrimary"]}, {"fields": ["A"], "options": ["ixPrimary"]}]})",
       "more than one index is \"ixPrimary\""},
      {R"({"fields": [{"name": "A", "type": "ftInteger"}], "textIndex": {"fields": ["A"]}})",
       "only string and memo fields can be text-indexed"},
      {R"({"fields": [{"name": "A", "type": "ftBlob"}], "textIndex": {"fields": ["A"]}})",
       "only string and memo fields can be text-indexed"},
      {R"({"fields": [{"name": "A", "type": "ftString"}], "textIndex": {"fields": ["A"], "stopWords": [1]}})",
       "\"stopWords\" must hold texts"},
      {R"({"fields": [{"name": "A", "type": "ftString"}], "indexPageSize": "big"})", "\"indexPageSize\" must be"},
      {R"({"fields": [{"name": "A", "type": "ftString"}], "password": 7})", "\"password\" must hold texts"},
  };
  for (const auto& [schema, reason] : cases) {
    SCOPED_TRACE(schema);
    try {
      ParseTableSchema(json::parse(schema));
      ADD_FAILURE() << "accepted";
    } catch (const ECliError& e) {
      EXPECT_NE(e.Message().find(reason), std::string::npos) << e.Message();
    }
  }
}

TEST(TableSchema, TypeNamesMapBothWays) {
  const char* names[] = {"ftString", "ftFixedChar", "ftWideString", "ftGuid",   "ftSmallint", "ftInteger",
                         "ftAutoInc", "ftWord",     "ftBoolean",    "ftFloat",  "ftCurrency", "ftBCD",
                         "ftDate",   "ftTime",      "ftDateTime",   "ftBytes",  "ftVarBytes", "ftLargeint",
                         "ftBlob",   "ftMemo",      "ftGraphic"};
  for (const char* name : names) {
    TFieldDefinition f;
    ASSERT_TRUE(FieldTypeCodes(name, f.dataType, f.subtype)) << name;
    EXPECT_EQ(FieldTypeName(f), name);
  }
  TFieldDefinition f;
  ASSERT_TRUE(FieldTypeCodes("ftFmtMemo", f.dataType, f.subtype));
  EXPECT_EQ(FieldTypeName(f), "ftMemo");  // stored alike
  f.dataType = 13;
  EXPECT_EQ(FieldTypeName(f), "ftInteger");
  f.dataType = 19;
  EXPECT_EQ(FieldTypeName(f), "ftLargeint");
  f.dataType = 40;
  EXPECT_EQ(FieldTypeName(f), "ftUnknown");
}

TEST(TableSchema, DefinitionsWrittenAsJsonReadBackTheSame) {
  TTableSchema s = ParseTableSchema(json::parse(kFullSchema));
  json again{{"fields", json::array()}, {"indexes", json::array()}};
  for (const TFieldDefinition& f : s.fields) again["fields"].push_back(json::parse(FieldDefinitionJson(f).dump()));
  for (const TSchemaIndex& i : s.indexes) again["indexes"].push_back(json::parse(IndexJson(i, s.fields).dump()));
  again["textIndex"] = json::parse(TextIndexJson(s.textIndex, s.fields).dump());
  TTableSchema t = ParseTableSchema(again);
  ASSERT_EQ(t.fields.size(), s.fields.size());
  for (size_t i = 0; i < s.fields.size(); ++i) {
    uint8_t a[768]{}, b[768]{};
    s.fields[i].EncodeTo(a);
    t.fields[i].EncodeTo(b);
    EXPECT_TRUE(std::equal(a, a + 768, b)) << s.fields[i].name;
  }
  ASSERT_EQ(t.indexes.size(), s.indexes.size());
  for (size_t i = 0; i < s.indexes.size(); ++i) {
    EXPECT_EQ(t.indexes[i].fieldNumbers, s.indexes[i].fieldNumbers);
    EXPECT_EQ(t.indexes[i].descendingFields, s.indexes[i].descendingFields);
    EXPECT_EQ(t.indexes[i].unique, s.indexes[i].unique);
    EXPECT_EQ(t.indexes[i].descending, s.indexes[i].descending);
    EXPECT_EQ(t.indexes[i].compression, s.indexes[i].compression);
  }
  EXPECT_EQ(t.textIndex.stopWords, s.textIndex.stopWords);
  EXPECT_EQ(t.textIndex.spaceChars, s.textIndex.spaceChars);
}

class FixtureSchemaTest : public ::testing::TestWithParam<FixtureTable> {};

// The schema.json of each foreign table describes the definitions its data file holds.
TEST_P(FixtureSchemaTest, ParsesIntoTheDataFilesDefinitions) {
  const FixtureTable& fixture = GetParam();
  TTableSchema schema = ParseTableSchema(json::parse(ReadFile(FixturePath(fixture, "schema.json"))));
  ASSERT_FALSE(ValidateTableDefinition(schema.fields, schema.locale, schema.password.has_value(),
                                       schema.password.value_or("")));
  LoadedTable loaded = LoadFixture(fixture);
  const TTableDefinition& table = loaded.table;
  EXPECT_EQ(table.header.indexPageSize, schema.indexPageSize);
  EXPECT_EQ(table.header.blobBlockSize, schema.blobBlockSize);
  EXPECT_EQ(table.header.encrypted, schema.password.has_value());
  EXPECT_EQ(table.header.localeId, schema.locale);
  EXPECT_EQ(table.header.recordSize, ComputeRecordSize(schema.fields));
  ASSERT_EQ(table.FieldCount(), schema.fields.size());
  for (size_t i = 0; i < schema.fields.size(); ++i) {
    SCOPED_TRACE(schema.fields[i].name);
    TFieldDefinition stored = table.Fields()[i];
    stored.runTimeArea = {};
    uint8_t a[768]{}, b[768]{};
    stored.EncodeTo(a);
    schema.fields[i].EncodeTo(b);
    EXPECT_TRUE(std::equal(a, a + 768, b));
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureSchemaTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik::cli
