// Whole-file reads and the replacement of small files with POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "error_numbers.h"
#include "errors.h"
#include "os/run.h"
#include "os/textfile.h"
#include "tempname.h"
#include "unique_fd.h"

namespace qm {
namespace {

[[noreturn]] void fail(int code, const std::string& path) {
  throw RuntimeError(errorNumberFromErrno(code), path);
}

using Fd = posix::UniqueFd;

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates the folder and its missing parents: the configuration folder that stands in
// for the Windows directory need not exist yet on a new account.
void makeFolders(const std::string& folder) {
  struct stat st;
  if (folder.empty() || ::stat(folder.c_str(), &st) == 0) return;
  makeFolders(folderOf(folder));
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) fail(errno, folder);
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string nameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// The file a save replaces: `path` itself, or the file its chain of symbolic links ends
// at (which need not exist yet), so that the link the user made stays a link.
std::string resolveLinks(const std::string& path) {
  std::string at = path;
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    if (hops == 40) fail(ELOOP, path);
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(at.c_str(), link.data(), link.size());
    if (n < 0) fail(errno, path);
    link.resize(static_cast<std::size_t>(n));
    at = link.starts_with('/') ? link : folderOf(at) + "/" + link;
  }
}

// Removes this user's temporary files of `name` that a killed save left behind: those
// whose process has ended, and any older than a save could ever take.
void removeStaleTemporaries(const std::string& folder, const std::string& name) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return;
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::optional<TemporaryOwner> writer = temporaryOwnerBeside(name, entry->d_name);
    struct stat st;
    if (!writer || ::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    if (os::runEnded(*writer) || now - st.st_mtime > kStaleTemporarySeconds)
      ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
  }
}

// A new temporary file beside `target`, named after this process; -1 with errno set
// when none can be made there.
int createTemporary(const std::string& target, mode_t mode, std::string& temp) {
  static std::atomic<std::uint64_t> counter{0};
  for (int attempt = 0;; ++attempt) {
    temp = folderOf(target) + "/" + temporaryNameBeside(nameOf(target), os::thisRun(), ++counter);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST || attempt == 100) return fd;
  }
}

// The replacement takes over the owner, group and mode the user gave the file. Owner
// and group change only where the system lets us (as root, for a user's file).
void keepOwnerAndMode(int fd, const struct stat& old) {
  struct stat now;
  if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
    [[maybe_unused]] const int refused = ::fchown(fd, old.st_uid, old.st_gid);
  }
  // A volume without modes (FAT) refuses; the file then has what the volume gives.
  [[maybe_unused]] const int refused = ::fchmod(fd, old.st_mode & 07777);
}

// Where no temporary file can be made beside the file (its folder takes no new file)
// but the file itself is writable: the new bytes go over the old from the start, then
// the length is cut, so that a save cut short leaves the new records at the start.
void writeInPlace(const std::string& target, std::string_view bytes, const std::string& path) {
  Fd fd(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) fail(errno, path);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) fail(errno, path);
  if (!S_ISREG(st.st_mode)) throw RuntimeError(err::kPathFileAccess, path);
  writeAll(fd.get(), bytes, path);
  if (::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0) fail(errno, path);
  if (::fsync(fd.get()) != 0) fail(errno, path);
  if (::close(fd.release()) != 0) fail(errno, path);
}

// Makes the rename itself durable; a folder that cannot be synced is no failure.
void syncFolder(const std::string& folder) {
  const Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

// Opened without blocking (a FIFO without a writer would wait forever) and without
// becoming the controlling terminal; only a plain file is read, and never past the cap.
std::string readWholeFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) fail(errno, path);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) fail(errno, path);
  if (!S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(kMaxTextFileSize))
    throw RuntimeError(err::kPathFileAccess, path);
  // The size can change under the read; the cap holds whatever the file does meanwhile.
  std::string out(kMaxTextFileSize + 1, '\0');
  std::size_t used = 0;
  while (used < out.size()) {
    const ssize_t n = ::read(fd.get(), out.data() + used, out.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, path);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  if (used > kMaxTextFileSize) throw RuntimeError(err::kPathFileAccess, path);
  out.resize(used);
  return out;
}

namespace {

// The replacement of the file at `target` through a temporary file beside it; where none
// can be made, `inPlace` (if any) writes over the file itself.
void replaceThroughTemporary(const std::string& target, const std::string& path,
                             const std::function<void(const PieceSink&)>& produce,
                             const std::string_view* inPlace) {
  removeStaleTemporaries(folderOf(target), nameOf(target));
  struct stat old;
  const bool exists = ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  std::string temp;
  const int raw = createTemporary(target, exists ? 0600 : 0666, temp);
  if (raw < 0) {
    if (exists && inPlace) return writeInPlace(target, *inPlace, path);
    fail(errno, path);
  }
  Fd fd(raw);
  try {
    produce([&](std::string_view piece) { writeAll(fd.get(), piece, path); });
    if (exists) keepOwnerAndMode(fd.get(), old);
    if (::fsync(fd.get()) != 0) fail(errno, path);
    if (::close(fd.release()) != 0) fail(errno, path);
    if (::rename(temp.c_str(), target.c_str()) != 0) fail(errno, path);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  syncFolder(folderOf(target));
}

}  // namespace

void replaceFileAtomically(const std::string& path, std::string_view bytes) {
  makeFolders(folderOf(path));
  replaceThroughTemporary(
      resolveLinks(path), path, [&](const PieceSink& out) { out(bytes); }, &bytes);
}

// A link at `path` is replaced, never followed: what a volume holds under the name does
// not lead the write elsewhere. A leading dot hides the file here, not an attribute.
void replaceFileInPieces(const std::string& path,
                         const std::function<void(const PieceSink&)>& produce, bool) {
  replaceThroughTemporary(path, path, produce, nullptr);
}

bool readFileInPieces(const std::string& path, const PieceSink& take) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ELOOP) return false;
    fail(errno, path);
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) fail(errno, path);
  if (!S_ISREG(st.st_mode)) return false;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, path);
    }
    if (n == 0) return true;
    take(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace qm
