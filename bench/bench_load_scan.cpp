// Loads the same "TheData" rows into a table of this engine (one exclusive
// cursor) and into SQLite 3 (one transaction, the same columns, a NOCASE
// index on Field2), then scans each in primary key order reading every field
// and memo; prints load and scan times, file sizes, peak memory and the
// ratios ours/SQLite. Each load and each scan runs in its own child process,
// so that its peak resident memory is its own.
//
//   bench_load_scan [--rows N] [--cache default|64mb|both] [--only zarnik|sqlite] [--dir FOLDER] [--keep]
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/data_cursor.h"
#include "engine/core/data_directory.h"
#include "engine/core/data_engine.h"
#include "engine/core/data_session.h"
#include "engine/core/table_description.h"
#include "engine/data/field_definition.h"
#include "platform/byte_order.h"

using namespace zarnik;
namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- the rows

constexpr int32_t kSeqNo = 1, kField1 = 2, kField2 = 3, kField3 = 4, kField4 = 5, kField5 = 6, kField6 = 7,
                  kField7 = 8;
constexpr size_t kMaxMemo = 2000;

// The values of one row, made from its number alone.
struct Row {
  char field1[11];
  char field2[11];
  int32_t field3;
  int32_t field4;  // days
  int32_t field5;  // milliseconds of the day
  std::optional<double> field6;
  bool memoNull;
  const char* memo;
  size_t memoLength;
};

uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// A text of words that memos are cut from.
const std::string& MemoPool() {
  static const std::string pool = [] {
    static const char* words[] = {"alpha", "Beta", "gamma", "DELTA", "epsilon", "zeta", "eta",  "theta",
                                  "Iota",  "kappa", "table", "index", "record", "data", "the", "of",
                                  "and",   "don't", "well-known", "x2"};
    static const char* marks[] = {" ", ", ", "; ", ". "};
    uint64_t state = 12345;
    std::string text;
    while (text.size() < 65536 + kMaxMemo) {
      text += words[SplitMix(state) % 20];
      text += marks[SplitMix(state) % 4];
    }
    return text;
  }();
  return pool;
}

Row RowOf(uint64_t i) {
  static const char* names[] = {"Apple", "apple", "APPLE", "Banana", "cherry", "Aaa", "zulu", "Mango", "kiwi", "Plum"};
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  uint64_t state = i * 0x2545F4914F6CDD1Dull + 7;
  Row row{};
  size_t length = 1 + SplitMix(state) % 10;
  for (size_t k = 0; k < length; ++k) row.field1[k] = alphabet[SplitMix(state) % 62];
  // Field2: a few hundred distinct keys in mixed case.
  uint64_t pick = SplitMix(state);
  std::snprintf(row.field2, sizeof row.field2, "%s%u", names[pick % 10], static_cast<unsigned>((pick >> 8) % 50));
  row.field3 = static_cast<int32_t>(SplitMix(state) % 2000001) - 1000000;
  row.field4 = 730000 + static_cast<int32_t>(SplitMix(state) % 9000);
  row.field5 = static_cast<int32_t>(SplitMix(state) % 86400000);
  if (SplitMix(state) % 10 != 0) row.field6 = static_cast<double>(static_cast<int64_t>(SplitMix(state) % 2000000) - 1000000) / 100.0;
  // Memo: about 10 % NULL, else 0 to 2000 bytes, exponential with mean about 300.
  row.memoNull = SplitMix(state) % 10 == 0;
  if (!row.memoNull) {
    double u = (static_cast<double>(SplitMix(state) >> 11) + 0.5) / 9007199254740992.0;
    row.memoLength = std::min<size_t>(kMaxMemo, static_cast<size_t>(-300.0 * std::log(u)));
    row.memo = MemoPool().data() + SplitMix(state) % 65536;
  }
  return row;
}

// A sum over every value read, so that both scans can be compared and none is skipped.
struct Checksum {
  uint64_t value = 0;
  void Add(uint64_t v) { value = value * 1099511628211ull + v; }
  void AddText(const void* data, size_t length) {
    uint64_t h = 14695981039346656037ull;
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t k = 0; k < length; ++k) h = (h ^ p[k]) * 1099511628211ull;
    Add(h ^ length);
  }
};

// ---------------------------------------------------------------- settings and results

struct Options {
  uint64_t rows = 1000000;
  std::vector<bool> bigCaches = {false, true};
  bool runOurs = true, runSqlite = true;
  std::string dir;
  bool keep = false;
};

constexpr int32_t kBigCache = 64 * 1024 * 1024;

