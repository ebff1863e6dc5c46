// The zarnik tool end to end, as other programs run it: arguments in, JSON and
// an exit status out, on real tables in a fresh folder.
#include "cli/zarnik_tool.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_error.h"
#include "cli/sample_rows.h"
#include "engine/core/error_codes.h"
#include "tests/support/fixture_tables.h"
#include "tests/support/temp_folder.h"

namespace zarnik::cli {
namespace {

using nlohmann::json;
using namespace zarnik::testing;

std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(json::parse(line));
  return lines;
}

std::vector<json> JsonLinesOfFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return JsonLines(text.str());
}

class ZarnikToolTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::ostringstream out, err;

  void SetUp() override { unsetenv(kPasswordVariable); }
  void TearDown() override { unsetenv(kPasswordVariable); }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), "zarnik");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return RunZarnik(static_cast<int>(argv.size()), argv.data(), out, err);
  }
  void RunOk(const std::vector<std::string>& args) { ASSERT_EQ(Run(args), kExitSuccess) << err.str(); }

  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(folder.File(name), std::ios::binary) << text;
    return folder.File(name);
  }
  // A copy of a fixture's table files in the test's folder; its path.
  std::string CopyFixture(const FixtureTable& fixture) {
    for (const char* extension : {".dat", ".idx", ".blb"}) {
      std::string name = std::string(fixture.table) + extension;
      std::filesystem::copy_file(FixturePath(fixture, name), folder.File(name));
    }
    return folder.File(fixture.table);
  }
};

class FixtureDumpTest : public ZarnikToolTest, public ::testing::WithParamInterface<FixtureTable> {};

// dump --physical of every foreign table gives its records.jsonl, value for value.
TEST_P(FixtureDumpTest, PhysicalDumpGivesTheRecordsOfRecordsJsonl) {
  const FixtureTable& fixture = GetParam();
  std::string table = CopyFixture(fixture);
  std::vector<std::string> args{"dump", table, "--physical"};
  if (*fixture.password) args.insert(args.end(), {"--password", fixture.password});
  RunOk(args);
  std::vector<json> expected = JsonLinesOfFile(FixturePath(fixture, "records.jsonl"));
  std::vector<json> got = JsonLines(out.str());
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i]) << "record " << i + 1;
  EXPECT_EQ(err.str(), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureDumpTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.folder); });

// A table created from a schema and loaded with rows dumps the same rows, in
// every order; here the foreign table of every field type, made afresh.
TEST_F(ZarnikToolTest, CreateLoadAndDumpRoundTrip) {
  const FixtureTable& allTypes = kFixtures[1];
  std::string table = folder.File("Copy");
  RunOk({"create", table, "--schema", FixturePath(allTypes, "schema.json")});
  RunOk({"load", table + ".dat", FixturePath(allTypes, "records.jsonl")});
  std::vector<json> expected = JsonLinesOfFile(FixturePath(allTypes, "records.jsonl"));
  for (std::vector<std::string> order : {std::vector<std::string>{"--physical"}, {}, {"--index", ""}}) {
    std::vector<std::string> args{"dump", table};
    args.insert(args.end(), order.begin(), order.end());
    RunOk(args);
    EXPECT_EQ(JsonLines(out.str()), expected);
  }
  // The secondary index "ixI" orders by I, NULLs first.
  RunOk({"dump", table, "--index", "ixI"});
  std::vector<json> byI = JsonLines(out.str());
  ASSERT_EQ(byI.size(), expected.size());
  for (size_t i = 1; i < byI.size(); ++i)
    if (!byI[i - 1]["I"].is_null()) EXPECT_LE(byI[i - 1]["I"].get<int64_t>(), byI[i]["I"].get<int64_t>());
}

