// The engine's cipher and compression calls: the application's hooks when
// set, else Blowfish-CBC from Nettle and zlib.
#include "engine/files/crypto.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/core/data_engine.h"

namespace zarnik {

namespace {

constexpr size_t kOutputGranule = 256;

size_t RoundUp(size_t value, size_t granule) {
  return (value + granule - 1) / granule * granule;
}

void XorBlock(uint8_t* target, const uint8_t* with) {
  for (size_t i = 0; i < kCipherBlockSize; ++i) target[i] ^= with[i];
}

// Ends a zlib stream however the call that owns it ends.
class TZStreamGuard {
 public:
  TZStreamGuard(z_stream& stream, int (*end)(z_streamp)) : stream_(stream), end_(end) {}
  ~TZStreamGuard() { end_(&stream_); }
  TZStreamGuard(const TZStreamGuard&) = delete;
  TZStreamGuard& operator=(const TZStreamGuard&) = delete;

 private:
  z_stream& stream_;
  int (*end_)(z_streamp);
};

// zlib counts in 32 bits: hands it the next piece of input once it has used
// the last one. `handed` counts the bytes given so far.
void FeedInput(z_stream& stream, std::span<const uint8_t> data, size_t& handed) {
  if (stream.avail_in != 0 || handed == data.size()) return;
  size_t piece = std::min<size_t>(data.size() - handed, UINT_MAX);
  stream.next_in = const_cast<Bytef*>(data.data() + handed);
  stream.avail_in = static_cast<uInt>(piece);
  handed += piece;
}

// Points zlib at the free part of the output, from `produced` on.
void OfferOutput(z_stream& stream, std::vector<uint8_t>& output, size_t produced) {
  stream.next_out = output.data() + produced;
  stream.avail_out = static_cast<uInt>(std::min<size_t>(output.size() - produced, UINT_MAX));
}

// Doubles the output, but never past `limit`; reserves exactly what it needs
// so that no allocation exceeds the limit either.
void GrowOutput(std::vector<uint8_t>& output, size_t limit) {
  size_t size = std::min(std::max(output.size() * 2, kOutputGranule), limit);
  output.reserve(size);
  output.resize(size);
}

TKeySchedule& BuiltInSchedule(TDataEngine& engine, TCryptoContext& context) {
  // A context made by a crypto-initialisation hook holds no Blowfish schedule:
  // its blocks can only be handled by the hooks that know its format.
  if (!context.schedule) engine.RaiseError(ZARNIK_INVALIDPASSWORD);
  return *context.schedule;
}

// Runs one compression call; a refusal or any exception becomes `failure`,
// and the partial output goes with it.
template <typename Call>
std::vector<uint8_t> RunCodec(TDataEngine& engine, TErrorCode failure, Call call) {
  std::vector<uint8_t> output;
  bool done = false;
  try {
    done = call(output);
  } catch (...) {
  }
  if (!done) engine.RaiseError(failure);
  return output;
}

}  // namespace

std::unique_ptr<TKeySchedule> BlowfishSchedule(const uint8_t* key, size_t keyLength) {
  auto schedule = std::make_unique<TKeySchedule>();
  std::memset(schedule->initialVector, 0, sizeof schedule->initialVector);
  std::memset(schedule->chainingValue, 0, sizeof schedule->chainingValue);
  // The key bytes are taken cyclically; a weak key is still a usable key.
  blowfish_set_key(&schedule->cipher, keyLength, key);
  return schedule;
}

void BlowfishEncryptBlock(TKeySchedule& schedule, uint8_t* block) {
  XorBlock(block, schedule.chainingValue);
  blowfish_encrypt(&schedule.cipher, kCipherBlockSize, block, block);
  std::memcpy(schedule.chainingValue, block, kCipherBlockSize);
}

void BlowfishDecryptBlock(TKeySchedule& schedule, uint8_t* block) {
  uint8_t cipherText[kCipherBlockSize];
  std::memcpy(cipherText, block, kCipherBlockSize);
  blowfish_decrypt(&schedule.cipher, kCipherBlockSize, block, block);
  XorBlock(block, schedule.chainingValue);
  std::memcpy(schedule.chainingValue, cipherText, kCipherBlockSize);
}

bool DeflateStream(std::span<const uint8_t> data, int level, std::vector<uint8_t>& output) {
  z_stream stream{};
  if (deflateInit(&stream, level) != Z_OK) return false;
  TZStreamGuard guard(stream, deflateEnd);
  output.assign(RoundUp(data.size() + data.size() / 10 + 12, kOutputGranule), 0);
  size_t handed = 0;
  size_t produced = 0;
  for (;;) {
    if (produced == output.size()) GrowOutput(output, SIZE_MAX);
    FeedInput(stream, data, handed);
    OfferOutput(stream, output, produced);
    int flush = handed == data.size() ? Z_FINISH : Z_NO_FLUSH;
    int result = deflate(&stream, flush);
    produced = stream.next_out - output.data();
    if (result == Z_STREAM_END) break;
    if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_out == 0)) return false;
  }
  output.resize(produced);
  return true;
}

