// Reads every BLOB value of the foreign tables in tests/data through their BLOB
// references and the chain code, and compares them with the records each
// folder lists; then rewrites them all in place and reads them back.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "engine/blob/blob_chain.h"
#include "engine/data/record_layout.h"
#include "engine/data/table_definition.h"
#include "tests/engine/blob/blob_file_fixture.h"

namespace zarnik {
namespace {

using nlohmann::json;
using Bytes = std::vector<uint8_t>;

struct Fixture {
  const char* folder;
  const char* table;
  const char* password;  // empty: not encrypted
};

const Fixture kFixtures[] = {
    {"thedata", "TheData", ""},
    {"compressed", "TheData", ""},
    {"alltypes", "AllTypes", ""},
    {"encrypted", "TheData", "Secret1"},
};

void PrintTo(const Fixture& f, std::ostream* os) {
  *os << f.folder;
}

Bytes ReadFile(const Fixture& f, const std::string& name) {
  std::ifstream in(std::string(ZARNIK_TEST_DATA_DIR) + "/" + f.folder + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Base64Decode(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Bytes out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    size_t v = alphabet.find(c);
    if (v == std::string::npos) continue;
    bits = bits << 6 | static_cast<uint32_t>(v);
    if ((count += 6) >= 8) out.push_back(static_cast<uint8_t>(bits >> (count -= 8)));
  }
  return out;
}

class FixtureBlobsTest : public testing::BlobFileTest, public ::testing::WithParamInterface<Fixture> {
 protected:
  void SetUp() override {
    BlobFileTest::SetUp();
    const Fixture& f = GetParam();
    Bytes dat = ReadFile(f, std::string(f.table) + ".dat");
    ASSERT_GE(dat.size(), kDataHeaderSize);
    definition.DecodeHeader(dat);
    if (definition.header.encrypted) Unlock(dat);
    ReadDataFile(dat);
    // A copy: rewriting values may write blocks back.
    WriteDisk("t.blb", ReadFile(f, std::string(f.table) + ".blb"));
    Open(definition.header.blobBlockSize);
  }

  void Unlock(Bytes& dat) {
    TDigest digest = MD5Digest(GetParam().password);
    table.SetPassword(GetParam().password);
    ASSERT_TRUE(PasswordMatches(engine, definition.header.passwordCheck, digest, table.key));
    engine.DecryptBuffer(table.key, dat.data() + kDataHeaderSize, definition.DefinitionsSize());
  }

  // The BLOB fields and the live records (deciphered when encrypted).
  void ReadDataFile(Bytes& dat) {
    ASSERT_LE(definition.DataEnd(), dat.size());
    definition.DecodeDefinitions(std::span<const uint8_t>(dat).subspan(kDataHeaderSize));
    for (const TFieldDefinition& field : definition.Fields())
      if (field.IsBlob()) blobFields.push_back(field);
    for (uint32_t n = 1; n <= definition.PhysicalRecordCount(); ++n) {
      uint8_t* record = dat.data() + definition.RecordOffset(n);
      if (definition.header.encrypted) engine.DecryptBuffer(table.key, record, definition.RecordSize());
      if (GetRecordStatus({record, definition.RecordSize()}) != kRecordDeleted)
        liveRecords.emplace_back(record, record + definition.RecordSize());
    }
  }

  TBlobReference Reference(const Bytes& record, const TFieldDefinition& field) {
    TBlobReference reference;
    reference.DecodeFrom(
        std::span<const uint8_t>(record).subspan(field.offset, TBlobReference::kEncodedLength));
    return reference;
  }

  Bytes ReadValue(TBlobReference reference, uint8_t compression) {
    return chain->ReadValue(reference, compression, [&] { return reference; });
  }

  TTableDefinition definition;
  std::vector<TFieldDefinition> blobFields;
  std::vector<Bytes> liveRecords;
};

TEST_P(FixtureBlobsTest, HeaderDescribesTheFile) {
  const Fixture& f = GetParam();
  size_t size = ReadFile(f, std::string(f.table) + ".blb").size();
  const TBlobHeader& header = file->Header();
  EXPECT_EQ(header.OpenError(engine), ZARNIK_NONE);
  EXPECT_EQ((size - TBlobHeader::kEncodedLength) % definition.header.blobBlockSize, 0u);
  EXPECT_EQ(header.nextBlockNumber,
            (size - TBlobHeader::kEncodedLength) / definition.header.blobBlockSize + 1);
  EXPECT_TRUE(header.IsValidBlock(header.freeBlockHead));
}

TEST_P(FixtureBlobsTest, EveryValueMatchesTheListedRecords) {
  ASSERT_FALSE(blobFields.empty());
  std::ifstream lines(std::string(ZARNIK_TEST_DATA_DIR) + "/" + GetParam().folder + "/records.jsonl");
  size_t values = 0, compressedSmaller = 0;
  for (const Bytes& record : liveRecords) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    json expected = json::parse(line);
    for (const auto& field : blobFields) {
      SCOPED_TRACE(field.name + " of record " + expected["RecordID"].dump());
      TBlobReference reference = Reference(record, field);
      Bytes value = ReadValue(reference, field.compression);
      const json& want = expected[field.name];
      if (want.is_null()) {
        EXPECT_TRUE(value.empty());
        continue;
      }
      // The memos of the fixtures are plain ASCII, so their text is their bytes.
      std::string text = want.is_object() ? want["base64"].get<std::string>() : want.get<std::string>();
      Bytes wanted = want.is_object() ? Base64Decode(text) : Bytes(text.begin(), text.end());
      EXPECT_TRUE(reference.hasValue);
      EXPECT_EQ(value, wanted);
      compressedSmaller += Block(reference.firstBlock).header.blobLength < value.size();
      ++values;
    }
  }
  std::string rest;
  EXPECT_FALSE(std::getline(lines, rest)) << "fewer live records than listed";
  EXPECT_GT(values, 0u);
  bool compressed = blobFields[0].compression != 0;
  EXPECT_EQ(compressedSmaller > 0, compressed);
  EXPECT_EQ(blocks->pinned, 0);
}

TEST_P(FixtureBlobsTest, RewrittenValuesReadBack) {
  // Every value rewritten in place, alternately longer and shorter, under a
  // new revision; after the file was written and reopened all of them read back.
  std::vector<std::pair<TBlobReference, Bytes>> written;
  uint32_t revision = 1u << 30;
  for (const Bytes& record : liveRecords) {
    for (const auto& field : blobFields) {
      TBlobReference reference = Reference(record, field);
      Bytes value = ReadValue(reference, field.compression);
      if (written.size() % 2 == 0)
        value.insert(value.end(), value.begin(), value.end());
      else
        value.resize(value.size() / 3);
      reference.revision = ++revision;
      chain->WriteValue(reference, value, field.compression);
      written.emplace_back(reference, value);
    }
  }
  Close();
  Open(definition.header.blobBlockSize);
  for (size_t i = 0; i < written.size(); ++i)
    ASSERT_EQ(ReadValue(written[i].first, blobFields[i % blobFields.size()].compression), written[i].second)
        << "value " << i;
  EXPECT_EQ(blocks->pinned, 0);
}

TEST_P(FixtureBlobsTest, DamagedBlocksRaiseEngineErrorsOnly) {
  // Bytes of the block headers overwritten at random: every value either reads
  // and rewrites or raises an engine error; nothing crashes or hangs.
  Bytes disk = ReadDisk("t.blb");
  std::mt19937 random(7);
  size_t blockCount = (disk.size() - TBlobHeader::kEncodedLength) / definition.header.blobBlockSize;
  for (int i = 0; i < 400; ++i) {
    size_t block = random() % blockCount;
    size_t at = TBlobHeader::kEncodedLength + block * definition.header.blobBlockSize +
                random() % TBlockHeader::kEncodedLength;
    disk[at] = static_cast<uint8_t>(random());
  }
  file->CloseFile();
  WriteDisk("t.blb", disk);
  Open(definition.header.blobBlockSize);
  size_t failures = 0;
  uint32_t revision = 1u << 30;
  for (const Bytes& record : liveRecords) {
    for (const auto& field : blobFields) {
      TBlobReference reference = Reference(record, field);
      try {
        Bytes value = ReadValue(reference, field.compression);
        reference.revision = ++revision;
        chain->WriteValue(reference, Bytes(value.begin(), value.begin() + value.size() / 2),
                          field.compression);
      } catch (const EZARNIKEngineError&) {
        ++failures;
      }
      ASSERT_EQ(blocks->pinned, 0);
    }
  }
  EXPECT_GT(failures, 0u);
}

INSTANTIATE_TEST_SUITE_P(Tables, FixtureBlobsTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik
