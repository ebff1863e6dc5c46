// Writing a table's changes to its files and discarding its cached buffers,
// over the up to three buffered files of one table (data, index, BLOB; a
// missing or closed file is skipped). The data header's change counter moves
// whenever any of the files changed: other users watch only that counter.
#pragma once

#include "engine/files/buffered_file.h"

namespace zarnik {

struct TTableFiles {
  TBufferedFile* data = nullptr;
  TBufferedFile* index = nullptr;
  TBufferedFile* blob = nullptr;  // null when the table has no BLOB fields
};

struct TTableFlushOptions {
  bool flushSystem = false;  // flush the operating system buffers whatever the session says
  bool forceDataHeader = false;
  bool forceIndexHeader = false;
  bool forceBlobHeader = false;
  bool trim = false;  // trim the caches afterwards
};

// During a transaction only marks the forced headers changed; the buffers
// stay dirty in memory until the commit.
void FlushTable(TBufferedFileTable& table, const TTableFiles& files, const TTableFlushOptions& options);

// Forgets every cached buffer (another user changed the table, or a rollback).
void DiscardTableBuffers(const TTableFiles& files, bool trim, bool rereadHeaders);

}  // namespace zarnik
