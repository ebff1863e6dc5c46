// TDataHeader: the 512-byte header at the start of a data file: the change
// counter, version and signature, the record counters and free chain head, the
// record geometry and the table's settings. It is never enciphered.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zarnik {

class TDataHeader {
 public:
  static constexpr size_t kEncodedLength = 512;

  uint32_t changeCounter = 0;
  uint8_t version = 0;
  std::array<uint8_t, 16> signatureDigest{};
  int32_t freeRecordHead = 0;      // first record of the free chain, 0 = none
  int32_t nextRecordNumber = 0;    // physical record count + 1
  int32_t lastRecordID = 0;
  int32_t lastAutoIncrement = 0;
  int32_t recordCount = 0;         // live records
  uint16_t recordSize = 0;
  uint16_t fieldCount = 0;
  uint16_t blobFieldCount = 0;
  uint32_t blobBlockSize = 0;
  int32_t blobRevision = 0;
  uint32_t indexPageSize = 0;
  double lastUpdate = 0;           // local date and time of the last write, minus 693594
  std::string description;
  bool encrypted = false;
  std::array<uint8_t, 16> passwordCheck{};
  uint32_t localeId = 0;
  uint16_t userMajorVersion = 0;
  uint16_t userMinorVersion = 0;
  uint8_t headerChangedFlag = 0;   // the writer's flag; written, never interpreted
  // Reserved bytes, kept as read and written back.
  std::array<uint8_t, 4> reserved1{};
  std::array<uint8_t, 314> reserved2{};

  void EncodeTo(std::span<uint8_t> destination) const;
  // Reads the 512 bytes at the start of source, which must hold them.
  void DecodeFrom(std::span<const uint8_t> source);

  // Layout of the 512 bytes (integers little-endian):
  //   0 uint32 change counter       4 4 reserved                  8 uint8 version (6)
  //   9 16 MD5 of the signature    25 int32 free chain head      29 int32 next record number
  //  33 int32 last RecordID        37 int32 last auto-increment  41 int32 record count
  //  45 uint16 record size         47 uint16 field count         49 uint16 BLOB field count
  //  51 uint32 BLOB block size     55 int32 BLOB revision        59 uint32 index page size
  //  63 float64 last update        71 short string(100) description
  // 172 uint8 encrypted           173 16 password check value   189 uint32 locale id
  // 193 uint16 user major         195 uint16 user minor         197 uint8 header changed flag
  // 198 314 reserved
  static constexpr size_t kChangeCounterOffset = 0;
  static constexpr size_t kReserved1Offset = 4;
  static constexpr size_t kVersionOffset = 8;
  static constexpr size_t kSignatureOffset = 9;
  static constexpr size_t kFreeRecordHeadOffset = 25;
  static constexpr size_t kNextRecordNumberOffset = 29;
  static constexpr size_t kLastRecordIDOffset = 33;
  static constexpr size_t kLastAutoIncrementOffset = 37;
  static constexpr size_t kRecordCountOffset = 41;
  static constexpr size_t kRecordSizeOffset = 45;
  static constexpr size_t kFieldCountOffset = 47;
  static constexpr size_t kBlobFieldCountOffset = 49;
  static constexpr size_t kBlobBlockSizeOffset = 51;
  static constexpr size_t kBlobRevisionOffset = 55;
  static constexpr size_t kIndexPageSizeOffset = 59;
  static constexpr size_t kLastUpdateOffset = 63;
  static constexpr size_t kDescriptionOffset = 71;
  static constexpr size_t kEncryptedOffset = 172;
  static constexpr size_t kPasswordCheckOffset = 173;
  static constexpr size_t kLocaleIdOffset = 189;
  static constexpr size_t kUserMajorOffset = 193;
  static constexpr size_t kUserMinorOffset = 195;
  static constexpr size_t kHeaderChangedOffset = 197;
  static constexpr size_t kReserved2Offset = 198;
};

}  // namespace zarnik
