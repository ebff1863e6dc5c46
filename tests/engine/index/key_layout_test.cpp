#include "engine/index/key_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

namespace zarnik {
namespace {

using Bytes = std::vector<uint8_t>;
using TField = TKeyLayout::TField;
using TValue = TKeyLayout::TValue;

constexpr uint8_t kString = 1, kDate = 2, kBoolean = 4, kSmallInt = 5, kInteger = 6, kFloat = 7, kBcd = 8,
                  kTimestamp = 11, kWord = 12, kBytes = 9, kLargeInt = 18;

template <typename T>
Bytes LittleEndian(T value) {
  Bytes b(sizeof(T));
  std::memcpy(b.data(), &value, sizeof(T));
  return b;
}

Bytes Text(const std::string& s, size_t physical) {
  Bytes b(physical, 0);
  std::memcpy(b.data(), s.data(), std::min(s.size(), physical));
  return b;
}

TIndexDefinition Definition(bool unique, bool caseInsensitive = false) {
  TIndexDefinition def;
  def.Unique = unique;
  def.CaseInsensitive = caseInsensitive;
  return def;
}

// Key of one field with its value (nullopt: NULL) and a record ID.
Bytes OneFieldKey(const TKeyLayout& layout, const std::optional<Bytes>& value, int32_t recordId = 0) {
  Bytes key(layout.KeySize());
  std::vector<TValue> values(1);
  if (value) values[0] = {false, *value};
  layout.BuildKey(values, recordId, key.data());
  return key;
}

TEST(KeyLayout, EncodesEachTypeSoThatBytesSortLikeValues) {
  struct Case {
    const char* what;
    TField field;
    Bytes value;
    Bytes expected;  // value bytes after the flag
  } cases[] = {
      {"integer -1", {1, kInteger, 4}, LittleEndian<int32_t>(-1), {0x7F, 0xFF, 0xFF, 0xFF}},
      {"integer 0", {1, kInteger, 4}, LittleEndian<int32_t>(0), {0x80, 0, 0, 0}},
      {"date", {1, kDate, 4}, LittleEndian<int32_t>(0x01020304), {0x81, 2, 3, 4}},
      {"small integer -2", {1, kSmallInt, 2}, LittleEndian<int16_t>(-2), {0x7F, 0xFE}},
      {"word", {1, kWord, 2}, LittleEndian<uint16_t>(0x8001), {0x80, 0x01}},
      {"boolean", {1, kBoolean, 2}, LittleEndian<int16_t>(1), {0, 1}},
      {"large integer",
       {1, kLargeInt, 8},
       LittleEndian<int64_t>(-1),
       {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"float 2.0", {1, kFloat, 8}, LittleEndian<double>(2.0), {0xC0, 0, 0, 0, 0, 0, 0, 0}},
      {"float -0.5",
       {1, kFloat, 8},
       LittleEndian<double>(-0.5),
       {0x40, 0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"float 0.0", {1, kFloat, 8}, LittleEndian<double>(0.0), {0x80, 0, 0, 0, 0, 0, 0, 0}},
      {"float -0.0", {1, kFloat, 8}, LittleEndian<double>(-0.0), {0x80, 0, 0, 0, 0, 0, 0, 0}},
      {"timestamp", {1, kTimestamp, 8}, LittleEndian<double>(1.0), {0xBF, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"BCD as value x 10,000",
       {1, kBcd, 34},
       LittleEndian<int64_t>(15000),
       {0x80, 0, 0, 0, 0, 0, 0x3A, 0x98}},
      {"string up to its zero", {1, kString, 6}, {'a', 'b', 0, 'z', 'z', 0}, {'a', 'b', 0, 0, 0, 0}},
      {"bytes unchanged", {1, kBytes, 3}, {9, 0, 8}, {9, 0, 8}},
      {"RecordID", {65535, kInteger, 4}, LittleEndian<int32_t>(7), {0x80, 0, 0, 7}},
  };
  for (const Case& c : cases) {
    TKeyLayout layout(Definition(true), {c.field}, 1);
    Bytes key = OneFieldKey(layout, c.value);
    ASSERT_EQ(key.size(), 1 + c.expected.size()) << c.what;
    EXPECT_EQ(key[0], 1) << c.what;
    EXPECT_EQ(Bytes(key.begin() + 1, key.end()), c.expected) << c.what;
  }
}

TEST(KeyLayout, NullsEncodeTheZeroValueAndSortFirstOrLast) {
  for (bool descending : {false, true}) {
    TKeyLayout layout(Definition(false), {{1, kString, 11, descending}}, 1);
    Bytes null = OneFieldKey(layout, std::nullopt, 5);
    Bytes value = OneFieldKey(layout, Text("A", 11), 1);
    EXPECT_EQ(null[0], 0);
    EXPECT_EQ(layout.Compare(null.data(), value.data(), layout.KeySize()), descending ? 1 : -1);
  }
  TKeyLayout integer(Definition(true), {{1, kInteger, 4}}, 1);
  EXPECT_EQ(OneFieldKey(integer, std::nullopt), (Bytes{0, 0x80, 0, 0, 0}));
}

TEST(KeyLayout, EqualValuesFollowTheRecordIdInBothDirections) {
  for (bool descending : {false, true}) {
    TKeyLayout layout(Definition(false), {{1, kInteger, 4, descending}}, 1);
    Bytes first = OneFieldKey(layout, LittleEndian<int32_t>(3), 1);
    Bytes second = OneFieldKey(layout, LittleEndian<int32_t>(3), 2);
    Bytes bigger = OneFieldKey(layout, LittleEndian<int32_t>(4), 1);
    EXPECT_LT(layout.Compare(first.data(), second.data(), layout.KeySize()), 0);
    EXPECT_EQ(layout.Compare(first.data(), bigger.data(), layout.KeySize()), descending ? 1 : -1);
  }
}

TEST(KeyLayout, CaseInsensitiveIndexesUpperCaseTheirText) {
  TKeyLayout insensitive(Definition(true, true), {{1, kString, 11}}, 1);
  EXPECT_EQ(OneFieldKey(insensitive, Text("stra\xDF"
                                          "e \xE9",
                                          11)),
            OneFieldKey(insensitive, Text("STRA\xDF"
                                          "E \xC9",
                                          11)));
  TKeyLayout sensitive(Definition(true), {{1, kString, 11}}, 1);
  Bytes capitalB = OneFieldKey(sensitive, Text("B", 11)), smallA = OneFieldKey(sensitive, Text("a", 11));
  EXPECT_LT(sensitive.Compare(capitalB.data(), smallA.data(), sensitive.KeySize()), 0);
}

TEST(KeyLayout, KeySizesFollowTheFieldSum) {
  const std::vector<TField> integer = {{1, kInteger, 4}};
  EXPECT_EQ(TKeyLayout::ComputeKeySize(integer, false, 1024), 9);
  EXPECT_EQ(TKeyLayout::ComputeKeySize(integer, true, 1024), 5);
  EXPECT_EQ(TKeyLayout::ComputeKeySize({{1, kBcd, 34}, {65534, kBytes, 16}}, true, 1024), 9 + 17);
  EXPECT_EQ(TKeyLayout::ComputeKeySize({{1, kString, 336}}, true, 1024), 337);
  EXPECT_EQ(TKeyLayout::ComputeKeySize({{1, kString, 337}}, true, 1024), 0);
  EXPECT_EQ(TKeyLayout::ComputeKeySize({}, true, 1024), 0);
  EXPECT_EQ(TKeyLayout::ComputeKeySize({{1, kBytes, 4200}}, true, 16384), 0);
}

TEST(KeyLayout, BoundsWidenTheRestOfAKey) {
  // A range 10..20 over a non-unique integer index.
  TKeyLayout layout(Definition(false), {{1, kInteger, 4}}, 1);
  Bytes start = OneFieldKey(layout, LittleEndian<int32_t>(10), 99),
        end = OneFieldKey(layout, LittleEndian<int32_t>(20), 99);
  const size_t m = layout.MatchedLength(1, 0);
  EXPECT_EQ(m, 5u);
  layout.LowestBound(start.data(), m);
  layout.HighestBound(end.data(), m);
  EXPECT_EQ(Bytes(start.begin() + 5, start.end()), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(end.begin() + 5, end.end()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));

  // Integer then descending integer: the lowest bound of a first value fills
  // the second field with FF, the first of it in index order.
  TKeyLayout two(Definition(true), {{1, kInteger, 4}, {2, kInteger, 4, true}}, 1);
  Bytes key(10, 0x11);
  two.LowestBound(key.data(), two.MatchedLength(1, 0));
  EXPECT_EQ(Bytes(key.begin() + 5, key.end()), Bytes(5, 0xFF));
  two.HighestBound(key.data(), two.MatchedLength(1, 0));
  EXPECT_EQ(Bytes(key.begin() + 5, key.end()), Bytes(5, 0x00));

  // A partial search for 3 characters of a first string field.
  TKeyLayout text(Definition(true), {{1, kString, 11}}, 1);
  EXPECT_EQ(text.MatchedLength(0, 3), 4u);
  EXPECT_EQ(text.MatchedLength(0, 0), 12u);
  Bytes partial(12, 'x');
  text.HighestBound(partial.data(), 4);
  EXPECT_EQ(Bytes(partial.begin() + 4, partial.end()), Bytes(8, 0xFF));
}

TEST(KeyLayout, ComparesPrefixesFieldByField) {
  TKeyLayout layout(Definition(false), {{1, kInteger, 4}, {2, kInteger, 4, true}}, 1);
  Bytes a = {1, 0x80, 0, 0, 1, 1, 0x80, 0, 0, 1, 0, 0, 0, 1};
  Bytes b = {1, 0x80, 0, 0, 1, 1, 0x80, 0, 0, 2, 0, 0, 0, 0};
  EXPECT_EQ(layout.Compare(a.data(), b.data(), 5), 0);
  EXPECT_EQ(layout.Compare(a.data(), b.data(), 10), 1);  // the second field descends
  b[9] = 1;
  EXPECT_EQ(layout.Compare(a.data(), b.data(), 14), 1);  // then the record ID ascends
  EXPECT_EQ(layout.Compare(a.data(), b.data(), 10), 0);
}

TEST(KeyLayout, TextKeysHoldFieldWordAndRecord) {
  Bytes key(68);
  TKeyLayout::BuildTextKey(0x0102, std::string(70, 'w'), -1, key.data());
  EXPECT_EQ(key[0], 1);
  EXPECT_EQ(key[1], 1);
  EXPECT_EQ(key[2], 2);
  EXPECT_EQ(Bytes(key.begin() + 3, key.begin() + 64), Bytes(61, 'W'));
  EXPECT_EQ(Bytes(key.begin() + 64, key.end()), (Bytes{0x7F, 0xFF, 0xFF, 0xFF}));
  TKeyLayout text(TIndexDefinition::DefaultText(), {}, 31);
  EXPECT_EQ(text.KeySize(), 68u);
  Bytes other(68);
  TKeyLayout::BuildTextKey(0x0102, "WORD", 5, other.data());
  EXPECT_EQ(text.Compare(other.data(), key.data(), 4), -1);  // all 68 bytes take part
}

}  // namespace
}  // namespace zarnik
