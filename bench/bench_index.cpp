// A non-unique index over a 10-character string field: 1,000,000 keys
// inserted (in random and in ascending order), then each looked up, then all
// deleted, in an index file of 4096-byte pages with the default index cache
// (64 KB) and with a 64 MB cache; keys per second and page reads per
// operation, next to the same work in a std::multimap.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/index/index_file.h"
#include "engine/index/index_tree.h"
#include "engine/index/key_layout.h"

using namespace zarnik;

namespace {

constexpr uint32_t kKeys = 1000000;
constexpr uint32_t kPageSize = 4096;
constexpr uint16_t kStringSize = 11;  // 10 characters and the terminator

class BenchTable : public TBufferedFileTable {
 public:
  std::string TableName() override { return "bench"; }
  bool Exclusive() override { return true; }
  bool TransactionActive() override { return false; }
  bool WrittenSinceOpen() override { return written_; }
  void MarkWrittenSinceOpen() override { written_ = true; }
  bool StrictChangeDetection(TDataCursor*) override { return true; }
  bool ForceBufferFlush() override { return false; }
  bool RefreshIfChanged(TDataCursor*) override { return false; }
  bool Encrypted() override { return false; }
  void EncryptTableBuffer(uint8_t*, size_t) override {}
  void DecryptTableBuffer(uint8_t*, size_t) override {}

 private:
  bool written_ = false;
};

// The 10 characters of key i: ascending with i.
std::string Text(uint32_t i) {
  std::string text(10, 'A');
  for (int p = 9; p >= 0 && i > 0; --p, i /= 26) text[size_t(p)] = char('A' + i % 26);
  return text;
}

std::vector<uint32_t> Order(bool random) {
  std::vector<uint32_t> order(kKeys);
  for (uint32_t i = 0; i < kKeys; ++i) order[i] = i;
  if (random) std::shuffle(order.begin(), order.end(), std::mt19937(2026));
  return order;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Phase {
  TIndexFile& file;
  const char* name;
  int32_t reads = 0, physical = 0;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  Phase(TIndexFile& f, const char* n) : file(f), name(n), reads(f.Reads()), physical(f.PhysicalReads()) {}
  void Report() {
    const double seconds = Seconds(start);
    std::printf("  %-8s %7.2f s %11.0f keys/s %7.3f page reads/op (%d pages read)\n", name, seconds,
                kKeys / seconds, double(file.PhysicalReads() - physical) / kKeys, file.PhysicalReads() - physical);
  }
};

void RunIndex(const std::string& folder, bool random, int32_t cacheBytes) {
  TDataEngine engine;
  engine.Settings.MaxTableIndexBufferSize = cacheBytes;
  BenchTable table;
  TIndexFile file(engine, table, kPageSize);
  std::filesystem::remove(folder + "/bench.idx");
  file.SetFileName(folder + "/bench.idx");
  file.exclusive = true;
  file.CreateFile();
  file.StoreDefaultDefinitions({});
  TIndexDefinition def;
  def.Name = "ixText";
  def.FieldCount = 1;
  def.FieldNumbers[0] = 1;
  def.KeySize = kStringSize + 1 + 4;
  file.SetIndexCount(1);
  file.SetIndexDefinition(1, def);
  const TKeyLayout layout(def, {{1, 1, kStringSize}}, 1);
  TIndexFilePages pages(file, nullptr);
  TIndexTree tree(pages, 1, file.PropsOf(1), layout);

  const std::vector<uint32_t> order = Order(random);
  auto key = [&](uint32_t i) {
    std::string text = Text(i);
    std::vector<uint8_t> bytes(kStringSize, 0);
    std::memcpy(bytes.data(), text.data(), text.size());
    std::vector<uint8_t> k(layout.KeySize());
    layout.BuildKey({{false, bytes}}, int32_t(i + 1), k.data());
    return k;
  };
  std::printf("index, %s order, cache %d KB (%d pages):\n", random ? "random" : "ascending", cacheBytes / 1024,
              file.GetMaxBufferCount());
  Phase insert(file, "insert");
  for (uint32_t i : order) tree.InsertKey(key(i).data(), i + 1);
  file.FlushBuffers(false);
  insert.Report();
  std::printf("           %u pages for %u keys\n", file.GetBufferCount(), tree.KeyCount());
  Phase lookup(file, "lookup");
  uint32_t found = 0;
  for (uint32_t i : order) found += tree.LookupKey(key(i).data());
  lookup.Report();
  Phase remove(file, "delete");
  for (uint32_t i : order) tree.DeleteKey(key(i).data());
  file.FlushBuffers(false);
  remove.Report();
  if (found != kKeys || file.GetRootPage(1) != 0) std::printf("  MISMATCH: found %u\n", found);
  file.CloseFile();
}

void RunMultimap(bool random) {
  const std::vector<uint32_t> order = Order(random);
  std::multimap<std::string, uint32_t> map;
  std::printf("std::multimap, %s order:\n", random ? "random" : "ascending");
  auto start = std::chrono::steady_clock::now();
  for (uint32_t i : order) map.emplace(Text(i), i + 1);
  double seconds = Seconds(start);
  std::printf("  %-8s %7.2f s %11.0f keys/s\n", "insert", seconds, kKeys / seconds);
  start = std::chrono::steady_clock::now();
  uint32_t found = 0;
  for (uint32_t i : order) found += map.count(Text(i)) > 0;
  seconds = Seconds(start);
  std::printf("  %-8s %7.2f s %11.0f keys/s\n", "lookup", seconds, kKeys / seconds);
  start = std::chrono::steady_clock::now();
  for (uint32_t i : order) {
    auto [first, last] = map.equal_range(Text(i));
    for (auto it = first; it != last; ++it)
      if (it->second == i + 1) {
        map.erase(it);
        break;
      }
  }
  seconds = Seconds(start);
  std::printf("  %-8s %7.2f s %11.0f keys/s\n", "delete", seconds, kKeys / seconds);
  if (found != kKeys || !map.empty()) std::printf("  MISMATCH\n");
}

}  // namespace

int main() {
  char pattern[] = "/tmp/zarnik_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = pattern;
  for (bool random : {true, false}) {
    RunIndex(folder, random, 65536);
    RunIndex(folder, random, 64 << 20);
    RunMultimap(random);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
