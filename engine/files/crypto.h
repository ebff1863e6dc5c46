// Block encryption and compression: Blowfish in CBC mode keyed with the MD5
// digest of a table password, each buffer enciphered on its own from an
// all-zero vector, and zlib streams for BLOB contents and file copies. The
// application may replace any of them through the engine's hooks.
#pragma once

#include <nettle/blowfish.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zarnik {

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

// Replacement hooks. A set hook replaces the built-in behaviour entirely.
struct TCryptoHooks {
  std::function<std::vector<uint8_t>(const uint8_t* key, size_t keyLength)> cryptoInit;
  std::function<void(std::vector<uint8_t>& context, uint8_t* block)> encryptBlock;
  std::function<void(std::vector<uint8_t>& context, uint8_t* block)> decryptBlock;
  std::function<void(std::vector<uint8_t>& context)> cryptoReset;
  std::function<std::vector<uint8_t>(const uint8_t* data, size_t length, int level)> compress;
  std::function<std::vector<uint8_t>(const uint8_t* data, size_t length)> decompress;
};

}  // namespace zarnik