struct Result {
  double seconds = 0;
  uint64_t rows = 0;
  uint64_t checksum = 0;
  long peakKB = 0;
  bool ok = false;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs work in a child process and gives back its result with the child's peak resident memory.
Result InChild(const std::function<Result()>& work) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
  std::fflush(stdout);
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    close(pipeEnds[0]);
    Result r;
    try {
      r = work();
      r.ok = true;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "error: %s\n", e.what());
    }
    ssize_t written = write(pipeEnds[1], &r, sizeof r);
    _exit(written == sizeof r ? 0 : 1);
  }
  close(pipeEnds[1]);
  Result r;
  ssize_t got = read(pipeEnds[0], &r, sizeof r);
  close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (got != sizeof r) r.ok = false;
  r.peakKB = usage.ru_maxrss;
  return r;
}

// ---------------------------------------------------------------- our engine

TIndexDefinition Index(const char* name, uint16_t field, bool unique, bool caseInsensitive) {
  TIndexDefinition index;
  index.Name = name;
  index.FieldCount = 1;
  index.FieldNumbers[0] = field;
  index.Unique = unique ? 1 : 0;
  index.CaseInsensitive = caseInsensitive ? 1 : 0;
  return index;
}

TTableDescription TheData() {
  TTableDescription d;
  struct FieldShape {
    int32_t number;
    const char* name;
    uint8_t type;
    uint16_t size;
    uint8_t subtype;
  };
  static const FieldShape shapes[] = {
      {kSeqNo, "SeqNo", kFieldInteger, 0, kSubtypeAutoInc}, {kField1, "Field1", kFieldString, 10, 0},
      {kField2, "Field2", kFieldString, 10, 0},               {kField3, "Field3", kFieldInteger, 0, 0},
      {kField4, "Field4", kFieldDate, 0, 0},                  {kField5, "Field5", kFieldTime, 0, 0},
      {kField6, "Field6", kFieldFloat, 0, 0},                 {kField7, "Field7", kFieldBlob, 0, kSubtypeMemo}};
  for (const FieldShape& shape : shapes) {
    TFieldDefinition& field = d.fields.emplace_back();
    field.number = shape.number, field.name = shape.name, field.dataType = shape.type;
    field.size = shape.size, field.subtype = shape.subtype;
  }
  d.primaryIndex = Index("", kSeqNo, true, false);
  d.secondaryIndexes = {Index("wwTemp", kField2, false, true)};
  d.indexPageSize = 4096;
  d.blobBlockSize = 512;
  return d;
}

// An engine with one session and the folder open as a database, for one phase.
class OurDatabase {
 public:
  OurDatabase(const std::string& folder, bool bigCache) {
    if (bigCache) {
      auto& s = engine_.Settings;
      s.MaxTableDataBufferSize = s.MaxTableIndexBufferSize = s.MaxTableBlobBufferSize = kBigCache;
      // Enough buffers that the count never caps the size (the smallest page is 512 bytes).
      s.MaxTableDataBufferCount = s.MaxTableIndexBufferCount = s.MaxTableBlobBufferCount = kBigCache / 512;
    }
    engine_.StartEngine("zarnik.lck");
    directory_ = &engine_.CreateSession().OpenDirectory("Bench", folder, false, false);
  }
  ~OurDatabase() { engine_.StopEngine(); }
  std::unique_ptr<TDataCursor> Cursor() {
    auto cursor = std::make_unique<TDataCursor>(*directory_);
    cursor->SetTableName("TheData");
    cursor->exclusive = true;
    return cursor;
  }

 private:
  TDataEngine engine_;
  TDataDirectory* directory_ = nullptr;
};

std::span<const uint8_t> Bytes(const void* data, size_t length) {
  return {static_cast<const uint8_t*>(data), length};
}

Result OursLoad(const std::string& folder, bool bigCache, uint64_t rows) {
  OurDatabase db(folder, bigCache);
  auto start = std::chrono::steady_clock::now();
  db.Cursor()->CreateTable(TheData());
  auto cursor = db.Cursor();
  cursor->OpenCursor();
  uint8_t number[8];
  for (uint64_t i = 0; i < rows; ++i) {
    Row row = RowOf(i);
    std::vector<uint8_t> record = cursor->NewRecord();
    cursor->SetField(record, kField1, Bytes(row.field1, strlen(row.field1) + 1));
    cursor->SetField(record, kField2, Bytes(row.field2, strlen(row.field2) + 1));
    platform::PutInt32(number, 0, row.field3);
    cursor->SetField(record, kField3, Bytes(number, 4));
    platform::PutInt32(number, 0, row.field4);
    cursor->SetField(record, kField4, Bytes(number, 4));
    platform::PutInt32(number, 0, row.field5);
    cursor->SetField(record, kField5, Bytes(number, 4));
    if (row.field6) {
      platform::PutFloat64(number, 0, *row.field6);
      cursor->SetField(record, kField6, Bytes(number, 8));
    }
    if (!row.memoNull && row.memoLength > 0) cursor->SetBlob(record, kField7, Bytes(row.memo, row.memoLength));
    cursor->InsertRecord(record);
  }
  cursor->CloseCursor(true);
  return {Seconds(start), rows};
}

