#include "cli/zarnik_tool.h"

#include <filesystem>
#include <fstream>
#include <variant>

#include "cli/cli_error.h"
#include "cli/exit_status.h"
#include "cli/progress_bar.h"
#include "cli/record_json.h"
#include "cli/sample_rows.h"
#include "cli/schema_description.h"
#include "cli/table_info.h"
#include "cli/text_encoding.h"
#include "engine/core/data_cursor.h"
#include "engine/core/data_directory.h"
#include "engine/core/data_session.h"
#include "engine/core/data_table.h"
#include "engine/data/data_file.h"
#include "engine/index/index_file.h"

namespace zarnik::cli {

using nlohmann::json;

namespace {

json ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ECliError("cannot read " + path);
  try {
    return json::parse(in);
  } catch (const json::exception& e) {
    throw ECliError(path + ": " + e.what());
  }
}

uint64_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint64_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

// Inserts JSON rows into a table open on an exclusive cursor.
class TRowInserter {
 public:
  explicit TRowInserter(TDataCursor& cursor) : cursor_(cursor), rows_(cursor.Fields()) {}

  void Insert(const json& row) {
    std::vector<uint8_t> record = cursor_.NewRecord();
    TRecordJson::TRow values = rows_.ReadRow(row, record);
    for (const TRecordJson::TBlobValue& blob : values.blobs) cursor_.SetBlob(record, blob.field->number, blob.contents);
    cursor_.InsertRecord(record, false);
  }

 private:
  TDataCursor& cursor_;
  TRecordJson rows_;
};

// Holds the table's read lock while the header and definitions are read.
class TReadLock {
 public:
  explicit TReadLock(TDataTable& table) : table_(table) { table_.ReadLockTable(); }
  ~TReadLock() { table_.ReadUnlockTable(); }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;

 private:
  TDataTable& table_;
};

}  // namespace

TZarnikTool::TZarnikTool(const std::optional<std::string>& password) {
  engine_.StartEngine(engine_.Settings.LockFileName);
  session_ = &engine_.CreateSession();
  if (password) session_->AddPassword(Utf8ToWindows1252(*password));
}

TZarnikTool::~TZarnikTool() {
  try {
    for (TDataDirectory* directory : directories_) session_->CloseDirectory(directory);
    engine_.FreeSession(session_);
    engine_.StopEngine();
  } catch (...) {
    // The commands have closed their tables; nothing is left to lose.
  }
}

TDataDirectory& TZarnikTool::Directory(const std::string& folder) {
  std::string absolute = std::filesystem::absolute(folder).lexically_normal().string();
  directories_.push_back(&session_->OpenDirectory(absolute, absolute, false, false));
  return *directories_.back();
}

std::unique_ptr<TDataCursor> TZarnikTool::Cursor(const std::string& path) {
  std::filesystem::path table(path);
  std::string folder = table.has_parent_path() ? table.parent_path().string() : ".";
  auto cursor = std::make_unique<TDataCursor>(Directory(folder));
  cursor->SetTableName(table.filename().string());
  return cursor;
}

void TZarnikTool::Run(const TCommandLine& line, std::ostream& out, std::ostream& err) {
  switch (line.command) {
    case TCommand::Create: return Create(line.table, line.schemaFile);
    case TCommand::Load: return Load(line.table, line.rowsFile, err);
    case TCommand::Dump: return Dump(line.table, line.indexName, line.physical, out, err);
    case TCommand::Info: return Info(line.table, out);
    case TCommand::Sample: return Sample(line.folder, line.rows, line.seed, err);
  }
}

void TZarnikTool::Create(const std::string& table, const std::string& schemaFile) {
  TTableSchema schema = ParseTableSchema(ReadJsonFile(schemaFile));
  Cursor(table)->CreateTable(DescriptionOf(schema));
}

