// Copies regular files, symbolic links and FIFOs, replacing old entries only when complete.
#include "entry_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "error_numbers.h"
#include "file_data.h"

namespace qm::fs {

namespace {

// A new entry under construction; removed again unless it was committed.
class PendingEntry {
 public:
  PendingEntry(int dirFd, std::string name) : dirFd_(dirFd), name_(std::move(name)) {}
  PendingEntry(const PendingEntry&) = delete;
  PendingEntry& operator=(const PendingEntry&) = delete;
  ~PendingEntry() {
    if (!committed_) ::unlinkat(dirFd_, name_.c_str(), 0);
  }
  const std::string& name() const { return name_; }
  void markCommitted() { committed_ = true; }

 private:
  int dirFd_;
  std::string name_;
  bool committed_ = false;
};

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool unchanged(const struct stat& source, const struct stat& target) {
  return S_ISREG(target.st_mode) && source.st_size == target.st_size &&
         sameTime(source.st_mtim, target.st_mtim) &&
         (source.st_mode & 07777) == (target.st_mode & 07777);
}

// The destination entry `name` as it is before the copy, or nothing when there is none.
// Throws 58 when there is one and overwriting is off.
std::optional<struct stat> existingTarget(const DirNode& dir, const std::string& name) {
  if (dir.fresh) return std::nullopt;
  struct stat st {};
  if (::fstatat(dir.destination.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!dir.run->options().overwrite) throwNumber(err::kFileExists, dir.destinationChild(name));
    return st;
  }
  if (errno != ENOENT) throwCopyError(errno, dir.destinationChild(name));
  return std::nullopt;
}

// The name a new entry is built under: its own when nothing is there to protect, else a
// temporary one that replaces the old entry only when complete.
std::string buildName(const std::optional<struct stat>& existing, const std::string& name) {
  return existing ? CopyRun::temporaryName() : name;
}

void setTimes(const DirNode& dir, const std::string& entry, const struct stat& st,
              const std::string& name) {
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::utimensat(dir.destination.get(), entry.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    throwCopyError(errno, dir.destinationChild(name));
  }
}

// Moves a completed entry to its own name.
void commit(const DirNode& dir, PendingEntry& entry, const std::string& name) {
  if (entry.name() != name) {
    const unsigned flags = dir.run->options().overwrite ? 0 : RENAME_NOREPLACE;
    const int fd = dir.destination.get();
    if (::renameat2(fd, entry.name().c_str(), fd, name.c_str(), flags) != 0) {
      if (errno == EEXIST) throwNumber(err::kFileExists, dir.destinationChild(name));
      throwCopyError(errno, dir.destinationChild(name));
    }
  }
  entry.markCommitted();
}

UniqueFd openSource(const DirNode& dir, const std::string& name) {
  // O_NONBLOCK: should the entry have become a FIFO since it was listed, opening it must
  // not wait for a writer.
  UniqueFd in(::openat(dir.source.get(), name.c_str(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!in.valid()) throwCopyError(errno, dir.sourceChild(name));
  return in;
}

void copyRegularFile(const DirNode& dir, const std::string& name, const struct stat& listed) {
  const auto existing = existingTarget(dir, name);
  if (existing && dir.run->options().skipUnchanged && unchanged(listed, *existing)) return;
  const UniqueFd in = openSource(dir, name);
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) throwCopyError(errno, dir.sourceChild(name));
  if (!S_ISREG(st.st_mode)) throwNumber(err::kPathFileAccess, dir.sourceChild(name));

  PendingEntry entry(dir.destination.get(), buildName(existing, name));
  UniqueFd out(::openat(dir.destination.get(), entry.name().c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.valid()) {
    const int error = errno;
    entry.markCommitted();  // not ours: must not be removed
    if (error == EEXIST) throwNumber(err::kFileExists, dir.destinationChild(name));
    throwCopyError(error, dir.destinationChild(name));
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  int error = copyFileData(in.get(), out.get(), st, *dir.run);
  if (error == 0 && ::fchmod(out.get(), st.st_mode & 07777) != 0) error = errno;
  if (error == 0 && ::futimens(out.get(), times) != 0) error = errno;
  const int closeError = out.closeChecked();
  if (error == 0) error = closeError;
  if (error != 0) throwCopyError(error, dir.destinationChild(name));
  commit(dir, entry, name);
}

std::string readLink(const DirNode& dir, const std::string& name, const struct stat& st) {
  std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4095) + 1);
  for (;;) {
    const ssize_t length =
        ::readlinkat(dir.source.get(), name.c_str(), buffer.data(), buffer.size());
    if (length < 0) throwCopyError(errno, dir.sourceChild(name));
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // the link grew since it was listed
  }
}

void copySymlink(const DirNode& dir, const std::string& name, const struct stat& st) {
  const std::string target = readLink(dir, name, st);
  const auto existing = existingTarget(dir, name);
  const std::string built = buildName(existing, name);
  if (::symlinkat(target.c_str(), dir.destination.get(), built.c_str()) != 0) {
    if (errno == EEXIST) throwNumber(err::kFileExists, dir.destinationChild(name));
    throwCopyError(errno, dir.destinationChild(name));
  }
  PendingEntry entry(dir.destination.get(), built);
  setTimes(dir, built, st, name);
  commit(dir, entry, name);
}

void copyFifo(const DirNode& dir, const std::string& name, const struct stat& st) {
  const auto existing = existingTarget(dir, name);
  const std::string built = buildName(existing, name);
  const int fd = dir.destination.get();
  if (::mkfifoat(fd, built.c_str(), 0600) != 0) {
    if (errno == EEXIST) throwNumber(err::kFileExists, dir.destinationChild(name));
    throwCopyError(errno, dir.destinationChild(name));
  }
  PendingEntry entry(fd, built);
  if (::fchmodat(fd, built.c_str(), st.st_mode & 07777, 0) != 0) {
    throwCopyError(errno, dir.destinationChild(name));
  }
  setTimes(dir, built, st, name);
  commit(dir, entry, name);
}

}  // namespace

void copyEntry(const DirNode& dir, const std::string& name) {
  struct stat st {};
  if (::fstatat(dir.source.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    throwCopyError(errno, dir.sourceChild(name));
  }
  if (S_ISREG(st.st_mode)) {
    copyRegularFile(dir, name, st);
  } else if (S_ISLNK(st.st_mode)) {
    copySymlink(dir, name, st);
  } else if (S_ISFIFO(st.st_mode)) {
    copyFifo(dir, name, st);
  }
  // Sockets belong to a running program and devices to the system: neither is data
  // worth copying, so they are left out.
}

}  // namespace qm::fs