Result OursScan(const std::string& folder, bool bigCache) {
  OurDatabase db(folder, bigCache);
  auto start = std::chrono::steady_clock::now();
  auto cursor = db.Cursor();
  cursor->OpenCursor();
  cursor->SelectIndex(0);
  Result r;
  Checksum sum;
  for (bool more = cursor->First(); more; more = cursor->Next()) {
    ++r.rows;
    sum.Add(static_cast<uint32_t>(platform::GetInt32(cursor->GetField(kSeqNo).bytes, 0)));
    for (int32_t text : {kField1, kField2}) {
      TFieldValue v = cursor->GetField(text);
      sum.AddText(v.bytes.data(), v.isNull ? 0 : strnlen(reinterpret_cast<const char*>(v.bytes.data()), v.bytes.size()));
    }
    for (int32_t integer : {kField3, kField4, kField5}) {
      TFieldValue v = cursor->GetField(integer);
      sum.Add(v.isNull ? 0 : static_cast<uint32_t>(platform::GetInt32(v.bytes, 0)));
    }
    TFieldValue f6 = cursor->GetField(kField6);
    sum.Add(f6.isNull ? 0 : static_cast<uint64_t>(std::llround(platform::GetFloat64(f6.bytes, 0) * 100.0)));
    std::vector<uint8_t> memo = cursor->ReadBlob(kField7);
    sum.AddText(memo.data(), memo.size());
  }
  cursor->CloseCursor(false);
  r.seconds = Seconds(start);
  r.checksum = sum.value;
  return r;
}

// ---------------------------------------------------------------- SQLite

class Sqlite {
 public:
  Sqlite(const std::string& file, bool bigCache) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open failed");
    if (bigCache) Exec("PRAGMA cache_size=-65536");  // 64 MB
  }
  ~Sqlite() { sqlite3_close(db_); }
  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string text = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(text);
    }
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db_));
    return statement;
  }
  const char* Error() { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_ = nullptr;
};

