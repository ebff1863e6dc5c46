// TRecord: the cached buffer of one physical record of a data file, with the
// accessors of its status, free-chain link, RecordID and RecordHash. Its bytes
// are laid out as engine/data/record_layout.h describes; an encrypted table
// keeps the on-disk image enciphered (the buffered file does that on load and save).
#pragma once

#include <span>

#include "engine/data/record_layout.h"
#include "engine/files/buffered_file.h"

namespace zarnik {

class TRecord : public TBuffer {
 public:
  explicit TRecord(TBufferedFile& owner) : TBuffer(owner) {}

  std::span<uint8_t> Bytes() { return {data.data(), static_cast<size_t>(size)}; }
  std::span<const uint8_t> Bytes() const { return {data.data(), static_cast<size_t>(size)}; }

  uint8_t GetStatus() const { return GetRecordStatus(Bytes()); }
  void SetStatus(uint8_t status);
  // The link when the record is deleted, else 0.
  int32_t GetNextFree() const { return zarnik::GetNextFree(Bytes()); }
  void SetLink(int32_t link);
  // Sets the link without marking the record changed.
  void SetLinkQuietly(int32_t link) { SetRecordLink(Bytes(), link); }
  int32_t GetRecordID() const { return zarnik::GetRecordID(Bytes()); }
  void SetRecordID(int32_t id);
  TRecordHash GetRecordHash() const { return zarnik::GetRecordHash(Bytes()); }
  void SetRecordHash(const TRecordHash& hash);
};

}  // namespace zarnik
