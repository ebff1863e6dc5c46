// TBufferedFileTable: what a buffered file needs from the shared table that
// owns it (its name, exclusivity, transaction state, session settings, the
// change check and the table's cipher). The table object implements it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zarnik {

class TDataCursor;

class TBufferedFileTable {
 public:
  virtual ~TBufferedFileTable() = default;

  // The name the table files give in error messages.
  virtual std::string TableName() = 0;
  // The table is open exclusive: its files are opened without sharing.
  virtual bool Exclusive() = 0;
  virtual bool TransactionActive() = 0;
  // Set by every write to any of the table's files since the table opened.
  virtual bool WrittenSinceOpen() = 0;
  virtual void MarkWrittenSinceOpen() = 0;

  // Settings of the cursor's session (the cursor may be null).
  virtual bool StrictChangeDetection(TDataCursor* cursor) = 0;
  // Settings of the table's session.
  virtual bool ForceBufferFlush() = 0;

  // When another user changed the table since its headers were last read,
  // discards the cached buffers of all its files and returns true.
  virtual bool RefreshIfChanged(TDataCursor* cursor) = 0;

  // Encrypted tables keep every buffer enciphered on disk with the key
  // schedule of the password that opened the table.
  virtual bool Encrypted() = 0;
  virtual void EncryptTableBuffer(uint8_t* buffer, size_t length) = 0;
  virtual void DecryptTableBuffer(uint8_t* buffer, size_t length) = 0;
};

}  // namespace zarnik
