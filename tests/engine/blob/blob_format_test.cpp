// The BLOB file header, the block header and the BLOB reference of a record,
// byte for byte.
#include <gtest/gtest.h>

#include <vector>

#include "engine/blob/blob_header.h"
#include "engine/blob/blob_reference.h"
#include "engine/blob/block_header.h"
#include "engine/core/data_engine.h"

namespace zarnik {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(BlobFormatTest, HeaderFieldsSitAtTheirOffsetsAndReservedBytesSurvive) {
  Bytes raw(TBlobHeader::kEncodedLength);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 13 + 1);
  TBlobHeader header;
  header.DecodeFrom(raw);
  EXPECT_EQ(header.changeCount, uint32_t{raw[0]} | raw[1] << 8 | raw[2] << 16 | uint32_t{raw[3]} << 24);
  EXPECT_EQ(header.version, raw[8]);
  EXPECT_EQ(header.signatureDigest[0], raw[9]);
  EXPECT_EQ(header.freeBlockHead, uint32_t{raw[25]} | raw[26] << 8 | raw[27] << 16 | uint32_t{raw[28]} << 24);
  EXPECT_EQ(header.nextBlockNumber,
            uint32_t{raw[29]} | raw[30] << 8 | raw[31] << 16 | uint32_t{raw[32]} << 24);
  EXPECT_EQ(header.headerModified, raw[33]);
  Bytes again(TBlobHeader::kEncodedLength);
  header.EncodeTo(again);
  EXPECT_EQ(again, raw);
}

TEST(BlobFormatTest, ValidBlocksAreZeroAndTheBlocksTheFileHolds) {
  TBlobHeader header;
  header.nextBlockNumber = 1;
  EXPECT_TRUE(header.IsValidBlock(0));
  EXPECT_FALSE(header.IsValidBlock(1));
  header.nextBlockNumber = 4;
  EXPECT_TRUE(header.IsValidBlock(3));
  EXPECT_FALSE(header.IsValidBlock(4));
  EXPECT_FALSE(header.IsValidBlock(-1));
  header.nextBlockNumber = 0;  // damaged
  EXPECT_FALSE(header.IsValidBlock(1));
}

TEST(BlobFormatTest, OpeningRefusesOtherVersionsAndUnknownSignatures) {
  TDataEngine engine;
  engine.SetSignature("Another signature");
  struct Case {
    uint8_t version;
    TDigest signature;
    TErrorCode expected;
  } cases[] = {
      {6, MD5Digest(kDefaultSignature), ZARNIK_NONE},
      {6, MD5Digest("Another signature"), ZARNIK_NONE},
      {6, MD5Digest("A third one"), ZARNIK_BADSIGNATURE},
      {5, MD5Digest(kDefaultSignature), ZARNIK_OLDVERSION},
      {7, MD5Digest(kDefaultSignature), ZARNIK_BADSIGNATURE},
  };
  for (const Case& c : cases) {
    TBlobHeader header;
    header.version = c.version;
    header.signatureDigest = c.signature;
    EXPECT_EQ(header.OpenError(engine), c.expected) << int(c.version);
  }
}

TEST(BlobFormatTest, BlockHeaderFieldsSitAtTheirOffsets) {
  const Bytes image = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 4, 0, 0, 0, 5, 0, 0, 0};
  TBlockHeader header;
  header.DecodeFrom(image);
  EXPECT_EQ(header.previousBlock, 1u);
  EXPECT_EQ(header.nextBlock, 2u);
  EXPECT_EQ(header.usedBytes, 3);
  EXPECT_EQ(header.blobRevision, 4u);
  EXPECT_EQ(header.blobLength, 5u);
  Bytes again(TBlockHeader::kEncodedLength);
  header.EncodeTo(again);
  EXPECT_EQ(again, image);
}

TEST(BlobFormatTest, RecordSlotHoldsIndicatorFirstBlockAndRevision) {
  TBlobReference reference{true, 0x01020304, 0xA0B0C0D0};
  Bytes slot(TBlobReference::kEncodedLength);
  reference.EncodeTo(slot);
  EXPECT_EQ(slot, (Bytes{1, 0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0}));
  TBlobReference decoded;
  decoded.DecodeFrom(slot);
  EXPECT_TRUE(decoded.hasValue);
  EXPECT_EQ(decoded.firstBlock, 0x01020304);
  EXPECT_EQ(decoded.revision, 0xA0B0C0D0u);
  slot[0] = 2;  // only 1 says the field has a value
  decoded.DecodeFrom(slot);
  EXPECT_FALSE(decoded.hasValue);
}

}  // namespace
}  // namespace zarnik