Result SqliteLoad(const std::string& file, bool bigCache, uint64_t rows) {
  auto start = std::chrono::steady_clock::now();
  Sqlite db(file, bigCache);
  db.Exec(
      "CREATE TABLE TheData (SeqNo INTEGER PRIMARY KEY AUTOINCREMENT, Field1 VARCHAR(10), Field2 VARCHAR(10), "
      "Field3 INTEGER, Field4 INTEGER, Field5 INTEGER, Field6 REAL, Field7 TEXT)");
  db.Exec("CREATE INDEX wwTemp ON TheData (Field2 COLLATE NOCASE)");
  db.Exec("BEGIN");
  sqlite3_stmt* insert = db.Prepare(
      "INSERT INTO TheData (Field1, Field2, Field3, Field4, Field5, Field6, Field7) VALUES (?, ?, ?, ?, ?, ?, ?)");
  for (uint64_t i = 0; i < rows; ++i) {
    Row row = RowOf(i);
    sqlite3_bind_text(insert, 1, row.field1, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, row.field2, -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 3, row.field3);
    sqlite3_bind_int(insert, 4, row.field4);
    sqlite3_bind_int(insert, 5, row.field5);
    if (row.field6) sqlite3_bind_double(insert, 6, *row.field6);
    else sqlite3_bind_null(insert, 6);
    if (row.memoNull) sqlite3_bind_null(insert, 7);
    else sqlite3_bind_text(insert, 7, row.memo, static_cast<int>(row.memoLength), SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(db.Error());
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  db.Exec("COMMIT");
  return {Seconds(start), rows};
}

Result SqliteScan(const std::string& file, bool bigCache) {
  auto start = std::chrono::steady_clock::now();
  Sqlite db(file, bigCache);
  sqlite3_stmt* select = db.Prepare("SELECT * FROM TheData ORDER BY SeqNo");
  Result r;
  Checksum sum;
  while (sqlite3_step(select) == SQLITE_ROW) {
    ++r.rows;
    sum.Add(static_cast<uint32_t>(sqlite3_column_int(select, 0)));
    for (int text : {1, 2}) {
      const unsigned char* value = sqlite3_column_text(select, text);
      sum.AddText(value, value ? static_cast<size_t>(sqlite3_column_bytes(select, text)) : 0);
    }
    for (int integer : {3, 4, 5}) sum.Add(static_cast<uint32_t>(sqlite3_column_int(select, integer)));
    bool null6 = sqlite3_column_type(select, 6) == SQLITE_NULL;
    sum.Add(null6 ? 0 : static_cast<uint64_t>(std::llround(sqlite3_column_double(select, 6) * 100.0)));
    const unsigned char* memo = sqlite3_column_text(select, 7);
    sum.AddText(memo, memo ? static_cast<size_t>(sqlite3_column_bytes(select, 7)) : 0);
  }
  sqlite3_finalize(select);
  r.seconds = Seconds(start);
  r.checksum = sum.value;
  return r;
}

// ---------------------------------------------------------------- the run

uint64_t SizeOfFiles(const std::string& folder, const std::string& prefix) {
  uint64_t total = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename().string().rfind(prefix, 0) == 0) total += entry.file_size();
  return total;
}

struct Measures {
  Result load, scan;
  uint64_t bytes = 0;
};

void PrintRatio(const char* what, double ours, double theirs) {
  std::printf("  %-22s %8.3f x\n", what, theirs > 0 ? ours / theirs : 0.0);
}

void RunOne(const Options& options, bool bigCache) {
  std::string folder = options.dir.empty() ? std::string() : options.dir;
  if (folder.empty()) {
    char pattern[] = "/tmp/bench_load_scanXXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    folder = pattern;
  } else {
    folder += bigCache ? "/64mb" : "/default";
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  std::printf("\n=== %llu rows, %s caches, in %s ===\n", static_cast<unsigned long long>(options.rows),
              bigCache ? "64 MB" : "default", folder.c_str());
  Measures ours, theirs;
  if (options.runOurs) {
    ours.load = InChild([&] { return OursLoad(folder, bigCache, options.rows); });
    ours.bytes = SizeOfFiles(folder, "TheData.");
    ours.scan = InChild([&] { return OursScan(folder, bigCache); });
  }
  std::string sqliteFile = folder + "/thedata.sqlite";
  if (options.runSqlite) {
    theirs.load = InChild([&] { return SqliteLoad(sqliteFile, bigCache, options.rows); });
    theirs.bytes = SizeOfFiles(folder, "thedata.sqlite");
    theirs.scan = InChild([&] { return SqliteScan(sqliteFile, bigCache); });
  }
  std::printf("%-8s %10s %10s %12s %12s %12s %10s %18s\n", "", "load s", "scan s", "files MB", "load peak MB",
              "scan peak MB", "rows", "checksum");
  auto line = [](const char* name, const Measures& m) {
    std::printf("%-8s %10.3f %10.3f %12.1f %12.1f %12.1f %10llu %18llx%s\n", name, m.load.seconds, m.scan.seconds,
                m.bytes / 1048576.0, m.load.peakKB / 1024.0, m.scan.peakKB / 1024.0,
                static_cast<unsigned long long>(m.scan.rows), static_cast<unsigned long long>(m.scan.checksum),
                m.load.ok && m.scan.ok ? "" : "  FAILED");
  };
  if (options.runOurs) line("ours", ours);
  if (options.runSqlite) line("sqlite", theirs);
  if (options.runOurs && options.runSqlite) {
    std::printf("ours/SQLite:\n");
    PrintRatio("load time", ours.load.seconds, theirs.load.seconds);
    PrintRatio("scan time", ours.scan.seconds, theirs.scan.seconds);
    PrintRatio("file size", static_cast<double>(ours.bytes), static_cast<double>(theirs.bytes));
    PrintRatio("load peak memory", ours.load.peakKB, theirs.load.peakKB);
    PrintRatio("scan peak memory", ours.scan.peakKB, theirs.scan.peakKB);
    std::printf("  same values read:      %s\n", ours.scan.checksum == theirs.scan.checksum ? "yes" : "NO");
  }
  if (!options.keep) fs::remove_all(folder);
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int k = 1; k < argc; ++k) {
    std::string arg = argv[k];
    auto value = [&]() -> std::string {
      if (k + 1 >= argc) throw std::runtime_error("missing value after " + arg);
      return argv[++k];
    };
    if (arg == "--rows") options.rows = std::stoull(value());
    else if (arg == "--cache") {
      std::string v = value();
      if (v == "default") options.bigCaches = {false};
      else if (v == "64mb") options.bigCaches = {true};
      else if (v == "both") options.bigCaches = {false, true};
      else throw std::runtime_error("--cache takes default, 64mb or both");
    } else if (arg == "--only") {
      std::string v = value();
      options.runOurs = v == "zarnik";
      options.runSqlite = v == "sqlite";
      if (!options.runOurs && !options.runSqlite) throw std::runtime_error("--only takes zarnik or sqlite");
    } else if (arg == "--dir") options.dir = value();
    else if (arg == "--keep") options.keep = true;
    else throw std::runtime_error("usage: bench_load_scan [--rows N] [--cache default|64mb|both] "
                                  "[--only zarnik|sqlite] [--dir FOLDER] [--keep]");
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options options = Parse(argc, argv);
    for (bool bigCache : options.bigCaches) RunOne(options, bigCache);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
