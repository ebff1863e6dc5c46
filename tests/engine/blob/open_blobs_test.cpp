#include "engine/blob/open_blobs.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/data/table_definition.h"
#include "tests/engine/blob/blob_file_fixture.h"
#include "tests/support/raised.h"

namespace zarnik {
namespace {

using testing::RaisedBy;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBlockSize = 64;
constexpr size_t kRecordSize = 48;

TFieldDefinition BlobField(int32_t number, const char* name, uint16_t offset, uint8_t compression) {
  TFieldDefinition field;
  field.number = number;
  field.name = name;
  field.dataType = kFieldBlob;
  field.DerivePhysicalSize();
  field.offset = offset;
  field.compression = compression;
  return field;
}

const TFieldDefinition kMemo = BlobField(1, "Memo", 25, 0);
const TFieldDefinition kPicture = BlobField(2, "Picture", 34, 6);  // compressed, text-indexed

Bytes AsBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

class OpenBlobsTest : public testing::BlobFileTest {
 protected:
  void SetUp() override {
    BlobFileTest::SetUp();
    Create(kBlockSize);
    blobs = std::make_unique<TOpenBlobs>(*blocks);
  }
  int32_t Open(const TFieldDefinition& field, uint8_t mode = kBlobModeReadWrite) {
    return blobs->Open({field, &field == &kPicture, mode}, record, 1, {});
  }
  TBlobReference Reference(const TFieldDefinition& field) {
    TBlobReference reference;
    reference.DecodeFrom(
        std::span<const uint8_t>(record).subspan(field.offset, TBlobReference::kEncodedLength));
    return reference;
  }
  std::string Value(int32_t marker) {
    std::string text(static_cast<size_t>(blobs->Size(marker)), '\0');
    blobs->Read(marker, 0, static_cast<int32_t>(text.size()), reinterpret_cast<uint8_t*>(text.data()));
    return text;
  }
  // Stores a value in the record as a posted open BLOB would.
  void Store(const TFieldDefinition& field, const std::string& text) {
    int32_t marker = Open(field);
    blobs->Truncate(marker, 0);
    blobs->Write(marker, 0, AsBytes(text));
    blobs->Post(record, issue);
    blobs->Close(marker, record);
  }

