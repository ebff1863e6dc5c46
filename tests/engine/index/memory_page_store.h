// An index page store in memory for the tree tests: page images as bytes,
// decoded pages cached until Flush writes the changed ones back and Drop
// forgets them, so that every page also makes the trip through its on-disk
// form.
#pragma once

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/core/engine_error.h"
#include "engine/index/index_page_store.h"

namespace zarnik::test {

class TMemoryPageStore : public TIndexPageStore {
 public:
  explicit TMemoryPageStore(uint32_t pageSize) : pageSize_(pageSize) {}

  uint32_t PageSize() const override { return pageSize_; }
  uint32_t PageCount() const override { return uint32_t(images_.size()); }

  TPageContents* PinPage(uint32_t n, const TIndexProps& props) override {
    if (n == 0 || n > images_.size() + 1) throw std::logic_error("page number out of range");
    if (failNextPin_) {
      failNextPin_ = false;
      return nullptr;
    }
    auto found = cache_.find(n);
    if (found == cache_.end()) {
      auto entry = std::make_unique<TCached>();
      entry->page.Clear(props);
      if (n == images_.size() + 1) {
        images_.emplace_back(pageSize_, uint8_t(0));
      } else {
        entry->page.DecodeFrom(images_[n - 1]);
      }
      found = cache_.emplace(n, std::move(entry)).first;
      byPage_[&found->second->page] = n;
    }
    ++found->second->pins;
    return &found->second->page;
  }
  void UnpinPage(TPageContents* page) override { --Cached(page).pins; }
  void MarkDirty(TPageContents* page) override { Cached(page).dirty = true; }

  uint32_t FreePageHead() const override { return freeHead_; }
  void SetFreePageHead(uint32_t page) override { freeHead_ = page; }
  uint32_t RootPage(uint32_t slot) const override { return roots_.at(slot); }
  void SetRootPage(uint32_t slot, uint32_t page) override { roots_.at(slot) = page; }

  [[noreturn]] void RaiseError(TErrorCode code) override {
    TErrorContext context;
    context.errorCode = code;
    throw EZARNIKEngineError(context);
  }

  // Writes every changed page back to its image; all pins must be released.
  void Flush() {
    for (auto& [n, entry] : cache_) {
      if (entry->pins != 0) throw std::logic_error("page still pinned");
      if (entry->dirty && !entry->page.EncodeTo(images_[n - 1])) throw std::logic_error("page does not fit");
      entry->dirty = false;
    }
  }
  // Forgets the decoded pages (after Flush), so that the next use decodes.
  void Drop() {
    cache_.clear();
    byPage_.clear();
  }
  std::vector<uint8_t>& Image(uint32_t n) { return images_.at(n - 1); }
  // The next PinPage reports a change by another user.
  void FailNextPin() { failNextPin_ = true; }
  bool AllUnpinned() const {
    for (const auto& [n, entry] : cache_)
      if (entry->pins != 0) return false;
    return true;
  }

 private:
  struct TCached {
    TPageContents page;
    int pins = 0;
    bool dirty = false;
  };
  TCached& Cached(TPageContents* page) { return *cache_.at(byPage_.at(page)); }

  uint32_t pageSize_;
  std::vector<std::vector<uint8_t>> images_;
  std::map<uint32_t, std::unique_ptr<TCached>> cache_;
  std::map<const TPageContents*, uint32_t> byPage_;
  uint32_t freeHead_ = 0;
  std::array<uint32_t, 32> roots_{};
  bool failNextPin_ = false;
};

// Plain byte comparison of keys.
class TBytewiseComparer : public TKeyComparer {
 public:
  int Compare(const uint8_t* a, const uint8_t* b, size_t length) const override {
    int c = std::memcmp(a, b, length);
    return (c > 0) - (c < 0);
  }
};

}  // namespace zarnik::test
