#include "engine/core/data_session.h"

#include <gtest/gtest.h>

#include "engine/core/data_engine.h"
#include "platform/system.h"

namespace zarnik {
namespace {

TEST(DataSession, StartsWithTheDefaultSettings) {
  TDataEngine engine;
  TDataSession& session = engine.CreateSession();
  EXPECT_EQ(session.GetPrivateDir(), platform::TemporaryFolder());
  EXPECT_EQ(session.ProgressSteps(), 20);
  EXPECT_EQ(session.LockRetryCount(), 15);
  EXPECT_EQ(session.LockWaitTime(), 100);
  EXPECT_EQ(session.LockProtocol(), TDataSession::kPessimisticLocking);
  EXPECT_FALSE(session.ForceBufferFlush());
  EXPECT_FALSE(session.StrictChangeDetection());
  EXPECT_TRUE(session.ActivePasswords().empty());
}

TEST(DataSession, PrivateDirectoryEndsInOneDelimiter) {
  TDataEngine engine;
  TDataSession& session = engine.CreateSession();
  session.SetPrivateDir("  /data/private  ");
  EXPECT_EQ(session.GetPrivateDir(), "/data/private/");
  session.SetPrivateDir("/data/private/");
  EXPECT_EQ(session.GetPrivateDir(), "/data/private/");
  session.SetPrivateDir("");
  EXPECT_EQ(session.GetPrivateDir(), platform::CurrentFolder() + "/");
}

TEST(DataSession, ProgressPercentStepDividesOneHundred) {
  TDataEngine engine;
  TDataSession& session = engine.CreateSession();
  for (auto [steps, percent] : {std::pair{20, 5}, {0, 100}, {3, 33}, {1, 100}, {100, 1}}) {
    session.SetProgressSteps(static_cast<uint16_t>(steps));
    EXPECT_EQ(session.GetProgressPercentStep(), percent) << steps;
  }
}

TEST(DataSession, PasswordsAreMadeOnceAndReused) {
  TDataEngine engine;
  TDataSession& session = engine.CreateSession();
  session.AddPassword("");
  session.AddPassword("Secret1");
  session.AddPassword("Secret1");
  ASSERT_EQ(session.ActivePasswords().size(), 1u);
  TDataPassword* first = session.ActivePasswords()[0];
  EXPECT_EQ(first->Digest(), MD5Digest("Secret1"));
  EXPECT_GT(first->ScheduleSize(), 0u);

  session.RemovePassword("Secret1");
  EXPECT_TRUE(session.ActivePasswords().empty());
  session.AddPassword("Secret1");
  ASSERT_EQ(session.ActivePasswords().size(), 1u);
  EXPECT_EQ(session.ActivePasswords()[0], first);

  session.AddPassword("other");
  session.RemoveAllPasswords();
  EXPECT_TRUE(session.ActivePasswords().empty());
  EXPECT_EQ(session.FindPassword("other"), nullptr);
}

TEST(DataSession, FindsThePasswordOfATableByItsCheckValueExactly) {
  TDataEngine engine;
  TDataSession& maker = engine.CreateSession();
  maker.AddPassword("Secret1");
  const TDigest checkValue = maker.FindPassword("Secret1")->CheckValue();

  TDataSession& session = engine.CreateSession();
  EXPECT_EQ(session.FindPasswordForTable(checkValue), nullptr);
  session.AddPassword("secret1");
  session.AddPassword("wrong");
  EXPECT_EQ(session.FindPasswordForTable(checkValue), nullptr);
  session.AddPassword("Secret1");
  TDataPassword* found = session.FindPasswordForTable(checkValue);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Text(), "Secret1");
  session.RemovePassword("Secret1");
  EXPECT_EQ(session.FindPasswordForTable(checkValue), nullptr);
}

TEST(DataSession, RequestPasswordAsksTheApplication) {
  TDataEngine engine;
  TDataSession& session = engine.CreateSession();
  EXPECT_FALSE(session.RequestPassword());
  session.passwordRequest = [](TDataSession& s) {
    s.AddPassword("given");
    return true;
  };
  EXPECT_TRUE(session.RequestPassword());
  EXPECT_NE(session.FindPassword("given"), nullptr);
}

TEST(DataSession, EngineCreatesAndFreesSessions) {
  TDataEngine engine;
  TDataSession& first = engine.CreateSession();
  engine.CreateSession();
  EXPECT_EQ(engine.SessionCount(), 2u);
  TDataEngine other;
  engine.FreeSession(&other.CreateSession());
  EXPECT_EQ(engine.SessionCount(), 2u);
  engine.FreeSession(&first);
  EXPECT_EQ(engine.SessionCount(), 1u);
}

}  // namespace
}  // namespace zarnik
