// The byte loop of a file copy and its rule for where the data ends.
#include "file_data.h"

namespace qm::win32 {

DataCopied copyData(const DataSource& source, const DataSink& sink, char* buffer,
                    std::size_t capacity, const ChunkDone& chunkDone) {
  DataCopied out;
  bool retried = false;
  for (;;) {
    const std::size_t got = source.read(buffer, capacity);
    if (got == 0) {
      if (out.bytes >= source.size()) return out;
      if (retried) {
        out.complete = false;
        return out;
      }
      retried = true;
      continue;
    }
    retried = false;
    sink(buffer, got);
    out.bytes += got;
    if (chunkDone) chunkDone(got);
  }
}

}  // namespace qm::win32
