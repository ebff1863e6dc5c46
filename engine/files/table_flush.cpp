#include "engine/files/table_flush.h"

namespace zarnik {

namespace {

bool IsOpen(TBufferedFile* file) {
  return file != nullptr && file->IsOpen();
}

void FlushSystem(TBufferedFileTable& table, TBufferedFile& file, const TTableFlushOptions& options) {
  if (options.flushSystem || table.ForceBufferFlush()) file.FlushFile();
}

// Buffers, header, definitions; returns whether the header was written.
bool FlushFile(TBufferedFileTable& table, TBufferedFile* file, bool forceHeader,
               const TTableFlushOptions& options) {
  if (!IsOpen(file)) return false;
  bool wroteBuffers = file->FlushBuffers(false);
  bool wroteHeader = file->WriteHeader(forceHeader || wroteBuffers);
  bool wroteDefinitions = file->WriteDefinitions(false);
  if (wroteBuffers || wroteHeader || wroteDefinitions) FlushSystem(table, *file, options);
  if (options.trim) file->TrimBuffers();
  return wroteHeader;
}

}  // namespace

void FlushTable(TBufferedFileTable& table, const TTableFiles& files, const TTableFlushOptions& options) {
  if (table.TransactionActive()) {
    const std::pair<TBufferedFile*, bool> forced[] = {{files.data, options.forceDataHeader},
                                                      {files.index, options.forceIndexHeader},
                                                      {files.blob, options.forceBlobHeader}};
    for (const auto& [file, force] : forced)
      if (force && IsOpen(file)) file->MarkHeaderChanged();
    return;
  }
  bool dataHeader = FlushFile(table, files.data, options.forceDataHeader, options);
  bool indexHeader = FlushFile(table, files.index, options.forceIndexHeader, options);
  bool blobHeader = FlushFile(table, files.blob, options.forceBlobHeader, options);
  if ((indexHeader || blobHeader) && !dataHeader && IsOpen(files.data) && files.data->WriteHeader(true))
    FlushSystem(table, *files.data, options);
}

void DiscardTableBuffers(const TTableFiles& files, bool trim, bool rereadHeaders) {
  for (TBufferedFile* file : {files.data, files.index, files.blob}) {
    if (!IsOpen(file)) continue;
    file->DropBuffers();
    if (trim) file->TrimBuffers();
    if (rereadHeaders) file->ReadHeader();
  }
}

}  // namespace zarnik
