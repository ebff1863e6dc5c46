// TDataFile: the data file of a table: the 512-byte header and the field
// definitions (held in a TTableDefinition) and the records as cached TRecord
// buffers, with opening and its checks, header and definition writes, record
// allocation on the free chain and the size limits of a growing table.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/data/record.h"
#include "engine/data/table_definition.h"
#include "engine/files/buffered_file.h"

namespace zarnik {

class TDataFile : public TBufferedFile {
 public:
  // Attaches the session password whose check value matches an encrypted
  // table's; false when the session has none and cannot get one.
  using TPasswordHook = std::function<bool(const std::array<uint8_t, 16>& passwordCheck)>;

  // Bytes of one TRecord object that the cache limit counts besides the record.
  static constexpr int32_t kRecordObjectSize = 36;

  TDataFile(TDataEngine& engine, TBufferedFileTable& table, std::string databaseName = {});

  TTableDefinition& Definition() { return definition_; }
  const TTableDefinition& Definition() const { return definition_; }
  TPasswordHook attachPassword;

  // --- opening and creating
  // Opens the file when it is not open, reads the header and checks its
  // version, signature, field count and locale, attaches the password of an encrypted
  // table, reads the definitions and resets the cache. Closes the file again
  // when it opened it and a check fails.
  void OpenFile() override;
  // Creates the file with a new header: version 6, the engine's signature,
  // next record number 1, changed.
  void CreateFile() override;
  // Installs new definitions; raises ZARNIK_BLOBLIMIT or ZARNIK_RECTOOBIG.
  void SetFieldDefinitions(std::vector<TFieldDefinition> fields);
  // The consistency check of an opening table (ZARNIK_HEADERCORRUPT, ZARNIK_CANNOTLOADLDDRV).
  void CheckHeader() override;
  // Reports whether the header is consistent. Repairing it belongs to the header repair.
  bool VerifyHeader(TDataCursor* logCursor, bool verifyOnly) override;

  // --- header and definitions on disk
  void ReadHeader() override;
  bool WriteHeader(bool force) override;
  void MarkHeaderChanged() override;
  bool HeaderChanged() override;
  // Writes the definitions when they changed (or when forced).
  bool WriteDefinitions(bool force) override;
  bool WriteFieldDefinitions() { return WriteDefinitions(false); }
  // Cuts the records off and resets the header counters.
  void EmptyFile() override;

  // --- records
  uint32_t NextFreeRecord() const { return definition_.NextFreeRecord(); }
  // The pinned buffer for a new record: the head of the free chain, or a new
  // record appended at the end. Release it with ReleaseBuffer.
  TRecord* AllocateRecord(TDataCursor* cursor);
  // Marks the record deleted and puts it at the head of the free chain.
  void FreeRecord(TRecord& record);
  // The record's buffer, pinned; null when another user changed the table.
  TRecord* GetRecord(TDataCursor* cursor, uint32_t number, int direction = kDirectionNone, bool readAhead = false);

  // --- the buffered-file contract
  std::unique_ptr<TBuffer> NewBuffer() override;
  [[noreturn]] void RaiseBuffersCorrupt() override;
  void CheckCanAppend() override;
  void BufferAppended() override;
  int32_t GetMaxBufferCount() override;
  int32_t GetReadAheadLimit() override;
  // The reading cursor's answer (1 without one).
  int32_t GetReadAheadCount(TDataCursor* cursor, int direction) override;
  int32_t GetDiskBufferSize() override { return definition_.RecordSize(); }
  int32_t GetBufferSize() override { return definition_.RecordSize(); }
  int64_t GetDataStart() override { return static_cast<int64_t>(definition_.DataStart()); }
  uint32_t GetBufferCount() override { return definition_.PhysicalRecordCount(); }
  int32_t GetChangeCount() override { return static_cast<int32_t>(definition_.header.changeCounter); }

 private:
  [[noreturn]] void RaiseTableError(TErrorCode code);
  void RaiseIfError(const TDefinitionError& error);
  void CheckVersionAndSignature();
  void AttachPassword();
  void ReadFieldDefinitions();
  void OpenAndCheck();

  TTableDefinition definition_;
  std::string databaseName_;
};

}  // namespace zarnik