  Bytes record = Bytes(kRecordSize, 0);
  int32_t revisionCounter = 2147483646;
  TOpenBlobs::TIssueRevision issue = [this] {
    revisionCounter = NextCounterValue(revisionCounter);
    return static_cast<uint32_t>(revisionCounter);
  };
  std::unique_ptr<TOpenBlobs> blobs;
};

TEST_F(OpenBlobsTest, WrittenValueIsPostedToItsChainAndReopens) {
  int32_t marker = Open(kMemo);
  EXPECT_LT(marker, 0);
  EXPECT_EQ(Reference(kMemo).firstBlock, marker);
  EXPECT_TRUE(blobs->Get(marker).IsValid());
  EXPECT_EQ(blobs->Size(marker), 0);
  EXPECT_TRUE(blobs->Write(marker, 0, AsBytes("hello world")));
  EXPECT_TRUE(blobs->Write(marker, 6, AsBytes("there")));
  EXPECT_EQ(Value(marker), "hello there");
  uint8_t tail[20];
  EXPECT_EQ(blobs->Read(marker, 8, 20, tail), 3);  // cut to the length
  EXPECT_EQ(blobs->Read(marker, 11, 5, tail), 0);

  EXPECT_TRUE(blobs->Post(record, issue));
  TBlobReference posted = Reference(kMemo);
  EXPECT_TRUE(posted.hasValue);
  EXPECT_GT(posted.firstBlock, 0);
  EXPECT_EQ(posted.revision, 2147483647u);
  EXPECT_FALSE(blobs->Get(marker).modified);
  EXPECT_FALSE(blobs->Post(record, issue));  // nothing changed since
  blobs->Close(marker, record);
  EXPECT_EQ(blobs->Count(), 0u);

  EXPECT_EQ(Value(Open(kMemo, kBlobModeRead)), "hello there");
  EXPECT_EQ(blocks->pinned, 0);
}

TEST_F(OpenBlobsTest, OpeningAnOpenValueCountsOpeners) {
  int32_t marker = Open(kMemo);
  EXPECT_EQ(Open(kMemo), marker);
  blobs->Close(marker, record);
  EXPECT_EQ(blobs->Count(), 1u);
  blobs->Close(marker, record);
  EXPECT_EQ(blobs->Count(), 0u);
  EXPECT_EQ(Reference(kMemo).firstBlock, 0);  // the reference is back in the record
}

TEST_F(OpenBlobsTest, UnknownMarkersAndTooManyOpenBlobsRaise) {
  TBlobReference{true, -7, 1}.EncodeTo(std::span<uint8_t>(record).subspan(kMemo.offset, 9));
  EXPECT_EQ(RaisedBy([&] { Open(kMemo); }).code, ZARNIK_INVALIDBLOBOFFSET);
  uint8_t byte = 0;
  for (auto call : std::vector<std::function<void()>>{
           [&] { blobs->Read(-7, 0, 1, &byte); }, [&] { blobs->Write(-7, 0, AsBytes("x")); },
           [&] { blobs->Truncate(-7, 0); }, [&] { blobs->Size(-7); }, [&] { blobs->Close(-7, record); }})
    EXPECT_EQ(RaisedBy(call).code, ZARNIK_INVALIDBLOBHANDLE);

  std::vector<Bytes> records(TOpenBlobs::kMaxOpenBlobs + 1, Bytes(kRecordSize, 0));
  for (size_t i = 0; i < TOpenBlobs::kMaxOpenBlobs; ++i)
    blobs->Open({kMemo, false, kBlobModeRead, false}, records[i], 1, {});
  EXPECT_EQ(RaisedBy([&] {
              blobs->Open({kMemo, false, kBlobModeRead, false}, records.back(), 1, {});
            }).code,
            ZARNIK_OPENBLOBLIMIT);
  TFieldDefinition outside = BlobField(3, "Outside", kRecordSize - 4, 0);
  EXPECT_EQ(RaisedBy([&] { Open(outside); }).code, ZARNIK_INVALIDBLOBOFFSET);
}

TEST_F(OpenBlobsTest, OnlyReadWriteModeChangesAndModeThreeIsNotPosted) {
  Store(kMemo, "stored");
  TBlobReference before = Reference(kMemo);
  int32_t reader = Open(kMemo, kBlobModeRead);
  EXPECT_FALSE(blobs->Write(reader, 0, AsBytes("x")));
  EXPECT_FALSE(blobs->Truncate(reader, 0));
  EXPECT_EQ(Value(reader), "stored");
  blobs->Close(reader, record);

  int32_t unposted = Open(kMemo, kBlobModeNotPosted);
  EXPECT_FALSE(blobs->Write(unposted, 0, AsBytes("x")));  // writes need mode 2
  blobs->Get(unposted).modified = true;
  EXPECT_FALSE(blobs->Post(record, issue));
  EXPECT_EQ(Reference(kMemo).revision, before.revision);
  EXPECT_EQ(Reference(kMemo).firstBlock, before.firstBlock);
}

TEST_F(OpenBlobsTest, EmptiedValueFreesItsChainAndTheFieldBecomesNull) {
  Store(kMemo, std::string(3 * (kBlockSize - 18), 'm'));
  int32_t first = Reference(kMemo).firstBlock;
  int32_t marker = Open(kMemo);
  EXPECT_TRUE(blobs->Truncate(marker, 0));
  blobs->Post(record, issue);
  TBlobReference emptied = Reference(kMemo);
  EXPECT_FALSE(emptied.hasValue);
  EXPECT_EQ(emptied.firstBlock, 0);
  EXPECT_EQ(FreeChain().size(), 3u);
  EXPECT_EQ(FreeChain().back(), static_cast<uint32_t>(first));
}

TEST_F(OpenBlobsTest, ChangedBlobsOfDifferentRecordsAreNotPosted) {
  Bytes other(kRecordSize, 0);
  int32_t mine = Open(kMemo);
  int32_t theirs = blobs->Open({kMemo, false, kBlobModeReadWrite, false}, other, 2, {});
  blobs->Write(mine, 0, AsBytes("a"));
  blobs->Write(theirs, 0, AsBytes("b"));
  EXPECT_EQ(RaisedBy([&] { blobs->Post(record, issue); }).code, ZARNIK_MEMOCORRUPT);
  EXPECT_EQ(file->Header().nextBlockNumber, 1u);  // nothing written
}

TEST_F(OpenBlobsTest, CompressedAndTextIndexedFieldsRoundTrip) {
  std::string text;
  while (text.size() < 1500) text += "compressible text in a graphic field; ";
  Store(kPicture, text);
  EXPECT_LT(Block(Reference(kPicture).firstBlock).header.blobLength, text.size());
  int32_t marker = Open(kPicture);
  EXPECT_EQ(Value(marker), text);
  blobs->Write(marker, 0, AsBytes("changed"));
  EXPECT_EQ(blobs->Get(marker).savedCopy, AsBytes(text));  // the value as read
}

TEST_F(OpenBlobsTest, ValueRewrittenByAnotherUserIsReadAfterReloadingTheRecord) {
  Store(kMemo, "first");
  Bytes stale = record;
  Store(kMemo, "second");  // another user's post; the stale copy keeps the old revision
  TBlobReference current = Reference(kMemo);
  int32_t marker = blobs->Open({kMemo, false, kBlobModeRead, false}, stale, 1, [&] { return current; });
  EXPECT_EQ(Value(marker), "second");
  TBlobReference reloaded;
  reloaded.DecodeFrom(std::span<const uint8_t>(stale).subspan(kMemo.offset, 9));
  EXPECT_EQ(reloaded.revision, current.revision);
}

TEST_F(OpenBlobsTest, DeletedRecordFreesItsChainsAndOpenBlobs) {
  Store(kMemo, "memo");
  Store(kPicture, "picture");
  Open(kMemo);
  blobs->RemoveValues(record, {kMemo, kPicture}, issue);
  EXPECT_EQ(blobs->Count(), 0u);
  EXPECT_EQ(Reference(kMemo).firstBlock, 0);
  EXPECT_FALSE(Reference(kPicture).hasValue);
  EXPECT_EQ(FreeChain().size(), 2u);
}

TEST_F(OpenBlobsTest, DroppingARecordKeepsItsUnpostedChanges) {
  Bytes second(kRecordSize, 0);
  int32_t changed = Open(kMemo);
  blobs->Write(changed, 0, AsBytes("kept"));
  Open(kPicture);
  int32_t closing = blobs->Open({kMemo, false, kBlobModeRead, true}, second, 2, {});
  blobs->DropRecord(1);
  EXPECT_EQ(blobs->Count(), 2u);
  EXPECT_EQ(Value(changed), "kept");
  blobs->DropClosing();
  EXPECT_EQ(RaisedBy([&] { blobs->Size(closing); }).code, ZARNIK_INVALIDBLOBHANDLE);
  EXPECT_EQ(blobs->Count(), 1u);
}

}  // namespace
}  // namespace zarnik
