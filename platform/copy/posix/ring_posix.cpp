// One worker's io_uring for small files, through liburing.
#include "ring.h"

#include <fcntl.h>
#include <liburing.h>

#include <cerrno>
#include <cstdlib>
#include <new>

namespace qm::posix {

namespace {

// A file's submission: read, write, status, two closes.
constexpr unsigned kEntries = 8;
// How often a submission the kernel could not take yet (EAGAIN, EINTR, EBUSY) is offered
// again before the file goes the plain way.
constexpr int kSubmitAttempts = 8;

bool offersEverything(io_uring& ring) {
  io_uring_probe* probe = io_uring_get_probe_ring(&ring);
  if (probe == nullptr) return false;
  bool all = true;
  for (const int op : {IORING_OP_READ, IORING_OP_WRITE, IORING_OP_STATX, IORING_OP_CLOSE})
    all = all && io_uring_opcode_supported(probe, op);
  io_uring_free_probe(probe);
  return all;
}

// After the prep call, which clears the flags.
void mark(io_uring_sqe* sqe, unsigned step, unsigned flags) {
  sqe->user_data = step;
  sqe->flags |= flags;
}

// Requests the kernel never took must not go with the next file's: a fresh ring drops them.
void renew(io_uring& ring) {
  io_uring_queue_exit(&ring);
  if (io_uring_queue_init(kEntries, &ring, 0) < 0) ring.ring_fd = -1;
}

bool again(int error) {
  return error == -EAGAIN || error == -EINTR || error == -EBUSY;
}

}  // namespace

struct DataRing::State {
  io_uring ring{};
  void* buffer = nullptr;
  ~State() {
    if (ring.ring_fd >= 0) io_uring_queue_exit(&ring);
    std::free(buffer);
  }
};

std::unique_ptr<DataRing> DataRing::open(int& error) {
  auto state = std::make_unique<State>();
  if (const int result = io_uring_queue_init(kEntries, &state->ring, 0); result < 0) {
    error = -result;
    state->ring.ring_fd = -1;
    return nullptr;
  }
  if (!offersEverything(state->ring)) {
    error = EINVAL;
    return nullptr;
  }
  // Page-aligned, as the kernel reads whole pages into it most cheaply.
  if (::posix_memalign(&state->buffer, 4096, static_cast<size_t>(kRingFileBytes)) != 0) {
    error = ENOMEM;
    return nullptr;
  }
  return std::unique_ptr<DataRing>(new DataRing(std::move(state)));
}

DataRing::DataRing(std::unique_ptr<State> state) : state_(std::move(state)) {}
DataRing::~DataRing() = default;

RingOutcome DataRing::copySmall(int in, int out, size_t size, struct statx& after) {
  io_uring& ring = state_->ring;
  RingOutcome outcome{-ECANCELED, -ECANCELED, -ECANCELED, -ECANCELED, -ECANCELED};
  if (ring.ring_fd < 0) return outcome;  // a ring that could not be renewed
  unsigned queued = 0;
  const auto next = [&ring, &queued] {
    ++queued;
    return io_uring_get_sqe(&ring);  // never null: each file's requests go out together
  };
  if (size > 0) {
    io_uring_sqe* read = next();
    io_uring_prep_read(read, in, state_->buffer, static_cast<unsigned>(size), 0);
    mark(read, 0, IOSQE_IO_LINK);
    io_uring_sqe* write = next();
    io_uring_prep_write(write, out, state_->buffer, static_cast<unsigned>(size), 0);
    mark(write, 1, IOSQE_IO_LINK);
  } else {
    outcome.read = outcome.write = 0;
  }
  io_uring_sqe* status = next();
  io_uring_prep_statx(status, in, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS,
                      &after);
  mark(status, 2, IOSQE_IO_LINK);
  // The source is closed whatever closing the copy said.
  io_uring_sqe* closeOut = next();
  io_uring_prep_close(closeOut, out);
  mark(closeOut, 3, IOSQE_IO_HARDLINK);
  io_uring_sqe* closeIn = next();
  io_uring_prep_close(closeIn, in);
  mark(closeIn, 4, 0);

  int submitted = 0;
  for (int attempt = 1;; ++attempt) {
    submitted = io_uring_submit_and_wait(&ring, queued);
    if (submitted >= 0 || !again(submitted) || attempt == kSubmitAttempts) break;
  }
  if (submitted <= 0) {
    renew(ring);
    return outcome;
  }
  // Every request taken ends in exactly one completion, a cancelled one too.
  for (int seen = 0; seen < submitted;) {
    io_uring_cqe* cqe = nullptr;
    const int waited = io_uring_wait_cqe(&ring, &cqe);
    if (again(waited)) continue;
    if (waited < 0) std::abort();  // requests on this worker's buffer and descriptors remain
    switch (cqe->user_data) {
      case 0: outcome.read = cqe->res; break;
      case 1: outcome.write = cqe->res; break;
      case 2: outcome.status = cqe->res; break;
      case 3: outcome.closeOut = cqe->res; break;
      case 4: outcome.closeIn = cqe->res; break;
    }
    io_uring_cqe_seen(&ring, cqe);
    ++seen;
  }
  if (static_cast<unsigned>(submitted) < queued) renew(ring);
  return outcome;
}

}  // namespace qm::posix
