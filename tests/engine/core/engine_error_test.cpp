#include "engine/core/engine_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/core/error_table.h"

namespace zarnik {
namespace {

EZARNIKEngineError Raised(TDataEngine& engine, TErrorCode code, const TErrorItems& items = {}) {
  try {
    engine.RaiseError(code, items);
  } catch (const EZARNIKEngineError& e) {
    return e;
  }
  ADD_FAILURE() << "RaiseError returned";
  return EZARNIKEngineError(TErrorContext{});
}

std::string Text(TErrorCode code, const std::string& message) {
  return "ZARNIK Engine Error # " + std::to_string(code) + " " + message;
}

TEST(EngineError, FillsPlaceholdersInTheirOrder) {
  struct Case {
    TErrorCode code;
    TErrorItems items;
    std::string message;
  } cases[] = {
      {ZARNIK_KEYVIOL,
       {.tableName = "Customers", .indexName = "ByName"},
       "Duplicate key found in the index 'ByName' of the table 'Customers'"},
      {ZARNIK_INVALIDIDXDESC,
       {.tableName = "T", .fieldName = "7", .indexName = "Ix"},
       "Invalid field number '7' specified in the index 'Ix' for the table 'T'"},
      {ZARNIK_INVALIDFILTER,
       {.tableName = "T", .text = "bad token", .line = 3, .column = 17},
       "Filter error for the table 'T' - bad token at line 3, column 17"},
      {ZARNIK_REMOTENOTAUTH,
       {.serverName = "10.0.0.1", .userName = "ann", .databaseName = "Sales"},
       "The user 'ann' is not authorized to perform this operation with the database 'Sales' on the database "
       "server "
       "at '10.0.0.1'"},
      {0x2C27,
       {.serverName = "srv", .userName = "bob", .procedureName = "Nightly"},
       "The procedure user 'bob' does not exist for the database 'Nightly' on the database server at 'srv'"},
      {ZARNIK_DATABASEFULL,
       {.databaseName = "Memory", .tableName = "T"},
       "The database 'Memory' is full and cannot contain any more tables"},
      // Items the template does not use are ignored.
      {ZARNIK_REMOTEINVUSER, {.userName = "x", .tableName = "T"}, "The user name is either invalid or blank"},
      {ZARNIK_IMPORTERROR,
       {.tableName = "T", .text = "no file", .line = 4, .column = 5},
       "An error occurred during the import into the table 'T' - no file"},
      {ZARNIK_OSENOMEM,
       {.tableName = "T", .text = "x"},
       "There is insufficient operating system memory available for the current operation"},
      {ZARNIK_UNCOMPRESS, {.tableName = "T"}, "Error uncompressing data"},
      // Codes without a template of their own, and codes nobody knows.
      {ZARNIK_NONE, {.tableName = "T"}, "An unknown error occurred"},
      {ZARNIK_REMOTECALLBACK, {}, "An unknown error occurred"},
      {0x2203, {.tableName = "T"}, "An unknown error occurred"},
      {0xFFFF, {}, "An unknown error occurred"},
      // Line and column print unsigned.
      {ZARNIK_SQLPARSE,
       {.text = "x", .line = -1, .column = 0},
       "SQL parsing error - x at line 4294967295, column 0"},
  };
  TDataEngine engine;
  for (const Case& c : cases) {
    EZARNIKEngineError e = Raised(engine, c.code, c.items);
    EXPECT_EQ(e.ErrorCode, c.code);
    EXPECT_EQ(e.Message(), Text(c.code, c.message));
    EXPECT_EQ(engine.GetErrorMessage(c.code), c.message) << "read from the engine's context";
  }
}

TEST(EngineError, CopiesEveryContextItem) {
  TDataEngine engine;
  TErrorItems items{"srv", "usr", "db", "tbl", "fld", "idx", "txt", "proc", "evt", 12, 34};
  EZARNIKEngineError e = Raised(engine, ZARNIK_KEYVIOL, items);
  EXPECT_EQ(e.ErrorServerName, "srv");
  EXPECT_EQ(e.ErrorUserName, "usr");
  EXPECT_EQ(e.ErrorDatabaseName, "db");
  EXPECT_EQ(e.ErrorTableName, "tbl");
  EXPECT_EQ(e.ErrorFieldName, "fld");
  EXPECT_EQ(e.ErrorIndexName, "idx");
  EXPECT_EQ(e.ErrorText, "txt");
  EXPECT_EQ(e.ErrorProcedureName, "proc");
  EXPECT_EQ(e.ErrorEventName, "evt");
  EXPECT_EQ(e.ErrorLine, 12);
  EXPECT_EQ(e.ErrorColumn, 34);

  // The next raise starts from an empty context.
  EZARNIKEngineError next = Raised(engine, ZARNIK_EOF, {.tableName = "other"});
  EXPECT_EQ(next.ErrorIndexName, "");
  EXPECT_EQ(next.ErrorServerName, "");
  EXPECT_EQ(next.ErrorLine, 0);
  EXPECT_EQ(next.Message(), Text(ZARNIK_EOF, "End of table 'other' unexpectedly encountered"));
}

TEST(EngineError, CutsLongMessagesAndItems) {
  TDataEngine engine;
  std::string index(200, 'i');
  std::string table(300, 't');
  EZARNIKEngineError e = Raised(engine, ZARNIK_KEYVIOL, {.tableName = table, .indexName = index});
  std::string full =
      "Duplicate key found in the index '" + index + "' of the table '" + table.substr(0, 255) + "'";
  EXPECT_EQ(e.Message(), Text(ZARNIK_KEYVIOL, full.substr(0, 254)));
  EXPECT_EQ(e.ErrorIndexName, index);
  EXPECT_EQ(e.ErrorTableName, table.substr(0, 255));

  // A message of exactly 254 characters is kept whole.
  std::string prefix = "Cannot lock the table '";
  std::string fits(254 - prefix.size() - 1, 'n');
  EXPECT_EQ(Raised(engine, ZARNIK_LOCKED, {.tableName = fits}).Message(),
            Text(ZARNIK_LOCKED, prefix + fits + "'"));
}

TEST(EngineError, PendingOSCodeGoesToTheNextRaiseOnly) {
  TDataEngine engine;
  platform::SetLastOSError(ENOENT);
  EXPECT_EQ(engine.TranslateOSError(), ZARNIK_OSENOENT);
  EZARNIKEngineError missing = Raised(engine, ZARNIK_OSENOENT, {.tableName = "/data/TheData.dat"});
  EXPECT_EQ(missing.OSErrorCode, ZARNIK_OSENOENT);
  EXPECT_EQ(missing.Message(),
            Text(ZARNIK_OSENOENT, "Table or backup file '/data/TheData.dat' does not exist"));
  EXPECT_EQ(Raised(engine, ZARNIK_READERR).OSErrorCode, 0);

  // The unknown-error template shows the translated code itself.
  platform::SetLastOSError(EIO);
  EXPECT_EQ(engine.TranslateOSError(), ZARNIK_OSUNKNOWN);
  EXPECT_EQ(Raised(engine, ZARNIK_OSUNKNOWN, {.tableName = "T"}).Message(),
            Text(ZARNIK_OSUNKNOWN,
                 "An unknown operating system error 11047 occurred with the table or backup file 'T'"));
  EXPECT_EQ(Raised(engine, ZARNIK_OSUNKNOWN, {.tableName = "T"}).Message(),
            Text(ZARNIK_OSUNKNOWN,
                 "An unknown operating system error 0 occurred with the table or backup file 'T'"));

  engine.SetPendingSocketError(10054);
  EXPECT_EQ(Raised(engine, ZARNIK_REMOTECOMMLOST).SocketErrorCode, 10054);
  EXPECT_EQ(Raised(engine, ZARNIK_REMOTECOMMLOST).SocketErrorCode, 0);
}

TEST(EngineError, TranslatesOperatingSystemErrors) {
  struct Case {
    int error;
    TErrorCode code;
  } cases[] = {{ENOENT, ZARNIK_OSENOENT},  {ENOTDIR, ZARNIK_OSENOENT},     {EMFILE, ZARNIK_OSEMFILE},
               {ENFILE, ZARNIK_OSEMFILE},  {EACCES, ZARNIK_OSEACCES},      {EPERM, ZARNIK_OSEACCES},
               {EBUSY, ZARNIK_OSEACCES},   {EEXIST, ZARNIK_OSEACCES},      {EROFS, ZARNIK_OSEACCES},
               {ETXTBSY, ZARNIK_OSEACCES}, {EWOULDBLOCK, ZARNIK_OSEACCES}, {EBADF, ZARNIK_OSEBADF},
               {ENOMEM, ZARNIK_OSENOMEM},  {ENODEV, ZARNIK_OSENODEV},      {ENXIO, ZARNIK_OSENODEV},
               {EXDEV, ZARNIK_OSENOTSAM},  {EIO, ZARNIK_OSUNKNOWN},        {ENOSPC, ZARNIK_OSUNKNOWN},
               {0, ZARNIK_OSUNKNOWN}};
  TDataEngine engine;
  for (const Case& c : cases) {
    platform::SetLastOSError(c.error);
    EXPECT_EQ(engine.TranslateOSError(), c.code) << c.error;
    EXPECT_EQ(engine.PendingOSError(), c.code) << c.error;
  }
}

TEST(EngineError, NamesCodes) {
  EXPECT_EQ(GetErrorName(ZARNIK_KEYVIOL), "ZARNIK_KEYVIOL");
  EXPECT_EQ(GetErrorName(ZARNIK_NONE), "ZARNIK_NONE");
  EXPECT_EQ(GetErrorName(ZARNIK_CANNOTLOADLDDRV), "ZARNIK_CANNOTLOADLDDRV");
  // 11300 has a message but no name; unknown codes have neither.
  EXPECT_EQ(GetErrorName(11300), "");
  TDataEngine engine;
  EXPECT_EQ(Raised(engine, 11300, {.serverName = "s", .procedureName = "p"}).Message(),
            Text(11300, "The procedure 'p' does not exist on the database server at 's'"));
  EXPECT_EQ(GetErrorName(0x2203), "");
}

TEST(EngineError, ReadsTheCodeOfAnyException) {
  TDataEngine engine;
  try {
    engine.RaiseError(ZARNIK_TABLEFULL, "T");
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(GetExceptionErrorCode(e), ZARNIK_TABLEFULL);
    EXPECT_EQ(GetExceptionErrorCode(std::current_exception()), ZARNIK_TABLEFULL);
  }
  EXPECT_EQ(GetExceptionErrorCode(std::runtime_error("x")), ZARNIK_OSUNKNOWN);
  EXPECT_EQ(GetExceptionErrorCode(EDatabaseError("Cannot perform this operation on an open dataset")),
            ZARNIK_OSUNKNOWN);
  EXPECT_EQ(GetExceptionErrorCode(std::make_exception_ptr(42)), ZARNIK_OSUNKNOWN);
  EXPECT_EQ(GetExceptionErrorCode(std::exception_ptr()), ZARNIK_OSUNKNOWN);
}

TEST(EngineError, TableIsSortedAndTemplatesMatchTheirItems) {
  // Lookups search the table by halves, and every placeholder needs an item.
  const auto& table = detail::kErrorTable;
  for (size_t i = 0; i < std::size(table); ++i) {
    if (i > 0) {
      EXPECT_LT(table[i - 1].code, table[i].code) << table[i].code;
    }
    size_t placeholders = 0;
    for (const char* p = table[i].message; *p != 0; ++p)
      if (p[0] == '%' && (p[1] == 's' || p[1] == 'u')) ++placeholders;
    size_t items = 0;
    while (items < std::size(table[i].items) && table[i].items[items] != ErrorItem::None) ++items;
    EXPECT_EQ(placeholders, items) << table[i].code;
  }
}

TEST(EngineError, RaisesFromSeveralThreadsKeepTheirOwnContext) {
  TDataEngine engine;
  std::vector<std::thread> threads;
  const TErrorCode codes[] = {ZARNIK_READERR, ZARNIK_WRITEERR, ZARNIK_LOCKED, ZARNIK_TABLEFULL};
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::string table = "table" + std::to_string(t);
      for (int i = 0; i < 500; ++i) {
        EZARNIKEngineError e = Raised(engine, codes[t], {.tableName = table});
        if (e.ErrorTableName != table || e.ErrorCode != codes[t] ||
            e.Message().find(table) == std::string::npos)
          ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace zarnik
