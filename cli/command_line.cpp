#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include "cli/cli_error.h"

namespace zarnik::cli {

namespace {

CLI::App* AddTableCommand(CLI::App& app, const char* name, const char* description, TCommandLine& line) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("TABLE", line.table, "the table: a path with or without the data extension")->required();
  return command;
}

void AddCommands(CLI::App& app, TCommandLine& line) {
  CLI::App* create = AddTableCommand(app, "create", "create a table from a JSON description", line);
  create->add_option("--schema", line.schemaFile, "the table's description in JSON")->required();
  create->callback([&] { line.command = TCommand::Create; });

  CLI::App* load = AddTableCommand(app, "load", "insert the records of a JSON lines file", line);
  load->add_option("ROWS", line.rowsFile, "one JSON object a line, keyed by field name")->required();
  load->callback([&] { line.command = TCommand::Load; });

  CLI::App* dump = AddTableCommand(app, "dump", "write the records as JSON lines", line);
  CLI::Option* index = dump->add_option("--index", line.indexName, "in the order of this index");
  dump->add_flag("--physical", line.physical, "in physical order")->excludes(index);
  dump->callback([&] { line.command = TCommand::Dump; });

  CLI::App* info = AddTableCommand(app, "info", "describe the table's header and definitions in JSON", line);
  info->callback([&] { line.command = TCommand::Info; });

  CLI::App* sample = app.add_subcommand("sample", "create the table TheData filled with sample rows");
  sample->add_option("FOLDER", line.folder, "the folder of the table")->required();
  sample->add_option("--rows", line.rows, "number of rows")->capture_default_str();
  sample->add_option("--seed", line.seed, "seed of the rows")->capture_default_str();
  sample->callback([&] { line.command = TCommand::Sample; });
}

}  // namespace

std::variant<TCommandLine, int> ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                                 std::ostream& err) {
  TCommandLine line;
  CLI::App app("Creates, fills, reads and describes ZARNIK tables.", "zarnik");
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--password", line.password, "the password of an encrypted table")->envname(kPasswordVariable);
  AddCommands(app, line);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int status = app.exit(e, out, err);
    return status == 0 ? kExitSuccess : kExitError;
  }
  return line;
}

}  // namespace zarnik::cli
