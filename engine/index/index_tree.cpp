// The tree operations, in the order a page meets them:
//
// 1. Descent: from the root (RootPages of the slot), in each page the last
//    entry not greater than the key (entry 1 when the key is smaller than all)
//    is followed to its child; the path keeps every page and the entry
//    followed, at most 64 levels.
// 2. Insertion: the entry goes after the found position in the leaf; a new
//    first entry of a page is carried up while it is also first in the parent;
//    a page that overflows splits into its first c - c div 2 and its last
//    c div 2 entries (compressed leaves then move entries across until both
//    fit); a root that splits gets a new root above it.
// 3. Deletion: the entry goes; an empty leaf is unlinked and freed and its
//    parent entry removed; an internal page below half its capacity merges
//    with or borrows from its left neighbour (its right one when it is the
//    first child); an internal root left with one child hands the root over
//    to it. Underfull leaves are never merged.
//
// Every page number read from a page is checked against the file; every page
// met is checked for its type, its index and its entries, so that a damaged
// file ends in ZARNIK_INDEXCORRUPT instead of a loop or a bad access.
#include "engine/index/index_tree.h"

#include <algorithm>
#include <exception>

namespace zarnik {

namespace {
constexpr int kMaxRestarts = 64;
constexpr size_t kMaxKeySize = 4106 + 4;

bool SameProps(const TIndexProps& a, const TIndexProps& b) {
  return a.KeySize == b.KeySize && a.Unique == b.Unique && a.Uncounted == b.Uncounted &&
         a.Compression == b.Compression;
}
}  // namespace

TIndexTree::TIndexTree(TIndexPageStore& store, uint32_t slot, const TIndexProps& props,
                       const TKeyComparer& comparer)
    : store_(store), slot_(slot), props_(props), comparer_(comparer), pageSize_(store.PageSize()),
      bytewise_(comparer.Bytewise()) {
  props_.Slot = uint8_t(slot);
  TPageContents probe;
  probe.Clear(props);
  probe.PageType = TPageContents::kInternal;
  const uint32_t internalMax = pageSize_ > TPageContents::kHeaderLength ? probe.MaxEntries(pageSize_) : 0;
  probe.PageType = TPageContents::kLeaf;
  const uint32_t leafMax = internalMax > 0 ? probe.MaxEntries(pageSize_) : 0;
  if (props.KeySize == 0 || props.KeySize > kMaxKeySize || props.Compression > 3 || internalMax < 2 ||
      leafMax < 2)
    Corrupt();
}

void TIndexTree::Corrupt() {
  store_.RaiseError(ZARNIK_INDEXCORRUPT);
  std::terminate();  // RaiseError does not return
}

// --- pages -------------------------------------------------------------------

TPageRef TIndexTree::Pin(uint32_t n) {
  if (n == 0 || n > store_.PageCount()) Corrupt();
  TPageContents* page = store_.PinPage(n, props_);
  if (page == nullptr) {
    if (reading_) throw TRestart{};
    Corrupt();
  }
  return TPageRef(&store_, page, n);
}

TPageRef TIndexTree::PinTreePage(uint32_t n, bool root) {
  TPageRef ref = Pin(n);
  const TPageContents& page = *ref;
  const bool typeOk =
      root ? page.IsRoot()
           : (page.PageType == TPageContents::kInternal || page.PageType == TPageContents::kLeaf);
  if (page.Damaged() || !SameProps(page.Props(), props_) || page.Count() == 0 || !typeOk) Corrupt();
  return ref;
}

TPageRef TIndexTree::PinNeighbour(uint32_t n, const TPageRef& from, uint8_t type) {
  if (n == from.Number()) Corrupt();
  TPageRef ref = PinTreePage(n, false);
  if (ref->PageType != type) Corrupt();
  return ref;
}

TPageRef TIndexTree::AllocatePage() {
  const uint32_t head = store_.FreePageHead();
  const uint32_t n = head != 0 ? head : store_.PageCount() + 1;
  if (head > store_.PageCount()) Corrupt();
  TPageContents* page = store_.PinPage(n, props_);
  if (page == nullptr) Corrupt();
  TPageRef ref(&store_, page, n);
  if (head != 0) {
    const uint32_t next = ref->NextPage;
    if (ref->Count() != 0 || ref->Damaged() || next == n || next > store_.PageCount()) Corrupt();
  }
  store_.SetFreePageHead(ref->NextPage);
  ref.Edit().Clear(props_);
  return ref;
}

void TIndexTree::FreePage(TPageRef& ref) {
  TPageContents& page = ref.Edit();
  page.NextPage = store_.FreePageHead();
  page.Truncate(0);
  store_.SetFreePageHead(ref.Number());
}

uint32_t TIndexTree::FindPosition(const TPageContents& page, const uint8_t* key, bool forDeletion) const {
  if (page.Count() == 0) store_.RaiseError(ZARNIK_INDEXCORRUPT);
  int32_t lo = 1, hi = int32_t(page.Count()), result = 0;
  while (hi >= lo) {
    const int32_t mid = (lo + hi) / 2;
    result = mid;
    const int c = Compare(page.Key(uint32_t(mid)), key);
    if (c == 0) break;
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (hi < lo) result = hi;
    }
  }
  if (forDeletion && result == 0) result = 1;
  return uint32_t(result);
}

