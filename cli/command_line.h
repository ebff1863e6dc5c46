// TCommandLine: what the tool was asked to do, read from its arguments:
//   zarnik create TABLE --schema FILE.json
//   zarnik load TABLE ROWS.jsonl
//   zarnik dump TABLE [--index NAME | --physical]
//   zarnik info TABLE
//   zarnik sample FOLDER [--rows N] [--seed S]
// with --password (or the environment variable ZARNIK_PASSWORD) anywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "cli/sample_rows.h"

namespace zarnik::cli {

inline constexpr const char* kPasswordVariable = "ZARNIK_PASSWORD";

enum class TCommand { Create, Load, Dump, Info, Sample };

struct TCommandLine {
  TCommand command = TCommand::Info;
  std::string table;       // a path, with or without the data extension
  std::string schemaFile;  // create
  std::string rowsFile;    // load
  std::optional<std::string> indexName;  // dump: the order of this index ("" the primary index)
  bool physical = false;                 // dump: physical order
  std::string folder;                    // sample
  uint64_t rows = TSampleRows::kDefaultRows;
  uint64_t seed = TSampleRows::kDefaultSeed;
  std::optional<std::string> password;  // UTF-8
};

// The command the arguments ask for, or, after --help or a usage error, the
// exit status (the help on out, the error and the usage on err).
std::variant<TCommandLine, int> ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                                 std::ostream& err);

}  // namespace zarnik::cli
