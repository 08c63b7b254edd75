// Copies regular files, symbolic links and FIFOs, replacing old entries only when complete.
#include "file_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "copy/name_fold.h"
#include "copy/report.h"
#include "copy/write_protocol.h"
#include "copy/write_retry.h"
#include "create_error.h"
#include "file_data.h"
#include "metadata.h"
#include "read_back_file.h"
#include "small_file.h"
#include "copy_errors.h"
#include "system.h"
#include "temporaries.h"
#include "utf8.h"

namespace qm::posix {

namespace {

// Temporary names tried before giving up; another is only needed where a stale file of an
// ended run holds one.
constexpr int kNameAttempts = 16;

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

// Where the entry that stands in the way of creating `name` in `dirFd` holds another name,
// which the folder takes for `name`: that name. Nothing where the entry holds `name`
// itself. Asks the folder, not any table of names, so it holds whatever the volume folds.
std::optional<std::string> otherNameThere(int dirFd, const std::string& name) {
  struct stat there {};
  if (::fstatat(dirFd, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  DIR* folder = ::fdopendir(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder == nullptr) return std::nullopt;
  std::optional<std::string> other, alike;
  const std::string folded = isValidUtf8(name) ? copy::foldName(name) : std::string();
  bool itself = false;
  while (const dirent* item = ::readdir(folder)) {
    const std::string_view found = item->d_name;
    if (found == name) itself = true;
    if (found == name || found == "." || found == "..") continue;
    struct stat st {};
    if (!other && ::fstatat(dirFd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        st.st_ino == there.st_ino && st.st_dev == there.st_dev)
      other = std::string(found);
    // FUSE drivers give each name looked up an inode of its own: the name that folds
    // alike names the other entry for the message.
    if (!alike && isValidUtf8(found) && copy::foldName(found) == folded) alike = std::string(found);
  }
  ::closedir(folder);
  if (itself) return std::nullopt;
  return other ? other : alike ? alike : std::optional<std::string>("?");
}

// Creates the new entry for `name` with `create(dirFd, name)` (0 or -1 with errno): under
// its own name where nothing is there to protect, else under a temporary name that
// replaces the old entry only when complete. Returns the name it was created under.
// `refusedNumber` is the error where the volume refuses the entry (see createErrorNumber).
template <typename Create>
std::string createEntry(const DirNode& dir, const std::string& name, bool replacing,
                        int refusedNumber, Create create) {
  const int fd = dir.destinationFd();
  const bool mayReplace = dir.run->mayReplace;
  for (int attempt = 1;; ++attempt) {
    std::string built = replacing ? temporaryName() : name;
    if (create(fd, built.c_str()) == 0) return built;
    const int error = errno;
    // Another copy into the same folder made the entry meanwhile: it is replaced as any
    // older entry would be. An entry under another name that the folder takes for this
    // one (this run's copy of another source entry) is a clash, never replaced.
    if (error == EEXIST && !replacing && mayReplace) {
      if (const auto other = otherNameThere(fd, name))
        throw copy::ClashError(dir.destinationChild(name), copy::sameNameCause(*other, name));
      replacing = true;
      continue;
    }
    if (error == EEXIST && replacing && attempt < kNameAttempts) continue;
    if (error == EEXIST) throwNumber(err::kFileExists, dir.destinationChild(name));
    // A temporary name is ours and valid: only its own name can be refused.
    const int number = createErrorNumber(replacing ? -1 : fd, error, refusedNumber);
    throwNumber(number, dir.destinationChild(name));
  }
}

// Moves a completed entry to its own name.
void commit(const DirNode& dir, PendingEntry& entry, const std::string& name) {
  if (entry.name() != name) {
    const unsigned flags = dir.run->mayReplace ? 0 : RENAME_NOREPLACE;
    const int fd = dir.destinationFd();
    if (::renameat2(fd, entry.name().c_str(), fd, name.c_str(), flags) != 0) {
      if (errno == EEXIST) throwNumber(err::kFileExists, dir.destinationChild(name));
      throwCopyError(errno, dir.destinationChild(name));
    }
  }
  entry.markCommitted();
}

// Gives the entry `name`, just renamed into place, the times of `st` again where the volume
// lost them in the rename.
void restoreTimes(const DirNode& dir, const std::string& name, const struct stat& st) {
  if (!dir.volume->timesLostOnRename) return;
  if (const int error = copyTimesByName(dir, name, st))
    throwCopyError(error, dir.destinationChild(name));
}

// Opens the source entry `name` for reading without following a link; invalid, with errno
// set, when it cannot. O_NONBLOCK: should the entry have become a FIFO since it was
// listed, opening it must not wait for a writer.
UniqueFd tryOpenSource(const DirNode& dir, const std::string& name, bool follow = false) {
  return UniqueFd(
      ::openat(dir.sourceFd(), name.c_str(),
               O_RDONLY | (follow ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
}

using copy::ChangedWhileRead;

// Whether the open file `fd`, read from its status `before` on, is another file or has
// another type, size, data or status since.
bool changedSince(int fd, const struct stat& before) {
  struct stat now {};
  if (::fstat(fd, &now) != 0) return false;  // the read itself succeeded
  return !sameFileState(now, before);
}

// The protocol's steps for the regular file `name`, open as `in` with status `st`, copied
// to a new entry that replaces the old one where `existing`. `st` is the open file's own
// status, or the one read from its name beforehand (`ofOpenFile` false): the file opened
// may then be another by now, and only the status read after the data tells, whether or
// not the data came.
struct RegularFileSteps {
  struct Pending {
    PendingEntry entry;
    UniqueFd out;
    mode_t made = 0600;  // the permission bits it was made with
    int error = 0;       // of the data, thrown once the metadata has been tried and the file closed
    bool sealed = false;  // closed with the source by the ring, its times still to be set
    int closeError = 0;   // of closing it there
  };
  const DirNode& dir;
  const std::string& name;
  UniqueFd& in;
  const struct stat& st;
  bool existing;
  copy::FileProgress& progress;
  bool ofOpenFile;
  // Where the copy's stamp goes once its metadata is set, where it keeps its own name
  // (a rename would change its status again); null where it is read after the write.
  Entry* stamped;
  DataRing* ring;  // the worker's, where small files go through one

  Pending create() const {
    UniqueFd out;
    const mode_t made = creationMode(dir, st);
    const auto open = [&out, made](int fd, const char* built) {
      out =
          UniqueFd(::openat(fd, built, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, made));
      return out.valid() ? 0 : -1;
    };
    std::string built = createEntry(dir, name, existing, err::kBadFileName, open);
    return Pending{PendingEntry(dir.destinationFd(), std::move(built)), std::move(out), made};
  }
  void moveData(Pending& p) const {
    std::optional<bool> changed;
    if (!moveByRing(p, changed))
      p.error = copyData(in.get(), p.out.get(), st, dir.run->dataSteps, *dir.run, progress);
    if ((p.error == 0 || !ofOpenFile) && (changed ? *changed : changedSince(in.get(), st)))
      throw ChangedWhileRead{};
    // Access was granted when the file was made: a write refused after that is a volume
    // that is full, as the FUSE FAT driver says it (it tells no free space beforehand).
    if (p.error == EPERM || p.error == EACCES) p.error = ENOSPC;
  }
  // A small file whose metadata is its times alone: its data, the status read after it and
  // both closes in one submission. False where the plain steps copy the data.
  bool moveByRing(Pending& p, std::optional<bool>& changed) const {
    if (ring == nullptr || !fitsRing(st) || !onlyTimesLeft(dir, in.get(), st, p.made)) return false;
    const RingMove moved = moveSmallFile(*ring, in, p.out, st, progress);
    if (moved.plain) {
      // A file that shrank since its status was read: read again, not copied short.
      if (moved.shortRead && changedSince(in.get(), st)) throw ChangedWhileRead{};
      return false;
    }
    p.error = moved.dataError;
    p.sealed = moved.sealed;
    p.closeError = moved.closeError;
    changed = moved.changed;
    return true;
  }
  void seal(Pending& p) const {
    if (p.sealed) {
      p.error = p.closeError != 0 ? p.closeError : copyTimesByName(dir, p.entry.name(), st);
      if (p.error != 0) throwCopyError(p.error, dir.destinationChild(name));
      return;
    }
    if (p.error == 0) p.error = copyFileMetadata(dir, in.get(), p.out.get(), st, p.made);
    struct stat copied {};
    if (p.error == 0 && stamped && p.entry.name() == name && ::fstat(p.out.get(), &copied) == 0) {
      stamped->copyStamp = stampOf(copied);
      stamped->copyStamped = true;
    }
    const int closeError = p.out.closeChecked();
    if (p.error == 0) p.error = closeError;
    if (p.error != 0) throwCopyError(p.error, dir.destinationChild(name));
  }
  void place(Pending& p) const { commit(dir, p.entry, name); }
  void afterPlace(Pending& p) const {
    if (p.entry.name() != name) restoreTimes(dir, name, st);  // made under a temporary name
  }
};

void copyOpenFile(const DirNode& dir, Entry& listed, UniqueFd& in, bool existing,
                  copy::FileProgress& progress, bool ofOpenFile, DataRing* ring) {
  Entry* const stamped = dir.run->stampsOpenCopies ? &listed : nullptr;
  RegularFileSteps steps{dir,      listed.name, in,      listed.st, existing,
                         progress, ofOpenFile,  stamped, ring};
  copy::writeByProtocol(steps);
}

// Copies the regular file `listed`, whose status was read from its name (by the listing,
// the check before writing, or the comparison with the destination). That status stands
// for the open file until its data has been read, one call less per file: a file that is
// another by then, or no longer a regular one, is found changed and read again.
void copyRegularFile(const DirNode& dir, Entry& listed, bool existing, copy::FileProgress& progress,
                     DataRing* ring) {
  const std::string& name = listed.name;
  UniqueFd in = tryOpenSource(dir, name, listed.followed);
  if (!in.valid() && errno == ELOOP && !listed.followed) throw ChangedWhileRead{};  // a link now
  if (!in.valid()) throwSourceError(errno, dir.sourceChild(name));
  copyOpenFile(dir, listed, in, existing, progress, false, ring);
}

// A file the listing gave as regular, with nothing in its place: nothing to compare with,
// so the file is opened at once and its status read from the open file, one call less per
// file. False, with nothing done, when the entry is no longer a regular file (it is then
// copied as what it has become).
bool copyListedFileOntoNothing(const DirNode& dir, Entry& listed, copy::FileProgress& progress,
                               DataRing* ring) {
  UniqueFd in = tryOpenSource(dir, listed.name);
  if (!in.valid() && errno == ELOOP) return false;  // a symbolic link now
  if (!in.valid()) throwSourceError(errno, dir.sourceChild(listed.name));
  if (::fstat(in.get(), &listed.st) != 0) throwSourceError(errno, dir.sourceChild(listed.name));
  listed.statted = true;
  if (!S_ISREG(listed.st.st_mode)) return false;
  copyOpenFile(dir, listed, in, false, progress, true, ring);
  return true;
}

std::string readLink(const DirNode& dir, const std::string& name, const struct stat& st) {
  std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4095) + 1);
  for (;;) {
    const ssize_t length = ::readlinkat(dir.sourceFd(), name.c_str(), buffer.data(), buffer.size());
    if (length < 0) throwSourceError(errno, dir.sourceChild(name));
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // the link grew since it was listed
  }
}

// The protocol's steps for a link or FIFO, made by `make(dirFd, name)` (0, or -1 with
// errno): it holds no data, and one the volume cannot hold is left out.
template <typename Make>
struct SpecialEntrySteps {
  using Pending = PendingEntry;
  const DirNode& dir;
  const Entry& listed;
  bool existing;
  Make make;

  Pending create() const {
    // A volume without the kind says so plainly, or refuses it as it refuses a bad name.
    const auto made = [&](int fd, const char* name) {
      const int result = make(fd, name);
      if (result != 0 && (errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL))
        throw copy::LeftOutError(copy::LeftOut::Unholdable, dir.destinationChild(listed.name));
      return result;
    };
    std::string built;
    try {
      built = createEntry(dir, listed.name, existing, err::kPathFileAccess, made);
    } catch (const RuntimeError& error) {
      if (error.number != err::kPathFileAccess) throw;
      throw copy::LeftOutError(copy::LeftOut::Unholdable, dir.destinationChild(listed.name));
    }
    return PendingEntry(dir.destinationFd(), std::move(built));
  }
  void moveData(Pending&) const {}
  void seal(Pending& entry) const { copyEntryMetadata(dir, entry.name(), listed.st, listed.name); }
  void place(Pending& entry) const { commit(dir, entry, listed.name); }
  void afterPlace(Pending&) const {}
};

template <typename Make>
void copySpecial(const DirNode& dir, const Entry& listed, bool existing, Make make) {
  SpecialEntrySteps<Make> steps{dir, listed, existing, std::move(make)};
  copy::writeByProtocol(steps);
}

}  // namespace

std::optional<struct stat> existingTarget(const DirNode& dir, const std::string& name) {
  if (dir.fresh) return std::nullopt;
  struct stat st {};
  if (::fstatat(dir.destinationFd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return st;
  if (errno != ENOENT) throwCopyError(errno, dir.destinationChild(name));
  return std::nullopt;
}

bool unchangedTarget(const DirNode& dir, Entry& entry, const struct stat& target) {
  if (!entry.statted) statEntry(dir, entry, false);
  return S_ISREG(entry.st.st_mode) && unchangedFile(entry.st, target, *dir.volume);
}

namespace {

void writeOnce(const DirNode& dir, Entry& entry, const struct stat* existing,
               copy::FileProgress& progress, DataRing* ring) {
  entry.copyStamped = false;
  if (!entry.statted && entry.listedRegular && existing == nullptr &&
      copyListedFileOntoNothing(dir, entry, progress, ring)) {
    return;
  }
  if (!entry.statted) statEntry(dir, entry, false);
  const mode_t type = entry.st.st_mode & S_IFMT;
  const bool replacing = existing != nullptr;
  if (type == S_IFREG) {
    copyRegularFile(dir, entry, replacing, progress, ring);
  } else if (type == S_IFLNK) {
    const std::string target = readLink(dir, entry.name, entry.st);
    copySpecial(dir, entry, replacing, [&target](int fd, const char* built) {
      return ::symlinkat(target.c_str(), fd, built);
    });
  } else if (type == S_IFIFO) {
    if (!dir.volume->keepsFifos)
      throw copy::LeftOutError(copy::LeftOut::Unholdable, dir.destinationChild(entry.name));
    copySpecial(dir, entry, replacing,
                [](int fd, const char* built) { return ::mkfifoat(fd, built, 0600); });
  }
  // An entry that has become a socket or a device since it was listed is left out.
}

// Forgets the status of an entry that changed since it was read, so that the next attempt
// reads it again as the listing did: a link the copy follows, at once; any other entry
// when the attempt opens it or reads its status from its name.
void forgetStatus(const DirNode& dir, Entry& entry) {
  entry.statted = false;
  if (!entry.followed) return;
  statEntry(dir, entry, true);
  // It leads nowhere now: what it led to is no longer part of the copy.
  if (entry.leftOut == copy::LeftOut::Dangling)
    throwSourceError(ENOENT, dir.sourceChild(entry.name));
  if (entry.leftOut == copy::LeftOut::Unreadable)
    throw copy::LeftOutError(copy::LeftOut::Unreadable, dir.sourceChild(entry.name));
}

}  // namespace

void writeEntry(const DirNode& dir, Entry& entry, const struct stat* existing,
                copy::FileProgress& progress, DataRing* ring) {
  copy::writeRetryingChanges([&] { writeOnce(dir, entry, existing, progress, ring); },
                             [&] { forgetStatus(dir, entry); },
                             [&] { return dir.sourceChild(entry.name); });
}

}  // namespace qm::posix
