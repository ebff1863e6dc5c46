#include "engine/files/crypto.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "engine/core/data_engine.h"

namespace zarnik {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

Bytes DigestBytes(const std::string& text) {
  TDigest digest = MD5Digest(text);
  return Bytes(digest.begin(), digest.end());
}

Bytes ReadFixture(const std::string& relativePath) {
  std::ifstream in(std::string(ZARNIK_TEST_DATA_DIR) + "/" + relativePath, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes MixedData(size_t length, uint32_t seed) {
  // Text-like runs with random bytes between them: compressible, not trivially.
  std::mt19937 random(seed);
  Bytes data;
  const std::string words = "ZARNIK table engine record index BLOB block ";
  while (data.size() < length) {
    if (random() % 3 == 0)
      data.push_back(static_cast<uint8_t>(random()));
    else
      data.insert(data.end(), words.begin() + random() % 20, words.end());
  }
  data.resize(length);
  return data;
}

TErrorCode CodeOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return GetExceptionErrorCode(e);
  }
  return ZARNIK_NONE;
}

class CryptoTest : public ::testing::Test {
 protected:
  // One block through a freshly reset chain is the plain block cipher.
  Bytes EncipherOneBlock(TCryptoContext& context, Bytes block) {
    engine.EncryptBlock(context, block.data());
    engine.CryptoReset(context);
    return block;
  }

