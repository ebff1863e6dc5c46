// Throughput of the engine's digest, cipher and compression calls next to the
// raw library calls they wrap, in MB/s. Cipher and digest run over 4 KB
// buffers (a record or page), compression over 64 KB chunks (a file copy
// chunk) of text-like data.
#include <nettle/blowfish.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/data_engine.h"

namespace {

using zarnik::TDataEngine;
using Bytes = std::vector<uint8_t>;

constexpr size_t kCipherBuffer = 4096;
constexpr size_t kChunk = 65536;
constexpr double kSecondsPerCase = 0.5;

Bytes SampleData(size_t length) {
  std::mt19937 random(12345);
  static const char* const kWords[] = {"Field1 ",     "TheData ",   "12345 ",
                                       "2026-12-11 ", "memo text ", "record "};
  Bytes data;
  data.reserve(length);
  while (data.size() < length) {
    std::string_view word = kWords[random() % std::size(kWords)];
    data.insert(data.end(), word.begin(), word.end());
    if (random() % 8 == 0) data.push_back(static_cast<uint8_t>(random()));
  }
  data.resize(length);
  return data;
}

// Runs `pass` (which handles `bytesPerPass` bytes) until enough time has gone
// by and prints the rate.
void Measure(const char* name, size_t bytesPerPass, const std::function<void()>& pass) {
  using Clock = std::chrono::steady_clock;
  size_t passes = 0;
  Clock::time_point start = Clock::now();
  double seconds = 0;
  do {
    pass();
    ++passes;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < kSecondsPerCase);
  std::printf("%-40s %10.1f MB/s\n", name, passes * bytesPerPass / seconds / 1e6);
}

void BenchDigest(const Bytes& data) {
  std::string_view text(reinterpret_cast<const char*>(data.data()), kCipherBuffer);
  volatile uint8_t sink = 0;
  Measure("MD5 4 KB, MD5Digest", kCipherBuffer, [&] { sink = sink + zarnik::MD5Digest(text)[0]; });
  Measure("MD5 4 KB, raw nettle", kCipherBuffer, [&] {
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, kCipherBuffer, data.data());
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&ctx, sizeof digest, digest);
    sink = sink + digest[0];
  });
}

void BenchCipher(TDataEngine& engine, const Bytes& data) {
  zarnik::TDigest key = zarnik::MD5Digest("Secret1");
  zarnik::TCryptoContext context = engine.CryptoInit(key.data(), key.size());
  Bytes buffer(data.begin(), data.begin() + kCipherBuffer);
  Measure("Blowfish-CBC 4 KB, EncryptBuffer", kCipherBuffer,
          [&] { engine.EncryptBuffer(context, buffer.data(), buffer.size()); });
  Measure("Blowfish-CBC 4 KB, DecryptBuffer", kCipherBuffer,
          [&] { engine.DecryptBuffer(context, buffer.data(), buffer.size()); });

  blowfish_ctx raw;
  blowfish_set_key(&raw, key.size(), key.data());
  Measure("Blowfish-CBC 4 KB, raw nettle cbc_encrypt", kCipherBuffer, [&] {
    uint8_t iv[BLOWFISH_BLOCK_SIZE] = {};
    cbc_encrypt(&raw, reinterpret_cast<nettle_cipher_func*>(blowfish_encrypt), BLOWFISH_BLOCK_SIZE, iv,
                buffer.size(), buffer.data(), buffer.data());
  });
  Measure("Blowfish-CBC 4 KB, raw nettle cbc_decrypt", kCipherBuffer, [&] {
    uint8_t iv[BLOWFISH_BLOCK_SIZE] = {};
    cbc_decrypt(&raw, reinterpret_cast<nettle_cipher_func*>(blowfish_decrypt), BLOWFISH_BLOCK_SIZE, iv,
                buffer.size(), buffer.data(), buffer.data());
  });
}

void BenchCompression(TDataEngine& engine, const Bytes& data) {
  size_t chunks = data.size() / kChunk;
  for (int level : {1, 6}) {
    std::string ours = "compress level " + std::to_string(level) + ", Compress";
    std::string raw = "compress level " + std::to_string(level) + ", raw compress2";
    Bytes packed;
    Measure(ours.c_str(), data.size(), [&] {
      for (size_t i = 0; i < chunks; ++i) packed = engine.Compress(data.data() + i * kChunk, kChunk, level);
    });
    Measure(raw.c_str(), data.size(), [&] {
      for (size_t i = 0; i < chunks; ++i) {
        uLongf length = compressBound(kChunk);
        packed.resize(length);
        compress2(packed.data(), &length, data.data() + i * kChunk, kChunk, level);
      }
    });
  }
  Bytes packed = engine.Compress(data.data(), kChunk, 6);
  std::printf("  (64 KB chunk at level 6: %zu bytes)\n", packed.size());
  Bytes out;
  Measure("decompress, Decompress", kChunk, [&] { out = engine.Decompress(packed.data(), packed.size()); });
  Measure("decompress, raw uncompress", kChunk, [&] {
    uLongf length = kChunk;
    out.resize(length);
    uncompress(out.data(), &length, packed.data(), packed.size());
  });
}

}  // namespace

int main() {
  TDataEngine engine;
  Bytes data = SampleData(16 * kChunk);
  BenchDigest(data);
  BenchCipher(engine, data);
  BenchCompression(engine, data);
  return 0;
}
