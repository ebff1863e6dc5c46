// TIndexPageStore: what the tree operations need from the index file: pinned
// pages by number, appending, the free page chain head, the root pages and
// the file's corruption error. The index file implements it on its buffer
// cache; tests implement it in memory.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/core/error_codes.h"
#include "engine/index/page_contents.h"

namespace zarnik {

class TIndexPageStore {
 public:
  virtual ~TIndexPageStore() = default;

  virtual uint32_t PageSize() const = 0;
  // Pages 1 .. PageCount() exist.
  virtual uint32_t PageCount() const = 0;
  // Pins page n (1 .. PageCount() + 1; PageCount() + 1 appends a cleared
  // page). A page not in memory is cleared for the index props describe
  // (its slot, or its properties) and then loaded.
  // Returns nullptr when another user changed the table meanwhile; readers
  // then start again from the root. The same page object is returned while
  // a page stays pinned.
  virtual TPageContents* PinPage(uint32_t n, const TIndexProps& props) = 0;
  virtual void UnpinPage(TPageContents* page) = 0;
  virtual void MarkDirty(TPageContents* page) = 0;

  virtual uint32_t FreePageHead() const = 0;
  virtual void SetFreePageHead(uint32_t page) = 0;
  virtual uint32_t RootPage(uint32_t slot) const = 0;
  virtual void SetRootPage(uint32_t slot, uint32_t page) = 0;

  [[noreturn]] virtual void RaiseError(TErrorCode code) = 0;
};

// A pinned page, released when the reference goes.
class TPageRef {
 public:
  TPageRef() = default;
  TPageRef(TIndexPageStore* store, TPageContents* page, uint32_t number)
      : store_(store), page_(page), number_(number) {}
  TPageRef(TPageRef&& other) noexcept { *this = std::move(other); }
  TPageRef& operator=(TPageRef&& other) noexcept {
    if (this != &other) {
      Release();
      store_ = std::exchange(other.store_, nullptr);
      page_ = std::exchange(other.page_, nullptr);
      number_ = std::exchange(other.number_, 0);
    }
    return *this;
  }
  TPageRef(const TPageRef&) = delete;
  TPageRef& operator=(const TPageRef&) = delete;
  ~TPageRef() { Release(); }

  explicit operator bool() const { return page_ != nullptr; }
  uint32_t Number() const { return number_; }
  const TPageContents& operator*() const { return *page_; }
  const TPageContents* operator->() const { return page_; }
  // The page for changing; marks it dirty.
  TPageContents& Edit() {
    store_->MarkDirty(page_);
    return *page_;
  }
  void Release() {
    if (page_ != nullptr) store_->UnpinPage(page_);
    page_ = nullptr;
  }

 private:
  TIndexPageStore* store_ = nullptr;
  TPageContents* page_ = nullptr;
  uint32_t number_ = 0;
};

// Unsigned comparison of n bytes, -1, 0 or 1: memcmp without a call, eight
// bytes at a time, for the short keys of index searches.
inline int CompareKeyBytes(const uint8_t* a, const uint8_t* b, size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; n >= 8; a += 8, b += 8, n -= 8) {
      uint64_t x, y;
      std::memcpy(&x, a, 8);
      std::memcpy(&y, b, 8);
      if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
    }
  }
  for (; n > 0; ++a, ++b, --n)
    if (*a != *b) return *a < *b ? -1 : 1;
  return 0;
}

// Compares the first length bytes of two keys of one index: -1, 0 or 1.
class TKeyComparer {
 public:
  virtual ~TKeyComparer() = default;
  virtual int Compare(const uint8_t* a, const uint8_t* b, size_t length) const = 0;
  // True when Compare is plain unsigned comparison of the length bytes, so
  // that callers may compare with memcmp directly.
  virtual bool Bytewise() const { return false; }
};

}  // namespace zarnik
