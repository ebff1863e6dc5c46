// Reads every BLOB value of the foreign tables in tests/data through their BLOB
// references and the chain code, and compares them with the records each
// folder lists; then rewrites them all in place and reads them back.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/blob/blob_chain.h"
#include "platform/byte_order.h"
#include "tests/engine/blob/memory_block_store.h"

namespace zarnik {
namespace {

using nlohmann::json;
using namespace platform;
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

// The little of a data file these tests need, read by hand: the header's
// record geometry and BLOB block size, the BLOB fields' names, slots and
// compression levels, and the live records, deciphered when encrypted.
struct DataFile {
  static constexpr size_t kHeaderSize = 512, kDefinitionSize = 768;
  static constexpr size_t kNextRecordOffset = 29, kRecordSizeOffset = 45, kFieldCountOffset = 47;
  static constexpr size_t kBlockSizeOffset = 51, kEncryptedOffset = 172, kPasswordCheckOffset = 173;
  static constexpr size_t kFieldNameOffset = 2, kFieldTypeOffset = 164, kFieldSlotOffset = 172;
  static constexpr size_t kFieldCompressionOffset = 479;
  static constexpr uint8_t kBlobType = 3;

  struct BlobField {
    std::string name;
    size_t slot;
    uint8_t compression;
  };
  uint32_t blockSize = 0;
  std::vector<BlobField> blobFields;
  std::vector<Bytes> liveRecords;
};

class FixtureBlobsTest : public ::testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    const Fixture& f = GetParam();
    Bytes dat = ReadFile(f, std::string(f.table) + ".dat");
    ASSERT_GE(dat.size(), DataFile::kHeaderSize);
    if (dat[DataFile::kEncryptedOffset] == 1) Unlock(dat);
    ReadDataFile(dat);
    store = std::make_unique<testing::MemoryBlockStore>(engine, data.blockSize);
    auto decipher = [&](uint8_t* unit, size_t length) { engine.DecryptBuffer(key, unit, length); };
    store->Load(ReadFile(f, std::string(f.table) + ".blb"),
                *f.password ? decipher : std::function<void(uint8_t*, size_t)>{});
    chain = std::make_unique<TBlobChain>(*store);
  }

  void Unlock(Bytes& dat) {
    TDigest digest = MD5Digest(GetParam().password);
    key = engine.CryptoInit(digest.data(), digest.size());
    TDigest check;
    std::copy_n(dat.begin() + DataFile::kPasswordCheckOffset, check.size(), check.begin());
    ASSERT_TRUE(PasswordMatches(engine, check, digest, key));
  }

  void ReadDataFile(Bytes& dat) {
    bool encrypted = dat[DataFile::kEncryptedOffset] == 1;
    size_t fields = GetUInt16(dat, DataFile::kFieldCountOffset);
    size_t recordSize = GetUInt16(dat, DataFile::kRecordSizeOffset);
    size_t records = static_cast<size_t>(GetInt32(dat, DataFile::kNextRecordOffset) - 1);
    data.blockSize = GetUInt32(dat, DataFile::kBlockSizeOffset);
    size_t start = DataFile::kHeaderSize + fields * DataFile::kDefinitionSize;
    ASSERT_LE(start + records * recordSize, dat.size());
    if (encrypted)
      engine.DecryptBuffer(key, dat.data() + DataFile::kHeaderSize, start - DataFile::kHeaderSize);
    for (size_t i = 0; i < fields; ++i) {
      std::span<const uint8_t> def(dat.data() + DataFile::kHeaderSize + i * DataFile::kDefinitionSize,
                                   DataFile::kDefinitionSize);
      if (def[DataFile::kFieldTypeOffset] != DataFile::kBlobType) continue;
      data.blobFields.push_back({GetShortString(def, DataFile::kFieldNameOffset, 60),
                                 GetUInt16(def, DataFile::kFieldSlotOffset),
                                 def[DataFile::kFieldCompressionOffset]});
    }
    for (size_t n = 0; n < records; ++n) {
      uint8_t* record = dat.data() + start + n * recordSize;
      if (encrypted) engine.DecryptBuffer(key, record, recordSize);
      if (record[0] != 1) data.liveRecords.emplace_back(record, record + recordSize);
    }
  }

  TBlobReference Reference(const Bytes& record, const DataFile::BlobField& field) {
    TBlobReference reference;
    reference.DecodeFrom(
        std::span<const uint8_t>(record).subspan(field.slot, TBlobReference::kEncodedLength));
    return reference;
  }

  Bytes ReadValue(TBlobReference reference, uint8_t compression) {
    return chain->ReadValue(reference, compression, [&] { return reference; });
  }

  TDataEngine engine;
  TCryptoContext key;
  DataFile data;
  std::unique_ptr<testing::MemoryBlockStore> store;
  std::unique_ptr<TBlobChain> chain;
};

TEST_P(FixtureBlobsTest, HeaderDescribesTheFile) {
  const Fixture& f = GetParam();
  size_t size = ReadFile(f, std::string(f.table) + ".blb").size();
  const TBlobHeader& header = store->header;
  EXPECT_EQ(header.OpenError(engine), ZARNIK_NONE);
  EXPECT_EQ((size - TBlobHeader::kEncodedLength) % data.blockSize, 0u);
  EXPECT_EQ(header.nextBlockNumber, (size - TBlobHeader::kEncodedLength) / data.blockSize + 1);
  EXPECT_TRUE(header.IsValidBlock(header.freeBlockHead));
}

TEST_P(FixtureBlobsTest, EveryValueMatchesTheListedRecords) {
  ASSERT_FALSE(data.blobFields.empty());
  std::ifstream lines(std::string(ZARNIK_TEST_DATA_DIR) + "/" + GetParam().folder + "/records.jsonl");
  size_t values = 0, compressedSmaller = 0;
  for (const Bytes& record : data.liveRecords) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    json expected = json::parse(line);
    for (const auto& field : data.blobFields) {
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
      compressedSmaller += store->Block(reference.firstBlock).header.blobLength < value.size();
      ++values;
    }
  }
  std::string rest;
  EXPECT_FALSE(std::getline(lines, rest)) << "fewer live records than listed";
  EXPECT_GT(values, 0u);
  bool compressed = data.blobFields[0].compression != 0;
  EXPECT_EQ(compressedSmaller > 0, compressed);
  EXPECT_EQ(store->PinnedBlocks(), 0);
}

TEST_P(FixtureBlobsTest, RewrittenValuesReadBack) {
  // Every value rewritten in place, alternately longer and shorter, under a
  // new revision; afterwards all of them read back and no block is pinned.
  std::vector<std::pair<TBlobReference, Bytes>> written;
  uint32_t revision = 1u << 30;
  for (const Bytes& record : data.liveRecords) {
    for (const auto& field : data.blobFields) {
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
  for (size_t i = 0; i < written.size(); ++i)
    ASSERT_EQ(ReadValue(written[i].first, data.blobFields[i % data.blobFields.size()].compression),
              written[i].second)
        << "value " << i;
  EXPECT_EQ(store->PinnedBlocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(Tables, FixtureBlobsTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik
