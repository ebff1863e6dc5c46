#include "engine/core/data_engine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/data_session.h"

namespace zarnik {
namespace {

std::string Hex(const TDigest& digest) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : digest) hex += {digits[b >> 4], digits[b & 15]};
  return hex;
}

TEST(DataEngine, StartsWithTheDefaultSettings) {
  TDataEngine engine;
  const TEngineSettings& s = engine.Settings;
  EXPECT_FALSE(engine.Active());
  EXPECT_FALSE(engine.Server);
  EXPECT_EQ(s.LockFileName, "zarnik.lck");
  EXPECT_EQ(s.TableDataExtension + s.TableIndexExtension + s.TableBlobExtension, ".dat.idx.blb");
  EXPECT_EQ(s.TableDataBackupExtension + s.TableIndexBackupExtension + s.TableBlobBackupExtension,
            ".dbk.ibk.bbk");
  EXPECT_EQ(s.TableDataUpgradeExtension + s.TableIndexUpgradeExtension + s.TableBlobUpgradeExtension,
            ".dup.iup.bup");
  EXPECT_EQ(s.TableDataTempExtension + s.TableIndexTempExtension + s.TableBlobTempExtension, ".dat.idx.blb");
  EXPECT_FALSE(s.CreateTempTablesInDatabase);
  EXPECT_EQ(
      std::vector<int32_t>({s.MaxTableDataBufferSize, s.MaxTableDataBufferCount, s.MaxTableIndexBufferSize,
                            s.MaxTableIndexBufferCount, s.MaxTableBlobBufferSize, s.MaxTableBlobBufferCount}),
      std::vector<int32_t>({32768, 8192, 65536, 8192, 32768, 8192}));
  EXPECT_EQ(s.TableFilterIndexThreshhold, 1);
  EXPECT_EQ(
      std::vector<uint16_t>({s.TableReadLockWaitTime, s.TableReadLockRetryCount, s.TableWriteLockWaitTime,
                             s.TableWriteLockRetryCount, s.TableTransLockWaitTime, s.TableTransLockRetryCount,
                             s.TableMaxReadLockCount}),
      std::vector<uint16_t>({3, 32768, 3, 32768, 3, 32768, 100}));
  EXPECT_FALSE(s.LargeFileSupport);
}

TEST(DataEngine, LimitsFollowLargeFileSupport) {
  struct Expected {
    bool large;
    uint64_t fileSize, recordCount, top, transBase, tableLockBase, slotBase;
  } cases[] = {
      {false, 4000000000ULL, 200000000ULL, 0xFFFFFFFFULL, 0xFFFF0000ULL, 0xFFFEF000ULL, 4094967295ULL},
      {true, 128000000000ULL, 1000000000ULL, 0x7FFFFFFFFFFFFFFFULL, 0x7FFFFFFFFFFF0000ULL,
       0x7FFFFFFFFFFEF000ULL, 9223372035854775807ULL},
  };
  for (const Expected& e : cases) {
    TDataEngine engine;
    engine.Settings.LargeFileSupport = e.large;
    engine.StartEngine("zarnik.lck");
    const TEngineLimits& l = engine.Limits();
    EXPECT_EQ(l.MaxTableFileSize, e.fileSize);
    EXPECT_EQ(l.MaxTableRecordCount, e.recordCount);
    EXPECT_EQ(l.MaxTableRecordCount64, e.recordCount);
    EXPECT_EQ(l.LockFileTop, e.top);
    EXPECT_EQ(l.TableFileTop, e.top);
    EXPECT_EQ(l.TransLockBase, e.transBase);
    EXPECT_EQ(l.TableReadLockBase, e.tableLockBase);
    EXPECT_EQ(l.TableWriteLockBase, e.tableLockBase);
    EXPECT_EQ(l.SlotLockBase, e.slotBase);
    EXPECT_EQ(l.LockFileSpan, 65535u);
    EXPECT_EQ(l.TransLockSpan, 4096u);
    EXPECT_EQ(l.TableReadLockSpan, 65535u);
    EXPECT_EQ(l.TableWriteLockSpan, 65535u);
    EXPECT_EQ(l.DatabaseWriteLockSpan, 268431360u);
    EXPECT_EQ(l.SlotLockCount, 1024u);
    // Record lock bytes (top - record number) and the numbered slots stay
    // clear of each other.
    EXPECT_LT(l.SlotLockBase - l.SlotLockCount, l.TableFileTop - l.MaxTableRecordCount64);
  }
}