// --- descent -----------------------------------------------------------------

bool TIndexTree::Descend(const uint8_t* key, bool forDeletion, TPath& path) {
  uint32_t n = store_.RootPage(slot_);
  if (n == 0) return false;
  for (;;) {
    if (path.depth == kMaxDepth) Corrupt();
    for (uint32_t l = 0; l < path.depth; ++l)
      if (path[l].page.Number() == n) Corrupt();
    TPathLevel& level = path.Push(PinTreePage(n, path.depth == 0));
    const TPageContents& page = *level.page;
    level.position = FindPosition(page, key, forDeletion);
    if (page.IsLeaf()) return true;
    level.position = std::max<uint32_t>(level.position, 1);
    n = page.Pointer(level.position);
  }
}

void TIndexTree::DescendToEdge(bool last, TPath& path) {
  uint32_t n = store_.RootPage(slot_);
  for (;;) {
    if (path.depth == kMaxDepth) Corrupt();
    TPathLevel& level = path.Push(PinTreePage(n, path.depth == 0));
    level.position = last ? level.page->Count() : 1;
    if (level.page->IsLeaf()) return;
    n = level.page->Pointer(level.position);
  }
}

void TIndexTree::AdjustCounts(TPath& path, int delta) {
  if (props_.Uncounted) return;
  for (uint32_t l = 0; l + 1 < path.depth; ++l) {
    TPathLevel& level = path[l];
    TPageContents& page = level.page.Edit();
    page.SetSubCount(level.position, page.SubCount(level.position) + uint32_t(delta));
  }
}

void TIndexTree::CarryFirstKeyUp(TPath& path, uint32_t level, const uint8_t* key) {
  for (uint32_t l = level; l > 0; --l) {
    TPathLevel& parent = path[l - 1];
    parent.page.Edit().SetKey(parent.position, key);
    if (parent.position != 1) break;
  }
}

// --- insertion ---------------------------------------------------------------

void TIndexTree::InsertKey(const uint8_t* key, uint32_t record, TIndexPosition* placed) {
  reading_ = false;
  if (store_.RootPage(slot_) == 0) {
    TPageRef root = AllocatePage();
    TPageContents& page = root.Edit();
    page.PageType = TPageContents::kRootLeaf;
    page.Insert(1, key, record, 0);
    store_.SetRootPage(slot_, root.Number());
    if (placed != nullptr) SetPosition(root, 1, *placed);
    return;
  }
  TPath path;
  Descend(key, false, path);
  TPathLevel& leaf = path.Leaf();
  if (leaf.position >= 1 && Compare(leaf.page->Key(leaf.position), key) == 0)
    store_.RaiseError(ZARNIK_KEYVIOL);
  AdjustCounts(path, 1);
  const uint32_t at = leaf.position + 1;
  leaf.page.Edit().Insert(at, key, record, 0);
  leaf.position = at;
  if (at == 1) CarryFirstKeyUp(path, path.depth - 1, key);
  if (leaf.page->Overflows(pageSize_)) Split(path, path.depth - 1);
  if (placed == nullptr) return;
  // A split keeps the leaf's entries in order across it and its new right
  // neighbour.
  const uint32_t kept = leaf.page->Count();
  if (at <= kept) {
    SetPosition(leaf.page, at, *placed);
  } else {
    TPageRef right = PinNeighbour(leaf.page->NextPage, leaf.page, TPageContents::kLeaf);
    if (at - kept > right->Count()) Corrupt();
    SetPosition(right, at - kept, *placed);
  }
}

