#include "engine/index/text_index_params.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "engine/index/index_tree.h"
#include "platform/byte_order.h"
#include "platform/locale.h"

namespace zarnik {

namespace {

constexpr int kMaxPinRetries = 64;
constexpr size_t kSetLength = 32;

// Walks the data areas of a parameter chain, one item at a time.
class TChainCursor {
 public:
  TChainCursor(TIndexPageStore& store, const TIndexProps& props)
      : store_(store), props_(props), area_(store.PageSize() - TPageContents::kHeaderLength) {}

  // Makes room for an item of n bytes, moving to the next page when the
  // rest of the current one is too short.
  void Need(size_t n, TIndexTree* tree) {
    if (n > area_) Corrupt();
    if (page_ && offset_ + n <= area_) return;
    const uint32_t next = page_ ? page_->NextPage : first_;
    if (next == 0 && tree == nullptr) Corrupt();
    page_ = next != 0 ? Open(next) : Append(*tree);
    offset_ = 0;
  }
  void Start(uint32_t first) { first_ = first; }
  uint32_t First() const { return first_; }

  int32_t ReadInt32() {
    Need(4, nullptr);
    int32_t v = platform::GetInt32({Data() + offset_, 4}, 0);
    offset_ += 4;
    return v;
  }
  std::string ReadBytes(size_t n) {
    Need(n, nullptr);
    std::string bytes(reinterpret_cast<const char*>(Data() + offset_), n);
    offset_ += n;
    return bytes;
  }
  void WriteInt32(int32_t v, TIndexTree& tree) {
    Need(4, &tree);
    platform::PutInt32({Edit() + offset_, 4}, 0, v);
    offset_ += 4;
  }
  void WriteBytes(const void* bytes, size_t n, TIndexTree& tree) {
    Need(n, &tree);
    std::memcpy(Edit() + offset_, bytes, n);
    offset_ += n;
  }

  [[noreturn]] void Corrupt() {
    store_.RaiseError(ZARNIK_INDEXCORRUPT);
    std::terminate();  // RaiseError does not return
  }

 private:
  const uint8_t* Data() const { return page_->Data().data(); }
  uint8_t* Edit() { return page_.Edit().Data().data(); }

  // A further page of the chain: a page met twice, or more pages than the
  // file holds, would be a loop.
  TPageRef Open(uint32_t n) {
    if (n > store_.PageCount() || ++visited_ > store_.PageCount()) Corrupt();
    TPageContents* page = nullptr;
    for (int attempt = 0; page == nullptr && attempt < kMaxPinRetries; ++attempt)
      page = store_.PinPage(n, props_);
    if (page == nullptr) Corrupt();
    TPageRef ref(&store_, page, n);
    if (ref->PageType != TPageContents::kTextParams || ref->Data().size() < area_) Corrupt();
    return ref;
  }
  TPageRef Append(TIndexTree& tree) {
    TPageRef added = tree.AllocatePage();
    TPageContents& page = added.Edit();
    page.PageType = TPageContents::kTextParams;
    page.Data().assign(area_, 0);
    if (page_)
      page_.Edit().NextPage = added.Number();
    else
      first_ = added.Number();
    return added;
  }

  TIndexPageStore& store_;
  TIndexProps props_;
  size_t area_;
  TPageRef page_;
  size_t offset_ = 0;
  uint32_t first_ = 0;
  uint32_t visited_ = 0;
};

void ReadSet(TChainCursor& cursor, TTextIndexParams::TCharSet& set) {
  const int32_t length = cursor.ReadInt32();
  if (length < 0) cursor.Corrupt();
  const std::string bytes = cursor.ReadBytes(size_t(length));
  set.fill(0);
  std::memcpy(set.data(), bytes.data(), std::min(bytes.size(), set.size()));
}

}  // namespace

TTextIndexParams TTextIndexParams::Defaults() {
  TTextIndexParams params;
  params.StopWords = {"A",  "AN",   "AND", "BE",   "FOR", "HOW", "IN",   "IS",   "IT",    "OF",  "ON",
                      "OR", "THAT", "THE", "THIS", "TO",  "WAS", "WHAT", "WHEN", "WHICH", "WHY", "WILL"};
  for (int c = 1; c <= 32; ++c) AddToSet(params.SpaceChars, uint8_t(c));
  for (char c : std::string_view("*+,-./:;<=>\\`")) AddToSet(params.SpaceChars, uint8_t(c));
  for (int c = 'A'; c <= 'Z'; ++c) AddToSet(params.IncludeChars, uint8_t(c));
  for (int c = 'a'; c <= 'z'; ++c) AddToSet(params.IncludeChars, uint8_t(c));
  for (int c = '0'; c <= '9'; ++c) AddToSet(params.IncludeChars, uint8_t(c));
  AddToSet(params.IncludeChars, '_');
  for (int c = 128; c <= 254; ++c) AddToSet(params.IncludeChars, uint8_t(c));
  return params;
}

bool TTextIndexParams::IsStopWord(std::string_view word) const {
  return std::any_of(StopWords.begin(), StopWords.end(),
                     [&](const std::string& stop) { return platform::CompareText(stop, word, true) == 0; });
}

void TTextIndexParams::DecodeFrom(TIndexPageStore& store, const TIndexProps& props, uint32_t firstPage) {
  TChainCursor cursor(store, props);
  cursor.Start(firstPage);
  const int32_t count = cursor.ReadInt32();
  if (count < 0) cursor.Corrupt();
  StopWords.clear();
  for (int32_t i = 0; i < count; ++i) {
    const int32_t length = cursor.ReadInt32();
    if (length < 0) cursor.Corrupt();
    std::string word = cursor.ReadBytes(size_t(length));
    if (word.size() > kMaxStopWordLength) word.resize(kMaxStopWordLength);
    StopWords.push_back(std::move(word));
  }
  ReadSet(cursor, SpaceChars);
  ReadSet(cursor, IncludeChars);
}

uint32_t TTextIndexParams::EncodeTo(TIndexTree& tree, TIndexPageStore& store, uint32_t firstPage) const {
  TChainCursor cursor(store, tree.Props());
  cursor.Start(firstPage);
  const size_t area = store.PageSize() - TPageContents::kHeaderLength;
  cursor.WriteInt32(int32_t(StopWords.size()), tree);
  for (const std::string& word : StopWords) {
    const size_t length = std::min({word.size(), kMaxStopWordLength, area});
    cursor.WriteInt32(int32_t(length), tree);
    cursor.WriteBytes(word.data(), length, tree);
  }
  for (const TCharSet* set : {&SpaceChars, &IncludeChars}) {
    const size_t length = std::min(kSetLength, area);
    cursor.WriteInt32(int32_t(length), tree);
    cursor.WriteBytes(set->data(), length, tree);
  }
  return cursor.First();
}

}  // namespace zarnik
