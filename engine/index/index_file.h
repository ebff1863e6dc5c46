// TIndexFile: a table's index file: the header with the root pages and the
// free page chain, the block of 32 index definitions, and the index pages in
// the buffer cache. It reads, writes, creates, empties and opens the file and
// changes the index definitions; the tree operations run on its pages.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/data/table_definition.h"
#include "engine/files/buffered_file.h"
#include "engine/index/index_definition.h"
#include "engine/index/index_header.h"
#include "engine/index/index_page_store.h"
#include "engine/index/text_index_params.h"

namespace zarnik {

// File layout (integers little-endian):
//
//       0    512 bytes         header (TIndexHeader)
//     512    32 x 768 bytes    index definitions (TIndexDefinition), slot s
//                              at 512 + 768 s: 0 primary, 1 .. IndexCount
//                              secondary, 31 the text index "Sys Text";
//                              other slots zero
//   25088    PageSize bytes    index page n at 25088 + (n - 1) x PageSize,
//            per page          n = 1 .. NextPageNumber - 1 (TPageContents)
//
// An encrypted table enciphers the header, the definitions block and every
// page each as one unit.
class TIndexFile : public TBufferedFile {
 public:
  static constexpr int64_t kDefinitionsOffset = 512;
  static constexpr size_t kDefinitionsLength = 32 * TIndexDefinition::kEncodedLength;
  static constexpr int64_t kDataStart = 25088;
  static constexpr uint8_t kVersion = 6;
  static constexpr uint32_t kTextSlot = 31;
  static constexpr uint32_t kMaxSecondaryIndexes = 30;
  static constexpr uint32_t kMinPageSize = 1024;
  static constexpr uint32_t kMaxPageSize = 16384;

  // pageSize is the table's index page size from its data file header.
  TIndexFile(TDataEngine& engine, TBufferedFileTable& table, uint32_t pageSize);
  uint32_t PageSize() const { return pageSize_; }

  // --- engine file operations
  // Opens, reads and checks the header, reads the definitions.
  void OpenFile() override;
  void CloseFile() override;
  // A new empty file; the caller then stores the definitions
  // (StoreDefaultDefinitions) and writes header and definitions.
  void CreateFile() override;

  // --- buffered file operations
  std::unique_ptr<TBuffer> NewBuffer() override;
  [[noreturn]] void RaiseBuffersCorrupt() override;
  void CheckCanAppend() override;
  void BufferAppended() override;
  int32_t GetMaxBufferCount() override;
  int32_t GetReadAheadLimit() override { return 1; }
  int32_t GetDiskBufferSize() override { return int32_t(pageSize_); }
  int32_t GetBufferSize() override { return int32_t(pageSize_) - int32_t(TPageContents::kHeaderLength); }
  int64_t GetDataStart() override { return kDataStart; }
  uint32_t GetBufferCount() override { return header_.NextPageNumber > 0 ? header_.NextPageNumber - 1 : 0; }
  int32_t GetChangeCount() override { return int32_t(header_.ChangeCount); }
  int32_t GetRecentScanDepth() override { return 2; }
  int32_t GetCapacityStep() override { return 4; }
  int32_t GetReadAheadCount(TDataCursor*, int) override { return 1; }
  void ReadHeader() override;
  bool WriteHeader(bool force) override;
  void MarkHeaderChanged() override;
  // Cuts the file back to its definitions and resets the header's pages.
  void EmptyFile() override;
  // The header check and its repair belong to the header verification.
  void CheckHeader() override {}
  bool VerifyHeader(TDataCursor*, bool) override { return true; }
  bool HeaderChanged() override;
  bool WriteDefinitions(bool force) override;

  void ReadDefinitions();
  void ClearDefinitions();
  // The definitions of a new table: the default primary index, the text
  // index over the given text fields, no secondary index.
  void StoreDefaultDefinitions(const std::vector<uint16_t>& textFields);

