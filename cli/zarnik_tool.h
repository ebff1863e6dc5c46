// TZarnikTool: the commands of the zarnik tool on real tables, through one
// engine, one session (holding the password given) and the database
// directory of each table's folder.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "engine/core/data_engine.h"

namespace zarnik {
class TDataCursor;
class TDataDirectory;
class TDataSession;
}  // namespace zarnik

namespace zarnik::cli {

class TZarnikTool {
 public:
  // password: UTF-8, from --password or ZARNIK_PASSWORD.
  explicit TZarnikTool(const std::optional<std::string>& password);
  ~TZarnikTool();
  TZarnikTool(const TZarnikTool&) = delete;
  TZarnikTool& operator=(const TZarnikTool&) = delete;

  // Runs the command; raises its error. err gets the progress bars.
  void Run(const TCommandLine& line, std::ostream& out, std::ostream& err);

  void Create(const std::string& table, const std::string& schemaFile);
  void Load(const std::string& table, const std::string& rowsFile, std::ostream& err);
  // order: nothing the primary index, "" too, another name that index; physical wins.
  void Dump(const std::string& table, const std::optional<std::string>& indexName, bool physical,
            std::ostream& out, std::ostream& err);
  void Info(const std::string& table, std::ostream& out);
  // Creates FOLDER/TheData with rows sample rows of seed.
  void Sample(const std::string& folder, uint64_t rows, uint64_t seed, std::ostream& err);

 private:
  TDataEngine engine_;
  TDataSession* session_ = nullptr;
  std::vector<TDataDirectory*> directories_;  // one user each, ended when the tool ends

  // A closed cursor on the table a path names (folder and name).
  std::unique_ptr<TDataCursor> Cursor(const std::string& path);
  TDataDirectory& Directory(const std::string& folder);
};

// The tool as main runs it: parses the arguments and runs the command;
// returns the exit status.
int RunZarnik(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace zarnik::cli
