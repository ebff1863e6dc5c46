// TBufferedFile: a table file whose contents after a fixed area (header and
// definitions) are equal-sized numbered buffers (records, index pages, BLOB
// blocks), with the cache of those buffers that all cursors of the table share.
// TBuffer is one cached buffer; the concrete files derive their own.
//
// On disk: buffer n (1-based) lies at GetDataStart() + (n - 1) * GetDiskBufferSize().
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/files/buffer_arena.h"
#include "engine/files/buffer_index.h"
#include "engine/files/buffered_file_table.h"
#include "engine/files/engine_file.h"
#include "engine/files/read_window.h"

namespace zarnik {

class TBufferedFile;
class TDataCursor;

// Directions of GetBuffer.
constexpr int kDirectionNone = 0;
constexpr int kDirectionForward = 1;
constexpr int kDirectionBackward = 2;

class TBuffer {
 public:
  // Takes GetBufferSize() bytes, zero-filled, from the file's arena.
  explicit TBuffer(TBufferedFile& owner);
  // Gives the bytes back to the file's arena.
  virtual ~TBuffer();
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  // Copies dirty, number and min(size, other's size) data bytes.
  virtual void Assign(const TBuffer& other);
  // Copies size bytes in and marks the buffer dirty.
  virtual void SetData(const uint8_t* source);
  virtual void GetData(uint8_t* dest) const;
  // Zero-fills the data and clears dirty.
  virtual void Clear(int32_t initParam);
  // Takes the contents from the on-disk image (deciphered in place first when
  // the table is encrypted) and clears dirty.
  virtual void LoadFromDisk(uint8_t* raw);
  // Writes the on-disk image (enciphered after the copy when the table is
  // encrypted). Clearing dirty is the caller's, once the image reached the file.
  virtual void SaveToDisk(uint8_t* raw);
  virtual bool SameAs(const TBuffer& other) const;
  virtual bool SameData(const uint8_t* bytes) const;

  TBufferedFile& file;
  std::span<uint8_t> data;  // owned by the file's arena; its size is the allocated size
  uint32_t number = 0;
  int32_t size = 0;  // bytes in use
  int16_t pinCount = 0;
  bool dirty = false;

 protected:
  // For buffers that keep their contents in a form of their own: no byte area.
  struct TWithoutBytes {};
  TBuffer(TBufferedFile& owner, TWithoutBytes);

  // The table's cipher over one disk buffer image, when the table is encrypted.
  void DecipherImage(uint8_t* raw);
  void EncipherImage(uint8_t* raw);

 private:
  friend class TBufferedFile;
  bool retired_ = false;         // dropped while pinned: freed by its last release
  TBuffer* next_ = nullptr;      // towards the least recently used end
  TBuffer* previous_ = nullptr;  // towards the most recently used end
};

class TBufferedFile : public TEngineFile {
 public:
  TBufferedFile(TDataEngine& engine, TBufferedFileTable& table);
  ~TBufferedFile() override;

  // --- engine file operations
  // The table's name.
  std::string GetName() override;
  // Nothing when open already. The owner calls ResetBuffers once the header
  // is read (the cache limit may depend on it).
  void OpenFile() override;
  // Drops every buffer, dirty or not, then closes.
  void CloseFile() override;
  void CreateFile() override;
  // Any direct write (headers, cutting the file) also forgets the read window.
  void WriteBuffer(const void* buffer, int32_t count) override;

  // --- what each concrete file implements, in slot order
  virtual std::unique_ptr<TBuffer> NewBuffer() = 0;
  [[noreturn]] virtual void RaiseBuffersCorrupt() = 0;
  virtual void CheckCanAppend() = 0;
  virtual void BufferAppended() = 0;
  virtual int32_t GetMaxBufferCount() = 0;
  virtual int32_t GetReadAheadLimit() = 0;
  virtual int32_t GetDiskBufferSize() = 0;
  virtual int32_t GetBufferSize() = 0;
  virtual int64_t GetDataStart() = 0;
  virtual uint32_t GetBufferCount() = 0;
  virtual int32_t GetChangeCount() = 0;
  virtual int32_t GetRecentScanDepth() { return 4; }
  virtual int32_t GetCapacityStep() { return 64; }
  // How many buffers from number on are worth reading in one go.
  virtual int32_t GetReadAheadCount(TDataCursor* cursor, int direction) { return 1; }
  // Zeroes the statistics, sets the cache limit and the read-ahead limit.
  virtual void ResetBuffers();
  virtual void ReadHeader() = 0;
  // Writes the header when forced or changed; returns whether it wrote.
  virtual bool WriteHeader(bool force) = 0;
  virtual void MarkHeaderChanged() = 0;
  // Cuts the file back to the data start (and drops the cached buffers).
  virtual void EmptyFile();
  virtual void CheckHeader() = 0;
  virtual bool VerifyHeader(TDataCursor* logCursor, bool verifyOnly) = 0;
  // Re-reads the header; true when its change counter moved.
  virtual bool HeaderChanged() = 0;
  // Writes the definitions area when forced or changed; returns whether it
  // wrote. Files without definitions keep this.
  virtual bool WriteDefinitions(bool force) { return false; }

