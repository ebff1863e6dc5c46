#include "cli/sample_rows.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "cli/field_json.h"
#include "cli/text_encoding.h"
#include "platform/date_time.h"

namespace zarnik::cli {

using nlohmann::json;

namespace {

constexpr const char* kKeyCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::array<const char*, 10> kFruits = {"Apple", "Banana", "Cherry", "Date",  "Fig",
                                                 "Grape", "Lemon",  "Mango",  "Peach", "Plum"};
// Words of the memos, some with Windows-1252 letters beyond ASCII.
constexpr std::array<const char*, 24> kWords = {
    "alpha", "beta", "gamma", "delta", "table", "record", "index", "data", "key", "page", "block", "memo",
    "lorem", "ipsum", "dolor", "sit",  "amet",  "caf\xE9", "na\xEFve", "\xFC" "ber", "se\xF1or", "r\xE9sum\xE9",
    "fa\xE7" "ade", "\x80uro"};
constexpr double kMemoNullChance = 0.10;
constexpr double kOtherNullChance = 0.03;
constexpr double kMeanMemoLength = 300;

int32_t DayNumber(int year, int month, int day) { return platform::DateToDayNumber(year, month, day); }

}  // namespace

TSampleRows::TSampleRows(uint64_t seed) : state_(seed) {}

// SplitMix64: small, fast, and the same everywhere.
uint64_t TSampleRows::NextRandom() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double TSampleRows::NextUnit() { return static_cast<double>(NextRandom() >> 11) * 0x1.0p-53; }

int64_t TSampleRows::NextBetween(int64_t low, int64_t high) {
  return low + static_cast<int64_t>(NextRandom() % static_cast<uint64_t>(high - low + 1));
}

std::string TSampleRows::NextKey() {
  std::string key(static_cast<size_t>(NextBetween(1, 10)), ' ');
  for (char& c : key) c = kKeyCharacters[NextBetween(0, 61)];
  return key;
}

// A fruit name, sometimes in other letter case: the index on Field2 ignores case.
std::string TSampleRows::NextFruit() {
  std::string fruit = kFruits[NextBetween(0, kFruits.size() - 1)];
  double casing = NextUnit();
  if (casing < 0.1) std::transform(fruit.begin(), fruit.end(), fruit.begin(), ::toupper);
  else if (casing < 0.2) std::transform(fruit.begin(), fruit.end(), fruit.begin(), ::tolower);
  return fruit;
}

// Words up to an exponentially distributed length (mean 300, at most 2,000).
std::string TSampleRows::NextMemo() {
  double length = -kMeanMemoLength * std::log(1.0 - NextUnit());
  size_t target = static_cast<size_t>(std::min(length, static_cast<double>(kMaxMemoLength)));
  std::string memo;
  while (memo.size() < target) {
    if (!memo.empty()) memo += NextBetween(0, 5) == 0 ? ". " : " ";
    memo += kWords[NextBetween(0, kWords.size() - 1)];
  }
  memo.resize(target);
  return memo;
}

TSampleRow TSampleRows::Next() {
  TSampleRow row;
  row.field1 = NextKey();
  if (!Chance(kOtherNullChance)) row.field2 = NextFruit();
  if (!Chance(kOtherNullChance)) row.field3 = static_cast<int32_t>(NextBetween(-1000000, 1000000));
  row.field4 = static_cast<int32_t>(NextBetween(DayNumber(1980, 1, 1), DayNumber(2030, 12, 31)));
  row.field5 = static_cast<int32_t>(NextBetween(0, 86399999));
  if (!Chance(kOtherNullChance)) row.field6 = static_cast<double>(NextBetween(-100000000, 100000000)) / 10000;
  if (!Chance(kMemoNullChance)) row.field7 = NextMemo();
  return row;
}

json TSampleRows::Schema() {
  auto field = [](const char* name, const char* type) { return json{{"name", name}, {"type", type}}; };
  auto text = [](const char* name) { return json{{"name", name}, {"type", "ftString"}, {"size", 10}}; };
  return json{
      {"fields",
       {field("SeqNo", "ftAutoInc"), text("Field1"), text("Field2"), field("Field3", "ftInteger"),
        field("Field4", "ftDate"), field("Field5", "ftTime"), field("Field6", "ftFloat"),
        field("Field7", "ftMemo")}},
      {"indexes",
       {{{"name", ""}, {"fields", {"SeqNo"}}, {"options", {"ixPrimary", "ixUnique"}}, {"compression", "icNone"}},
        {{"name", "wwTemp"}, {"fields", {"Field2"}}, {"options", {"ixCaseInsensitive"}}, {"compression", "icNone"}}}},
      {"indexPageSize", 4096},
      {"blobBlockSize", 512},
  };
}

json TSampleRows::RowJson(const TSampleRow& row) {
  auto text = [](const std::optional<std::string>& value) -> json {
    return value ? json(Windows1252ToUtf8(*value)) : json(nullptr);
  };
  return json{
      {"Field1", text(row.field1)},
      {"Field2", text(row.field2)},
      {"Field3", row.field3 ? json(*row.field3) : json(nullptr)},
      {"Field4", DateText(row.field4)},
      {"Field5", TimeText(row.field5)},
      {"Field6", row.field6 ? json(*row.field6) : json(nullptr)},
      {"Field7", text(row.field7)},
  };
}

}  // namespace zarnik::cli
