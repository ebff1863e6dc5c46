// TOpenBlobs: the open BLOBs of one cursor, at most 128. While a value is
// open, the cursor's copy of its record holds the open BLOB's marker (a
// negative number) in place of the first block number; posting the record
// writes the changed values to their chains and puts the real references back,
// so a marker never reaches the data file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "engine/blob/blob_buffer.h"
#include "engine/blob/blob_chain.h"

namespace zarnik {

class TOpenBlobs {
 public:
  static constexpr size_t kMaxOpenBlobs = 128;
  // Issues the next BLOB revision number (from the data file's counter).
  using TIssueRevision = std::function<uint32_t()>;

  // The open BLOBs of cursor (null for none), whose values lie in store.
  explicit TOpenBlobs(TBlockStore& store, TDataCursor* cursor = nullptr)
      : store_(store), chain_(store), cursor_(cursor) {}

  // How a value is opened: the field (its definition outlives the open BLOB),
  // whether it takes part in the text index (a copy of the value as read is
  // kept), the mode and the opener's close flag.
  struct TOpenRequest {
    const TFieldDefinition& field;
    bool textIndexed = false;
    uint8_t mode = kBlobModeRead;
    bool closeFlag = false;
  };

  // Opens the field's value in the cursor's copy of record ownerRecord and
  // returns its marker. A marker already in the record counts one more opener;
  // a marker this cursor does not know raises ZARNIK_INVALIDBLOBOFFSET, a 129th
  // open BLOB ZARNIK_OPENBLOBLIMIT. reload re-reads the field's reference from
  // the record on disk when the value was rewritten meanwhile.
  int32_t Open(const TOpenRequest& request, std::span<uint8_t> record, uint32_t ownerRecord,
               const TReloadReference& reload);
  // The open BLOB of a marker; ZARNIK_INVALIDBLOBHANDLE when there is none.
  TBlobBuffer& Get(int32_t marker);
  int32_t Read(int32_t marker, int64_t offset, int32_t count, uint8_t* dest) {
    return Get(marker).Read(offset, count, dest);
  }
  bool Write(int32_t marker, int64_t offset, std::span<const uint8_t> bytes);
  bool Truncate(int32_t marker, int64_t newLength) { return Get(marker).Truncate(newLength); }
  int32_t Size(int32_t marker) { return Get(marker).Length(); }
  // One opener less; the last frees the open BLOB and puts its reference back
  // into the record when the record still holds its marker.
  void Close(int32_t marker, std::span<uint8_t> record);

  // Writes every changed open BLOB that is not in mode 3 to its chain under a
  // new revision, and puts the real references of all open BLOBs of that
  // record into it. All changed ones must belong to one record, else
  // ZARNIK_MEMOCORRUPT. Returns whether any value was written.
  bool Post(std::span<uint8_t> record, const TIssueRevision& issueRevision);
  // Frees the open BLOBs of a record that were not changed or carry the close flag.
  void DropRecord(uint32_t ownerRecord);
  // Frees the open BLOBs that carry the close flag.
  void DropClosing();
  // Frees the chains of the record's BLOB fields under new revisions (the
  // record is being deleted), and their open BLOBs; the references in the
  // record become NULL.
  void RemoveValues(std::span<uint8_t> record, const std::vector<TFieldDefinition>& fields,
                    const TIssueRevision& issueRevision);
  size_t Count() const;

 private:
  static int32_t MarkerOf(size_t index) { return -static_cast<int32_t>(index) - 1; }
  // The list index a (negative) marker stands for.
  static size_t IndexOf(int32_t marker) { return static_cast<size_t>(-(static_cast<int64_t>(marker) + 1)); }
  TBlobBuffer* Find(int32_t marker);
  // The field's slot in the record; ZARNIK_INVALIDBLOBOFFSET when it does not fit.
  std::span<uint8_t> Slot(std::span<uint8_t> record, const TFieldDefinition& field);
  size_t FreeSlot();
  // Puts the open BLOB's reference into the record when it holds its marker.
  void RestoreReference(std::span<uint8_t> record, size_t index);
  void WriteBack(TBlobBuffer& blob, uint32_t revision);

  TBlockStore& store_;
  TBlobChain chain_;
  TDataCursor* cursor_;
  std::vector<std::unique_ptr<TBlobBuffer>> blobs_;  // the marker of index i is -(i + 1)
};

}  // namespace zarnik