TEST_F(ZarnikToolTest, TextsAreStoredInWindows1252) {
  std::string schema = Write("s.json", R"({"fields": [{"name": "Caf\u00e9", "type": "ftString", "size": 6},
                                                      {"name": "W", "type": "ftWideString", "size": 3},
                                                      {"name": "M", "type": "ftMemo"}]})");
  std::string table = folder.File("T");
  RunOk({"create", table, "--schema", schema});
  std::string rows = Write("rows.jsonl", "{\"Caf\u00e9\": \"\u20ac5 \u00e9t\u00e9\", \"W\": \"\u4e2d\u6587\", "
                                         "\"M\": \"na\u00efve \u2014 \u0153uvre\"}\n");
  RunOk({"load", table, rows});
  RunOk({"dump", table});
  EXPECT_EQ(out.str(), "{\"RecordID\": 1, \"Caf\u00e9\": \"\u20ac5 \u00e9t\u00e9\", \"W\": \"\u4e2d\u6587\", "
                       "\"M\": \"na\u00efve \u2014 \u0153uvre\"}\n");
  std::ifstream data(table + ".dat", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(data)), {});
  EXPECT_NE(bytes.find("\x80" "5 \xE9t\xE9"), std::string::npos);
  // A character without a Windows-1252 form is refused, naming the line, the field and the character.
  rows = Write("bad.jsonl", "{\"Caf\u00e9\": \"ok\"}\n{\"Caf\u00e9\": \"\u4e2d\"}\n");
  EXPECT_EQ(Run({"load", table, rows}), kExitError);
  EXPECT_NE(err.str().find("line 2: field \"Caf\u00e9\": the character U+4E2D has no Windows-1252 form"),
            std::string::npos)
      << err.str();
}

// A row that does not fit ends the load at its line, and every earlier record stays.
TEST_F(ZarnikToolTest, LoadStopsAtTheFirstBadLineKeepingTheRecordsBefore) {
  std::string schema = Write("s.json", R"({"fields": [{"name": "Id", "type": "ftInteger"},
                                                      {"name": "Name", "type": "ftString", "size": 4}],
                                           "indexes": [{"fields": ["Id"], "options": ["ixPrimary"]}]})");
  const std::pair<const char*, std::string> cases[] = {
      {R"({"Id": 3, "Nmae": "x"})", "unknown field \"Nmae\""},
      {R"({"Id": "3"})", "field \"Id\": expected a whole number, got string"},
      {R"({"Id": 3, "Name": "toolong"})", "field \"Name\": too long: 7 characters for a field of 4"},
      {R"({"Id": 1})", "ZARNIK Engine Error # " + std::to_string(ZARNIK_KEYVIOL)},
      {R"({"Id": 3)", "[json.exception.parse_error"},
  };
  int n = 0;
  for (const auto& [bad, reason] : cases) {
    SCOPED_TRACE(bad);
    std::string table = folder.File("T" + std::to_string(++n));
    RunOk({"create", table, "--schema", schema});
    // Blank lines count as lines and hold no row.
    std::string rows = Write("rows.jsonl", std::string("{\"Id\": 1, \"Name\": \"a\"}\n\n{\"Id\": 2}\n") + bad +
                                               "\n{\"Id\": 4}\n");
    EXPECT_EQ(Run({"load", table, rows}), kExitError);
    EXPECT_EQ(err.str().rfind(rows + " line 4: " + reason, 0), 0u) << err.str();
    RunOk({"dump", table});
    EXPECT_EQ(out.str(), "{\"RecordID\": 1, \"Id\": 1, \"Name\": \"a\"}\n{\"RecordID\": 2, \"Id\": 2, \"Name\": null}\n");
  }
}

TEST_F(ZarnikToolTest, SampleMakesTheDataWithItsIndexes) {
  std::string sample = folder.File("sample");
  RunOk({"sample", sample, "--rows", "300", "--seed", "5"});
  std::string table = sample + "/TheData";
  RunOk({"dump", table});
  std::vector<json> rows = JsonLines(out.str());
  ASSERT_EQ(rows.size(), 300u);
  TSampleRows expected(5);
  for (size_t i = 0; i < rows.size(); ++i) {
    json want = TSampleRows::RowJson(expected.Next());
    want["RecordID"] = i + 1;
    want["SeqNo"] = i + 1;
    if (want["Field7"] == "") want["Field7"] = nullptr;
    EXPECT_EQ(rows[i], want) << i;
  }
  // The case-insensitive index orders Field2 without regard to case.
  RunOk({"dump", table, "--index", "wwTemp"});
  std::vector<json> byField2 = JsonLines(out.str());
  ASSERT_EQ(byField2.size(), 300u);
  for (size_t i = 1; i < byField2.size(); ++i) {
    if (byField2[i - 1]["Field2"].is_null()) continue;
    std::string a = byField2[i - 1]["Field2"], b = byField2[i]["Field2"];
    std::transform(a.begin(), a.end(), a.begin(), ::toupper);
    std::transform(b.begin(), b.end(), b.begin(), ::toupper);
    EXPECT_LE(a, b);
  }

  RunOk({"info", table});
  json info = json::parse(out.str());
  EXPECT_EQ(info["header"]["recordCount"], 300);
  EXPECT_EQ(info["header"]["lastAutoIncrementValue"], 300);
  EXPECT_EQ(info["header"]["fieldCount"], 8);
  ASSERT_EQ(info["fields"].size(), 8u);
  EXPECT_EQ(info["fields"][0]["name"], "SeqNo");
  EXPECT_EQ(info["fields"][0]["type"], "ftAutoInc");
  EXPECT_EQ(info["fields"][7]["type"], "ftMemo");
  EXPECT_EQ(info["fields"][1]["offset"], 30);
  EXPECT_EQ(info["indexes"], json::parse(R"([
      {"name": "", "fields": ["SeqNo"], "options": ["ixPrimary", "ixUnique"], "descFields": [], "compression": "icNone"},
      {"name": "wwTemp", "fields": ["Field2"], "options": ["ixCaseInsensitive"], "descFields": [],
       "compression": "icNone"}])"));
  EXPECT_EQ(info["textIndex"]["fields"], json::array());
  EXPECT_EQ(info["textIndex"]["stopWords"].size(), 22u);
}