void TIndexTree::Split(TPath& path, uint32_t level) {
  for (;;) {
    TPageRef& left = path[level].page;
    const bool wasRoot = left->IsRoot();
    if (wasRoot && (level != 0 || path.depth == kMaxDepth)) store_.RaiseError(ZARNIK_TABLEFULL);
    if (!wasRoot && level == 0) Corrupt();
    const uint8_t type = left->IsLeaf() ? TPageContents::kLeaf : TPageContents::kInternal;
    TPageRef right = AllocatePage();
    TPageContents& l = left.Edit();
    TPageContents& r = right.Edit();
    const uint32_t c = l.Count();
    r.PageType = type;
    r.AppendFrom(l, c - c / 2 + 1, c / 2);
    l.PageType = type;
    l.Truncate(c - c / 2);
    LinkRight(left, right);
    if (l.IsCompressedLeaf()) BalanceCompressedSplit(l, r);
    if (wasRoot) return NewRoot(path, left, right);
    TPathLevel& parent = path[level - 1];
    TPageContents& p = parent.page.Edit();
    p.SetSubCount(parent.position, SubtreeCount(l));
    p.Insert(parent.position + 1, r.Key(1), right.Number(), SubtreeCount(r));
    if (!p.Overflows(pageSize_)) return;
    --level;
  }
}

void TIndexTree::LinkRight(TPageRef& left, TPageRef& added) {
  const uint32_t oldRight = left->NextPage;
  TPageContents& a = added.Edit();
  a.PreviousPage = left.Number();
  a.NextPage = oldRight;
  if (oldRight != 0) {
    TPageRef neighbour = PinNeighbour(oldRight, left, added->PageType);
    if (neighbour.Number() == added.Number() || neighbour->PreviousPage != left.Number()) Corrupt();
    neighbour.Edit().PreviousPage = added.Number();
  }
  left.Edit().NextPage = added.Number();
}

void TIndexTree::BalanceCompressedSplit(TPageContents& left, TPageContents& right) {
  const uint32_t limit = pageSize_ - TPageContents::kHeaderLength;
  if (left.PackedSize() > limit) {
    while (left.PackedSize() > limit && left.Count() > 1) {
      right.PrependFrom(left, left.Count(), 1);
      left.Truncate(left.Count() - 1);
    }
  } else {
    while (right.PackedSize() > limit && right.Count() > 1) {
      left.AppendFrom(right, 1, 1);
      right.RemoveFront(1);
    }
  }
  if (left.PackedSize() > limit || right.PackedSize() > limit) Corrupt();
}

void TIndexTree::NewRoot(TPath& path, TPageRef& left, TPageRef& right) {
  TPageRef root = AllocatePage();
  TPageContents& page = root.Edit();
  page.PageType = TPageContents::kRootInternal;
  page.Insert(1, left->Key(1), left.Number(), SubtreeCount(*left));
  page.Insert(2, right->Key(1), right.Number(), SubtreeCount(*right));
  store_.SetRootPage(slot_, root.Number());
}

// --- deletion ----------------------------------------------------------------

void TIndexTree::DeleteKey(const uint8_t* key) {
  reading_ = false;
  TPath path;
  if (!Descend(key, true, path)) Corrupt();
  TPathLevel& leaf = path.Leaf();
  if (Compare(leaf.page->Key(leaf.position), key) != 0) Corrupt();
  for (uint32_t l = 0; l + 1 < path.depth && !props_.Uncounted; ++l)
    if (path[l].page->SubCount(path[l].position) == 0) Corrupt();
  AdjustCounts(path, -1);
  RemoveEntry(path, path.depth - 1, leaf.position);
  Rebalance(path, path.depth - 1);
}

void TIndexTree::ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t record) {
  DeleteKey(oldKey);
  InsertKey(newKey, record);
}

void TIndexTree::RemoveEntry(TPath& path, uint32_t level, uint32_t position) {
  TPageContents& page = path[level].page.Edit();
  page.Remove(position);
  if (position == 1 && page.Count() > 0) CarryFirstKeyUp(path, level, page.Key(1));
}