  // --- header accessors
  const TIndexHeader& Header() const { return header_; }
  bool IsHeaderChanged() const { return headerChanged_; }
  bool AreDefinitionsChanged() const { return definitionsChanged_; }
  uint32_t GetRootPage(uint32_t slot) const { return header_.RootPages.at(slot); }
  void SetRootPage(uint32_t slot, uint32_t page);
  uint32_t GetDataRootPage(uint32_t slot) const { return header_.DataRootPages.at(slot); }
  void SetDataRootPage(uint32_t slot, uint32_t page);
  uint32_t GetAllocatablePage() const;
  void SetFreePageHead(uint32_t page);
  uint32_t GetIndexCount() const { return header_.IndexCount; }
  void SetIndexCount(uint8_t count);
  bool IsValidPage(int64_t page) const;

  // --- definitions
  const TIndexDefinition& GetIndexDefinition(uint32_t slot) const { return definitions_.at(slot); }
  bool HasDefaultPrimaryIndex() const;
  bool IndexNameExists(const std::string& name) const;
  // The properties pages of a slot take; all zero for a number that is no slot.
  TIndexProps PropsOf(int64_t slot) const;
  void SetIndexDefinition(uint32_t slot, const TIndexDefinition& definition);
  void SetIndexFields(uint32_t slot, const TIndexDefinition& definition);
  void SetPrimaryIndex(const TIndexDefinition& definition, const TTableDefinition& table);
  void AddIndex(const TIndexDefinition& definition, const TTableDefinition& table);
  void DeleteIndex(uint32_t slot, bool remove);
  // The key size of an index over the table's fields; raises
  // ZARNIK_INVALIDKEY when the fields cannot make a key.
  uint16_t KeySizeFor(const TIndexDefinition& definition, const TTableDefinition& table);

  // --- text indexing parameters
  // The stored parameters, or the defaults when none are stored.
  TTextIndexParams LoadTextIndexParams(TDataCursor* cursor);
  void SaveTextIndexParams(const TTextIndexParams& params, TDataCursor* cursor);

 private:
  void ReadArea(int64_t offset, uint8_t* area, size_t length);
  void WriteArea(int64_t offset, const uint8_t* area, size_t length);
  void CheckOpened();
  void CheckKeyFields(const TIndexDefinition& definition, const TTableDefinition& table);
  void CopyDefinition(uint32_t slot, const TIndexDefinition& definition);
  [[noreturn]] void RaiseNamed(TErrorCode code, const std::string& fieldName, const std::string& indexName);

  uint32_t pageSize_;
  TIndexHeader header_;
  bool headerChanged_ = false;
  std::array<TIndexDefinition, 32> definitions_;
  bool definitionsChanged_ = false;
};

// The pages of an index file as the tree operations use them, for one
// cursor (which the cache asks whether another user changed the table).
class TIndexFilePages : public TIndexPageStore {
 public:
  TIndexFilePages(TIndexFile& file, TDataCursor* cursor) : file_(file), cursor_(cursor) {}

  uint32_t PageSize() const override { return file_.PageSize(); }
  uint32_t PageCount() const override { return file_.GetBufferCount(); }
  TPageContents* PinPage(uint32_t n, const TIndexProps& props) override;
  void UnpinPage(TPageContents* page) override;
  void MarkDirty(TPageContents* page) override;
  uint32_t FreePageHead() const override { return file_.Header().FreePageHead; }
  void SetFreePageHead(uint32_t page) override { file_.SetFreePageHead(page); }
  uint32_t RootPage(uint32_t slot) const override { return file_.GetRootPage(slot); }
  void SetRootPage(uint32_t slot, uint32_t page) override { file_.SetRootPage(slot, page); }
  [[noreturn]] void RaiseError(TErrorCode code) override;

 private:
  TIndexFile& file_;
  TDataCursor* cursor_;
};

}  // namespace zarnik
