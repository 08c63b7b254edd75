// Reads a written file back past the page cache and compares it with its source.
#include "read_back_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "copy_errors.h"
#include "os/posix/unique_fd.h"
#include "volume.h"

namespace qm::posix {

namespace {

// Reads of `fd` as the comparison asks for them; a failure throws with `fail`.
template <typename Fail>
copy::ReadChunk reader(int fd, Fail fail) {
  return [fd, fail](char* buffer, std::size_t capacity) -> std::size_t {
    for (;;) {
      const ssize_t got = ::read(fd, buffer, capacity);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) fail(errno);
    }
  };
}

// A stamp without the file's number was taken where the volume keeps none.
bool matches(int fd, const copy::FileStamp& stamp) {
  struct stat now {};
  if (::fstat(fd, &now) != 0) return false;
  copy::FileStamp found = stampOf(now);
  if (stamp.identity == 0) found.identity = 0;
  return found == stamp;
}

// Drops the file's pages, clean since the copy flushed its volume, so that the reads
// after it come from the device.
void dropCache(int fd) {
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

}  // namespace

copy::FileStamp stampOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim),
          static_cast<std::uint64_t>(st.st_ino)};
}

copy::ReadBackResult readBackFile(const std::string& source, const std::string& destination,
                                  const copy::FileStamp& stamp, copy::ReadBuffers& buffers,
                                  const copy::BytesRead& read) {
  const UniqueFd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!in.valid() || !matches(in.get(), stamp)) return copy::ReadBackResult::SourceChanged;
  const UniqueFd out(::open(destination.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!out.valid()) {
    if (errno == ENOENT) return copy::ReadBackResult::Differs;
    throwCopyError(errno, destination);
  }
  dropCache(out.get());
  ::posix_fadvise(out.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  const bool same = copy::sameBytes(
      reader(in.get(), [&](int code) { throwSourceError(code, source); }),
      reader(out.get(), [&](int code) { throwCopyError(code, destination); }), buffers, read);
  // A source written meanwhile says nothing about the device.
  if (!matches(in.get(), stamp)) return copy::ReadBackResult::SourceChanged;
  return same ? copy::ReadBackResult::Same : copy::ReadBackResult::Differs;
}

void dropDeviceCache(const std::string& device) {
  if (device.empty()) return;
  const UniqueFd fd(::open(device.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.valid()) ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
}

void spoilFile(const std::string& destination) {
  if (::truncate(destination.c_str(), 0) == 0 || errno == ENOENT) return;
  if (::unlink(destination.c_str()) == 0 || errno == ENOENT) return;
  throwCopyError(errno, destination);
}

}  // namespace qm::posix
