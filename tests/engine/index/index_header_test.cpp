#include "engine/index/index_header.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/index/index_definition.h"
#include "platform/byte_order.h"

namespace zarnik {
namespace {

TEST(IndexHeader, FieldsSitAtTheirOffsets) {
  TIndexHeader header;
  header.ChangeCount = 0x01020304;
  header.Version = 6;
  header.Signature[0] = 0xAA;
  header.Signature[15] = 0xBB;
  header.FreePageHead = 7;
  header.NextPageNumber = 9;
  header.IndexCount = 30;
  header.RootPages[0] = 11;
  header.RootPages[31] = 12;
  header.DataRootPages[31] = 13;
  header.HeaderModified = 1;
  std::array<uint8_t, 512> image;
  image.fill(0xEE);
  header.EncodeTo(image);
  EXPECT_EQ(platform::GetUInt32({&image[0], 4}, 0), 0x01020304u);
  EXPECT_EQ(platform::GetUInt32({&image[4], 4}, 0), 0u);
  EXPECT_EQ(image[8], 6);
  EXPECT_EQ(image[9], 0xAA);
  EXPECT_EQ(image[24], 0xBB);
  EXPECT_EQ(platform::GetUInt32({&image[25], 4}, 0), 7u);
  EXPECT_EQ(platform::GetUInt32({&image[29], 4}, 0), 9u);
  EXPECT_EQ(image[33], 30);
  EXPECT_EQ(platform::GetUInt32({&image[34], 4}, 0), 11u);
  EXPECT_EQ(platform::GetUInt32({&image[34 + 124], 4}, 0), 12u);
  EXPECT_EQ(platform::GetUInt32({&image[162 + 124], 4}, 0), 13u);
  EXPECT_EQ(image[290], 1);
  EXPECT_TRUE(std::all_of(image.begin() + 291, image.end(), [](uint8_t b) { return b == 0; }));
  TIndexHeader decoded;
  decoded.DecodeFrom(image);
  std::array<uint8_t, 512> again;
  decoded.EncodeTo(again);
  EXPECT_EQ(image, again);
}

TEST(IndexDefinition, DefaultSlotsAndTheirBytes) {
  std::array<uint8_t, 768> image;
  TIndexDefinition::DefaultPrimary().EncodeTo(image);
  EXPECT_EQ(image[0], 0);                                      // no name
  EXPECT_EQ(platform::GetUInt16({&image[61], 2}, 0), 5);       // KeySize
  EXPECT_EQ(image[128], 1);                                    // Unique
  EXPECT_EQ(image[130], 1);                                    // FieldCount
  EXPECT_EQ(platform::GetUInt16({&image[259], 2}, 0), 65535);  // RecordID
  EXPECT_EQ(image[515], 0);                                    // counted

  TIndexDefinition::DefaultText().EncodeTo(image);
  EXPECT_EQ(TIndexDefinition().Name, "");
  EXPECT_EQ(std::string(image.begin() + 1, image.begin() + 1 + image[0]), "Sys Text");
  EXPECT_EQ(platform::GetUInt16({&image[61], 2}, 0), 68);
  EXPECT_EQ(image[128], 0);
  EXPECT_EQ(image[129], 3);
  EXPECT_EQ(image[515], 1);

  TIndexDefinition def;
  def.Name = std::string(70, 'n');  // cut to 60
  def.FieldCount = 2;
  def.DescendingFields[1] = 1;
  def.FieldNumbers[1] = 65534;
  def.RemoveMark = 1;
  def.EncodeTo(image);
  EXPECT_EQ(image[0], 60);
  EXPECT_EQ(image[132], 1);
  EXPECT_EQ(platform::GetUInt16({&image[261], 2}, 0), 65534);
  EXPECT_EQ(image[517], 1);
  TIndexDefinition decoded;
  decoded.DecodeFrom(image);
  EXPECT_EQ(decoded.Name, std::string(60, 'n'));
  EXPECT_EQ(decoded.FieldNumbers[1], 65534);
  // A length byte beyond the slot is cut to it.
  image[0] = 200;
  decoded.DecodeFrom(image);
  EXPECT_EQ(decoded.Name.size(), 60u);
}

}  // namespace
}  // namespace zarnik
