// TSampleRows: the deterministic rows of `zarnik sample`, in the layout of the
// table "TheData": SeqNo (auto-increment, primary index), Field1 and Field2
// (strings of 10), Field3 (integer), Field4 (date), Field5 (time), Field6
// (float), Field7 (memo), and the case-insensitive index "wwTemp" on Field2.
// Memos are 0 to 2,000 bytes, about 300 on average, and about 10 % NULL. The
// same seed gives the same rows on every machine.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace zarnik::cli {

struct TSampleRow {
  std::optional<std::string> field1;  // Windows-1252 texts
  std::optional<std::string> field2;
  std::optional<int32_t> field3;
  int32_t field4 = 0;  // day number, 0001-01-01 = 1
  int32_t field5 = 0;  // milliseconds since midnight
  std::optional<double> field6;
  std::optional<std::string> field7;
};

class TSampleRows {
 public:
  static constexpr const char* kTableName = "TheData";
  static constexpr size_t kMaxMemoLength = 2000;
  static constexpr uint64_t kDefaultRows = 1000;
  static constexpr uint64_t kDefaultSeed = 1;

  explicit TSampleRows(uint64_t seed);

  TSampleRow Next();

  // The table's schema in the JSON form of `zarnik create`.
  static nlohmann::json Schema();
  // A row in the JSON form of `zarnik load` (SeqNo left to the table).
  static nlohmann::json RowJson(const TSampleRow& row);

 private:
  uint64_t state_;

  uint64_t NextRandom();
  // Uniform in [0, 1).
  double NextUnit();
  // Uniform in [low, high].
  int64_t NextBetween(int64_t low, int64_t high);
  bool Chance(double probability) { return NextUnit() < probability; }
  std::string NextKey();
  std::string NextFruit();
  std::string NextMemo();
};

}  // namespace zarnik::cli
