// Copies file contents: a clone, then copy_file_range, then read/write, as the steps allow;
// keeps holes.
#include "file_data.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace qm::posix {

namespace {

// Small enough that the progress of a large file moves while it is copied.
constexpr off_t kRangeChunk = off_t{64} << 20;
constexpr size_t kBufferSize = size_t{1} << 18;

// Errors with which copy_file_range says it cannot copy between these two files.
bool copyRangeUnsupported(int code) {
  return code == EXDEV || code == ENOSYS || code == EINVAL || code == EOPNOTSUPP;
}

int writeAll(int out, const char* data, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t written = ::pwrite(out, data, size, offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<size_t>(written);
    offset += written;
  }
  return 0;
}

// Copies up to `length` bytes at `offset` through a buffer; stops early at end of file.
// `copied` tells how many bytes it copied.
int readWriteRange(int in, int out, off_t offset, off_t length, copy::FileProgress& progress,
                   off_t& copied) {
  thread_local std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  copied = 0;
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<off_t>(length, kBufferSize));
    const ssize_t got = ::pread(in, buffer.get(), want, offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    if (const int error = writeAll(out, buffer.get(), static_cast<size_t>(got), offset)) {
      return error;
    }
    offset += got;
    length -= got;
    copied += got;
    progress.advance(static_cast<std::uint64_t>(got));
  }
  return 0;
}

// Copies up to `length` bytes at `offset` inside the kernel where `steps` allow, falling
// back to read/write where the kernel or the file systems cannot. A copy_file_range that
// returns 0 early may mean the end of the file or a file system that copies nothing (some
// do): reading tells.
int copyRange(int in, int out, off_t offset, off_t length, const DataSteps& steps, CopySystem& run,
              copy::FileProgress& progress) {
  off_t copied = 0;
  while (length > 0) {
    if (!steps.kernel || !run.copyRangePossible.load(std::memory_order_relaxed)) {
      return readWriteRange(in, out, offset, length, progress, copied);
    }
    off_t inOffset = offset;
    off_t outOffset = offset;
    const ssize_t done = ::copy_file_range(in, &inOffset, out, &outOffset,
                                           static_cast<size_t>(std::min(length, kRangeChunk)), 0);
    if (done < 0) {
      if (errno == EINTR) continue;
      if (!copyRangeUnsupported(errno)) return errno;
      if (errno == ENOSYS) run.copyRangePossible.store(false, std::memory_order_relaxed);
      return readWriteRange(in, out, offset, length, progress, copied);
    }
    if (done == 0) {
      const int error = readWriteRange(in, out, offset, length, progress, copied);
      if (copied > 0) run.copyRangePossible.store(false, std::memory_order_relaxed);
      return error;
    }
    offset += done;
    length -= done;
    progress.advance(static_cast<std::uint64_t>(done));
  }
  return 0;
}

// Copies only the data regions of a file with holes, then sets its length.
int copySparse(int in, int out, off_t size, const DataSteps& steps, CopySystem& run,
               copy::FileProgress& progress) {
  off_t offset = 0;
  while (offset < size) {
    const off_t data = ::lseek(in, offset, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // only a hole is left
      if (errno == EINVAL && offset == 0) return copyRange(in, out, 0, size, steps, run, progress);
      return errno;
    }
    off_t hole = ::lseek(in, data, SEEK_HOLE);
    if (hole < 0) return errno;
    hole = std::min(hole, size);
    if (const int error = copyRange(in, out, data, hole - data, steps, run, progress)) return error;
    offset = hole;
  }
  return ::ftruncate(out, size) == 0 ? 0 : errno;
}

bool tryClone(int in, int out, CopySystem& run) {
  if (!run.reflinkPossible.load(std::memory_order_relaxed)) return false;
  if (::ioctl(out, FICLONE, in) == 0) return true;
  if (errno == EOPNOTSUPP || errno == ENOTTY || errno == ENOSYS || errno == EXDEV) {
    run.reflinkPossible.store(false, std::memory_order_relaxed);
  }
  return false;
}

}  // namespace

int copyData(int in, int out, const struct stat& st, const DataSteps& steps, CopySystem& run,
             copy::FileProgress& progress) {
  if (st.st_size == 0) return 0;
  if (steps.clone && tryClone(in, out, run)) return 0;
  const bool mayHaveHoles = st.st_blocks * 512 < st.st_size;
  if (mayHaveHoles) return copySparse(in, out, st.st_size, steps, run, progress);
  return copyRange(in, out, 0, st.st_size, steps, run, progress);
}

}  // namespace qm::posix
