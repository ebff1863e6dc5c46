#include "cli/sample_rows.h"

#include <gtest/gtest.h>

#include "cli/record_json.h"
#include "cli/table_schema.h"
#include "engine/data/table_definition.h"

namespace zarnik::cli {
namespace {

TEST(SampleRows, TheSameSeedGivesTheSameRows) {
  TSampleRows a(7), b(7), c(8);
  bool differs = false;
  for (int i = 0; i < 50; ++i) {
    nlohmann::json row = TSampleRows::RowJson(a.Next());
    EXPECT_EQ(row, TSampleRows::RowJson(b.Next()));
    differs |= row != TSampleRows::RowJson(c.Next());
  }
  EXPECT_TRUE(differs);
}

TEST(SampleRows, MemosHaveTheAskedSizes) {
  TSampleRows rows(1);
  const int kRows = 20000;
  int nulls = 0;
  size_t total = 0, longest = 0;
  for (int i = 0; i < kRows; ++i) {
    TSampleRow row = rows.Next();
    if (!row.field7) {
      ++nulls;
      continue;
    }
    total += row.field7->size();
    longest = std::max(longest, row.field7->size());
  }
  double mean = static_cast<double>(total) / (kRows - nulls);
  EXPECT_NEAR(nulls, kRows / 10, kRows / 50);
  EXPECT_NEAR(mean, 300, 30);
  EXPECT_EQ(longest, TSampleRows::kMaxMemoLength);
}

// Every row loads into the table the sample schema describes.
TEST(SampleRows, RowsFitTheSampleTable) {
  TTableSchema schema = ParseTableSchema(TSampleRows::Schema());
  ASSERT_FALSE(ValidateTableDefinition(schema.fields, 0, false, ""));
  ASSERT_EQ(schema.fields.size(), 8u);
  EXPECT_EQ(schema.fields[0].name, "SeqNo");
  ASSERT_NE(schema.PrimaryIndex(), nullptr);
  EXPECT_EQ(schema.indexes[1].name, "wwTemp");
  EXPECT_TRUE(schema.indexes[1].caseInsensitive);
  TRecordJson reader(schema.fields);
  std::vector<uint8_t> record(ComputeRecordSize(schema.fields));
  TSampleRows rows(3);
  for (int i = 0; i < 2000; ++i) {
    nlohmann::json row = TSampleRows::RowJson(rows.Next());
    ASSERT_NO_THROW(reader.ReadRow(row, record)) << row.dump();
  }
}

}  // namespace
}  // namespace zarnik::cli