void TZarnikTool::Load(const std::string& table, const std::string& rowsFile, std::ostream& err) {
  std::ifstream in(rowsFile, std::ios::binary);
  if (!in) throw ECliError("cannot read " + rowsFile);
  uint64_t total = CountLines(rowsFile);
  auto cursor = Cursor(table);
  cursor->exclusive = true;
  cursor->OpenCursor();
  TRowInserter inserter(*cursor);
  TProgressBar bar(err, total, TProgressBar::WantedFor(total));
  uint64_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (IsBlank(line)) continue;
    try {
      inserter.Insert(json::parse(line));
    } catch (const std::exception& e) {
      // The records before this line stay: the table is closed with them.
      bar.Finish();
      cursor->CloseCursor(true);
      throw ECliError(rowsFile + " line " + std::to_string(number) + ": " + e.what());
    }
    bar.Update(number);
  }
  bar.Finish();
  cursor->CloseCursor(true);
}

void TZarnikTool::Dump(const std::string& table, const std::optional<std::string>& indexName, bool physical,
                       std::ostream& out, std::ostream& err) {
  auto cursor = Cursor(table);
  cursor->OpenCursor();
  if (physical) cursor->SelectPhysicalOrder();
  else cursor->SelectIndexByName(Utf8ToWindows1252(indexName.value_or("")));
  TRecordJson rows(cursor->Fields());
  TBlobReader readBlob = [&](const TFieldDefinition& field) { return cursor->ReadBlob(field.number); };
  uint32_t total = cursor->RecordCount();
  TProgressBar bar(err, total, TProgressBar::WantedFor(total));
  uint64_t done = 0;
  for (bool more = cursor->First(); more; more = cursor->Next()) {
    out << rows.WriteLine(cursor->CurrentRecord(), readBlob) << '\n';
    bar.Update(++done);
  }
  bar.Finish();
  out.flush();
  cursor->CloseCursor(false);
}

void TZarnikTool::Info(const std::string& table, std::ostream& out) {
  auto cursor = Cursor(table);
  cursor->OpenCursor();
  ordered_json info;
  {
    TDataTable& opened = *cursor->Table();
    TReadLock lock(opened);
    const TTableDefinition& definition = opened.DataFile().Definition();
    TIndexFile& indexFile = opened.IndexFile();
    std::vector<TSchemaIndex> indexes{SchemaIndexOf(indexFile.GetIndexDefinition(0), true)};
    for (uint32_t slot = 1; slot <= indexFile.GetIndexCount(); ++slot)
      indexes.push_back(SchemaIndexOf(indexFile.GetIndexDefinition(slot), false));
    TSchemaTextIndex text = SchemaTextIndexOf(indexFile.GetIndexDefinition(TIndexFile::kTextSlot),
                                              indexFile.LoadTextIndexParams(cursor.get()));
    info = TableInfoJson(definition.header, definition.Fields(), indexes, text);
  }
  cursor->CloseCursor(false);
  out << info.dump(2) << '\n';
}

void TZarnikTool::Sample(const std::string& folder, uint64_t rows, uint64_t seed, std::ostream& err) {
  std::filesystem::create_directories(folder);
  std::string table = (std::filesystem::path(folder) / TSampleRows::kTableName).string();
  Cursor(table)->CreateTable(DescriptionOf(ParseTableSchema(TSampleRows::Schema())));
  auto cursor = Cursor(table);
  cursor->exclusive = true;
  cursor->OpenCursor();
  TRowInserter inserter(*cursor);
  TSampleRows sample(seed);
  TProgressBar bar(err, rows, TProgressBar::WantedFor(rows));
  for (uint64_t i = 1; i <= rows; ++i) {
    inserter.Insert(TSampleRows::RowJson(sample.Next()));
    bar.Update(i);
  }
  bar.Finish();
  cursor->CloseCursor(true);
}

int RunZarnik(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  std::variant<TCommandLine, int> parsed = ParseCommandLine(argc, argv, out, err);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const TCommandLine& line = std::get<TCommandLine>(parsed);
  int status = RunReportingErrors(
      [&] {
        TZarnikTool tool(line.password);
        tool.Run(line, out, err);
      },
      err);
  out.flush();
  return status;
}

}  // namespace zarnik::cli
