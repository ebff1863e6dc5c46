#include "engine/data/data_header.h"

#include <algorithm>

#include "engine/data/field_definition.h"
#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

template <size_t N>
static void PutBytes(std::span<uint8_t> d, size_t offset, const std::array<uint8_t, N>& bytes) {
  std::copy(bytes.begin(), bytes.end(), d.begin() + offset);
}

template <size_t N>
static void GetBytes(std::span<const uint8_t> s, size_t offset, std::array<uint8_t, N>& bytes) {
  std::copy_n(s.begin() + offset, N, bytes.begin());
}

void TDataHeader::EncodeTo(std::span<uint8_t> d) const {
  PutUInt32(d, kChangeCounterOffset, changeCounter);
  PutBytes(d, kReserved1Offset, reserved1);
  PutUInt8(d, kVersionOffset, version);
  PutBytes(d, kSignatureOffset, signatureDigest);
  PutInt32(d, kFreeRecordHeadOffset, freeRecordHead);
  PutInt32(d, kNextRecordNumberOffset, nextRecordNumber);
  PutInt32(d, kLastRecordIDOffset, lastRecordID);
  PutInt32(d, kLastAutoIncrementOffset, lastAutoIncrement);
  PutInt32(d, kRecordCountOffset, recordCount);
  PutUInt16(d, kRecordSizeOffset, recordSize);
  PutUInt16(d, kFieldCountOffset, fieldCount);
  PutUInt16(d, kBlobFieldCountOffset, blobFieldCount);
  PutUInt32(d, kBlobBlockSizeOffset, blobBlockSize);
  PutInt32(d, kBlobRevisionOffset, blobRevision);
  PutUInt32(d, kIndexPageSizeOffset, indexPageSize);
  PutFloat64(d, kLastUpdateOffset, lastUpdate);
  PutShortString(d, kDescriptionOffset, kMaxDescriptionLength, description);
  PutUInt8(d, kEncryptedOffset, encrypted ? 1 : 0);
  PutBytes(d, kPasswordCheckOffset, passwordCheck);
  PutUInt32(d, kLocaleIdOffset, localeId);
  PutUInt16(d, kUserMajorOffset, userMajorVersion);
  PutUInt16(d, kUserMinorOffset, userMinorVersion);
  PutUInt8(d, kHeaderChangedOffset, headerChangedFlag);
  PutBytes(d, kReserved2Offset, reserved2);
}

void TDataHeader::DecodeFrom(std::span<const uint8_t> s) {
  changeCounter = GetUInt32(s, kChangeCounterOffset);
  GetBytes(s, kReserved1Offset, reserved1);
  version = GetUInt8(s, kVersionOffset);
  GetBytes(s, kSignatureOffset, signatureDigest);
  freeRecordHead = GetInt32(s, kFreeRecordHeadOffset);
  nextRecordNumber = GetInt32(s, kNextRecordNumberOffset);
  lastRecordID = GetInt32(s, kLastRecordIDOffset);
  lastAutoIncrement = GetInt32(s, kLastAutoIncrementOffset);
  recordCount = GetInt32(s, kRecordCountOffset);
  recordSize = GetUInt16(s, kRecordSizeOffset);
  fieldCount = GetUInt16(s, kFieldCountOffset);
  blobFieldCount = GetUInt16(s, kBlobFieldCountOffset);
  blobBlockSize = GetUInt32(s, kBlobBlockSizeOffset);
  blobRevision = GetInt32(s, kBlobRevisionOffset);
  indexPageSize = GetUInt32(s, kIndexPageSizeOffset);
  lastUpdate = GetFloat64(s, kLastUpdateOffset);
  description = GetShortString(s, kDescriptionOffset, kMaxDescriptionLength);
  encrypted = GetUInt8(s, kEncryptedOffset) != 0;
  GetBytes(s, kPasswordCheckOffset, passwordCheck);
  localeId = GetUInt32(s, kLocaleIdOffset);
  userMajorVersion = GetUInt16(s, kUserMajorOffset);
  userMinorVersion = GetUInt16(s, kUserMinorOffset);
  headerChangedFlag = 0;  // the writer's flag means nothing to a reader
  GetBytes(s, kReserved2Offset, reserved2);
}

}  // namespace zarnik
