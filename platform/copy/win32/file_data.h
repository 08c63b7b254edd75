// The byte loop of a file copy, apart from the file API so that its end-of-data rule can be
// checked against sources that misbehave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace qm::win32 {

struct DataSource {
  // Reads up to `capacity` bytes into `buffer`; returns the count, 0 at the end. Throws on
  // failure.
  std::function<std::size_t(char* buffer, std::size_t capacity)> read;
  // The source's size as the system reports it now.
  std::function<std::uint64_t()> size;
};

// Writes all `count` bytes of `buffer`; throws on failure.
using DataSink = std::function<void(const char* buffer, std::size_t count)>;

// Told after each chunk how many bytes it carried.
using ChunkDone = std::function<void(std::size_t count)>;

struct DataCopied {
  std::uint64_t bytes = 0;
  // False when the source stopped giving bytes before its size was reached: the copy
  // would be short, so it must not be reported done.
  bool complete = true;
};

// Copies the source to the sink through `buffer`. A read of 0 bytes ends the copy only
// when the bytes read reach the source's size at that moment (a file that shrank while it
// was copied ends where it now ends); a read of 0 bytes before that is tried once more,
// then reported as incomplete.
DataCopied copyData(const DataSource& source, const DataSink& sink, char* buffer,
                    std::size_t capacity, const ChunkDone& chunkDone);

}  // namespace qm::win32
