#include "engine/blob/blob_chain.h"

#include <algorithm>
#include <limits>

#include "engine/blob/block.h"
#include "engine/core/data_engine.h"

namespace zarnik {

namespace {

// A value's stored length is an int32.
constexpr uint64_t kMaxStoredLength = std::numeric_limits<int32_t>::max();
// The largest data area: a block of 65536 bytes less its header.
constexpr int32_t kMaxBlockDataSize = 65536 - static_cast<int32_t>(TBlockHeader::kEncodedLength);
// Room reserved for a value before its blocks are read; beyond it memory grows
// with the bytes actually read, never with a stored length alone.
constexpr uint64_t kMaxReserve = uint64_t{1} << 20;

bool IsCompressed(uint8_t level) {
  return level >= 1 && level <= 9;
}

// A link as the file holds it, read as the signed block number it stands for.
int64_t LinkedBlock(uint32_t link) {
  return static_cast<int32_t>(link);
}

}  // namespace

int32_t TBlobChain::D() {
  int32_t d = store_.BlockDataSize();
  if (d < 1 || d > kMaxBlockDataSize) store_.RaiseError(ZARNIK_MEMOCORRUPT);
  return d;
}

uint32_t TBlobChain::BlocksFor(uint64_t bytes) {
  uint64_t d = static_cast<uint64_t>(D());
  return static_cast<uint32_t>(std::clamp<uint64_t>((bytes + d - 1) / d, 1, kMaxStoredLength));
}

bool TBlobChain::TVisited::Insert(uint32_t block) {
  if (std::find(first_.begin(), first_.begin() + count_, block) != first_.begin() + count_) return false;
  if (count_ < kInPlace) {
    first_[count_++] = block;
    return true;
  }
  return rest_.insert(block).second;
}

void TBlobChain::Visit(int64_t block, TVisited& visited) {
  bool inFile = block >= 1 && block < static_cast<int64_t>(store_.NextBlockNumber());
  if (!inFile || !visited.Insert(static_cast<uint32_t>(block))) store_.RaiseError(ZARNIK_MEMOCORRUPT);
}

TBlock* TBlobChain::GetExisting(uint32_t number, uint32_t blocksNeeded) {
  // Writers hold the table's write lock, so no other user can have changed the
  // table here: a cache that says so is inconsistent.
  TBlock* block = store_.GetBlock(number, blocksNeeded);
  if (block == nullptr) store_.RaiseError(ZARNIK_MEMOCORRUPT);
  return block;
}

TBlock* TBlobChain::AllocateBlock() {
  uint32_t head = store_.FreeBlockHead();
  if (head != 0 && head >= store_.NextBlockNumber()) store_.RaiseError(ZARNIK_MEMOCORRUPT);
  uint32_t number = head != 0 ? head : store_.NextBlockNumber();
  TBlockPin block(store_, GetExisting(number, 1));
  uint32_t nextFree = block->header.nextBlock;
  // A free block linking outside the file or to itself would hand out blocks
  // that are not free.
  if (head != 0 && nextFree != 0 && (nextFree >= store_.NextBlockNumber() || nextFree == number))
    store_.RaiseError(ZARNIK_MEMOCORRUPT);
  store_.SetFreeBlockHead(head != 0 ? nextFree : 0);
  block->Clear(0);
  return block.Detach();
}

void TBlobChain::FreeBlock(TBlock& block) {
  block.SetNextBlock(store_.FreeBlockHead());
  store_.SetFreeBlockHead(block.number);
}

int32_t TBlobChain::CopyOut(const TBlock& block, int32_t count, std::vector<uint8_t>& stored) {
  size_t done = stored.size();
  stored.resize(done + static_cast<size_t>(count));
  int32_t copied = block.ReadData(0, count, stored.data() + done);
  stored.resize(done + static_cast<size_t>(copied));
  return copied;
}

TBlobChain::TReadResult TBlobChain::ReadBlobChain(int32_t firstBlock, uint32_t revision,
                                                  std::vector<uint8_t>& stored) {
  stored.clear();
  if (firstBlock == 0) return TReadResult::kDone;
  const int32_t d = D();
  TVisited visited;
  Visit(firstBlock, visited);
  TBlockPin current(store_, store_.GetBlock(static_cast<uint32_t>(firstBlock), 1));
  if (!current || current->header.blobRevision != revision) return TReadResult::kRetry;
  const uint64_t length = current->header.blobLength;
  // No chain of this file can hold more: the blocks to read would run out.
  const uint64_t blockCount = std::max<uint32_t>(store_.NextBlockNumber(), 1) - 1;
  if (length > kMaxStoredLength || length > blockCount * static_cast<uint64_t>(d))
    store_.RaiseError(ZARNIK_ENDOFBLOB);
  stored.reserve(static_cast<size_t>(std::min(length, kMaxReserve)));
  uint64_t done = 0;
  while (done < length) {
    if (current->header.blobRevision != revision) return TReadResult::kRetry;
    int32_t n = static_cast<int32_t>(std::min<uint64_t>(d, length - done));
    if (CopyOut(*current, n, stored) < n) break;
    done += static_cast<uint64_t>(n);
    uint32_t link = current->header.nextBlock;
    if (done == length || link == 0) break;
    Visit(LinkedBlock(link), visited);
    TBlockPin next(store_, store_.GetBlock(link, BlocksFor(length - done)));
    if (!next) return TReadResult::kRetry;
    current.TakeFrom(next);
  }
  current.Reset();
  if (done != length) store_.RaiseError(ZARNIK_ENDOFBLOB);
  return TReadResult::kDone;
}

void TBlobChain::LinkNext(TBlockPin& current, TBlockPin& next, uint32_t revision) {
  current->SetNextBlock(next->number);
  next->SetPreviousBlock(current->number);
  next->SetBlobRevision(revision);
  next->SetBlobLength(0);
}

void TBlobChain::WriteBlobChain(int32_t& firstBlock, uint32_t revision, std::span<const uint8_t> stored) {
  const uint64_t length = stored.size();
  if (length == 0 || length > kMaxStoredLength) store_.RaiseError(ZARNIK_INVALIDBLOBLEN);
  const int32_t d = D();
  TVisited visited;
  TBlockPin current(store_);
  uint64_t oldLength = 0;
  if (firstBlock != 0) {
    Visit(firstBlock, visited);
    current.Reset(GetExisting(static_cast<uint32_t>(firstBlock), BlocksFor(length)));
    oldLength = current->header.blobLength;
  } else {
    current.Reset(AllocateBlock());
    Visit(current->number, visited);
    firstBlock = static_cast<int32_t>(current->number);
  }
  current->SetBlobRevision(revision);
  current->SetBlobLength(static_cast<uint32_t>(length));
  uint64_t done = 0;
  for (;;) {
    int32_t n = static_cast<int32_t>(std::min<uint64_t>(d, length - done));
    current->WriteData(0, n, stored.data() + done);
    done += static_cast<uint64_t>(n);
    if (done == length) break;
    TBlockPin next(store_);
    uint32_t link = current->header.nextBlock;
    if (link != 0) {
      Visit(LinkedBlock(link), visited);
      next.Reset(GetExisting(link, BlocksFor(oldLength > done ? oldLength - done : 1)));
    } else {
      next.Reset(AllocateBlock());
      // A free chain leading into this very chain.
      Visit(next->number, visited);
    }
    LinkNext(current, next, revision);
    current.TakeFrom(next);
  }
  uint32_t rest = current->header.nextBlock;
  if (rest != 0) {
    // The old chain was longer: free what is left of it.
    Visit(LinkedBlock(rest), visited);
    TBlockPin tail(store_, GetExisting(rest, 1));
    FreeChainFrom(tail, revision, visited);
    current->SetNextBlock(0);
  }
}

void TBlobChain::FreeChainFrom(TBlockPin& current, uint32_t revision, TVisited& visited) {
  while (current->header.nextBlock != 0) {
    uint32_t link = current->header.nextBlock;
    Visit(LinkedBlock(link), visited);
    TBlockPin next(store_, GetExisting(link, 1));
    next->SetBlobRevision(revision);
    FreeBlock(*current);
    current.TakeFrom(next);
  }
  FreeBlock(*current);
  current.Reset();
}

void TBlobChain::FreeBlobChain(TBlock* block, uint32_t revision) {
  TBlockPin current(store_, block);
  TVisited visited;
  visited.Insert(block->number);
  FreeChainFrom(current, revision, visited);
}

void TBlobChain::RemoveValue(int32_t& firstBlock, uint32_t revision) {
  if (firstBlock == 0) return;
  TVisited visited;
  Visit(firstBlock, visited);
  TBlockPin first(store_, GetExisting(static_cast<uint32_t>(firstBlock), 1));
  first->SetBlobRevision(revision);
  FreeChainFrom(first, revision, visited);
  firstBlock = 0;
}

std::vector<uint8_t> TBlobChain::ReadValue(TBlobReference& reference, uint8_t compression,
                                           const TReloadReference& reload) {
  for (int attempt = 0;; ++attempt) {
    std::vector<uint8_t> stored;
    if (ReadBlobChain(reference.firstBlock, reference.revision, stored) == TReadResult::kDone) {
      if (!IsCompressed(compression) || stored.empty()) return stored;
      return store_.Engine().Decompress(stored.data(), stored.size());
    }
    if (attempt > 0) store_.RaiseError(ZARNIK_MEMOCORRUPT);
    std::optional<TBlobReference> fresh = reload ? reload() : std::nullopt;
    if (!fresh) store_.RaiseError(ZARNIK_KEYORRECDELETED);
    reference = *fresh;
  }
}

void TBlobChain::WriteValue(TBlobReference& reference, std::span<const uint8_t> value, uint8_t compression) {
  if (value.empty()) {
    RemoveValue(reference.firstBlock, reference.revision);
    reference.hasValue = false;
    return;
  }
  if (value.size() > kMaxStoredLength) store_.RaiseError(ZARNIK_INVALIDBLOBLEN);
  std::vector<uint8_t> compressed;
  if (IsCompressed(compression)) {
    compressed = store_.Engine().Compress(value.data(), value.size(), compression);
    // Nothing stored for a value that has bytes would read back as empty.
    if (compressed.empty()) store_.RaiseError(ZARNIK_COMPRESS);
    value = compressed;
  }
  WriteBlobChain(reference.firstBlock, reference.revision, value);
  reference.hasValue = true;
}

}  // namespace zarnik
