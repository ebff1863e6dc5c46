// Walks one index tree and checks every structural rule of the index pages:
// page types, entry counts, key order inside pages and along each level,
// first keys of children, subtree counts, neighbour links, compression
// lengths and packed sizes; and the free page chain.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/index/index_page_store.h"

namespace zarnik::test {

struct TTreeEntry {
  std::vector<uint8_t> key;
  uint32_t record = 0;
};

struct TTreeReport {
  std::string error;                // empty when every rule holds
  std::vector<TTreeEntry> entries;  // the leaf entries in order
  std::set<uint32_t> pages;         // pages of the tree
  uint32_t depth = 0;
};

TTreeReport CheckTree(TIndexPageStore& store, uint32_t slot, const TIndexProps& props,
                      const TKeyComparer& comparer);

// Checks the free chain: pages without entries, within the file, met once and
// not used elsewhere. Returns the free pages or sets error.
std::set<uint32_t> CheckFreeChain(TIndexPageStore& store, const std::set<uint32_t>& used,
                                  const TIndexProps& props, std::string& error);

}  // namespace zarnik::test