  TDataEngine engine;
};

TEST_F(CryptoTest, SingleBlocksMatchPublishedBlowfishVectors) {
  struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
  } vectors[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      // Variable key lengths: the key bytes are taken cyclically.
      {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
  };
  for (const Vector& v : vectors) {
    Bytes key = FromHex(v.key);
    TCryptoContext context = engine.CryptoInit(key.data(), key.size());
    EXPECT_EQ(context.Size(), 4184u);
    EXPECT_EQ(EncipherOneBlock(context, FromHex(v.plain)), FromHex(v.cipher)) << v.key;
    Bytes block = FromHex(v.cipher);
    engine.DecryptBuffer(context, block.data(), block.size());
    EXPECT_EQ(block, FromHex(v.plain)) << v.key;
  }
}

TEST_F(CryptoTest, BuffersChainBlocksAndRestartEachTime) {
  Bytes key = DigestBytes("Secret1");
  TCryptoContext context = engine.CryptoInit(key.data(), key.size());
  Bytes plain = MixedData(20, 7);
  Bytes buffer = plain;
  engine.EncryptBuffer(context, buffer.data(), buffer.size());

  // CBC from a zero vector: C1 = E(P1), C2 = E(P2 xor C1); the 4 bytes after
  // the last whole block stay plain.
  Bytes first(plain.begin(), plain.begin() + 8);
  Bytes second(plain.begin() + 8, plain.begin() + 16);
  Bytes c1 = EncipherOneBlock(context, first);
  for (int i = 0; i < 8; ++i) second[i] ^= c1[i];
  Bytes c2 = EncipherOneBlock(context, second);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), c1);
  EXPECT_EQ(Bytes(buffer.begin() + 8, buffer.begin() + 16), c2);
  EXPECT_EQ(Bytes(buffer.begin() + 16, buffer.end()), Bytes(plain.begin() + 16, plain.end()));

  // The same contents enciphered again (another record, another page) give
  // the same bytes, and decipher back.
  Bytes again = plain;
  engine.EncryptBuffer(context, again.data(), again.size());
  EXPECT_EQ(again, buffer);
  engine.DecryptBuffer(context, again.data(), again.size());
  EXPECT_EQ(again, plain);

  Bytes shortBuffer = {1, 2, 3, 4, 5, 6, 7};
  engine.EncryptBuffer(context, shortBuffer.data(), shortBuffer.size());
  EXPECT_EQ(shortBuffer, (Bytes{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(CryptoTest, ChainRestartsWhenABlockFails) {
  Bytes key = DigestBytes("pw");
  TCryptoContext context = engine.CryptoInit(key.data(), key.size());
  int calls = 0;
  engine.Hooks.encryptBlock = [&](TCryptoContext& c, uint8_t* block) {
    if (++calls == 2) throw std::runtime_error("disk full");
    BlowfishEncryptBlock(*c.schedule, block);
  };
  Bytes buffer(24, 0x41);
  EXPECT_THROW(engine.EncryptBuffer(context, buffer.data(), buffer.size()), std::runtime_error);
  engine.Hooks.encryptBlock = nullptr;

  Bytes block(8, 0x41);
  TCryptoContext fresh = engine.CryptoInit(key.data(), key.size());
  EXPECT_EQ(EncipherOneBlock(context, block), EncipherOneBlock(fresh, block));
}

TEST_F(CryptoTest, HooksReplaceTheCipher) {
  int resets = 0;
  engine.Hooks.cryptoInit = [](const uint8_t* key, size_t length) { return Bytes(key, key + length); };
  auto xorWithKey = [](TCryptoContext& c, uint8_t* block) {
    for (int i = 0; i < 8; ++i) block[i] ^= c.custom[i % c.custom.size()];
  };
  engine.Hooks.encryptBlock = xorWithKey;
  engine.Hooks.decryptBlock = xorWithKey;
  engine.Hooks.cryptoReset = [&](TCryptoContext&) { ++resets; };

  Bytes key = {0xFF};
  TCryptoContext context = engine.CryptoInit(key.data(), key.size());
  EXPECT_EQ(context.Size(), 1u);
  Bytes buffer(17, 0x0F);
  engine.EncryptBuffer(context, buffer.data(), buffer.size());
  Bytes expected(16, 0xF0);
  expected.push_back(0x0F);
  EXPECT_EQ(buffer, expected);
  EXPECT_EQ(resets, 1);

  // Without the block hooks a context made by a hook cannot be used.
  engine.Hooks = {};
  EXPECT_EQ(CodeOf([&] { engine.EncryptBuffer(context, buffer.data(), buffer.size()); }),
            ZARNIK_INVALIDPASSWORD);
  EXPECT_EQ(CodeOf([&] { engine.CryptoInit(key.data(), 0); }), ZARNIK_INVALIDPASSWORD);
}

TEST_F(CryptoTest, PasswordCheckValueMatchesAForeignEncryptedTable) {
  Bytes header = ReadFixture("encrypted/TheData.dat");
  ASSERT_GE(header.size(), 512u + 768u);
  TDigest stored;
  std::copy_n(header.begin() + 173, 16, stored.begin());

  TDigest digest = MD5Digest("Secret1");
  TCryptoContext schedule = engine.CryptoInit(digest.data(), digest.size());
  EXPECT_EQ(PasswordCheckValue(engine, digest, schedule), stored);
  EXPECT_TRUE(PasswordMatches(engine, stored, digest, schedule));

  TDigest otherCase = MD5Digest("secret1");
  TCryptoContext otherSchedule = engine.CryptoInit(otherCase.data(), otherCase.size());
  EXPECT_FALSE(PasswordMatches(engine, stored, otherCase, otherSchedule));

  // The field definitions are one enciphered run: the first one deciphers to
  // field number 1 named "SeqNo".
  uint16_t fieldCount = header[47] | header[48] << 8;
  ASSERT_GE(header.size(), 512u + 768u * fieldCount);
  Bytes definitions(header.begin() + 512, header.begin() + 512 + 768 * fieldCount);
  engine.DecryptBuffer(schedule, definitions.data(), definitions.size());
  EXPECT_EQ(definitions[0] | definitions[1] << 8, 1);
  EXPECT_EQ(std::string(definitions.begin() + 3, definitions.begin() + 3 + definitions[2]), "SeqNo");
}

TEST_F(CryptoTest, CompressionRoundTripsAtEveryLevel) {
  for (size_t length : {size_t(0), size_t(1), size_t(5000), size_t(300000)}) {
    Bytes data = MixedData(length, static_cast<uint32_t>(length));
    for (int level = 1; level <= 9; ++level) {
      Bytes packed = engine.Compress(data.data(), data.size(), level);
      // One plain zlib stream, as any zlib reader expects.
      uLongf expectedLength = compressBound(data.size());
      Bytes expected(expectedLength);
      ASSERT_EQ(compress2(expected.data(), &expectedLength, data.data(), data.size(), level), Z_OK);
      expected.resize(expectedLength);
      EXPECT_EQ(packed, expected) << length << " at level " << level;
      EXPECT_EQ(engine.Decompress(packed.data(), packed.size()), data) << length << " at level " << level;
    }
  }
}

TEST_F(CryptoTest, DamagedStreamsRaiseUncompress) {
  Bytes data = MixedData(4000, 3);
  Bytes packed = engine.Compress(data.data(), data.size(), 6);
  for (size_t cut = 0; cut < packed.size(); ++cut)
    EXPECT_EQ(CodeOf([&] { engine.Decompress(packed.data(), cut); }), ZARNIK_UNCOMPRESS) << cut;

  Bytes garbled = packed;
  for (size_t i = packed.size() / 3; i < packed.size() / 3 + 8; ++i) garbled[i] ^= 0x5A;
  EXPECT_EQ(CodeOf([&] { engine.Decompress(garbled.data(), garbled.size()); }), ZARNIK_UNCOMPRESS);
  Bytes badChecksum = packed;
  badChecksum.back() ^= 1;
  EXPECT_EQ(CodeOf([&] { engine.Decompress(badChecksum.data(), badChecksum.size()); }), ZARNIK_UNCOMPRESS);
  // Random damage anywhere: always refused, never read or written out of bounds.
  std::mt19937 random(99);
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = packed;
    for (int hits = 1 + random() % 4; hits > 0; --hits)
      damaged[random() % damaged.size()] ^= 1 + random() % 255;
    EXPECT_EQ(CodeOf([&] { engine.Decompress(damaged.data(), damaged.size()); }), ZARNIK_UNCOMPRESS) << round;
  }
  Bytes noise = MixedData(1000, 11);
  EXPECT_EQ(CodeOf([&] { engine.Decompress(noise.data(), noise.size()); }), ZARNIK_UNCOMPRESS);
  EXPECT_EQ(CodeOf([&] { engine.Compress(data.data(), data.size(), 10); }), ZARNIK_COMPRESS);
}

TEST_F(CryptoTest, InflationStopsAtTheLimitWithoutAllocatingPastIt) {
  Bytes zeros(1 << 20, 0);
  Bytes packed = engine.Compress(zeros.data(), zeros.size(), 9);
  ASSERT_LT(packed.size(), 2000u);

  // Many doublings from a small start.
  EXPECT_EQ(engine.Decompress(packed.data(), packed.size()), zeros);

  Bytes exact;
  EXPECT_TRUE(InflateStream(packed, zeros.size(), exact));
  EXPECT_EQ(exact, zeros);
  for (size_t limit : {size_t(0), size_t(4096), zeros.size() - 1}) {
    Bytes output;
    EXPECT_FALSE(InflateStream(packed, limit, output)) << limit;
    EXPECT_LE(output.capacity(), limit);
  }
}

TEST_F(CryptoTest, HooksReplaceCompression) {
  engine.Hooks.compress = [](const uint8_t* data, size_t length, int level) {
    Bytes out(data, data + length);
    out.push_back(static_cast<uint8_t>(level));
    return out;
  };
  engine.Hooks.decompress = [](const uint8_t* data, size_t length) { return Bytes(data, data + length - 1); };
  Bytes data = {1, 2, 3};
  EXPECT_EQ(engine.Compress(data.data(), data.size(), 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(engine.Decompress(data.data(), data.size()), (Bytes{1, 2}));

  engine.Hooks.compress = [](const uint8_t*, size_t, int) -> Bytes { throw std::bad_alloc(); };
  engine.Hooks.decompress = [](const uint8_t*, size_t) -> Bytes { throw 42; };
  EXPECT_EQ(CodeOf([&] { engine.Compress(data.data(), data.size(), 4); }), ZARNIK_COMPRESS);
  EXPECT_EQ(CodeOf([&] { engine.Decompress(data.data(), data.size()); }), ZARNIK_UNCOMPRESS);
}

}  // namespace
}  // namespace zarnik
