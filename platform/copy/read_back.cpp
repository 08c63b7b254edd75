// The byte comparison of the read-back, and its buffers.
#include "read_back_bytes.h"

#include <cstring>
#include <new>

namespace qm::copy {

namespace {

char* alignedBuffer() {
  return static_cast<char*>(
      ::operator new (ReadBuffers::kCapacity, std::align_val_t{ReadBuffers::kAlignment}));
}

void release(char* buffer) {
  ::operator delete (buffer, std::align_val_t{ReadBuffers::kAlignment});
}

// Fills `buffer` from `read` up to `capacity`, or up to the end of the data.
std::size_t fill(const ReadChunk& read, char* buffer, std::size_t capacity) {
  std::size_t filled = 0;
  while (filled < capacity) {
    const std::size_t got = read(buffer + filled, capacity - filled);
    if (got == 0) break;
    filled += got;
  }
  return filled;
}

}  // namespace

ReadBuffers::ReadBuffers() : source_(alignedBuffer()), destination_(nullptr) {
  try {
    destination_ = alignedBuffer();
  } catch (...) {
    release(source_);
    throw;
  }
}

ReadBuffers::~ReadBuffers() {
  release(source_);
  release(destination_);
}

bool sameBytes(const ReadChunk& source, const ReadChunk& destination, ReadBuffers& buffers,
               const BytesRead& read) {
  buffers.hash().hex();  // what an earlier comparison left in it
  for (;;) {
    const std::size_t got = fill(source, buffers.source(), ReadBuffers::kCapacity);
    const std::size_t back = fill(destination, buffers.destination(), ReadBuffers::kCapacity);
    if (got != back || std::memcmp(buffers.source(), buffers.destination(), got) != 0) return false;
    buffers.hash().add(buffers.destination(), got);
    read(got);
    if (got < ReadBuffers::kCapacity) return true;
  }
}

}  // namespace qm::copy
