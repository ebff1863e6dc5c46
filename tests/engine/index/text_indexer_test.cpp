#include "engine/index/text_indexer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "engine/index/key_layout.h"
#include "tests/engine/index/memory_page_store.h"
#include "tests/engine/index/tree_checker.h"

namespace zarnik {
namespace {

using Words = std::vector<std::string>;

class TextIndexerTest : public ::testing::Test {
 protected:
  TTextIndexParams params_ = TTextIndexParams::Defaults();
  TEngineEvents events_;
  TTextIndexer indexer_{params_, &events_, "TheData"};
};

TEST_F(TextIndexerTest, SplitsAtSpaceCharactersAndDropsOthers) {
  EXPECT_EQ(indexer_.SplitWords("well-known o'clock", "F"), (Words{"known", "oclock", "well"}));
  EXPECT_EQ(indexer_.SplitWords("Word word WORD other", "F"), (Words{"other", "Word"}));
  EXPECT_EQ(indexer_.SplitWords(std::string(70, 'x') + " y", "F"), (Words{std::string(61, 'x'), "y"}));
  EXPECT_EQ(indexer_.SplitWords("ab* c*d", "F", true), (Words{"ab*", "c*d"}));
  EXPECT_EQ(indexer_.SplitWords("ab* c*d", "F"), (Words{"ab", "c", "d"}));
}

TEST_F(TextIndexerTest, EventsFilterTextAndWords) {
  events_.textIndexFilter = [](const std::string& table, const std::string& field, std::string& text) {
    EXPECT_EQ(table, "TheData");
    if (field == "Fails") throw std::runtime_error("filter failed");
    text = "replaced " + text;
  };
  events_.textIndexTokenFilter = [](const std::string&, const std::string&, const std::string& token,
                                    bool& include) { include = token != "secret"; };
  EXPECT_EQ(indexer_.SplitWords("secret plan", "F"), (Words{"plan", "replaced"}));
  EXPECT_EQ(indexer_.SplitWords("secret plan", "Fails"), (Words{"plan"}));
}

TEST_F(TextIndexerTest, KeysLeaveOutStopWordsWhateverTheirCase) {
  auto keys = indexer_.BuildTextKeys(7, "F", "The cat AND the Hat", 3);
  ASSERT_EQ(keys.size(), 2u);
  std::vector<uint8_t> expected(68);
  TKeyLayout::BuildTextKey(7, "CAT", 3, expected.data());
  EXPECT_EQ(keys[0], expected);
}

TEST_F(TextIndexerTest, UpdatesTouchOnlyTheWordsThatChanged) {
  test::TMemoryPageStore store(1024);
  TKeyLayout layout(TIndexDefinition::DefaultText(), {}, 31);
  const TIndexProps props{68, 0, 1, 3};
  TIndexTree tree(store, 31, props, layout);
  indexer_.InsertTextKeys(tree, 2, "F", "red green blue", 10, 1);
  indexer_.InsertTextKeys(tree, 2, "F", "green", 11, 2);
  indexer_.UpdateTextKeys(tree, 2, "F", "red green blue", "green yellow", 10, 1);
  test::TTreeReport report = test::CheckTree(store, 31, props, layout);
  ASSERT_EQ(report.error, "");
  Words words;
  for (const auto& entry : report.entries)
    words.push_back(std::string(reinterpret_cast<const char*>(entry.key.data() + 3),
                                strnlen(reinterpret_cast<const char*>(entry.key.data() + 3), 61)) +
                    "/" + std::to_string(entry.record));
  EXPECT_EQ(words, (Words{"GREEN/1", "GREEN/2", "YELLOW/1"}));
  indexer_.RemoveTextKeys(tree, 2, "F", "green yellow", 10);
  indexer_.RemoveTextKeys(tree, 2, "F", "green", 11);
  EXPECT_EQ(store.RootPage(31), 0u);
}

}  // namespace
}  // namespace zarnik
