#include "engine/index/text_index_params.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/index/index_tree.h"
#include "platform/byte_order.h"
#include "tests/engine/index/memory_page_store.h"

namespace zarnik {
namespace {

const TIndexProps kTextProps{68, 0, 1, 3};

class TextIndexParamsTest : public ::testing::Test {
 protected:
  test::TMemoryPageStore store_{1024};
  test::TBytewiseComparer comparer_;
  TIndexTree tree_{store_, 31, kTextProps, comparer_};

  TTextIndexParams RoundTrip(const TTextIndexParams& params, uint32_t& first) {
    first = params.EncodeTo(tree_, store_, first);
    store_.Flush();
    store_.Drop();
    TTextIndexParams loaded;
    loaded.DecodeFrom(store_, kTextProps, first);
    return loaded;
  }
  TErrorCode LoadError(uint32_t first) {
    try {
      store_.Drop();
      TTextIndexParams().DecodeFrom(store_, kTextProps, first);
    } catch (const EZARNIKEngineError& e) {
      return e.ErrorCode;
    }
    return ZARNIK_NONE;
  }
};

TEST_F(TextIndexParamsTest, DefaultsHoldTheStandardWordsAndCharacters) {
  TTextIndexParams params = TTextIndexParams::Defaults();
  ASSERT_EQ(params.StopWords.size(), 22u);
  EXPECT_EQ(params.StopWords.front(), "A");
  EXPECT_EQ(params.StopWords.back(), "WILL");
  EXPECT_TRUE(params.IsStopWord("the"));
  EXPECT_TRUE(params.IsStopWord("ThIs"));
  EXPECT_FALSE(params.IsStopWord("then"));
  for (uint8_t c : {uint8_t(1), uint8_t(' '), uint8_t('-'), uint8_t('\\'), uint8_t('`')})
    EXPECT_TRUE(TTextIndexParams::InSet(params.SpaceChars, c)) << int(c);
  for (uint8_t c : {uint8_t(0), uint8_t('\''), uint8_t('a'), uint8_t(33)})
    EXPECT_FALSE(TTextIndexParams::InSet(params.SpaceChars, c)) << int(c);
  for (uint8_t c : {uint8_t('A'), uint8_t('z'), uint8_t('_'), uint8_t('5'), uint8_t(128), uint8_t(254)})
    EXPECT_TRUE(TTextIndexParams::InSet(params.IncludeChars, c)) << int(c);
  for (uint8_t c : {uint8_t('\''), uint8_t('-'), uint8_t(255), uint8_t(127)})
    EXPECT_FALSE(TTextIndexParams::InSet(params.IncludeChars, c)) << int(c);
}

TEST_F(TextIndexParamsTest, AStreamSpreadsOverAChainWithoutSplittingItems) {
  TTextIndexParams params = TTextIndexParams::Defaults();
  for (int i = 0; i < 40; ++i) params.StopWords.push_back(std::string(30 + i, char('a' + i % 26)));
  params.StopWords.push_back(std::string(300, 'x'));  // stored cut to 255
  uint32_t first = 0;
  TTextIndexParams loaded = RoundTrip(params, first);
  EXPECT_EQ(first, 1u);
  ASSERT_GE(store_.PageCount(), 3u);
  ASSERT_EQ(loaded.StopWords.size(), params.StopWords.size());
  EXPECT_EQ(loaded.StopWords.back(), std::string(255, 'x'));
  for (size_t i = 0; i + 1 < params.StopWords.size(); ++i)
    EXPECT_EQ(loaded.StopWords[i], params.StopWords[i]);
  EXPECT_EQ(loaded.SpaceChars, params.SpaceChars);
  EXPECT_EQ(loaded.IncludeChars, params.IncludeChars);
  // A shorter stream is written over the start of the same chain.
  const uint32_t pages = store_.PageCount();
  TTextIndexParams shorter = TTextIndexParams::Defaults();
  shorter.StopWords = {"ONLY"};
  EXPECT_EQ(RoundTrip(shorter, first).StopWords, shorter.StopWords);
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(store_.PageCount(), pages);
}

TEST_F(TextIndexParamsTest, BrokenChainsAreCorrupt) {
  TTextIndexParams params = TTextIndexParams::Defaults();
  for (int i = 0; i < 60; ++i) params.StopWords.push_back(std::string(40, 'w'));
  uint32_t first = 0;
  RoundTrip(params, first);
  store_.Flush();
  const uint32_t second = platform::GetUInt32({store_.Image(first).data() + 7, 4}, 0);
  const std::vector<uint8_t> firstImage = store_.Image(first), secondImage = store_.Image(second);
  const std::pair<const char*, std::function<void()>> damages[] = {
      {"negative word count",
       [&] {
         platform::PutUInt32({store_.Image(first).data() + 13, 4}, 0, uint32_t(-1));
       }},
      {"word longer than a page",
       [&] {
         platform::PutUInt32({store_.Image(first).data() + 17, 4}, 0, 5000);
       }},
      {"negative word length",
       [&] {
         platform::PutUInt32({store_.Image(first).data() + 17, 4}, 0, uint32_t(-5));
       }},
      {"chain ends early",
       [&] {
         platform::PutUInt32({store_.Image(first).data() + 7, 4}, 0, 0);
       }},
      {"page of another type", [&] { store_.Image(second)[0] = 2; }},
      {"next page outside the file",
       [&] {
         platform::PutUInt32({store_.Image(first).data() + 7, 4}, 0, 777);
       }},
      {"chain looping on itself",
       [&] {
         platform::PutUInt32({store_.Image(first).data() + 7, 4}, 0, first);
         platform::PutUInt32({store_.Image(first).data() + 13, 4}, 0, 0x7FFFFFFF);
         for (size_t at = 17; at + 4 <= 1024; at += 4)
           platform::PutUInt32({store_.Image(first).data() + at, 4}, 0, 0);
       }},
  };
  for (const auto& [what, damage] : damages) {
    damage();
    EXPECT_EQ(LoadError(first), ZARNIK_INDEXCORRUPT) << what;
    store_.Image(first) = firstImage;
    store_.Image(second) = secondImage;
  }
  EXPECT_EQ(LoadError(first), ZARNIK_NONE);
}

}  // namespace
}  // namespace zarnik