void TIndexTree::Rebalance(TPath& path, uint32_t level) {
  for (;;) {
    const TPageContents& page = *path[level].page;
    bool parentChanged;
    if (page.IsLeaf())
      parentChanged = RebalanceLeaf(path, level);
    else if (level == 0)
      parentChanged = RebalanceRoot(path);
    else
      parentChanged = RebalanceInternal(path, level);
    if (!parentChanged) return;
    --level;
  }
}

bool TIndexTree::RebalanceLeaf(TPath& path, uint32_t level) {
  TPageRef& page = path[level].page;
  if (page->Count() > 0) return false;
  if (level == 0) {
    FreePage(page);
    store_.SetRootPage(slot_, 0);
    return false;
  }
  Unlink(page);
  FreePage(page);
  RemoveEntry(path, level - 1, path[level - 1].position);
  return true;
}

bool TIndexTree::RebalanceRoot(TPath& path) {
  TPageRef& root = path[0].page;
  const uint32_t count = root->Count();
  if (count == 0) {
    // The last child went while the root was too small to count as underfull.
    FreePage(root);
    store_.SetRootPage(slot_, 0);
    return false;
  }
  if (count != 1 || count >= root->MaxEntries(pageSize_) / 2) return false;
  TPageRef child = PinTreePage(root->Pointer(1), false);
  TPageContents& c = child.Edit();
  c.PageType = c.IsLeaf() ? TPageContents::kRootLeaf : TPageContents::kRootInternal;
  c.PreviousPage = 0;
  c.NextPage = 0;
  store_.SetRootPage(slot_, child.Number());
  FreePage(root);
  return false;
}

bool TIndexTree::RebalanceInternal(TPath& path, uint32_t level) {
  TPageRef& page = path[level].page;
  if (page->Count() >= page->MaxEntries(pageSize_) / 2) return false;
  const TPathLevel& parent = path[level - 1];
  const uint32_t q = parent.position, last = parent.page->Count();
  if (q == 1 && last == 1) {
    // An only child has no neighbour under its parent: it stays unless empty.
    if (page->Count() > 0) return false;
    Unlink(page);
    FreePage(page);
    RemoveEntry(path, level - 1, 1);
    return true;
  }
  if (q == last || q != 1) return MergeWithLeft(path, level);
  return MergeWithRight(path, level);
}

void TIndexTree::Unlink(TPageRef& ref) {
  const uint32_t previous = ref->PreviousPage, next = ref->NextPage;
  const uint8_t type = ref->PageType;
  if (previous != 0) {
    TPageRef left = PinNeighbour(previous, ref, type);
    if (left->NextPage != ref.Number()) Corrupt();
    left.Edit().NextPage = next;
  }
  if (next != 0) {
    TPageRef right = PinNeighbour(next, ref, type);
    if (right->PreviousPage != ref.Number()) Corrupt();
    right.Edit().PreviousPage = previous;
  }
  TPageContents& page = ref.Edit();
  page.PreviousPage = 0;
  page.NextPage = 0;
}

bool TIndexTree::MergeWithLeft(TPath& path, uint32_t level) {
  TPageRef& page = path[level].page;
  TPathLevel& parent = path[level - 1];
  const uint32_t q = parent.position;
  const uint32_t leftNumber = page->PreviousPage;
  if (leftNumber == 0 || q < 2 || parent.page->Pointer(q - 1) != leftNumber) Corrupt();
  TPageRef left = PinNeighbour(leftNumber, page, TPageContents::kInternal);
  if (left->NextPage != page.Number()) Corrupt();
  TPageContents& l = left.Edit();
  TPageContents& p = page.Edit();
  if (l.Count() + p.Count() < p.MaxEntries(pageSize_)) {
    l.AppendFrom(p, 1, p.Count());
    Unlink(page);
    FreePage(page);
    parent.page.Edit().SetSubCount(q - 1, SubtreeCount(l));
    RemoveEntry(path, level - 1, q);
    return true;
  }
  const uint32_t keep = (l.Count() + p.Count() + 1) / 2;
  if (keep < l.Count()) {
    p.PrependFrom(l, keep + 1, l.Count() - keep);
    l.Truncate(keep);
  } else if (keep > l.Count()) {
    const uint32_t moved = keep - l.Count();
    l.AppendFrom(p, 1, moved);
    p.RemoveFront(moved);
  }
  TPageContents& pp = parent.page.Edit();
  pp.SetKey(q, p.Key(1));
  pp.SetSubCount(q, SubtreeCount(p));
  pp.SetSubCount(q - 1, SubtreeCount(l));
  return false;
}