TEST_F(ZarnikToolTest, InfoShowsTheStoredTextIndexParameters) {
  std::string table = CopyFixture(kFixtures[2]);
  RunOk({"info", table});
  json info = json::parse(out.str());
  EXPECT_EQ(info["textIndex"]["fields"], json::parse(R"(["Field1", "Field7"])"));
  EXPECT_EQ(info["indexes"].size(), 5u);
  EXPECT_EQ(info["indexes"][4]["descFields"], json::parse(R"(["Field4"])"));
  EXPECT_EQ(info["indexes"][4]["compression"], "icFull");
  EXPECT_EQ(info["header"]["blobBlockSize"], 128);
  // The description reads back as a schema that creates the same table.
  json schema{{"fields", info["fields"]}, {"indexes", info["indexes"]}, {"textIndex", info["textIndex"]},
              {"indexPageSize", 1024}, {"blobBlockSize", 128}};
  RunOk({"create", folder.File("Again"), "--schema", Write("again.json", schema.dump())});
  RunOk({"info", folder.File("Again")});
  json again = json::parse(out.str());
  EXPECT_EQ(again["fields"], info["fields"]);
  EXPECT_EQ(again["indexes"], info["indexes"]);
  EXPECT_EQ(again["textIndex"], info["textIndex"]);
}

TEST_F(ZarnikToolTest, EncryptedTablesNeedTheirPassword) {
  std::string table = CopyFixture(kFixtures[3]);
  EXPECT_EQ(Run({"dump", table}), kExitError);
  EXPECT_NE(err.str().find("ZARNIK Engine Error # " + std::to_string(ZARNIK_NOTSUFFTABLERIGHTS)), std::string::npos)
      << err.str();
  EXPECT_EQ(out.str(), "");
  setenv(kPasswordVariable, "Secret1", 1);
  RunOk({"info", table});
  EXPECT_EQ(json::parse(out.str())["header"]["encrypted"], true);
  // A new encrypted table takes the schema's password.
  std::string schema = Write("s.json", R"({"fields": [{"name": "A", "type": "ftInteger"}], "password": "Other1"})");
  RunOk({"create", folder.File("Locked"), "--schema", schema});
  EXPECT_EQ(Run({"info", folder.File("Locked")}), kExitError);
  RunOk({"info", folder.File("Locked"), "--password", "Other1"});
}

TEST_F(ZarnikToolTest, EngineErrorsEndWithStatusTwoAndTheirMessage) {
  EXPECT_EQ(Run({"dump", folder.File("Missing")}), kExitError);
  EXPECT_NE(err.str().find("ZARNIK Engine Error # " + std::to_string(ZARNIK_OSENOENT)), std::string::npos)
      << err.str();
  std::string schema = Write("s.json", R"({"fields": [{"name": "A", "type": "ftString", "size": 600}]})");
  EXPECT_EQ(Run({"create", folder.File("T"), "--schema", schema}), kExitError);
  EXPECT_NE(err.str().find("ZARNIK Engine Error # " + std::to_string(ZARNIK_INVALIDFLDTYPE)), std::string::npos)
      << err.str();
  EXPECT_EQ(Run({"create", folder.File("T"), "--schema", folder.File("none.json")}), kExitError);
  EXPECT_EQ(err.str(), "cannot read " + folder.File("none.json") + "\n");
}

}  // namespace
}  // namespace zarnik::cli
