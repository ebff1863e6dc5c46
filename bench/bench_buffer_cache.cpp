// Sequential scan of 1,000,000 records of 100 bytes through the buffer cache,
// in physical order with read-ahead, with the default data cache settings and
// with a 64 MB cache, next to the same bytes read with plain 64 KB reads; and
// as many records fetched at random numbers, one physical read per miss.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/files/buffered_file.h"

using namespace zarnik;

namespace {

constexpr uint32_t kRecords = 1000000;
constexpr int32_t kRecordSize = 100;
constexpr int64_t kDataStart = 512 + 768;
constexpr int32_t kRecordObjectSize = 36;

class ScanTable : public TBufferedFileTable {
 public:
  std::string TableName() override { return "bench"; }
  bool Exclusive() override { return true; }
  bool TransactionActive() override { return false; }
  bool WrittenSinceOpen() override { return false; }
  void MarkWrittenSinceOpen() override {}
  bool StrictChangeDetection(TDataCursor*) override { return true; }
  bool ForceBufferFlush() override { return false; }
  bool RefreshIfChanged(TDataCursor*) override { return false; }
  bool Encrypted() override { return false; }
  void EncryptTableBuffer(uint8_t*, size_t) override {}
  void DecryptTableBuffer(uint8_t*, size_t) override {}
};

// A data file of fixed records; read-ahead as far as the cache allows.
class ScanFile : public TBufferedFile {
 public:
  ScanFile(TDataEngine& engine, TBufferedFileTable& table) : TBufferedFile(engine, table) {}
  std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TBuffer>(*this); }
  [[noreturn]] void RaiseBuffersCorrupt() override { Engine().RaiseError(ZARNIK_FILECORRUPT, GetName()); }
  void CheckCanAppend() override {}
  void BufferAppended() override {}
  int32_t GetMaxBufferCount() override {
    return CacheLimitFor(kRecordSize, kRecordObjectSize, Engine().Settings.MaxTableDataBufferSize,
                         Engine().Settings.MaxTableDataBufferCount);
  }
  int32_t GetReadAheadLimit() override { return std::max(1, GetMaxBufferCount() / 2); }
  int32_t GetDiskBufferSize() override { return kRecordSize; }
  int32_t GetBufferSize() override { return kRecordSize; }
  int64_t GetDataStart() override { return kDataStart; }
  uint32_t GetBufferCount() override { return kRecords; }
  int32_t GetChangeCount() override { return 0; }
  int32_t GetReadAheadCount(TDataCursor*, int) override { return ReadAheadLimit(); }
  void ReadHeader() override {}
  bool WriteHeader(bool) override { return false; }
  void MarkHeaderChanged() override {}
  void CheckHeader() override {}
  bool VerifyHeader(TDataCursor*, bool) override { return true; }
  bool HeaderChanged() override { return false; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Report(const char* what, double seconds) {
  double megabytes = double(kRecords) * kRecordSize / 1e6;
  std::printf("%-34s %8.3f s %12.0f records/s %9.1f MB/s\n", what, seconds, kRecords / seconds,
              megabytes / seconds);
}

// Records in physical order with read-ahead, or at random numbers without.
void Scan(const std::string& name, int32_t maxBytes, int32_t maxCount, bool random, const char* what) {
  TDataEngine engine;
  engine.Settings.MaxTableDataBufferSize = maxBytes;
  engine.Settings.MaxTableDataBufferCount = maxCount;
  ScanTable table;
  ScanFile file(engine, table);
  file.SetFileName(name);
  file.exclusive = true;
  file.OpenFile();
  file.ResetBuffers();
  std::mt19937 numbers(7);
  uint64_t sum = 0;
  auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 1; i <= kRecords; ++i) {
    bool continueFlag;
    uint32_t n = random ? numbers() % kRecords + 1 : i;
    TBufferPin pin(
        file.GetBuffer(nullptr, 0, n, random ? kDirectionNone : kDirectionForward, !random, continueFlag));
    sum += pin->data[0];
  }
  double seconds = Seconds(start);
  Report(what, seconds);
  std::printf("  cache limit %d, physical reads %d, checksum %llu\n", file.CacheLimit(), file.PhysicalReads(),
              static_cast<unsigned long long>(sum));
}

}  // namespace

int main() {
  char pattern[] = "/tmp/zarnik_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string folder = pattern;
  std::string name = folder + "/scan.dat";
  {
    std::vector<uint8_t> bytes(kDataStart + int64_t{kRecords} * kRecordSize);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31);
    FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
    std::fclose(out);
  }
  {
    auto start = std::chrono::steady_clock::now();
    int fd = open(name.c_str(), O_RDONLY);
    std::vector<char> chunk(65536);
    lseek(fd, kDataStart, SEEK_SET);
    while (read(fd, chunk.data(), chunk.size()) > 0) {
    }
    close(fd);
    Report("plain read() of 64 KB", Seconds(start));
  }
  Scan(name, 32768, 8192, false, "GetBuffer, default cache");
  Scan(name, 64 << 20, 1 << 30, false, "GetBuffer, 64 MB cache");
  Scan(name, 32768, 8192, true, "random GetBuffer, default cache");
  Scan(name, 64 << 20, 1 << 30, true, "random GetBuffer, 64 MB cache");
  std::filesystem::remove_all(folder);
  return 0;
}