bool TIndexTree::MergeWithRight(TPath& path, uint32_t level) {
  TPageRef& page = path[level].page;
  TPathLevel& parent = path[level - 1];
  const uint32_t rightNumber = page->NextPage;
  if (rightNumber == 0 || parent.page->Pointer(2) != rightNumber) Corrupt();
  TPageRef right = PinNeighbour(rightNumber, page, TPageContents::kInternal);
  if (right->PreviousPage != page.Number()) Corrupt();
  TPageContents& r = right.Edit();
  TPageContents& p = page.Edit();
  TPageContents& pp = parent.page.Edit();
  if (p.Count() + r.Count() < p.MaxEntries(pageSize_)) {
    r.PrependFrom(p, 1, p.Count());
    Unlink(page);
    FreePage(page);
    pp.SetKey(2, r.Key(1));
    pp.SetSubCount(2, SubtreeCount(r));
    RemoveEntry(path, level - 1, 1);
    return true;
  }
  const bool wasEmpty = p.Count() == 0;
  const uint32_t keep = (p.Count() + r.Count()) / 2;
  if (keep < p.Count()) {
    r.PrependFrom(p, keep + 1, p.Count() - keep);
    p.Truncate(keep);
  } else if (keep > p.Count()) {
    const uint32_t moved = keep - p.Count();
    p.AppendFrom(r, 1, moved);
    r.RemoveFront(moved);
  }
  pp.SetSubCount(1, SubtreeCount(p));
  pp.SetKey(2, r.Key(1));
  pp.SetSubCount(2, SubtreeCount(r));
  if (wasEmpty) {
    // An emptied page took its first key from its neighbour.
    pp.SetKey(1, p.Key(1));
    CarryFirstKeyUp(path, level - 1, p.Key(1));
  }
  return false;
}

// --- searches and navigation ------------------------------------------------

template <typename F>
auto TIndexTree::Reading(F body) {
  const bool outer = reading_;
  reading_ = true;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{reading_, outer};
  for (int attempt = 0;; ++attempt) {
    try {
      return body();
    } catch (const TRestart&) {
      if (outer) throw;
      if (attempt == kMaxRestarts) Corrupt();
    }
  }
}

bool TIndexTree::LookupKey(const uint8_t* key) {
  return Reading([&] {
    TPath path;
    if (!Descend(key, false, path)) return false;
    const TPathLevel& leaf = path.Leaf();
    return leaf.position >= 1 && Compare(leaf.page->Key(leaf.position), key) == 0;
  });
}

bool TIndexTree::LookupKeyStrict(const uint8_t* key, uint32_t record) {
  return Reading([&] {
    TPath path;
    if (!Descend(key, false, path)) return false;
    for (uint32_t l = 0; l + 1 < path.depth; ++l) {
      const TPathLevel& level = path[l];
      if (Compare(level.page->Key(level.position), path[l + 1].page->Key(1)) != 0) return false;
    }
    const TPathLevel& leaf = path.Leaf();
    return leaf.position >= 1 && Compare(leaf.page->Key(leaf.position), key) == 0 &&
           leaf.page->Pointer(leaf.position) == record;
  });
}

bool TIndexTree::SetPosition(const TPageRef& page, uint32_t entry, TIndexPosition& pos) {
  const uint8_t* key = page->Key(entry);
  pos.Key.assign(key, key + props_.KeySize);
  pos.Page = page.Number();
  pos.Entry = entry;
  pos.Record = page->Pointer(entry);
  return true;
}

bool TIndexTree::First(TIndexPosition& pos) {
  return Reading([&] {
    pos = TIndexPosition();
    if (store_.RootPage(slot_) == 0) return false;
    TPath path;
    DescendToEdge(false, path);
    return SetPosition(path.Leaf().page, 1, pos);
  });
}

