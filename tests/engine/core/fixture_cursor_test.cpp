// The foreign tables of tests/data opened through cursors: every record in
// physical order with the values of its records.jsonl (BLOB contents
// included), and every index walked from end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "engine/core/data_cursor.h"
#include "engine/core/data_directory.h"
#include "engine/core/data_engine.h"
#include "engine/core/data_session.h"
#include "engine/data/data_file.h"
#include "engine/index/index_file.h"
#include "tests/support/fixture_values.h"
#include "tests/support/temp_folder.h"

namespace zarnik::testing {
namespace {

using nlohmann::json;

// A BLOB value as records.jsonl gives it: memos as text (an empty one as
// null), other BLOBs as base64.
json BlobAsJson(const TFieldDefinition& field, const std::vector<uint8_t>& value) {
  if (value.empty()) return nullptr;
  if (field.subtype == kSubtypeMemo) return std::string(value.begin(), value.end());
  return json{{"base64", Base64(value)}};
}

class FixtureCursorTest : public ::testing::TestWithParam<FixtureTable> {
 protected:
  // A copy, so that nothing the engine writes reaches the fixtures.
  TempFolder folder;
  TDataEngine engine;
  TDataSession* session = nullptr;
  TDataDirectory* directory = nullptr;

  void SetUp() override {
    const FixtureTable& fixture = GetParam();
    std::filesystem::path source = std::string(ZARNIK_TEST_DATA_DIR) + "/" + fixture.folder;
    for (const char* extension : {".dat", ".idx", ".blb"})
      std::filesystem::copy_file(source / (std::string(fixture.table) + extension),
                                 folder.File(std::string(fixture.table) + extension));
    engine.StartEngine("zarnik.lck");
    session = &engine.CreateSession();
    if (*fixture.password != 0) session->AddPassword(fixture.password);
    directory = &session->OpenDirectory("Fixtures", folder.Path(), false, false);
  }
};

TEST_P(FixtureCursorTest, RecordsReadWithTheValuesOfTheirList) {
  const FixtureTable& fixture = GetParam();
  TDataCursor cursor(*directory);
  cursor.SetTableName(fixture.table);
  cursor.OpenCursor();
  std::ifstream lines(std::string(ZARNIK_TEST_DATA_DIR) + "/" + fixture.folder + "/records.jsonl");
  std::string line;
  size_t count = 0;
  cursor.SelectPhysicalOrder();
  for (bool more = cursor.First(); more; more = cursor.Next(), ++count) {
    ASSERT_TRUE(std::getline(lines, line)) << "more records than listed";
    json expected = json::parse(line);
    SCOPED_TRACE("record " + std::to_string(cursor.CurrentRecordNumber()));
    EXPECT_EQ(platform::GetInt32(cursor.GetField(-1).bytes, 0), expected["RecordID"].get<int32_t>());
    for (const TFieldDefinition& field : cursor.Fields()) {
      const json& want = expected[field.name];
      if (field.IsBlob()) {
        EXPECT_EQ(BlobAsJson(field, cursor.ReadBlob(field.number)), want) << field.name;
      } else if (field.dataType == kFieldFloat && !want.is_null()) {
        EXPECT_DOUBLE_EQ(platform::GetFloat64(cursor.GetField(field.number).bytes, 0), want.get<double>())
            << field.name;
      } else {
        EXPECT_EQ(ValueAsJson(field, cursor.GetField(field.number)), want) << field.name;
      }
    }
  }
  EXPECT_FALSE(std::getline(lines, line)) << "fewer records than listed";

  TIndexFile& index = cursor.Table()->IndexFile();
  for (int32_t slot = 0; slot <= static_cast<int32_t>(index.GetIndexCount()); ++slot) {
    SCOPED_TRACE("index " + std::to_string(slot));
    cursor.SelectIndex(slot);
    EXPECT_EQ(cursor.RecordCount(), count);
    size_t visited = 0;
    for (bool more = cursor.First(); more; more = cursor.Next()) ++visited;
    EXPECT_EQ(visited, count);
    visited = 0;
    for (bool more = cursor.Last(); more; more = cursor.Prior()) ++visited;
    EXPECT_EQ(visited, count);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureCursorTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik::testing
