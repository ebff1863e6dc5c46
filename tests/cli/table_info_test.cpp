#include "cli/table_info.h"

#include <gtest/gtest.h>

#include "engine/data/table_definition.h"
#include "tests/support/fixture_tables.h"

namespace zarnik::cli {
namespace {

using namespace zarnik::testing;

TEST(TableInfo, HeaderFieldsCarryTheLayoutNames) {
  LoadedTable loaded = LoadFixture(kFixtures[0]);
  ordered_json header = DataHeaderJson(loaded.table.header);
  std::vector<std::string> names;
  for (auto it = header.begin(); it != header.end(); ++it) names.push_back(it.key());
  EXPECT_EQ(names, (std::vector<std::string>{
                       "changeCounter", "version", "signatureDigest", "freeRecordChainHead", "nextRecordNumber",
                       "lastRecordID", "lastAutoIncrementValue", "recordCount", "recordSize", "fieldCount",
                       "blobFieldCount", "blobBlockSize", "blobRevisionCounter", "indexPageSize", "lastUpdate",
                       "description", "encrypted", "passwordCheckValue", "localeIdentifier", "userMajorVersion",
                       "userMinorVersion", "headerChangedFlag"}));
  EXPECT_EQ(header["version"], 6);
  EXPECT_EQ(header["recordCount"], 400);
  EXPECT_EQ(header["fieldCount"], 8);
  EXPECT_EQ(header["blobFieldCount"], 1);
  EXPECT_EQ(header["indexPageSize"], 4096);
  EXPECT_EQ(header["encrypted"], false);
  EXPECT_EQ(header["signatureDigest"].get<std::string>().size(), 32u);
}

TEST(TableInfo, FieldsAndIndexesInTheirSchemaForm) {
  LoadedTable loaded = LoadFixture(kFixtures[0]);
  const std::vector<TFieldDefinition>& fields = loaded.table.Fields();
  TSchemaIndex primary{.name = "", .fieldNumbers = {1}, .descendingFields = {false}, .primary = true, .unique = true};
  TSchemaIndex temp{.name = "wwTemp", .fieldNumbers = {3}, .descendingFields = {false}, .caseInsensitive = true};
  ordered_json info = TableInfoJson(loaded.table.header, fields, {primary, temp}, {});
  EXPECT_EQ(info["fields"][1], ordered_json::parse(R"({"name": "Field1", "type": "ftString", "size": 10, "scale": 0,
      "required": false, "minimum": "", "maximum": "", "default": "", "charCase": "fcNoChange",
      "description": "", "compression": 0, "number": 2, "offset": 30, "physicalSize": 11})"));
  EXPECT_EQ(info["fields"][7]["type"], "ftMemo");
  EXPECT_EQ(info["indexes"], ordered_json::parse(R"([
      {"name": "", "fields": ["SeqNo"], "options": ["ixPrimary", "ixUnique"], "descFields": [], "compression": "icNone"},
      {"name": "wwTemp", "fields": ["Field2"], "options": ["ixCaseInsensitive"], "descFields": [],
       "compression": "icNone"}])"));
  EXPECT_EQ(info["textIndex"], ordered_json::parse(R"({"fields": [], "spaceChars": "", "includeChars": ""})"));
}

}  // namespace
}  // namespace zarnik::cli
