// A small regular file moved by one ring submission, with the plain steps behind it.
#include "small_file.h"

#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdint>

#include "volume.h"

namespace qm::posix {

namespace {

// A failure the plain steps may not meet: the kernel could not finish at once, or the
// request was cut off before it ran.
bool passing(long result) {
  return result == -EAGAIN || result == -EINTR || result == -ECANCELED;
}

// Whether a status read by statx is another file's, or changed, against `before`.
bool differs(const struct statx& now, const struct stat& before) {
  struct stat same {};
  same.st_dev = makedev(now.stx_dev_major, now.stx_dev_minor);
  same.st_ino = now.stx_ino;
  same.st_mode = now.stx_mode;
  same.st_size = static_cast<off_t>(now.stx_size);
  same.st_mtim = {now.stx_mtime.tv_sec, static_cast<long>(now.stx_mtime.tv_nsec)};
  same.st_ctim = {now.stx_ctime.tv_sec, static_cast<long>(now.stx_ctime.tv_nsec)};
  return !sameFileState(same, before);
}

}  // namespace

bool fitsRing(const struct stat& st) {
  return st.st_size <= kRingFileBytes && st.st_blocks * 512 >= st.st_size;
}

RingMove moveSmallFile(DataRing& ring, UniqueFd& in, UniqueFd& out, const struct stat& st,
                       copy::FileProgress& progress) {
  const auto size = static_cast<long>(st.st_size);
  struct statx after {};
  const RingOutcome done = ring.copySmall(in.get(), out.get(), static_cast<size_t>(size), after);
  RingMove move;
  // A close that ran gave the descriptor up, whatever it returned.
  if (done.closeOut != -ECANCELED) out.release();
  if (done.closeIn != -ECANCELED) in.release();
  if (done.read == size && done.write == size) {
    if (size > 0) progress.advance(static_cast<std::uint64_t>(size));
    if (done.status == 0) move.changed = differs(after, st);
    move.sealed = !out.valid() && !in.valid();
    move.closeError = done.closeOut < 0 && done.closeOut != -ECANCELED ? -done.closeOut : 0;
    return move;
  }
  if (done.read < 0 && !passing(done.read)) {
    move.dataError = static_cast<int>(-done.read);
  } else if (done.write < 0 && !passing(done.write)) {
    move.dataError = static_cast<int>(-done.write);
  } else {
    move.plain = true;
    move.shortRead = done.read >= 0 && done.read < size;
  }
  return move;
}

}  // namespace qm::posix
