#include "cli/record_json.h"

#include <gtest/gtest.h>

#include <fstream>

#include "cli/cli_error.h"
#include "cli/table_schema.h"
#include "engine/data/record_layout.h"
#include "engine/data/table_definition.h"
#include "tests/support/fixture_tables.h"

namespace zarnik::cli {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;
using namespace zarnik::testing;

// The fields of a schema, checked and placed in the record.
std::vector<TFieldDefinition> Fields(const char* schema) {
  std::vector<TFieldDefinition> fields = ParseTableSchema(json::parse(schema)).fields;
  EXPECT_FALSE(ValidateTableDefinition(fields, 0, false, ""));
  return fields;
}

const char* kSchema = R"({"fields": [{"name": "Id", "type": "ftAutoInc"}, {"name": "Name", "type": "ftString", "size": 5},
                                     {"name": "N", "type": "ftInteger"}, {"name": "Memo", "type": "ftMemo"}]})";

class RecordJsonTest : public ::testing::Test {
 protected:
  std::vector<TFieldDefinition> fields = Fields(kSchema);
  TRecordJson rows{fields};
  std::vector<uint8_t> record = std::vector<uint8_t>(ComputeRecordSize(fields), 0xEE);

  TRecordJson::TRow Read(const char* row) { return rows.ReadRow(json::parse(row), record); }
  std::string Write(std::vector<uint8_t> memo = {}) {
    return rows.WriteLine(record, [&](const TFieldDefinition&) { return memo; });
  }
};

TEST_F(RecordJsonTest, MissingKeysAndNullAreNull) {
  TRecordJson::TRow row = Read(R"({"name": "ab", "Memo": null})");
  SetRecordID(record, 9);
  EXPECT_FALSE(row.recordId);
  EXPECT_TRUE(row.blobs.empty());
  EXPECT_TRUE(GetFieldValue(record, fields[0]).isNull);
  EXPECT_FALSE(GetFieldValue(record, fields[1]).isNull);
  EXPECT_EQ(Write(), R"({"RecordID": 9, "Id": null, "Name": "ab", "N": null, "Memo": null})");
}

TEST_F(RecordJsonTest, BlobContentsComeBackBesideTheRecord) {
  TRecordJson::TRow row = Read(R"({"RecordID": 4, "Id": 3, "N": -2, "Memo": "caf\u00e9"})");
  EXPECT_EQ(row.recordId, 4);
  ASSERT_EQ(row.blobs.size(), 1u);
  EXPECT_EQ(row.blobs[0].field, &fields[3]);
  EXPECT_EQ(row.blobs[0].contents, (std::vector<uint8_t>{'c', 'a', 'f', 0xE9}));
  EXPECT_TRUE(GetFieldValue(record, fields[3]).isNull);  // until the BLOB is written
  SetRecordID(record, 4);
  std::vector<uint8_t> reference = {1, 0, 0, 0};
  SetFieldValue(record, fields[3], std::span<const uint8_t>(reference));
  EXPECT_EQ(Write(row.blobs[0].contents), "{\"RecordID\": 4, \"Id\": 3, \"Name\": null, \"N\": -2, \"Memo\": \"caf\u00e9\"}");
}

TEST_F(RecordJsonTest, RefusesRowsThatDoNotFitNamingTheFieldAndWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {R"([1, 2])", "a row must be a JSON object"},
      {R"({"Nme": "x"})", "unknown field \"Nme\""},
      {R"({"RecordHash": "x"})", "unknown field \"RecordHash\""},
      {R"({"Name": "x", "NAME": "y"})", "\": given twice"},
      {R"({"N": "12"})", "field \"N\": expected a whole number, got string"},
      {R"({"Name": "abcdef"})", "field \"Name\": too long: 6 characters for a field of 5"},
      {R"({"Memo": 5})", "field \"Memo\": expected a text, got number"},
      {R"({"RecordID": 0})", "field \"RecordID\": expected a whole number from 1"},
  };
  for (const auto& [row, reason] : cases) {
    SCOPED_TRACE(row);
    try {
      Read(row);
      ADD_FAILURE() << "accepted";
    } catch (const ECliError& e) {
      EXPECT_NE(e.Message().find(reason), std::string::npos) << e.Message();
    }
  }
}

TEST(JsonLine, WritesTheDumpStyle) {
  ordered_json line = ordered_json::parse(R"({"a": [1, "x"], "b": {"base64": "AA=="}, "c": null, "d": 2.5})");
  EXPECT_EQ(JsonLine(line), R"({"a": [1, "x"], "b": {"base64": "AA=="}, "c": null, "d": 2.5})");
}

class FixtureRecordsTest : public ::testing::TestWithParam<FixtureTable> {};

// Every record of the foreign tables writes the line of its records.jsonl, BLOB
// fields aside (their contents are in the BLOB file): the JSON forms are those
// of the tables' other writer.
TEST_P(FixtureRecordsTest, WriteTheLinesOfRecordsJsonl) {
  LoadedTable loaded = LoadFixture(GetParam());
  const TTableDefinition& table = loaded.table;
  TRecordJson rows(table.Fields());
  std::ifstream lines(FixturePath(GetParam(), "records.jsonl"));
  std::string expected;
  for (uint32_t n = 1; n <= table.PhysicalRecordCount(); ++n) {
    auto record = std::span<const uint8_t>(loaded.file).subspan(table.RecordOffset(n), table.RecordSize());
    if (GetRecordStatus(record) == kRecordDeleted) continue;
    ASSERT_TRUE(std::getline(lines, expected));
    json want = json::parse(expected);
    ordered_json got = rows.RecordJson(record, [&](const TFieldDefinition& f) {
      return want[f.name].is_null() ? std::vector<uint8_t>() : std::vector<uint8_t>{1};
    });
    for (const TFieldDefinition& f : table.Fields())
      if (f.IsBlob()) got[f.name] = want[f.name];
    EXPECT_EQ(json::parse(got.dump()), want) << "record " << n;
    // Loading the line gives the same record.
    std::vector<uint8_t> again(record.begin(), record.end());
    rows.ReadRow(want, again);
    for (const TFieldDefinition& f : table.Fields())
      if (!f.IsBlob()) {
        TFieldValue a = GetFieldValue(record, f), b = GetFieldValue(again, f);
        EXPECT_EQ(a.isNull, b.isNull) << f.name;
        EXPECT_TRUE(std::equal(a.bytes.begin(), a.bytes.end(), b.bytes.begin(), b.bytes.end())) << f.name;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureRecordsTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik::cli