bool InflateStream(std::span<const uint8_t> data, size_t maxOutput, std::vector<uint8_t>& output) {
  std::vector<uint8_t>().swap(output);
  if (data.empty()) return false;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  TZStreamGuard guard(stream, inflateEnd);
  size_t initial = std::min(RoundUp(data.size(), kOutputGranule), maxOutput);
  output.reserve(initial);
  output.resize(initial);
  size_t handed = 0;
  size_t produced = 0;
  uint8_t probe = 0;
  for (;;) {
    if (produced == output.size() && output.size() < maxOutput) GrowOutput(output, maxOutput);
    // At the limit, a one-byte probe tells whether the stream holds more.
    bool atLimit = produced == output.size();
    FeedInput(stream, data, handed);
    if (atLimit) {
      stream.next_out = &probe;
      stream.avail_out = 1;
    } else {
      OfferOutput(stream, output, produced);
    }
    int result = inflate(&stream, Z_NO_FLUSH);
    if (atLimit && stream.avail_out == 0) return false;
    if (!atLimit) produced = stream.next_out - output.data();
    if (result == Z_STREAM_END) break;
    if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_out == 0)) return false;
  }
  output.resize(produced);
  return true;
}

TDigest PasswordCheckValue(TDataEngine& engine, const TDigest& passwordDigest, TCryptoContext& schedule) {
  TDigest checkValue = passwordDigest;
  engine.EncryptBuffer(schedule, checkValue.data(), checkValue.size());
  return checkValue;
}

bool PasswordMatches(TDataEngine& engine, const TDigest& checkValue, const TDigest& passwordDigest,
                     TCryptoContext& schedule) {
  TDigest plain = checkValue;
  engine.DecryptBuffer(schedule, plain.data(), plain.size());
  return plain == passwordDigest;
}

// --- TDataEngine's cipher and compression calls

TCryptoContext TDataEngine::CryptoInit(const uint8_t* key, size_t keyLength) {
  TCryptoContext context;
  if (Hooks.cryptoInit) {
    context.custom = Hooks.cryptoInit(key, keyLength);
    return context;
  }
  if (keyLength == 0) RaiseError(ZARNIK_INVALIDPASSWORD);
  context.schedule = BlowfishSchedule(key, keyLength);
  return context;
}

void TDataEngine::EncryptBlock(TCryptoContext& context, uint8_t* block) {
  if (Hooks.encryptBlock)
    Hooks.encryptBlock(context, block);
  else
    BlowfishEncryptBlock(BuiltInSchedule(*this, context), block);
}

void TDataEngine::DecryptBlock(TCryptoContext& context, uint8_t* block) {
  if (Hooks.decryptBlock)
    Hooks.decryptBlock(context, block);
  else
    BlowfishDecryptBlock(BuiltInSchedule(*this, context), block);
}

void TDataEngine::CryptoReset(TCryptoContext& context) {
  if (Hooks.cryptoReset) {
    Hooks.cryptoReset(context);
    return;
  }
  TKeySchedule& schedule = BuiltInSchedule(*this, context);
  std::memcpy(schedule.chainingValue, schedule.initialVector, kCipherBlockSize);
}

void TDataEngine::CipherBlocks(TCryptoContext& context, uint8_t* buffer, size_t length, bool encrypt) {
  const auto& hook = encrypt ? Hooks.encryptBlock : Hooks.decryptBlock;
  if (hook) {
    for (size_t offset = 0; offset + kCipherBlockSize <= length; offset += kCipherBlockSize)
      hook(context, buffer + offset);
    return;
  }
  TKeySchedule& schedule = BuiltInSchedule(*this, context);
  auto step = encrypt ? BlowfishEncryptBlock : BlowfishDecryptBlock;
  for (size_t offset = 0; offset + kCipherBlockSize <= length; offset += kCipherBlockSize)
    step(schedule, buffer + offset);
}

void TDataEngine::CipherBuffer(TCryptoContext& context, uint8_t* buffer, size_t length, bool encrypt) {
  try {
    CipherBlocks(context, buffer, length, encrypt);
  } catch (...) {
    // The chain restarts for the next buffer whatever ended this one; the
    // first error is the one reported.
    try {
      CryptoReset(context);
    } catch (...) {
    }
    throw;
  }
  CryptoReset(context);
}

void TDataEngine::EncryptBuffer(TCryptoContext& context, uint8_t* buffer, size_t length) {
  CipherBuffer(context, buffer, length, true);
}

void TDataEngine::DecryptBuffer(TCryptoContext& context, uint8_t* buffer, size_t length) {
  CipherBuffer(context, buffer, length, false);
}

std::vector<uint8_t> TDataEngine::Compress(const uint8_t* data, size_t length, int level) {
  return RunCodec(*this, ZARNIK_COMPRESS, [&](std::vector<uint8_t>& output) {
    if (!Hooks.compress) return DeflateStream({data, length}, level, output);
    output = Hooks.compress(data, length, level);
    return true;
  });
}

std::vector<uint8_t> TDataEngine::Decompress(const uint8_t* data, size_t length) {
  return RunCodec(*this, ZARNIK_UNCOMPRESS, [&](std::vector<uint8_t>& output) {
    if (!Hooks.decompress) return InflateStream({data, length}, kMaxDecompressedLength, output);
    output = Hooks.decompress(data, length);
    return true;
  });
}

}  // namespace zarnik
