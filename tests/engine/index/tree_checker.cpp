#include "tests/engine/index/tree_checker.h"

#include <sstream>

namespace zarnik::test {

namespace {

class TWalker {
 public:
  TWalker(TIndexPageStore& store, const TIndexProps& props, const TKeyComparer& comparer, TTreeReport& report)
      : store_(store), props_(props), comparer_(comparer), report_(report) {}

  void Run(uint32_t root) {
    if (root == 0) return;
    Visit(root, 0, nullptr);
    if (report_.error.empty()) CheckLevels();
    if (report_.error.empty()) CheckEntryOrder();
  }

 private:
  int Compare(const uint8_t* a, const uint8_t* b) const { return comparer_.Compare(a, b, props_.KeySize); }
  bool Fail(uint32_t page, const std::string& what) {
    if (report_.error.empty()) report_.error = "page " + std::to_string(page) + ": " + what;
    return false;
  }
  TPageRef Pin(uint32_t n) { return TPageRef(&store_, store_.PinPage(n, props_), n); }

  // Returns the number of leaf entries below page n.
  uint32_t Visit(uint32_t n, uint32_t depth, const uint8_t* firstKey) {
    if (!report_.error.empty()) return 0;
    if (n == 0 || n > store_.PageCount()) return Fail(n, "page number outside the file");
    if (depth >= 64) return Fail(n, "deeper than 64 levels");
    if (!report_.pages.insert(n).second) return Fail(n, "reached twice");
    TPageRef ref = Pin(n);
    const TPageContents& page = *ref;
    if (!CheckPage(n, page, depth, firstKey)) return 0;
    if (levels_.size() <= depth) levels_.resize(depth + 1);
    levels_[depth].push_back(n);
    if (page.IsLeaf()) {
      if (leafDepth_ == 0) leafDepth_ = depth + 1;
      if (leafDepth_ != depth + 1) return Fail(n, "leaves on different levels");
      for (uint32_t i = 1; i <= page.Count(); ++i)
        report_.entries.push_back(
            {std::vector<uint8_t>(page.Key(i), page.Key(i) + props_.KeySize), page.Pointer(i)});
      report_.depth = leafDepth_;
      return page.Count();
    }
    uint32_t total = 0;
    for (uint32_t i = 1; i <= page.Count() && report_.error.empty(); ++i) {
      uint32_t below = Visit(page.Pointer(i), depth + 1, page.Key(i));
      if (!props_.Uncounted && page.SubCount(i) != below)
        Fail(n, "entry " + std::to_string(i) + " counts " + std::to_string(page.SubCount(i)) + " keys, has " +
                    std::to_string(below));
      total += below;
    }
    return total;
  }

  bool CheckPage(uint32_t n, const TPageContents& page, uint32_t depth, const uint8_t* firstKey) {
    if (page.Damaged()) return Fail(n, "damaged");
    if (page.Count() == 0) return Fail(n, "no entries");
    const bool leaf = page.IsLeaf();
    const uint8_t expected = depth == 0 ? (leaf ? 3 : 0) : (leaf ? 2 : 1);
    if (page.PageType != expected) return Fail(n, "type " + std::to_string(page.PageType));
    if (firstKey != nullptr && Compare(firstKey, page.Key(1)) != 0)
      return Fail(n, "parent key is not the first key");
    for (uint32_t i = 2; i <= page.Count(); ++i)
      if (Compare(page.Key(i - 1), page.Key(i)) >= 0)
        return Fail(n, "keys out of order at " + std::to_string(i));
    if (page.Overflows(store_.PageSize())) return Fail(n, "overflows");
    if (page.IsCompressedLeaf()) return CheckCompression(n, page);
    return true;
  }

  bool CheckCompression(uint32_t n, const TPageContents& page) {
    uint32_t packed = 0;
    for (uint32_t i = 1; i <= page.Count(); ++i) {
      uint8_t p = page.ComputePrefix(i > 1 ? page.Key(i - 1) : nullptr, page.Key(i));
      uint8_t t = page.ComputeTrailing(page.Key(i), p);
      if (p != page.PrefixLength(i) || t != page.TrailingLength(i))
        return Fail(n, "compression lengths of entry " + std::to_string(i));
      packed += page.PackedEntrySize(p, t);
    }
    if (packed != page.PackedSize()) return Fail(n, "packed size");
    return true;
  }

  void CheckLevels() {
    for (size_t d = 0; d < levels_.size() && report_.error.empty(); ++d) {
      const std::vector<uint32_t>& level = levels_[d];
      for (size_t j = 0; j < level.size(); ++j) {
        TPageRef ref = Pin(level[j]);
        uint32_t expectPrevious = j == 0 ? 0 : level[j - 1];
        uint32_t expectNext = j + 1 == level.size() ? 0 : level[j + 1];
        if (ref->PreviousPage != expectPrevious || ref->NextPage != expectNext) {
          Fail(level[j], "neighbour links");
          return;
        }
        if (j + 1 < level.size()) {
          TPageRef right = Pin(level[j + 1]);
          if (Compare(ref->Key(ref->Count()), right->Key(1)) >= 0) {
            Fail(level[j], "keys out of order along the level");
            return;
          }
        }
      }
    }
  }

  void CheckEntryOrder() {
    const auto& e = report_.entries;
    for (size_t i = 1; i < e.size(); ++i)
      if (Compare(e[i - 1].key.data(), e[i].key.data()) >= 0) {
        Fail(0, "leaf keys out of order at entry " + std::to_string(i + 1));
        return;
      }
  }

  TIndexPageStore& store_;
  const TIndexProps& props_;
  const TKeyComparer& comparer_;
  TTreeReport& report_;
  std::vector<std::vector<uint32_t>> levels_;
  uint32_t leafDepth_ = 0;
};

}  // namespace

TTreeReport CheckTree(TIndexPageStore& store, uint32_t slot, const TIndexProps& props,
                      const TKeyComparer& comparer) {
  TTreeReport report;
  TWalker(store, props, comparer, report).Run(store.RootPage(slot));
  return report;
}

std::set<uint32_t> CheckFreeChain(TIndexPageStore& store, const std::set<uint32_t>& used,
                                  const TIndexProps& props, std::string& error) {
  std::set<uint32_t> free;
  for (uint32_t n = store.FreePageHead(); n != 0 && error.empty();) {
    if (n > store.PageCount() || used.count(n) || !free.insert(n).second) {
      error = "free chain meets page " + std::to_string(n);
      break;
    }
    TPageRef ref(&store, store.PinPage(n, props), n);
    if (ref->Count() != 0) error = "free page " + std::to_string(n) + " has entries";
    n = ref->NextPage;
  }
  return free;
}

}  // namespace zarnik::test