bool TIndexTree::Last(TIndexPosition& pos) {
  return Reading([&] {
    pos = TIndexPosition();
    if (store_.RootPage(slot_) == 0) return false;
    TPath path;
    DescendToEdge(true, path);
    return SetPosition(path.Leaf().page, path.Leaf().position, pos);
  });
}

bool TIndexTree::StillAt(const TIndexPosition& pos, TPageRef& page) {
  if (pos.Page > store_.PageCount() || pos.Key.size() != props_.KeySize) return false;
  page = Pin(pos.Page);
  const TPageContents& p = *page;
  return !p.Damaged() && SameProps(p.Props(), props_) && p.IsLeaf() && pos.Entry >= 1 &&
         pos.Entry <= p.Count() && Compare(p.Key(pos.Entry), pos.Key.data()) == 0;
}

bool TIndexTree::Next(TIndexPosition& pos) {
  if (!pos.Valid()) return false;
  return Reading([&] { return StepForward(pos); });
}

bool TIndexTree::Prior(TIndexPosition& pos) {
  if (!pos.Valid()) return false;
  return Reading([&] { return StepBackward(pos); });
}

uint32_t TIndexTree::ConsecutiveRecords(const TIndexPosition& pos, bool backward, uint32_t limit) {
  if (!pos.Valid() || limit <= 1) return 1;
  return Reading([&]() -> uint32_t {
    TPageRef page;
    if (!StillAt(pos, page)) return 1;
    const TPageContents& p = *page;
    const int64_t step = backward ? -1 : 1;
    uint32_t count = 1;
    for (int64_t entry = int64_t{pos.Entry} + step; count < limit && entry >= 1 && entry <= p.Count();
         entry += step, ++count)
      if (int64_t{p.Pointer(static_cast<uint32_t>(entry))} != int64_t{pos.Record} + step * count) break;
    return count;
  });
}

// The key a step starts from is copied out of the position, which the step
// overwrites; the copy reuses the tree's buffer.
bool TIndexTree::StepForward(TIndexPosition& pos) {
  TPageRef page;
  const bool stillAt = StillAt(pos, page);
  if (pos.Key.size() != props_.KeySize) Corrupt();
  stepKey_.assign(pos.Key.begin(), pos.Key.end());
  if (!stillAt) return SeekAfter(stepKey_.data(), false, pos);
  return EntryAfter(std::move(page), pos.Entry, pos, stepKey_.data());
}

bool TIndexTree::StepBackward(TIndexPosition& pos) {
  TPageRef page;
  const bool stillAt = StillAt(pos, page);
  if (pos.Key.size() != props_.KeySize) Corrupt();
  stepKey_.assign(pos.Key.begin(), pos.Key.end());
  if (!stillAt) return SeekBefore(stepKey_.data(), false, pos);
  return EntryBefore(std::move(page), pos.Entry, pos, stepKey_.data());
}

// A neighbour leaf met while walking; an empty one means the tree changed
// under the walk, which then starts again from the root.
TPageRef TIndexTree::PinNeighbourLeaf(uint32_t n, const TPageRef& from) {
  if (n == from.Number()) Corrupt();
  TPageRef leaf = Pin(n);
  if (leaf->Count() == 0) throw TRestart{};
  if (leaf->PageType != TPageContents::kLeaf || leaf->Damaged() || !SameProps(leaf->Props(), props_))
    Corrupt();
  return leaf;
}

// The entry after `entry` of a leaf, crossing to the right neighbour leaf;
// keys must grow across the link.
bool TIndexTree::EntryAfter(TPageRef page, uint32_t entry, TIndexPosition& pos, const uint8_t* after) {
  if (entry < page->Count()) return SetPosition(page, entry + 1, pos);
  if (page->NextPage == 0) {
    pos = TIndexPosition();
    return false;
  }
  TPageRef right = PinNeighbourLeaf(page->NextPage, page);
  if (Compare(right->Key(1), after) <= 0) Corrupt();
  return SetPosition(right, 1, pos);
}

bool TIndexTree::EntryBefore(TPageRef page, uint32_t entry, TIndexPosition& pos, const uint8_t* before) {
  if (entry > 1) return SetPosition(page, entry - 1, pos);
  if (page->PreviousPage == 0) {
    pos = TIndexPosition();
    return false;
  }
  TPageRef left = PinNeighbourLeaf(page->PreviousPage, page);
  if (Compare(left->Key(left->Count()), before) >= 0) Corrupt();
  return SetPosition(left, left->Count(), pos);
}