  // The cache limit rule of the table files: maxBytes div (bufferSize +
  // objectSize) when the buffer size is not 0, else maxCount; then at most
  // maxCount and at least 1. objectSize is what one buffer object costs.
  static int32_t CacheLimitFor(int32_t bufferSize, int32_t objectSize, int32_t maxBytes, int32_t maxCount);

  // --- the cache
  // Buffer number, pinned. Number GetBufferCount() + 1 is appended without
  // reading. Returns null with continueFlag cleared when another user changed
  // the table (the caller restarts its operation).
  TBuffer* GetBuffer(TDataCursor* cursor, int32_t initParam, uint32_t number, int direction, bool readAhead,
                     bool& continueFlag);
  void ReleaseBuffer(TBuffer* buffer);
  // Writes the dirty unpinned buffers, one write per run of consecutive
  // numbers; returns whether anything was written. A dirty pinned buffer is
  // skipped when making room and corrupt otherwise.
  bool FlushBuffers(bool makeRoom);
  // Forgets every cached buffer, dirty or not.
  void DropBuffers();
  // Frees clean unpinned buffers down to GetMaxBufferCount().
  void TrimBuffers();
  int64_t GetDataEnd();

  TBufferedFileTable& Table() { return table_; }
  size_t CachedCount() const { return buffers_.size(); }
  int32_t CacheLimit() const { return capacity_; }
  int32_t ReadAheadLimit() const { return readAheadLimit_; }
  // Cached numbers from the most to the least recently used.
  std::vector<uint32_t> RecencyOrder() const;

  // Statistics.
  int32_t Hits() const { return hits_; }
  int32_t Reads() const { return reads_; }
  int32_t PhysicalReads() const { return physicalReads_; }
  int64_t BytesRead() const { return bytesRead_; }
  int32_t WriteRuns() const { return writeRuns_; }

 private:
  TBuffer* FindCached(uint32_t number);
  TBuffer* InsertSorted(std::unique_ptr<TBuffer> buffer);
  // A cleared buffer for number, not yet cached (InsertSorted caches it).
  std::unique_ptr<TBuffer> TakeSlot(int32_t initParam, uint32_t number);
  std::unique_ptr<TBuffer> CreateSlot(int32_t initParam, uint32_t number);
  TBuffer* FindVictim();
  std::unique_ptr<TBuffer> Extract(TBuffer* buffer);
  TBuffer* AppendBuffer(int32_t initParam, uint32_t number);
  TBuffer* ReadBuffers(int32_t initParam, uint32_t number, int32_t count, int direction);
  // Reads length bytes at readPosition_ into area, through the read window
  // when it serves; returns the bytes read.
  int32_t ReadArea(uint8_t* area, int32_t length);
  bool ReadThroughWindow(uint8_t* area, int32_t length);
  // One read of the disk at readPosition_, counted in the statistics.
  int32_t PhysicalRead(uint8_t* area, int32_t length, bool allowShort);
  void Distribute(uint8_t* area, int64_t first, int64_t got, int32_t initParam, uint32_t number,
                  int32_t count, int direction, TBuffer*& result);
  bool InsideRead(uint32_t number);
  class TWriteArea;
  void WriteRun(const std::vector<TBuffer*>& run, TWriteArea& scratch);
  // Byte offset of buffer number; raises the corruption error when it cannot be.
  int64_t BufferOffset(int64_t number);
  int32_t CheckedDiskBufferSize();

  void LinkFront(TBuffer* buffer);
  void Unlink(TBuffer* buffer);
  void MoveToFront(TBuffer* buffer);

  friend class TBuffer;

  TBufferedFileTable& table_;
  TBufferArena arena_;  // before the buffers: they give their bytes back to it
  int64_t readPosition_ = 0;
  int32_t readLength_ = 0;
  TReadWindow window_;  // used only while the table is open exclusively
  TBuffer* mostRecent_ = nullptr;
  TBuffer* leastRecent_ = nullptr;
  TBufferIndex buffers_;                           // sorted by number
  std::vector<std::unique_ptr<TBuffer>> retired_;  // dropped while pinned
  int32_t capacity_ = 0;
  int32_t hits_ = 0;
  int32_t reads_ = 0;
  int32_t physicalReads_ = 0;
  int64_t bytesRead_ = 0;
  int32_t writeRuns_ = 0;
  int32_t readAheadLimit_ = 0;
};

// Keeps a buffer pinned for one scope.
class TBufferPin {
 public:
  TBufferPin() = default;
  explicit TBufferPin(TBuffer* buffer) : buffer_(buffer) {}
  ~TBufferPin() { Release(); }
  TBufferPin(const TBufferPin&) = delete;
  TBufferPin& operator=(const TBufferPin&) = delete;

  TBuffer* get() const { return buffer_; }
  TBuffer* operator->() const { return buffer_; }
  explicit operator bool() const { return buffer_ != nullptr; }
  void Reset(TBuffer* buffer) {
    Release();
    buffer_ = buffer;
  }
  void Release();

 private:
  TBuffer* buffer_ = nullptr;
};

}  // namespace zarnik
