// Long random runs of inserts, deletes and replaces against an ordered
// container, checking after every step every rule of the tree, the free
// chain, navigation both ways, counted positions and range counts.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "engine/index/index_tree.h"
#include "tests/engine/index/memory_page_store.h"
#include "tests/engine/index/tree_checker.h"

namespace zarnik {
namespace {

using Key = std::vector<uint8_t>;

struct ModelConfig {
  uint32_t pageSize;
  uint16_t keySize;
  uint8_t compression;
  bool unique;
  bool descending;
  int steps;
};

std::string ConfigName(const ::testing::TestParamInfo<ModelConfig>& info) {
  const ModelConfig& c = info.param;
  std::ostringstream name;
  name << "Page" << c.pageSize << "Key" << c.keySize << "Mode" << int(c.compression)
       << (c.unique ? "Unique" : "NonUnique") << (c.descending ? "Desc" : "Asc");
  return name.str();
}

// The field part compares bytewise, reversed when descending; the record ID
// suffix of a non-unique key always ascending.
class TModelComparer : public TKeyComparer {
 public:
  TModelComparer(size_t fieldLength, bool descending) : fieldLength_(fieldLength), descending_(descending) {}
  int Compare(const uint8_t* a, const uint8_t* b, size_t length) const override {
    const size_t field = std::min(length, fieldLength_);
    int c = std::memcmp(a, b, field);
    if (c != 0) return descending_ ? (c < 0 ? 1 : -1) : (c < 0 ? -1 : 1);
    c = std::memcmp(a + field, b + field, length - field);
    return (c > 0) - (c < 0);
  }

 private:
  size_t fieldLength_;
  bool descending_;
};

class IndexTreeModel : public ::testing::TestWithParam<ModelConfig> {
 protected:
  IndexTreeModel()
      : config_(GetParam()),
        props_{config_.keySize, uint8_t(config_.unique), 0, config_.compression},
        fieldLength_(config_.unique ? config_.keySize : config_.keySize - 4u),
        comparer_(fieldLength_, config_.descending),
        model_(Less{&comparer_, config_.keySize}),
        store_(config_.pageSize),
        tree_(store_, 2, props_, comparer_),
        random_(config_.pageSize * 131 + config_.keySize * 7 + config_.compression * 3 + config_.unique) {}

  struct Less {
    const TModelComparer* comparer;
    size_t length;
    bool operator()(const Key& a, const Key& b) const {
      return comparer->Compare(a.data(), b.data(), length) < 0;
    }
  };

  // Field part: a NULL flag, then a text from a small alphabet, zero filled,
  // so that neighbours share prefixes; half the texts are short and end in
  // long zero runs, half fill most of the field.
  Key RandomKey() {
    Key key(config_.keySize, 0);
    key[0] = random_() % 16 == 0 ? 0 : 1;
    if (key[0] == 1) {
      const size_t room = fieldLength_ - 1;
      const size_t length = random_() % 2 ? 1 + random_() % std::min<size_t>(room, 12)
                                          : room - random_() % std::min<size_t>(room, 8);
      for (size_t i = 1; i <= length; ++i) key[i] = uint8_t('a' + random_() % 3);
    }
    if (!config_.unique) {
      const uint32_t id = ++lastRecordId_;
      for (int i = 0; i < 4; ++i) key[config_.keySize - 4 + i] = uint8_t(id >> (24 - 8 * i));
    }
    return key;
  }
  const Key& AnyKey() {
    auto it = model_.begin();
    std::advance(it, random_() % model_.size());
    return it->first;
  }

  void Insert() {
    Key key = RandomKey();
    if (model_.count(key)) return;
    const uint32_t record = ++lastRecord_;
    tree_.InsertKey(key.data(), record);
    model_.emplace(key, record);
  }
  void Delete() {
    if (model_.empty()) return;
    Key key = AnyKey();
    tree_.DeleteKey(key.data());
    model_.erase(key);
  }
  void Replace() {
    if (model_.empty()) return;
    Key oldKey = AnyKey(), newKey = RandomKey();
    if (model_.count(newKey)) return;
    const uint32_t record = model_[oldKey];
    tree_.ReplaceKey(oldKey.data(), newKey.data(), record);
    model_.erase(oldKey);
    model_.emplace(newKey, record);
  }

