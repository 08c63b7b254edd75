// Reading a written file back, byte by byte: what it finds, its buffers, the comparison.
#pragma once

#include <cstddef>
#include <functional>

#include "os/digest.h"

namespace qm::copy {

// What reading one written file back found.
enum class ReadBackResult {
  Same,           // the device gave back the source's bytes
  Differs,        // other bytes, fewer or more, or no file at all
  SourceChanged,  // the source is no longer what was copied, or is gone: not compared
};

// Reads up to `capacity` bytes into `buffer` and returns the count, 0 at the end; throws
// a RuntimeError on failure.
using ReadChunk = std::function<std::size_t(char* buffer, std::size_t capacity)>;
using BytesRead = std::function<void(std::size_t count)>;

// One worker's two buffers, aligned and sized for reads that bypass the system's cache
// (whole sectors into memory aligned to a page).
class ReadBuffers {
 public:
  static constexpr std::size_t kAlignment = 4096;
  static constexpr std::size_t kCapacity = std::size_t{1} << 20;
  ReadBuffers();
  ~ReadBuffers();
  ReadBuffers(const ReadBuffers&) = delete;
  ReadBuffers& operator=(const ReadBuffers&) = delete;
  char* source() { return source_; }
  char* destination() { return destination_; }
  // The SHA-256 of the bytes the last comparison found the same on both sides.
  Sha256& hash() { return hash_; }

 private:
  char* source_;
  char* destination_;
  Sha256 hash_;
};

// Whether `destination` gives exactly the bytes `source` gives, no fewer and no more.
// Each side is read a whole buffer at a time, up to its end (a reader that must read whole
// sectors gives 0 once it has given less than asked); `read` is told the bytes compared
// as they go, and `buffers.hash()` hashes them, starting afresh.
bool sameBytes(const ReadChunk& source, const ReadChunk& destination, ReadBuffers& buffers,
               const BytesRead& read);

}  // namespace qm::copy
