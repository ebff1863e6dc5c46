#include "cli/schema_description.h"

#include <gtest/gtest.h>

#include "tests/support/fixture_tables.h"

namespace zarnik::cli {
namespace {

using namespace zarnik::testing;

constexpr size_t kIndexCountOffset = 33;
constexpr size_t kDefinitionsOffset = 512;

TIndexDefinition StoredDefinition(const std::vector<uint8_t>& file, uint32_t slot) {
  TIndexDefinition definition;
  size_t offset = kDefinitionsOffset + slot * TIndexDefinition::kEncodedLength;
  EXPECT_LE(offset + TIndexDefinition::kEncodedLength, file.size());
  definition.DecodeFrom(std::span<const uint8_t, TIndexDefinition::kEncodedLength>(file.data() + offset,
                                                                                    TIndexDefinition::kEncodedLength));
  return definition;
}

class FixtureIndexesTest : public ::testing::TestWithParam<FixtureTable> {};

// The indexes of each plain foreign table, read from its index file, are those its schema.json lists, and the
// schema's indexes make the same definitions.
TEST_P(FixtureIndexesTest, IndexFileDefinitionsAreThoseOfTheSchema) {
  const FixtureTable& fixture = GetParam();
  json schemaJson = json::parse(ReadFile(FixturePath(fixture, "schema.json")));
  TTableSchema schema = ParseTableSchema(schemaJson);
  std::vector<uint8_t> file = ReadFile(FixturePath(fixture, std::string(fixture.table) + ".idx"));
  ASSERT_GT(file.size(), kDefinitionsOffset + 32 * TIndexDefinition::kEncodedLength);
  uint32_t count = file[kIndexCountOffset];
  ASSERT_EQ(count + 1, schemaJson["indexes"].size());
  for (uint32_t slot = 0; slot <= count; ++slot) {
    SCOPED_TRACE(slot);
    TIndexDefinition stored = StoredDefinition(file, slot);
    EXPECT_EQ(json::parse(IndexJson(SchemaIndexOf(stored, slot == 0), schema.fields).dump()),
              schemaJson["indexes"][slot]);
    TIndexDefinition made = IndexDefinitionOf(schema.indexes[slot]);
    EXPECT_EQ(made.Name, stored.Name);
    EXPECT_EQ(made.FieldCount, stored.FieldCount);
    EXPECT_EQ(made.FieldNumbers, stored.FieldNumbers);
    EXPECT_EQ(made.DescendingFields, stored.DescendingFields);
    EXPECT_EQ(made.Unique, stored.Unique);
    EXPECT_EQ(made.CaseInsensitive, stored.CaseInsensitive);
    EXPECT_EQ(made.Compression, stored.Compression);
  }
  TSchemaTextIndex text = SchemaTextIndexOf(StoredDefinition(file, 31), TTextIndexParams::Defaults());
  EXPECT_EQ(text.fieldNumbers, schema.textIndex.fieldNumbers);
}

const FixtureTable kPlainFixtures[] = {kFixtures[0], kFixtures[1], kFixtures[2]};
INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureIndexesTest, ::testing::ValuesIn(kPlainFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

TEST(SchemaDescription, SystemFieldsAndDescendingIndexesMapBothWays) {
  TSchemaIndex index{.name = "ix", .fieldNumbers = {kRecordIDFieldNumber, 2, kRecordHashFieldNumber},
                     .descendingFields = {true, false, true}, .descending = true, .compression = 2};
  TIndexDefinition definition = IndexDefinitionOf(index);
  EXPECT_EQ(definition.FieldCount, 3);
  EXPECT_EQ(definition.FieldNumbers[0], TIndexDefinition::kRecordIDField);
  EXPECT_EQ(definition.FieldNumbers[2], TIndexDefinition::kRecordHashField);
  EXPECT_EQ(definition.DescendingFields[0], 1);
  EXPECT_EQ(definition.Descending, 1);
  TSchemaIndex back = SchemaIndexOf(definition, false);
  EXPECT_EQ(back.fieldNumbers, index.fieldNumbers);
  EXPECT_EQ(back.descendingFields, index.descendingFields);
  EXPECT_TRUE(back.descending);
  EXPECT_FALSE(back.unique);
  EXPECT_EQ(back.compression, 2);
  // More key fields than an index holds reach the table creation, which refuses them.
  index.fieldNumbers.assign(200, 1);
  index.descendingFields.assign(200, false);
  EXPECT_EQ(IndexDefinitionOf(index).FieldCount, TIndexDefinition::kMaxFields + 1);
}

TEST(SchemaDescription, DefaultTextParametersReadAsCharacters) {
  TSchemaTextIndex text = SchemaTextIndexOf(TIndexDefinition::DefaultText(), TTextIndexParams::Defaults());
  EXPECT_TRUE(text.fieldNumbers.empty());
  ASSERT_TRUE(text.stopWords);
  EXPECT_EQ(text.stopWords->size(), 22u);
  EXPECT_EQ(text.stopWords->front(), "A");
  std::string space;
  for (int c = 1; c <= 32; ++c) space += static_cast<char>(c);
  EXPECT_EQ(text.spaceChars, space + "*+,-./:;<=>\\`");
  EXPECT_EQ(text.includeChars.size(), 26u * 2 + 1 + 10 + 127);
}

}  // namespace
}  // namespace zarnik::cli
