#include "engine/files/file_copy.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/files/engine_file.h"

namespace zarnik {

namespace {

const TDigest& Marker() {
  static const TDigest marker = MD5Digest("ZARNIK_COMP");
  return marker;
}

// A stored chunk never exceeds zlib's bound for a full chunk: anything longer
// (or negative) is damage.
int64_t MaxStoredChunk() {
  return static_cast<int64_t>(compressBound(kCopyChunkSize));
}

void PutInt32(uint8_t* bytes, int32_t value) {
  auto u = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(u >> (8 * i));
}

int32_t GetInt32(const uint8_t* bytes) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return static_cast<int32_t>(u);
}

class TReporter {
 public:
  TReporter(const TCopyReporting& reporting, std::string name)
      : reporting_(reporting), name_(std::move(name)) {}

  void Report(int percent) {
    if (reporting_.progress) reporting_.progress(reporting_.userData, name_, percent);
    last_ = percent;
  }
  void Advance(int64_t done, int64_t total) {
    if (total <= 0) return;
    int percent =
        static_cast<int>(std::min(100.0, static_cast<double>(done) / static_cast<double>(total) * 100.0));
    if (percent >= last_ + reporting_.step) Report(percent);
  }

 private:
  const TCopyReporting& reporting_;
  std::string name_;
  int last_ = 0;
};

void WriteChunk(TEngineFile& target, const uint8_t* bytes, int32_t count, int level) {
  if (level <= 0) {
    target.WriteBuffer(bytes, count);
    return;
  }
  std::vector<uint8_t> packed = target.Engine().Compress(bytes, static_cast<size_t>(count), level);
  // An empty chunk would read back as the end of the copy.
  if (packed.empty() || static_cast<int64_t>(packed.size()) > MaxStoredChunk()) target.Raise(ZARNIK_COMPRESS);
  uint8_t length[4];
  PutInt32(length, static_cast<int32_t>(packed.size()));
  target.WriteBuffer(length, 4);
  target.WriteBuffer(packed.data(), static_cast<int32_t>(packed.size()));
}

// One stored chunk inflated; never more than a chunk's worth of output.
std::vector<uint8_t> InflateChunk(TEngineFile& named, const std::vector<uint8_t>& stored) {
  TDataEngine& engine = named.Engine();
  std::vector<uint8_t> output;
  if (engine.Hooks.decompress) {
    output = engine.Decompress(stored.data(), stored.size());
    if (output.size() > static_cast<size_t>(kCopyChunkSize)) named.Raise(ZARNIK_UNCOMPRESS);
  } else if (!InflateStream(stored, kCopyChunkSize, output)) {
    named.Raise(ZARNIK_UNCOMPRESS);
  }
  return output;
}

// Reads the preamble at source's position; true for a compressed copy. A
// source without the marker is back where it started.
bool ReadPreamble(TEngineFile& source) {
  int64_t start = source.Seek(kSeekFromCurrent, 0);
  uint8_t marker[kCopyMarkerSize];
  int32_t got = source.ReadBuffer(marker, kCopyMarkerSize, true);
  if (got == static_cast<int32_t>(kCopyMarkerSize) &&
      std::memcmp(marker, Marker().data(), kCopyMarkerSize) == 0) {
    uint8_t level = 0;
    return source.ReadBuffer(&level, 1, true) == 1 && level != 0;
  }
  if (source.Seek(kSeekFromStart, start) != start) source.Raise(ZARNIK_READERR);
  return false;
}

// The next stored chunk, or an empty one at the end of the copy.
std::vector<uint8_t> ReadStoredChunk(TEngineFile& source) {
  uint8_t lengthBytes[4];
  int32_t got = source.ReadBuffer(lengthBytes, 4, true);
  if (got == 0) return {};
  if (got < 4) source.Raise(ZARNIK_READERR);  // cut inside a length
  int32_t length = GetInt32(lengthBytes);
  if (length == 0) return {};
  if (length < 0 || length > MaxStoredChunk()) source.Raise(ZARNIK_UNCOMPRESS);
  std::vector<uint8_t> stored(static_cast<size_t>(length));
  source.ReadBuffer(stored.data(), length, false);
  return stored;
}

}  // namespace

void WriteFileCopy(TEngineFile& source, TEngineFile& target, int level, const TCopyReporting& reporting) {
  TReporter reporter(reporting, source.FileName());
  reporter.Report(0);
  if (level > 0) {
    uint8_t preamble[kCopyPreambleSize];
    std::memcpy(preamble, Marker().data(), kCopyMarkerSize);
    preamble[kCopyMarkerSize] = static_cast<uint8_t>(level);
    target.WriteBuffer(preamble, kCopyPreambleSize);
  }
  int64_t size = source.GetFileSize();
  if (source.Seek(kSeekFromStart, 0) != 0) source.Raise(ZARNIK_READERR);
  std::vector<uint8_t> chunk(kCopyChunkSize);
  int64_t done = 0;
  for (;;) {
    int32_t got = source.ReadBuffer(chunk.data(), kCopyChunkSize, true);
    if (got > 0) {
      WriteChunk(target, chunk.data(), got, level);
      done += got;
      reporter.Advance(done, size);
    }
    if (got < kCopyChunkSize) break;
  }
  reporter.Report(100);
}

void ReadFileCopy(TEngineFile& source, TEngineFile* destination, int64_t size, TEngineFile& named,
                  const TCopyReporting& reporting) {
  TReporter reporter(reporting, named.FileName());
  int64_t start = source.Seek(kSeekFromCurrent, 0);
  bool compressed = ReadPreamble(source);
  int64_t total = size >= 0 ? size : source.GetFileSize() - (compressed ? kCopyPreambleSize : start);
  if (destination != nullptr && destination->Seek(kSeekFromStart, 0) != 0)
    destination->Raise(ZARNIK_WRITEERR);
  int64_t produced = 0;
  int64_t consumed = 0;
  std::vector<uint8_t> chunk;
  for (;;) {
    int64_t wanted = size >= 0 ? size - produced : kCopyChunkSize;
    if (wanted <= 0) break;
    if (compressed) {
      std::vector<uint8_t> stored = ReadStoredChunk(source);
      if (stored.empty()) break;
      consumed += static_cast<int64_t>(stored.size()) + 4;
      chunk = InflateChunk(source, stored);
      // A copy says how much it holds: nothing beyond that is written.
      if (static_cast<int64_t>(chunk.size()) > wanted) chunk.resize(static_cast<size_t>(wanted));
    } else {
      chunk.resize(static_cast<size_t>(std::min<int64_t>(wanted, kCopyChunkSize)));
      chunk.resize(
          static_cast<size_t>(source.ReadBuffer(chunk.data(), static_cast<int32_t>(chunk.size()), true)));
      consumed += static_cast<int64_t>(chunk.size());
    }
    if (destination != nullptr && !chunk.empty())
      destination->WriteBuffer(chunk.data(), static_cast<int32_t>(chunk.size()));
    produced += static_cast<int64_t>(chunk.size());
    reporter.Advance(size >= 0 ? produced : consumed, total);
    if (!compressed && chunk.size() < static_cast<size_t>(kCopyChunkSize) && size < 0) break;
    if (!compressed && chunk.empty()) break;
  }
  // A copy that ends before the size it was said to hold is damaged.
  if (size >= 0 && produced < size) source.Raise(ZARNIK_READERR);
  // Whatever lay beyond the restored length in the destination is not part of it.
  if (destination != nullptr) destination->WriteBuffer(nullptr, 0);
  reporter.Report(100);
}

}  // namespace zarnik
