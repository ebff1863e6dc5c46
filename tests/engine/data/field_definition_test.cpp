#include "engine/data/field_definition.h"

#include <gtest/gtest.h>

#include <vector>

namespace zarnik {
namespace {

// Puts the listed bytes at an offset of a zeroed image.
void Poke(std::vector<uint8_t>& image, size_t offset, std::initializer_list<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
}

TEST(FieldDefinitionTest, EncodesEveryAttributeAtItsOffset) {
  TFieldDefinition field;
  field.number = 2;
  field.name = "Name";
  field.description = "Hi";
  field.dataType = kFieldString;
  field.subtype = kSubtypeFixedString;
  field.size = 10;
  field.DerivePhysicalSize();
  field.offset = 30;
  field.required = true;
  field.characterCase = 2;
  field.minimumValue = "A";
  field.maximumValue = "Z";
  field.defaultValue = "M";
  field.runTimeArea[4] = 1;

  std::vector<uint8_t> expected(768, 0);
  Poke(expected, 0, {0x02, 0x00});
  Poke(expected, 2, {4, 'N', 'a', 'm', 'e'});
  Poke(expected, 63, {2, 'H', 'i'});
  Poke(expected, 164, {1, 31, 10, 0, 0, 11, 0, 0, 30, 0, 1, 2});
  Poke(expected, 176, {1, 'A'});
  Poke(expected, 277, {1, 'Z'});
  Poke(expected, 378, {1, 'M'});
  Poke(expected, 485, {1});

  std::vector<uint8_t> encoded(768, 0xCC);
  field.EncodeTo(encoded);
  EXPECT_EQ(encoded, expected);

  TFieldDefinition decoded;
  decoded.DecodeFrom(encoded);
  EXPECT_EQ(decoded.number, 2);
  EXPECT_EQ(decoded.name, "Name");
  EXPECT_EQ(decoded.physicalSize, 11);
  EXPECT_EQ(decoded.offset, 30);
  EXPECT_TRUE(decoded.required);
  EXPECT_EQ(decoded.defaultValue, "M");
  EXPECT_TRUE(decoded.IsHidden());
  std::vector<uint8_t> again(768);
  decoded.EncodeTo(again);
  EXPECT_EQ(again, expected);
}

TEST(FieldDefinitionTest, OverlongLengthBytesAreCutToTheirSlot) {
  std::vector<uint8_t> image(768, 'x');
  image[2] = 255;    // name slot holds 60
  image[176] = 200;  // minimum slot holds 100
  TFieldDefinition field;
  field.DecodeFrom(image);
  EXPECT_EQ(field.name.size(), 60u);
  EXPECT_EQ(field.minimumValue.size(), 100u);
}

TEST(FieldDefinitionTest, PhysicalSizesFollowTheType) {
  struct Case {
    uint8_t type, subtype;
    uint16_t size, physical;
  } cases[] = {
      {kFieldString, 0, 10, 11},  {kFieldString, kSubtypeWideString, 10, 21},
      {kFieldDate, 0, 0, 4},      {kFieldBlob, kSubtypeMemo, 0, 8},
      {kFieldBoolean, 0, 0, 2},   {kFieldSmallInt, 0, 0, 2},
      {kFieldInteger, 0, 0, 4},   {kFieldFloat, kSubtypeCurrency, 0, 8},
      {kFieldBcd, 0, 0, 34},      {kFieldBytes, 0, 6, 6},
      {kFieldTime, 0, 0, 4},      {kFieldTimestamp, 0, 0, 8},
      {kFieldWord, 0, 0, 2},      {kFieldVarBytes, 0, 7, 7},
      {kFieldLargeInt, 0, 0, 8},  {17, 0, 0, 0},
      {kFieldString, 0, 65535, 65535},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PhysicalSizeOf(c.type, c.subtype, c.size), c.physical) << int(c.type) << "/" << int(c.subtype);
}

TEST(FieldDefinitionTest, SizeRules) {
  EXPECT_TRUE(IsValidFieldSize(kFieldString, 0, 512));
  EXPECT_FALSE(IsValidFieldSize(kFieldString, 0, 513));
  EXPECT_FALSE(IsValidFieldSize(kFieldString, 0, 0));
  EXPECT_TRUE(IsValidFieldSize(kFieldString, kSubtypeWideString, 256));
  EXPECT_FALSE(IsValidFieldSize(kFieldString, kSubtypeWideString, 257));
  EXPECT_TRUE(IsValidFieldSize(kFieldVarBytes, 0, 1));
  EXPECT_TRUE(IsValidFieldSize(kFieldInteger, 0, 0));
  EXPECT_FALSE(IsValidFieldSize(kFieldInteger, 0, 4));
}

TEST(FieldDefinitionTest, SystemFields) {
  const TFieldDefinition& id = TFieldDefinition::RecordIDField();
  EXPECT_EQ(id.number, -1);
  EXPECT_EQ(id.name, "RecordID");
  EXPECT_EQ(id.dataType, kFieldInteger);
  EXPECT_EQ(id.physicalSize, 4);
  EXPECT_EQ(id.offset, 5);
  const TFieldDefinition& hash = TFieldDefinition::RecordHashField();
  EXPECT_EQ(hash.number, -2);
  EXPECT_EQ(hash.subtype, kSubtypeRecordHash);
  EXPECT_EQ(hash.size, 16);
  EXPECT_EQ(hash.physicalSize, 16);
  EXPECT_EQ(hash.offset, 9);
}

}  // namespace
}  // namespace zarnik