  void CheckAll(int step) {
    SCOPED_TRACE("step " + std::to_string(step) + ", " + std::to_string(model_.size()) + " keys");
    test::TTreeReport report = test::CheckTree(store_, 2, props_, comparer_);
    ASSERT_EQ(report.error, "");
    ASSERT_EQ(report.entries.size(), model_.size());
    auto it = model_.begin();
    for (const test::TTreeEntry& entry : report.entries) {
      ASSERT_EQ(entry.key, it->first);
      ASSERT_EQ(entry.record, it->second);
      ++it;
    }
    std::string error;
    std::set<uint32_t> free = test::CheckFreeChain(store_, report.pages, props_, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(free.size() + report.pages.size(), store_.PageCount());
    maxDepth_ = std::max(maxDepth_, report.depth);
    CheckNavigation();
    CheckPositions();
    ASSERT_TRUE(store_.AllUnpinned());
  }

  void CheckNavigation() {
    TIndexPosition pos;
    auto it = model_.begin();
    for (bool on = tree_.First(pos); on; on = tree_.Next(pos), ++it) {
      ASSERT_TRUE(it != model_.end());
      ASSERT_EQ(pos.Key, it->first);
      ASSERT_EQ(pos.Record, it->second);
    }
    ASSERT_TRUE(it == model_.end());
    auto back = model_.rbegin();
    for (bool on = tree_.Last(pos); on; on = tree_.Prior(pos), ++back) {
      ASSERT_TRUE(back != model_.rend());
      ASSERT_EQ(pos.Key, back->first);
    }
    ASSERT_TRUE(back == model_.rend());
  }

  void CheckPositions() {
    ASSERT_EQ(tree_.KeyCount(), model_.size());
    if (model_.empty()) return;
    const uint32_t n = 1 + random_() % model_.size();
    TIndexPosition pos;
    ASSERT_TRUE(tree_.SeekPosition(n, pos));
    auto it = model_.begin();
    std::advance(it, n - 1);
    ASSERT_EQ(pos.Key, it->first);
    ASSERT_EQ(tree_.PositionOf(pos), n);
    // A range between two random keys, present or not.
    Key a = RandomKey(), b = RandomKey();
    if (comparer_.Compare(a.data(), b.data(), config_.keySize) > 0) std::swap(a, b);
    const size_t expected = std::distance(model_.lower_bound(a), model_.upper_bound(b));
    ASSERT_EQ(tree_.RangeCount(a.data(), b.data()), expected);
    ASSERT_EQ(tree_.RangeCount(b.data(), a.data()),
              comparer_.Compare(a.data(), b.data(), config_.keySize) == 0 ? expected : 0u);
    ASSERT_EQ(tree_.SeekAtOrAfter(a.data(), pos), model_.lower_bound(a) != model_.end());
    if (pos.Valid()) {
      ASSERT_EQ(pos.Key, model_.lower_bound(a)->first);
    }
    ASSERT_EQ(tree_.LookupKey(a.data()), model_.count(a) == 1);
  }

  ModelConfig config_;
  TIndexProps props_;
  size_t fieldLength_;
  TModelComparer comparer_;
  std::map<Key, uint32_t, Less> model_;
  test::TMemoryPageStore store_;
  TIndexTree tree_;
  std::mt19937 random_;
  uint32_t lastRecordId_ = 0, lastRecord_ = 0, maxDepth_ = 0;
};

// The run grows the index for the first half, shrinks it to nothing in the
// second, with replaces throughout; every 97 steps the pages go through their
// on-disk form.
TEST_P(IndexTreeModel, MatchesAnOrderedContainer) {
  const int steps = config_.steps;
  for (int step = 1; step <= steps; ++step) {
    const bool growing = step <= steps / 2;
    const uint32_t roll = random_() % 10;
    if (roll < 2)
      Replace();
    else if ((roll < 9) == growing)
      Insert();
    else
      Delete();
    if (step % 97 == 0) {
      store_.Flush();
      store_.Drop();
    }
    CheckAll(step);
    if (HasFatalFailure()) return;
  }
  while (!model_.empty()) Delete();
  CheckAll(steps + 1);
  EXPECT_EQ(store_.RootPage(2), 0u);
  EXPECT_GE(maxDepth_, 3u);
}

std::vector<ModelConfig> Configs() {
  std::vector<ModelConfig> configs;
  for (uint8_t mode = 0; mode <= 3; ++mode)
    for (bool unique : {true, false})
      for (bool descending : {false, true}) {
        configs.push_back({1024, 80, mode, unique, descending, 800});
        configs.push_back({16384, 1200, mode, unique, descending, 600});
      }
  // Keys so large that only two fit on a page.
  for (uint8_t mode : {uint8_t(0), uint8_t(3)}) configs.push_back({1024, 337, mode, true, false, 400});
  return configs;
}

INSTANTIATE_TEST_SUITE_P(AllShapes, IndexTreeModel, ::testing::ValuesIn(Configs()), ConfigName);

}  // namespace
}  // namespace zarnik
