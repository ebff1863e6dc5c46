// A stand-in table and a minimal buffered file for tests of the buffer cache:
// the file has a 512-byte header holding its buffer count (uint32 at offset 0)
// and change counter (int32 at offset 4), then fixed-size buffers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/core/data_engine.h"
#include "engine/files/buffered_file.h"

namespace zarnik::testing {

class TestTable : public TBufferedFileTable {
 public:
  explicit TestTable(TDataEngine& engine) : engine_(engine) {}

  std::string TableName() override { return "TestTable"; }
  bool Exclusive() override { return exclusive; }
  bool TransactionActive() override { return transaction; }
  bool WrittenSinceOpen() override { return written; }
  void MarkWrittenSinceOpen() override { written = true; }
  bool StrictChangeDetection(TDataCursor*) override { return strict; }
  bool ForceBufferFlush() override { return forceFlush; }
  bool RefreshIfChanged(TDataCursor*) override {
    ++refreshChecks;
    return onRefresh ? onRefresh() : false;
  }
  bool Encrypted() override { return key.schedule != nullptr; }
  void EncryptTableBuffer(uint8_t* buffer, size_t length) override {
    engine_.EncryptBuffer(key, buffer, length);
  }
  void DecryptTableBuffer(uint8_t* buffer, size_t length) override {
    engine_.DecryptBuffer(key, buffer, length);
  }
  void SetPassword(const std::string& password) {
    TDigest digest = MD5Digest(password);
    key = engine_.CryptoInit(digest.data(), digest.size());
  }

  bool exclusive = true;
  bool transaction = false;
  bool written = false;
  bool strict = true;
  bool forceFlush = false;
  int refreshChecks = 0;
  std::function<bool()> onRefresh;
  TCryptoContext key;

 private:
  TDataEngine& engine_;
};

class TestBufferedFile : public TBufferedFile {
 public:
  static constexpr int64_t kHeaderSize = 512;

  TestBufferedFile(TDataEngine& engine, TestTable& table) : TBufferedFile(engine, table) {}

  std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TBuffer>(*this); }
  [[noreturn]] void RaiseBuffersCorrupt() override { Engine().RaiseError(ZARNIK_FILECORRUPT, GetName()); }
  void CheckCanAppend() override {}
  void BufferAppended() override {
    ++count;
    MarkHeaderChanged();
  }
  int32_t GetMaxBufferCount() override { return maxBuffers; }
  int32_t GetReadAheadLimit() override { return std::max(1, maxBuffers / 2); }
  int32_t GetDiskBufferSize() override { return bufferSize; }
  int32_t GetBufferSize() override { return bufferSize; }
  int64_t GetDataStart() override { return kHeaderSize; }
  uint32_t GetBufferCount() override { return count; }
  int32_t GetChangeCount() override { return changeCount; }
  int32_t GetReadAheadCount(TDataCursor*, int) override { return readAhead; }
  void ReadHeader() override {
    uint8_t header[kHeaderSize];
    TFileLockGuard lock(*this);
    Seek(kSeekFromStart, 0);
    ReadBuffer(header, kHeaderSize, false);
    count = Get32(header);
    changeCount = static_cast<int32_t>(Get32(header + 4));
  }
  bool WriteHeader(bool force) override {
    if (!force && !headerChanged) return false;
    uint8_t header[kHeaderSize] = {};
    Put32(header, count);
    Put32(header + 4, static_cast<uint32_t>(changeCount));
    TFileLockGuard lock(*this);
    Seek(kSeekFromStart, 0);
    WriteBuffer(header, kHeaderSize);
    headerChanged = false;
    ++headerWrites;
    return true;
  }
  void MarkHeaderChanged() override {
    ++changeCount;
    headerChanged = true;
  }
  void CheckHeader() override {}
  bool VerifyHeader(TDataCursor*, bool) override { return true; }
  bool HeaderChanged() override { return false; }

  static uint32_t Get32(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  }
  static void Put32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  }

  int32_t bufferSize = 16;
  int32_t maxBuffers = 8;
  int32_t readAhead = 1;
  uint32_t count = 0;
  int32_t changeCount = 0;
  bool headerChanged = false;
  int headerWrites = 0;
};

}  // namespace zarnik::testing
