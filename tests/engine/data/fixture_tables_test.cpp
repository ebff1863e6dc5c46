// Reads the data files of the foreign tables in tests/data through the header,
// definition and field value code, and compares them with the schema and the
// records each folder describes.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/data/data_file.h"
#include "engine/data/record_layout.h"
#include "engine/data/record_rules.h"
#include "engine/data/table_definition.h"
#include "platform/byte_order.h"
#include "platform/date_time.h"
#include "tests/support/fixture_values.h"
#include "tests/support/test_table.h"

namespace zarnik {
namespace {

using nlohmann::json;
using namespace platform;
using testing::ValueAsJson;
using zarnik::testing::TestTable;

using testing::FixtureTable;
using testing::kFixtures;

std::string FixturePath(const FixtureTable& f, const std::string& name) {
  return std::string(ZARNIK_TEST_DATA_DIR) + "/" + f.folder + "/" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The definition the schema's field type stands for.
TFieldDefinition SchemaField(const json& f, int32_t number) {
  static const std::map<std::string, std::pair<uint8_t, uint8_t>> kTypes = {
      {"ftString", {kFieldString, 0}},
      {"ftFixedChar", {kFieldString, kSubtypeFixedString}},
      {"ftAutoInc", {kFieldInteger, kSubtypeAutoInc}},
      {"ftInteger", {kFieldInteger, 0}},
      {"ftSmallint", {kFieldSmallInt, 0}},
      {"ftWord", {kFieldWord, 0}},
      {"ftBoolean", {kFieldBoolean, 0}},
      {"ftFloat", {kFieldFloat, 0}},
      {"ftCurrency", {kFieldFloat, kSubtypeCurrency}},
      {"ftDate", {kFieldDate, 0}},
      {"ftTime", {kFieldTime, 0}},
      {"ftDateTime", {kFieldTimestamp, 0}},
      {"ftBytes", {kFieldBytes, 0}},
      {"ftVarBytes", {kFieldVarBytes, 0}},
      {"ftLargeint", {kFieldLargeInt, 0}},
      {"ftMemo", {kFieldBlob, kSubtypeMemo}},
      {"ftBlob", {kFieldBlob, 0}},
  };
  TFieldDefinition d;
  d.number = number;
  d.name = f["name"];
  auto type = kTypes.at(f["type"].get<std::string>());
  d.dataType = type.first;
  d.subtype = type.second;
  d.size = f.value("size", 0);
  d.compression = f.value("compression", 0);
  return d;
}

std::vector<TFieldDefinition> SchemaFields(const json& schema) {
  std::vector<TFieldDefinition> fields;
  for (const json& f : schema["fields"])
    fields.push_back(SchemaField(f, static_cast<int32_t>(fields.size() + 1)));
  EXPECT_FALSE(ValidateTableDefinition(fields, 0, false, ""));
  return fields;
}

// Opens a fixture's data file read-only, with its password when it has one.
class FixtureTablesTest : public ::testing::TestWithParam<FixtureTable> {
 protected:
  TDataEngine engine;
  TestTable table{engine};
  TDataFile file{engine, table};

  void SetUp() override {
    const FixtureTable& fixture = GetParam();
    file.SetFileName(FixturePath(fixture, std::string(fixture.table) + ".dat"));
    file.readOnly = true;
    file.attachPassword = [&](const std::array<uint8_t, 16>& check) {
      if (*fixture.password == 0) return false;
      table.SetPassword(fixture.password);
      TDigest value = check;
      engine.DecryptBuffer(table.key, value.data(), value.size());
      return value == MD5Digest(fixture.password);
    };
    file.OpenFile();
  }
};

TEST_P(FixtureTablesTest, HeaderAndDefinitionsMatchTheSchema) {
  const FixtureTable& fixture = GetParam();
  json schema = json::parse(ReadFile(FixturePath(fixture, "schema.json")));
  const TTableDefinition& definition = file.Definition();
  std::vector<TFieldDefinition> expected = SchemaFields(schema);

  EXPECT_EQ(definition.header.version, 6);
  EXPECT_EQ(definition.header.signatureDigest, MD5Digest(kDefaultSignature));
  EXPECT_EQ(definition.header.encrypted, *fixture.password != 0);
  EXPECT_EQ(definition.header.fieldCount, expected.size());
  EXPECT_EQ(definition.header.recordSize, ComputeRecordSize(expected));
  EXPECT_EQ(definition.header.indexPageSize, schema["indexPageSize"].get<uint32_t>());
  EXPECT_EQ(definition.header.blobBlockSize, schema["blobBlockSize"].get<uint32_t>());
  EXPECT_EQ(definition.header.localeId, 0u);

  size_t records = 0;
  std::ifstream lines(FixturePath(fixture, "records.jsonl"));
  for (std::string line; std::getline(lines, line);) records += !line.empty();
  EXPECT_EQ(definition.header.recordCount, static_cast<int32_t>(records));

  ASSERT_EQ(definition.FieldCount(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TFieldDefinition& got = definition.Fields()[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(got.number, expected[i].number);
    EXPECT_EQ(got.name, expected[i].name);
    EXPECT_EQ(got.dataType, expected[i].dataType);
    EXPECT_EQ(got.subtype, expected[i].subtype);
    EXPECT_EQ(got.size, expected[i].size);
    EXPECT_EQ(got.physicalSize, expected[i].physicalSize);
    EXPECT_EQ(got.offset, expected[i].offset);
    EXPECT_EQ(got.compression, expected[i].compression);
  }
  file.CheckHeader();
}

TEST_P(FixtureTablesTest, EveryRecordReadsBackWithItsValues) {
  const FixtureTable& fixture = GetParam();
  const TTableDefinition& definition = file.Definition();
  file.CheckHeader();

  std::ifstream lines(FixturePath(fixture, "records.jsonl"));
  std::string line;
  size_t live = 0;
  for (uint32_t n = 1; n <= definition.PhysicalRecordCount(); ++n) {
    TRecord* buffer = file.GetRecord(nullptr, n, kDirectionForward, true);
    TBufferPin pin(buffer);
    std::span<const uint8_t> record = buffer->Bytes();
    if (GetRecordStatus(record) == kRecordDeleted) continue;
    ASSERT_TRUE(std::getline(lines, line)) << "more live records than listed";
    json expected = json::parse(line);
    SCOPED_TRACE("record " + std::to_string(n));
    ++live;
    EXPECT_EQ(GetRecordID(record), expected["RecordID"].get<int32_t>());
    EXPECT_EQ(ComputeRecordHash(definition, record), GetRecordHash(record));
    for (const TFieldDefinition& f : definition.Fields()) {
      TFieldValue value = GetFieldValue(record, f);
      const json& want = expected[f.name];
      if (f.IsBlob()) {
        EXPECT_EQ(value.isNull, want.is_null()) << f.name;  // BLOB contents come with the BLOB file
      } else if (f.dataType == kFieldFloat && !want.is_null() && !value.isNull) {
        EXPECT_DOUBLE_EQ(GetFloat64(value.bytes, 0), want.get<double>()) << f.name;
      } else {
        EXPECT_EQ(ValueAsJson(f, value), want) << f.name;
      }
    }
  }
  EXPECT_FALSE(std::getline(lines, line)) << "fewer live records than listed";
  EXPECT_EQ(static_cast<int32_t>(live), definition.header.recordCount);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureTablesTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik
