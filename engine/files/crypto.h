// Block encryption and compression: Blowfish in CBC mode keyed with the MD5
// digest of a table password, each buffer enciphered on its own from an
// all-zero vector, and zlib streams for BLOB contents and file copies. The
// application may replace any of them through the engine's hooks; the
// engine's own calls (TDataEngine::CryptoInit ... Decompress) choose.
#pragma once

#include <nettle/blowfish.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace zarnik {

class TDataEngine;

using TDigest = std::array<uint8_t, 16>;

// Bytes in one cipher block.
constexpr size_t kCipherBlockSize = 8;
// The largest output a decompression may produce: the largest BLOB length.
constexpr size_t kMaxDecompressedLength = 2147483647;

// The built-in key schedule, 4184 bytes: the initial vector, the chaining
// value, then the four S-boxes and the P-array of the Blowfish context.
struct TKeySchedule {
  uint8_t initialVector[8];
  uint8_t chainingValue[8];
  blowfish_ctx cipher;
};
static_assert(sizeof(TKeySchedule) == 4184, "key schedule layout");

// A cipher context made by CryptoInit: the built-in schedule, or the bytes a
// crypto-initialisation hook returned.
struct TCryptoContext {
  std::unique_ptr<TKeySchedule> schedule;
  std::vector<uint8_t> custom;
  size_t Size() const { return schedule ? sizeof(TKeySchedule) : custom.size(); }
};

// Replacement hooks. A set hook replaces the built-in behaviour entirely; the
// block hooks encipher or decipher the 8 bytes at `block` in place.
struct TCryptoHooks {
  std::function<std::vector<uint8_t>(const uint8_t* key, size_t keyLength)> cryptoInit;
  std::function<void(TCryptoContext& context, uint8_t* block)> encryptBlock;
  std::function<void(TCryptoContext& context, uint8_t* block)> decryptBlock;
  std::function<void(TCryptoContext& context)> cryptoReset;
  std::function<std::vector<uint8_t>(const uint8_t* data, size_t length, int level)> compress;
  std::function<std::vector<uint8_t>(const uint8_t* data, size_t length)> decompress;
};

// The built-in Blowfish-CBC steps on a key schedule (no hooks).
std::unique_ptr<TKeySchedule> BlowfishSchedule(const uint8_t* key, size_t keyLength);
void BlowfishEncryptBlock(TKeySchedule& schedule, uint8_t* block);
void BlowfishDecryptBlock(TKeySchedule& schedule, uint8_t* block);

// The built-in zlib calls (no hooks). Each returns false when zlib refuses the
// data or the level; InflateStream also refuses output beyond maxOutput bytes
// and never allocates more than that.
bool DeflateStream(std::span<const uint8_t> data, int level, std::vector<uint8_t>& output);
bool InflateStream(std::span<const uint8_t> data, size_t maxOutput, std::vector<uint8_t>& output);

// The value an encrypted table's header holds to test passwords: the password
// digest enciphered under the password's own key schedule.
TDigest PasswordCheckValue(TDataEngine& engine, const TDigest& passwordDigest, TCryptoContext& schedule);
// True when deciphering the check value under the schedule gives the digest.
bool PasswordMatches(TDataEngine& engine, const TDigest& checkValue, const TDigest& passwordDigest,
                     TCryptoContext& schedule);

}  // namespace zarnik
