// Sequential scan of a data file of 1,000,000 records of 100 bytes through the
// buffer cache in physical order, with the default cache and with a 64 MB one,
// next to plain read() calls of 64 KB over the same file; and the record hash
// next to raw MD5 over the same bytes. The file is read warm (from the page
// cache) in every run.
#include <fcntl.h>
#include <nettle/md5.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/data/data_file.h"
#include "engine/data/record_rules.h"
#include "tests/support/test_table.h"

using namespace zarnik;

namespace {

constexpr uint32_t kRecords = 1000000;
constexpr uint16_t kRecordSize = 100;
constexpr size_t kChunk = 65536;

// A cursor walking the records in physical order asks for as many as the cache reads at once.
class ScanDataFile : public TDataFile {
 public:
  using TDataFile::TDataFile;
  int32_t GetReadAheadCount(TDataCursor*, int) override { return ReadAheadLimit(); }
};

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TTableDefinition BenchDefinition() {
  TFieldDefinition text;
  text.number = 1;
  text.name = "Text";
  text.dataType = kFieldString;
  text.size = 73;  // 25 + 1 + 74 = 100 bytes
  std::vector<TFieldDefinition> fields = {text};
  ValidateTableDefinition(fields, 0, false, "");
  TTableDefinition table;
  table.InitNew(MD5Digest(kDefaultSignature));
  table.SetFieldDefinitions(fields);
  table.header.recordSize = kRecordSize;
  table.header.nextRecordNumber = kRecords + 1;
  table.header.recordCount = kRecords;
  return table;
}

void WriteTable(const std::string& path, const TTableDefinition& table) {
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  std::vector<uint8_t> start(table.DataStart());
  table.EncodeHeader(std::span<uint8_t>(start).first(kDataHeaderSize));
  table.EncodeDefinitions(std::span<uint8_t>(start).subspan(kDataHeaderSize));
  ::write(fd, start.data(), start.size());
  std::vector<uint8_t> chunk(kRecordSize * 1000);
  for (uint32_t n = 0; n < kRecords; n += 1000) {
    for (uint32_t i = 0; i < 1000; ++i) {
      std::span<uint8_t> record(chunk.data() + i * kRecordSize, kRecordSize);
      SetRecordID(record, static_cast<int32_t>(n + i + 1));
      std::string text = "record " + std::to_string(n + i + 1);
      SetFieldValue(record, table.Fields()[0],
                    std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1));
    }
    ::write(fd, chunk.data(), chunk.size());
  }
  ::close(fd);
}

void Report(const char* what, double seconds, uint64_t records, uint64_t bytes) {
  std::printf("%-44s %8.3f s %12.0f records/s %9.1f MB/s\n", what, seconds, records / seconds, bytes / seconds / 1e6);
}

void ScanThroughCache(const std::string& path, const char* what, int32_t maxBytes, int32_t maxCount) {
  TDataEngine engine;
  engine.Settings.MaxTableDataBufferSize = maxBytes;
  engine.Settings.MaxTableDataBufferCount = maxCount;
  testing::TestTable table(engine);  // exclusive, no transaction, no cipher
  ScanDataFile file(engine, table);
  file.SetFileName(path);
  file.exclusive = true;
  file.OpenFile();
  auto start = std::chrono::steady_clock::now();
  uint64_t sum = 0;
  for (uint32_t n = 1; n <= file.GetBufferCount(); ++n) {
    TRecord* record = file.GetRecord(nullptr, n, kDirectionForward, true);
    sum += static_cast<uint32_t>(record->GetRecordID());
    file.ReleaseBuffer(record);
  }
  double seconds = Seconds(start);
  char label[128];
  std::snprintf(label, sizeof label, "%s (cache %d records)", what, file.CacheLimit());
  Report(label, seconds, kRecords, uint64_t{kRecords} * kRecordSize);
  if (sum != uint64_t{kRecords} * (kRecords + 1) / 2) std::printf("  records read back wrong\n");
  file.CloseFile();
}

void PlainRead(const std::string& path) {
  std::vector<uint8_t> buffer(kChunk);
  int fd = ::open(path.c_str(), O_RDONLY);
  auto start = std::chrono::steady_clock::now();
  uint64_t bytes = 0;
  for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) bytes += static_cast<uint64_t>(got);
  Report("plain read() of 64 KB", Seconds(start), kRecords, bytes);
  ::close(fd);
}

void Hashes(const std::string& path) {
  TTableDefinition table = BenchDefinition();
  std::vector<uint8_t> file(std::filesystem::file_size(path));
  int fd = ::open(path.c_str(), O_RDONLY);
  ::read(fd, file.data(), file.size());
  ::close(fd);
  const uint64_t hashed = uint64_t{kRecords} * (kRecordSize - kRecordFieldsOffset);
  auto start = std::chrono::steady_clock::now();
  uint8_t fold = 0;
  for (uint32_t n = 1; n <= kRecords; ++n)
    fold ^= ComputeRecordHash(table, std::span<const uint8_t>(file).subspan(table.RecordOffset(n), kRecordSize))[0];
  Report("ComputeRecordHash", Seconds(start), kRecords, hashed);
  start = std::chrono::steady_clock::now();
  for (uint32_t n = 1; n <= kRecords; ++n) {
    md5_ctx context;
    uint8_t digest[16];
    md5_init(&context);
    md5_update(&context, kRecordSize - kRecordFieldsOffset, file.data() + table.RecordOffset(n) + kRecordFieldsOffset);
    md5_digest(&context, sizeof digest, digest);
    fold ^= digest[0];
  }
  Report("raw MD5, one call per record", Seconds(start), kRecords, hashed);
  start = std::chrono::steady_clock::now();
  md5_ctx context;
  uint8_t digest[16];
  md5_init(&context);
  md5_update(&context, uint64_t{kRecords} * kRecordSize, file.data() + table.DataStart());
  md5_digest(&context, sizeof digest, digest);
  Report("raw MD5, one call over all records", Seconds(start), kRecords, uint64_t{kRecords} * kRecordSize);
  std::printf("(fold %u)\n", fold ^ digest[0]);
}

}  // namespace

int main() {
  char folder[] = "/tmp/bench_datafile_XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  std::string path = std::string(folder) + "/bench.dat";
  WriteTable(path, BenchDefinition());
  PlainRead(path);  // warms the page cache
  PlainRead(path);
  ScanThroughCache(path, "GetBuffer scan, default cache", 32768, 8192);
  ScanThroughCache(path, "GetBuffer scan, 64 MB cache", 64 << 20, 1 << 30);
  Hashes(path);
  std::filesystem::remove_all(folder);
  return 0;
}