bool TIndexTree::SeekAfter(const uint8_t* key, bool orEqual, TIndexPosition& pos) {
  TPath path;
  if (!Descend(key, false, path)) {
    pos = TIndexPosition();
    return false;
  }
  TPathLevel& leaf = path.Leaf();
  const uint32_t p = leaf.position;
  if (orEqual && p >= 1 && Compare(leaf.page->Key(p), key) == 0) return SetPosition(leaf.page, p, pos);
  return EntryAfter(std::move(leaf.page), p, pos, key);
}

bool TIndexTree::SeekBefore(const uint8_t* key, bool orEqual, TIndexPosition& pos) {
  TPath path;
  if (!Descend(key, false, path)) {
    pos = TIndexPosition();
    return false;
  }
  TPathLevel& leaf = path.Leaf();
  uint32_t p = leaf.position;
  if (!orEqual && p >= 1 && Compare(leaf.page->Key(p), key) == 0) --p;
  return EntryBefore(std::move(leaf.page), p + 1, pos, key);
}

bool TIndexTree::SeekAtOrAfter(const uint8_t* key, TIndexPosition& pos) {
  return Reading([&] { return SeekAfter(key, true, pos); });
}

bool TIndexTree::SeekAtOrBefore(const uint8_t* key, TIndexPosition& pos) {
  return Reading([&] { return SeekBefore(key, true, pos); });
}

// --- counted positions -------------------------------------------------------

uint32_t TIndexTree::KeyCount() {
  return Reading([&]() -> uint32_t {
    const uint32_t root = store_.RootPage(slot_);
    if (root == 0) return 0;
    return PinTreePage(root, true)->Total();
  });
}

uint32_t TIndexTree::CountedPosition(const uint8_t* key, Bound bound) {
  return Reading([&]() -> uint32_t {
    TPath path;
    if (!Descend(key, false, path)) return bound == Bound::AtOrAfter ? 1 : 0;
    uint32_t before = 0;
    for (uint32_t l = 0; l + 1 < path.depth; ++l) {
      const TPathLevel& level = path[l];
      for (uint32_t i = 1; i < level.position; ++i) before += level.page->SubCount(i);
    }
    const TPathLevel& leaf = path.Leaf();
    uint32_t entry = leaf.position;
    if (bound == Bound::AtOrAfter && !(entry >= 1 && Compare(leaf.page->Key(entry), key) == 0)) ++entry;
    return before + entry;
  });
}

uint32_t TIndexTree::PositionAtOrAfter(const uint8_t* key) {
  return CountedPosition(key, Bound::AtOrAfter);
}

uint32_t TIndexTree::PositionAtOrBefore(const uint8_t* key) {
  return CountedPosition(key, Bound::AtOrBefore);
}

uint32_t TIndexTree::PositionOf(const TIndexPosition& pos) {
  if (!pos.Valid() || pos.Key.size() != props_.KeySize) return 0;
  return PositionAtOrAfter(pos.Key.data());
}

uint32_t TIndexTree::RangeCount(const uint8_t* start, const uint8_t* end) {
  const uint32_t first = PositionAtOrAfter(start);
  const uint32_t last = PositionAtOrBefore(end);
  return last >= first ? last - first + 1 : 0;
}

bool TIndexTree::SeekPosition(uint32_t n, TIndexPosition& pos) {
  return Reading([&] {
    pos = TIndexPosition();
    uint32_t page = store_.RootPage(slot_);
    if (page == 0 || n == 0) return false;
    uint32_t remaining = n;
    for (uint32_t depth = 0; depth < kMaxDepth; ++depth) {
      TPageRef ref = PinTreePage(page, depth == 0);
      if (ref->IsLeaf()) return remaining <= ref->Count() && SetPosition(ref, remaining, pos);
      uint32_t i = 1;
      while (i <= ref->Count() && remaining > ref->SubCount(i)) remaining -= ref->SubCount(i++);
      if (i > ref->Count()) return false;
      page = ref->Pointer(i);
    }
    Corrupt();
  });
}

}  // namespace zarnik
