#include "engine/files/file_copy.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "engine/core/data_engine.h"
#include "engine/files/engine_file.h"
#include "tests/support/file_fixture.h"
#include "tests/support/raised.h"

namespace zarnik {
namespace {

using testing::FileCall;
using testing::RaisedBy;

using TBytes = std::vector<uint8_t>;

class FileCopyTest : public testing::EngineFileTest {
 protected:
  // Compressible but not uniform.
  static TBytes Sample(size_t size) {
    TBytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i / 7) % 251 ^ (i % 3));
    return bytes;
  }
  void Put(const std::string& name, const TBytes& bytes) { WriteDisk(name, bytes); }
  TBytes Get(const std::string& name) { return ReadDisk(name); }
  std::unique_ptr<TEngineFile> Open(const std::string& name) {
    auto file = MakeFile(name);
    file->OpenFile();
    return file;
  }
  std::unique_ptr<TEngineFile> Create(const std::string& name) {
    auto file = MakeFile(name);
    file->CreateFile();
    return file;
  }
  // A compressed copy's preamble followed by the given raw chunk bytes.
  TBytes Compressed(const TBytes& chunks) {
    TDigest marker = MD5Digest("ZARNIK_COMP");
    TBytes bytes(marker.begin(), marker.end());
    bytes.push_back(6);
    bytes.insert(bytes.end(), chunks.begin(), chunks.end());
    return bytes;
  }
  static TBytes Chunk(const TBytes& stored) {
    auto n = static_cast<uint32_t>(stored.size());
    TBytes bytes{static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                 static_cast<uint8_t>(n >> 24)};
    bytes.insert(bytes.end(), stored.begin(), stored.end());
    return bytes;
  }
  static TBytes Deflate(const TBytes& data) {
    uLongf length = compressBound(data.size());
    TBytes out(length);
    compress(out.data(), &length, data.data(), data.size());
    out.resize(length);
    return out;
  }
};

TEST_F(FileCopyTest, CopiesRestoreOverALongerFileToTheSourceBytes) {
  for (int level : {0, 1, 9}) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{200000}}) {
      SCOPED_TRACE(::testing::Message() << "level " << level << " size " << size);
      TBytes source = Sample(size);
      Put("src.dat", source);
      Put("dst.dat", TBytes(300000, 0xEE));
      Open("src.dat")->CopyToFile(folder.File("copy.cpy"), level);
      TBytes copy = Get("copy.cpy");
      if (level == 0) {
        EXPECT_EQ(copy, source);  // a plain copy is the source itself
      } else if (size == 0) {
        EXPECT_EQ(copy.size(), 17u);  // the preamble alone
      }
      Open("dst.dat")->RestoreFromFile(folder.File("copy.cpy"));
      EXPECT_EQ(Get("dst.dat"), source);
    }
  }
}

TEST_F(FileCopyTest, StreamsHoldSeveralCopiesOneAfterAnother) {
  TBytes first = Sample(70000);
  TBytes second = Sample(1000);
  Put("a.dat", first);
  Put("b.dat", second);
  auto stream = Create("backup.bak");
  Open("a.dat")->CopyToStream(*stream, 5);
  Open("b.dat")->CopyToStream(*stream, 0);
  Open("a.dat")->CopyToStream(*stream, 1);

  stream->Seek(kSeekFromStart, 0);
  auto restored = Create("r.dat");
  restored->SkipInStream(*stream, first.size());
  restored->RestoreFromStream(*stream, second.size());
  restored->CloseFile();
  EXPECT_EQ(Get("r.dat"), second);
  restored = Open("r.dat");
  restored->RestoreFromStream(*stream, first.size());
  restored->CloseFile();
  EXPECT_EQ(Get("r.dat"), first);
}

TEST_F(FileCopyTest, DamagedCopiesStopWithAnError) {
  TBytes good = Deflate(Sample(1000));
  TBytes tooLong = Chunk(Deflate(TBytes(100000, 0)));  // inflates past one chunk
  TBytes garbled = Chunk(good);
  garbled[10] ^= 0xFF;
  TBytes truncated = Chunk(good);
  truncated.resize(truncated.size() - 5);
  struct Case {
    const char* what;
    TBytes contents;
    TErrorCode code;
  } cases[] = {
      {"negative length", Compressed({0xFF, 0xFF, 0xFF, 0xFF}), ZARNIK_UNCOMPRESS},
      {"huge length", Compressed({0x00, 0x00, 0x00, 0x40}), ZARNIK_UNCOMPRESS},
      {"cut inside a length", Compressed({0x10, 0x00}), ZARNIK_READERR},
      {"cut inside a chunk", Compressed(truncated), ZARNIK_READERR},
      {"garbled chunk", Compressed(garbled), ZARNIK_UNCOMPRESS},
      {"chunk too long", Compressed(tooLong), ZARNIK_UNCOMPRESS},
  };
  for (const Case& c : cases) {
    Put("bad.cpy", c.contents);
    auto destination = Create("dst.dat");
    EXPECT_EQ(RaisedBy([&] { destination->RestoreFromFile(folder.File("bad.cpy")); }).code, c.code) << c.what;
    auto stream = Open("bad.cpy");
    EXPECT_EQ(RaisedBy([&] { destination->SkipInStream(*stream, 1000); }).code, c.code) << c.what;
  }
  // A stream copy that ends before the size it should hold.
  Put("short.cpy", Compressed(Chunk(good)));
  auto stream = Open("short.cpy");
  auto destination = Create("dst.dat");
  EXPECT_EQ(RaisedBy([&] { destination->RestoreFromStream(*stream, 1001); }).code, ZARNIK_READERR);
  Put("plain.cpy", Sample(10));
  stream = Open("plain.cpy");
  EXPECT_EQ(RaisedBy([&] { destination->RestoreFromStream(*stream, 11); }).code, ZARNIK_READERR);
}

TEST_F(FileCopyTest, ShortWritesOfACopyAreErrors) {
  Put("src.dat", Sample(100000));
  for (int level : {0, 6}) {
    services.ShortNth(FileCall::Write, 2, 3);
    EXPECT_EQ(RaisedBy([&] { Open("src.dat")->CopyToFile(folder.File("copy.cpy"), level); }).code,
              ZARNIK_WRITEERR);
  }
  Open("src.dat")->CopyToFile(folder.File("copy.cpy"), 6);
  services.ShortNth(FileCall::Write, 1, 3);
  EXPECT_EQ(RaisedBy([&] { Create("dst.dat")->RestoreFromFile(folder.File("copy.cpy")); }).code,
            ZARNIK_WRITEERR);
}

TEST_F(FileCopyTest, ProgressIsReportedInSteps) {
  Put("src.dat", Sample(4 * 65536));
  std::vector<int> reported;
  std::string name;
  int user = 7;
  TCopyReporting reporting{[&](void* userData, const std::string& fileName, int percent) {
                             EXPECT_EQ(userData, &user);
                             name = fileName;
                             reported.push_back(percent);
                           },
                           &user, 30};
  Open("src.dat")->CopyToFile(folder.File("copy.cpy"), 1, reporting);
  EXPECT_EQ(reported, (std::vector<int>{0, 50, 100, 100}));
  EXPECT_EQ(name, folder.File("src.dat"));
}

}  // namespace
}  // namespace zarnik
