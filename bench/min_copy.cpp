// The floor for the copy benchmarks: a folder copy with no checks, by plain calls or io_uring.
//
// It copies contents and permission bits, and nothing the engine does beyond them (no times,
// no check before writing, no record, no read-back): what any copy must pay at least. The
// "plain" mode walks the tree and copies each file by openat, fstat, openat, copy_file_range
// and two closes. The "uring" mode (when built with liburing) walks the tree the same way but
// gathers files in batches: one submission reads the status of a whole batch, the next one
// carries a linked chain per file (open source, create copy, read, write, close both) on
// registered file slots, so that a file costs no system call of its own. Files too large for
// one read, folders and symbolic links take plain calls. Any failure ends the program.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#ifdef QM_HAVE_LIBURING
#include <liburing.h>
#endif

namespace {

[[noreturn]] void fail(const char* what, const char* name, int error) {
  std::fprintf(stderr, "min_copy: %s %s: %s\n", what, name, std::strerror(error));
  std::exit(1);
}

// Copies the bytes of an open file into another, by copy_file_range or, where the file
// system refuses it, by read and write.
void copyData(int in, int out, off_t size, const char* name) {
  while (size > 0) {
    const ssize_t done = ::copy_file_range(in, nullptr, out, nullptr, size, 0);
    if (done > 0) {
      size -= done;
      continue;
    }
    if (done == 0) return;
    if (errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP && errno != ENOSYS) {
      fail("copy_file_range", name, errno);
    }
    std::vector<char> buffer(1 << 20);
    ssize_t got;
    while ((got = ::read(in, buffer.data(), buffer.size())) > 0) {
      if (::write(out, buffer.data(), got) != got) fail("write", name, errno);
    }
    if (got < 0) fail("read", name, errno);
    return;
  }
}

void copyFilePlain(int srcDir, int dstDir, const char* name) {
  const int in = ::openat(srcDir, name, O_RDONLY | O_CLOEXEC);
  if (in < 0) fail("open", name, errno);
  struct stat st {};
  if (::fstat(in, &st) != 0) fail("fstat", name, errno);
  const int out =
      ::openat(dstDir, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
  if (out < 0) fail("create", name, errno);
  copyData(in, out, st.st_size, name);
  ::close(in);
  ::close(out);
}

// Where the walk hands its regular files and, once it has left a folder, the folder's two
// handles (the source's and the copy's), which stay valid until the sink closes them.
class FileSink {
 public:
  virtual ~FileSink() = default;
  virtual void file(int srcDir, int dstDir, const char* name) = 0;
  virtual void release(int srcDir, int dstDir) = 0;
  virtual void finish() {}
};

class PlainSink : public FileSink {
 public:
  void file(int srcDir, int dstDir, const char* name) override {
    copyFilePlain(srcDir, dstDir, name);
  }
  void release(int srcDir, int dstDir) override {
    ::close(srcDir);
    ::close(dstDir);
  }
};

void copyLink(int srcDir, int dstDir, const char* name) {
  char target[4096];
  const ssize_t length = ::readlinkat(srcDir, name, target, sizeof target - 1);
  if (length < 0) fail("readlink", name, errno);
  target[length] = '\0';
  if (::symlinkat(target, dstDir, name) != 0) fail("symlink", name, errno);
}

void copyFolder(int srcParent, const char* srcName, int dstParent, const char* dstName,
                FileSink& sink);

// Lists the source folder with large getdents64 reads, hands its files to the sink, copies
// its links, then its subfolders (after the listing, so that one buffer serves all depths).
void copyContents(int srcDir, int dstDir, FileSink& sink) {
  static std::vector<char> buffer(1 << 16);
  std::vector<std::string> folders;
  for (;;) {
    const ssize_t got = ::getdents64(srcDir, buffer.data(), buffer.size());
    if (got < 0) fail("getdents64", "", errno);
    if (got == 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      unsigned type = entry->d_type;
      if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(srcDir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) fail("stat", name, errno);
        type = S_ISDIR(st.st_mode)   ? DT_DIR
               : S_ISREG(st.st_mode) ? DT_REG
               : S_ISLNK(st.st_mode) ? DT_LNK
                                     : DT_UNKNOWN;
      }
      if (type == DT_REG) sink.file(srcDir, dstDir, name);
      if (type == DT_LNK) copyLink(srcDir, dstDir, name);
      if (type == DT_DIR) folders.emplace_back(name);
    }
  }
  for (const std::string& folder : folders) {
    copyFolder(srcDir, folder.c_str(), dstDir, folder.c_str(), sink);
  }
}

// Makes the copy of one folder (owner bits added so that it can be filled) and fills it.
void copyFolder(int srcParent, const char* srcName, int dstParent, const char* dstName,
                FileSink& sink) {
  const int src = ::openat(srcParent, srcName, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (src < 0) fail("open", srcName, errno);
  struct stat st {};
  if (::fstat(src, &st) != 0) fail("fstat", srcName, errno);
  if (::mkdirat(dstParent, dstName, (st.st_mode & 07777) | S_IRWXU) != 0 && errno != EEXIST) {
    fail("mkdir", dstName, errno);
  }
  const int dst = ::openat(dstParent, dstName, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dst < 0) fail("open", dstName, errno);
  copyContents(src, dst, sink);
  sink.release(src, dst);
}

#ifdef QM_HAVE_LIBURING

// Files wait here in batches of kBatch. Each file in a batch owns two registered slots (its
// source and its copy) and a stretch of one buffer; a file larger than kWhole goes through
// copyFilePlain while the ring works on the rest.
class BatchedSink : public FileSink {
 public:
  static constexpr unsigned kBatch = 256;
  static constexpr off_t kWhole = 128 << 10;

  BatchedSink() {
    io_uring_params params{};
    params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN;
    int error = io_uring_queue_init_params(kBatch * 8, &ring_, &params);
    if (error == -EINVAL) error = io_uring_queue_init(kBatch * 8, &ring_, 0);
    if (error < 0) fail("io_uring_queue_init", "", -error);
    error = io_uring_register_files_sparse(&ring_, 2 * kBatch);
    if (error < 0) fail("io_uring_register_files_sparse", "", -error);
    batch_.reserve(kBatch);
  }
  ~BatchedSink() override { io_uring_queue_exit(&ring_); }

  void file(int srcDir, int dstDir, const char* name) override {
    batch_.push_back(Entry{srcDir, dstDir, name, {}, 0});
    if (batch_.size() == kBatch) flush();
  }

  // Folder handles are closed after the batch that may still name them (sooner when many
  // folders hold few files, so that their handles do not pile up).
  void release(int srcDir, int dstDir) override {
    closing_.push_back(srcDir);
    closing_.push_back(dstDir);
    if (batch_.empty() || closing_.size() >= 2 * kBatch) flush();
  }

  void finish() override { flush(); }

 private:
  struct Entry {
    int srcDir;
    int dstDir;
    std::string name;
    struct statx status;
    size_t at;  // where its bytes go in buffer_
  };

  io_uring_sqe* next() {
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    if (sqe == nullptr) fail("io_uring_get_sqe", "", EBUSY);
    return sqe;
  }

  // After the prep call, which clears the flags.
  static void mark(io_uring_sqe* sqe, __u64 data, unsigned flags) {
    sqe->user_data = data;
    sqe->flags |= flags;
  }

  // Submits what is queued, waits for its count of completions and fails on the first error.
  void run(unsigned count) {
    if (count == 0) return;
    const int error = io_uring_submit_and_wait(&ring_, count);
    if (error < 0) fail("io_uring_submit_and_wait", "", -error);
    unsigned seen = 0;
    while (seen < count) {
      io_uring_cqe* cqe = nullptr;
      const int waited = io_uring_wait_cqe(&ring_, &cqe);
      if (waited < 0) fail("io_uring_wait_cqe", "", -waited);
      if (cqe->res < 0) fail("io_uring", batch_[cqe->user_data].name.c_str(), -cqe->res);
      io_uring_cqe_seen(&ring_, cqe);
      ++seen;
    }
  }

  // Queues the chain that copies batch_[i] through its two slots; returns its length.
  unsigned queueChain(unsigned i) {
    const Entry& entry = batch_[i];
    const auto size = static_cast<unsigned>(entry.status.stx_size);
    // Registered slots belong to the ring, not to the process: no O_CLOEXEC (refused).
    const unsigned in = 2 * i, out = 2 * i + 1;
    unsigned queued = 0;
    io_uring_sqe* sqe;
    if (size > 0) {
      sqe = next();
      io_uring_prep_openat_direct(sqe, entry.srcDir, entry.name.c_str(), O_RDONLY, 0, in);
      mark(sqe, i, IOSQE_IO_LINK);
      ++queued;
    }
    sqe = next();
    io_uring_prep_openat_direct(sqe, entry.dstDir, entry.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                entry.status.stx_mode & 07777, out);
    mark(sqe, i, IOSQE_IO_LINK);
    ++queued;
    if (size > 0) {
      char* bytes = buffer_.data() + entry.at;
      sqe = next();
      io_uring_prep_read(sqe, in, bytes, size, 0);
      mark(sqe, i, IOSQE_IO_LINK | IOSQE_FIXED_FILE);
      sqe = next();
      io_uring_prep_write(sqe, out, bytes, size, 0);
      mark(sqe, i, IOSQE_IO_LINK | IOSQE_FIXED_FILE);
      sqe = next();
      io_uring_prep_close_direct(sqe, in);
      mark(sqe, i, IOSQE_IO_LINK);
      queued += 3;
    }
    sqe = next();
    io_uring_prep_close_direct(sqe, out);
    mark(sqe, i, 0);
    return queued + 1;
  }

  // One submission for the status of the batch, one for its chains; the large files are
  // copied by plain calls while the ring works.
  void flush() {
    for (size_t i = 0; i < batch_.size(); ++i) {
      io_uring_sqe* sqe = next();
      io_uring_prep_statx(sqe, batch_[i].srcDir, batch_[i].name.c_str(), AT_SYMLINK_NOFOLLOW,
                          STATX_MODE | STATX_SIZE, &batch_[i].status);
      mark(sqe, i, 0);
    }
    run(batch_.size());
    size_t total = 0;
    for (Entry& entry : batch_) {
      entry.at = total;
      if (static_cast<off_t>(entry.status.stx_size) <= kWhole) total += entry.status.stx_size;
    }
    if (buffer_.size() < total) buffer_.resize(total);
    unsigned queued = 0;
    std::vector<const Entry*> large;
    for (unsigned i = 0; i < batch_.size(); ++i) {
      if (static_cast<off_t>(batch_[i].status.stx_size) > kWhole) {
        large.push_back(&batch_[i]);
      } else {
        queued += queueChain(i);
      }
    }
    if (queued > 0) {
      const int submitted = io_uring_submit(&ring_);
      if (submitted < 0) fail("io_uring_submit", "", -submitted);
    }
    for (const Entry* entry : large) {
      copyFilePlain(entry->srcDir, entry->dstDir, entry->name.c_str());
    }
    run(queued);
    batch_.clear();
    for (const int fd : closing_) ::close(fd);
    closing_.clear();
  }

  io_uring ring_{};
  std::vector<Entry> batch_;
  std::vector<int> closing_;
  std::vector<char> buffer_;
};

#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "has-uring") == 0) {
#ifdef QM_HAVE_LIBURING
    return 0;
#else
    return 1;
#endif
  }
  const bool batched = argc == 4 && std::strcmp(argv[1], "uring") == 0;
  if (argc != 4 || (!batched && std::strcmp(argv[1], "plain") != 0)) {
    std::fprintf(stderr, "usage: %s plain|uring SOURCE DESTINATION\n       %s has-uring\n", argv[0],
                 argv[0]);
    return 2;
  }
  ::umask(0);
  // Folder handles wait for their batch: allow as many as the system does.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  std::unique_ptr<FileSink> sink;
#ifdef QM_HAVE_LIBURING
  if (batched) sink = std::make_unique<BatchedSink>();
#endif
  if (!sink && batched) {
    std::fprintf(stderr, "min_copy: built without liburing\n");
    return 3;
  }
  if (!sink) sink = std::make_unique<PlainSink>();
  copyFolder(AT_FDCWD, argv[2], AT_FDCWD, argv[3], *sink);
  sink->finish();
  return 0;
}
