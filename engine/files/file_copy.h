// Whole-file copies of an engine file, plain or compressed, into another file
// or into an open stream file, and their restores. A compressed copy:
//
//   offset 0   16 bytes  MD5 digest of the text "ZARNIK_COMP" (the marker)
//   offset 16   1 byte   compression level, 1 to 9
//   offset 17  chunks to the end: int32 (little-endian) stored length L, then
//              L bytes: one zlib stream holding at most 65,536 source bytes
//
// A plain copy is the source bytes unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zarnik {

class TEngineFile;

// (user data, the name of the file copied from or restored into, percent 0 to 100)
using TCopyProgress = std::function<void(void* userData, const std::string& fileName, int percent)>;

// What a copy reports, and how often: a percentage is reported once it has
// grown by step since the last report.
struct TCopyReporting {
  TCopyProgress progress;
  void* userData = nullptr;
  int step = 1;
};

constexpr int32_t kCopyChunkSize = 65536;
constexpr size_t kCopyMarkerSize = 16;
// marker and level byte
constexpr int64_t kCopyPreambleSize = 17;

// source's bytes from its start into target at target's position.
void WriteFileCopy(TEngineFile& source, TEngineFile& target, int level, const TCopyReporting& reporting);
// From source's position: a copy (its form recognised by the marker) into
// destination from its start; destination null only reads. size < 0: the copy
// runs to the end of source; else it holds size bytes. Cuts destination at
// the restored length.
void ReadFileCopy(TEngineFile& source, TEngineFile* destination, int64_t size, TEngineFile& named,
                  const TCopyReporting& reporting);

}  // namespace zarnik
