#include "cli/command_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>
#include <vector>

#include "cli/cli_error.h"
#include "cli/exit_status.h"
#include "engine/core/engine_error.h"

namespace zarnik::cli {
namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  std::ostringstream out, err;
  void SetUp() override { unsetenv(kPasswordVariable); }
  void TearDown() override { unsetenv(kPasswordVariable); }

  std::variant<TCommandLine, int> Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "zarnik");
    return ParseCommandLine(static_cast<int>(args.size()), args.data(), out, err);
  }
  TCommandLine Parsed(std::vector<const char*> args) {
    auto result = Parse(std::move(args));
    EXPECT_TRUE(std::holds_alternative<TCommandLine>(result)) << err.str();
    return std::holds_alternative<TCommandLine>(result) ? std::get<TCommandLine>(result) : TCommandLine{};
  }
};

TEST_F(CommandLineTest, ReadsEveryCommand) {
  TCommandLine create = Parsed({"create", "/tmp/T.dat", "--schema", "s.json"});
  EXPECT_EQ(create.command, TCommand::Create);
  EXPECT_EQ(create.table, "/tmp/T.dat");
  EXPECT_EQ(create.schemaFile, "s.json");
  TCommandLine load = Parsed({"load", "T", "rows.jsonl", "--password", "pw"});
  EXPECT_EQ(load.command, TCommand::Load);
  EXPECT_EQ(load.rowsFile, "rows.jsonl");
  EXPECT_EQ(load.password, "pw");
  TCommandLine dump = Parsed({"--password", "x", "dump", "T", "--index", "wwTemp"});
  EXPECT_EQ(dump.command, TCommand::Dump);
  EXPECT_EQ(dump.indexName, "wwTemp");
  EXPECT_FALSE(dump.physical);
  EXPECT_EQ(dump.password, "x");
  TCommandLine physical = Parsed({"dump", "T", "--physical"});
  EXPECT_TRUE(physical.physical);
  EXPECT_FALSE(physical.indexName);
  EXPECT_EQ(Parsed({"info", "T"}).command, TCommand::Info);
  TCommandLine sample = Parsed({"sample", "/tmp/f", "--rows", "20", "--seed", "9"});
  EXPECT_EQ(sample.command, TCommand::Sample);
  EXPECT_EQ(sample.folder, "/tmp/f");
  EXPECT_EQ(sample.rows, 20u);
  EXPECT_EQ(sample.seed, 9u);
  EXPECT_EQ(Parsed({"sample", "f"}).rows, TSampleRows::kDefaultRows);
}

TEST_F(CommandLineTest, ThePasswordCanComeFromTheEnvironment) {
  setenv(kPasswordVariable, "Secret1", 1);
  EXPECT_EQ(Parsed({"info", "T"}).password, "Secret1");
  EXPECT_EQ(Parsed({"info", "T", "--password", "other"}).password, "other");
}

TEST_F(CommandLineTest, UsageErrorsEndWithStatusTwo) {
  for (std::vector<const char*> args : std::vector<std::vector<const char*>>{
           {}, {"drop", "T"}, {"create", "T"}, {"load", "T"}, {"dump"}, {"dump", "T", "--index", "i", "--physical"},
           {"sample", "f", "--rows", "many"}}) {
    err.str("");
    auto result = Parse(args);
    ASSERT_TRUE(std::holds_alternative<int>(result)) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(std::get<int>(result), kExitError);
    EXPECT_FALSE(err.str().empty());
  }
  auto help = Parse({"--help"});
  ASSERT_TRUE(std::holds_alternative<int>(help));
  EXPECT_EQ(std::get<int>(help), kExitSuccess);
  EXPECT_NE(out.str().find("sample"), std::string::npos);
}

TEST_F(CommandLineTest, ErrorsAreReportedWithTheirMessage) {
  EXPECT_EQ(RunReportingErrors([] {}, err), kExitSuccess);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(RunReportingErrors([] { throw ECliError("rows.jsonl line 3: unknown field \"X\""); }, err), kExitError);
  EXPECT_EQ(err.str(), "rows.jsonl line 3: unknown field \"X\"\n");
  err.str("");
  TErrorContext context;
  context.errorCode = ZARNIK_KEYVIOL;
  EZARNIKEngineError engineError(context);
  EXPECT_EQ(RunReportingErrors([&] { throw engineError; }, err), kExitError);
  EXPECT_EQ(err.str(), std::string(engineError.what()) + "\n");
  EXPECT_NE(err.str().find("ZARNIK Engine Error # "), std::string::npos);
}

}  // namespace
}  // namespace zarnik::cli