TEST(DataEngine, StartAndStop) {
  TDataEngine engine;
  engine.Events.customFunctionLookup = [](std::vector<std::string>& names) {
    for (int i = 0; i < 1100; ++i) names.push_back("Fn" + std::to_string(i));
    names[0] = std::string(300, 'f');
  };
  engine.StartEngine("shared.lck");
  EXPECT_TRUE(engine.Active());
  EXPECT_EQ(engine.Settings.LockFileName, "shared.lck");
  ASSERT_EQ(engine.CustomFunctionNames().size(), 1023u);
  EXPECT_EQ(engine.CustomFunctionNames()[0].size(), 255u);
  EXPECT_EQ(engine.CustomFunctionNames()[1022], "Fn1022");
  engine.StopEngine();
  EXPECT_FALSE(engine.Active());
  EXPECT_TRUE(engine.CustomFunctionNames().empty());

  engine.StartEngine(std::string(300, 'n'));
  EXPECT_EQ(engine.Settings.LockFileName, std::string(255, 'n'));
}

TEST(DataEngine, KeepsItsSessions) {
  TDataEngine engine;
  TDataSession& first = engine.CreateSession();
  TDataSession& second = engine.CreateSession();
  EXPECT_EQ(&first.Engine(), &engine);
  EXPECT_EQ(engine.SessionCount(), 2u);
  engine.FreeSession(&first);
  EXPECT_EQ(engine.SessionCount(), 1u);
  engine.FreeSession(nullptr);
  TDataEngine other;
  engine.FreeSession(&other.CreateSession());
  EXPECT_EQ(engine.SessionCount(), 1u);
  EXPECT_EQ(other.SessionCount(), 1u);
  (void)second;  // freed with the engine
}

TEST(DataEngine, OffersTheBuiltInLocaleOnly) {
  TDataEngine engine;
  engine.LoadLocales();
  ASSERT_EQ(engine.Locales().size(), 1u);
  EXPECT_EQ(engine.Locales()[0].id, 0u);
  EXPECT_EQ(engine.Locales()[0].name, "ANSI Standard");
  EXPECT_EQ(engine.Locales()[0].shortName, "ANSI");
  EXPECT_TRUE(engine.IsLocaleSupported(0));
  EXPECT_FALSE(engine.IsLocaleSupported(0x409));
  uint32_t id = 99;
  EXPECT_TRUE(engine.FindLocaleByName("ansi STANDARD", &id));
  EXPECT_EQ(id, 0u);
  EXPECT_FALSE(engine.FindLocaleByName("German (German Phone Book)"));
}

TEST(DataEngine, CollationTableIsBuiltOnceAndSharedByUnknownLocales) {
  TDataEngine engine;
  engine.LoadLocales();
  const std::array<uint8_t, 256>& table = engine.GetCollationTable(0);
  for (int c = 0; c < 256; ++c) ASSERT_EQ(table[c], c);
  EXPECT_EQ(&engine.GetCollationTable(0), &table);
  EXPECT_EQ(&engine.GetCollationTable(0x10407), &table);
  EXPECT_TRUE(engine.Locales()[0].collationBuilt);
}

TEST(DataEngine, SignatureDigest) {
  // RFC 1321's own examples first.
  EXPECT_EQ(Hex(MD5Digest("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Hex(MD5Digest("abc")), "900150983cd24fb0d6963f7d28e17f72");

  // A foreign table carries the digest of the default signature at offset 9.
  std::ifstream in(std::string(ZARNIK_TEST_DATA_DIR) + "/thedata/TheData.dat", std::ios::binary);
  std::vector<char> header(25);
  ASSERT_TRUE(in.read(header.data(), header.size()));
  TDigest stored;
  std::copy(header.begin() + 9, header.end(), stored.begin());

  TDataEngine engine;
  EXPECT_EQ(engine.Signature(), "ZARNIK_SIG");
  EXPECT_EQ(engine.SignatureDigest(), stored);
  engine.SetSignature("MyCompany");
  EXPECT_EQ(engine.SignatureDigest(), MD5Digest("MyCompany"));
  EXPECT_TRUE(engine.IsKnownSignatureDigest(stored));
  EXPECT_TRUE(engine.IsKnownSignatureDigest(MD5Digest("MyCompany")));
  EXPECT_FALSE(engine.IsKnownSignatureDigest(MD5Digest("Other")));
}

TEST(DataEngine, NamesTableVersions) {
  const char* names[] = {"1.00", "1.02", "1.04", "1.08", "2.00", "3.00", "4.00"};
  for (uint8_t v = 0; v < 7; ++v) EXPECT_EQ(TDataEngine::GetVersionName(v), names[v]);
  EXPECT_EQ(TDataEngine::GetVersionName(7), "");
  EXPECT_EQ(TDataEngine::GetVersionName(255), "");
}

TEST(CallbackMark, RestoresWhatWasThere) {
  bool mark = false;
  {
    TCallbackMarkGuard guard(mark);
    EXPECT_TRUE(mark);
    { TCallbackMarkGuard nested(mark); }
    EXPECT_TRUE(mark);
  }
  EXPECT_FALSE(mark);
}

}  // namespace
}  // namespace zarnik
