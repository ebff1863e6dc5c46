// The foreign tables of tests/data (kFixtures) as the tests read them: where
// each one's files are, and its data file read whole with the header and
// definitions decoded and, for the enciphered one, its definitions and records
// deciphered.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/data/table_definition.h"
#include "tests/support/fixture_values.h"

namespace zarnik::testing {

inline std::string FixturePath(const FixtureTable& f, const std::string& name) {
  return std::string(ZARNIK_TEST_DATA_DIR) + "/" + f.folder + "/" + name;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The data file with its definitions and records deciphered (the header never is).
struct LoadedTable {
  std::vector<uint8_t> file;
  TTableDefinition table;
};

inline void Decipher(TDataEngine& engine, const std::string& password, LoadedTable& t) {
  TDigest key = MD5Digest(password);
  TCryptoContext context = engine.CryptoInit(key.data(), key.size());
  TDigest check = t.table.header.passwordCheck;
  engine.DecryptBuffer(context, check.data(), check.size());
  ASSERT_EQ(check, key) << "the password check value";
  size_t definitions = t.table.DefinitionsSize();
  ASSERT_LE(kDataHeaderSize + definitions, t.file.size());
  engine.DecryptBuffer(context, t.file.data() + kDataHeaderSize, definitions);
  t.table.DecodeDefinitions(std::span<const uint8_t>(t.file).subspan(kDataHeaderSize));
  for (uint32_t n = 1; n <= t.table.PhysicalRecordCount(); ++n)
    engine.DecryptBuffer(context, t.file.data() + t.table.RecordOffset(n), t.table.RecordSize());
}

inline LoadedTable LoadFixture(const FixtureTable& fixture) {
  LoadedTable t;
  t.file = ReadFile(FixturePath(fixture, std::string(fixture.table) + ".dat"));
  EXPECT_GE(t.file.size(), kDataHeaderSize);
  t.table.DecodeHeader(t.file);
  if (!t.table.header.encrypted) {
    t.table.DecodeDefinitions(std::span<const uint8_t>(t.file).subspan(kDataHeaderSize));
    return t;
  }
  TDataEngine engine;
  Decipher(engine, fixture.password, t);
  return t;
}

}  // namespace zarnik::testing
