// Checks and prepares a folder copy, runs it, and flushes the result to the disk.
#include "copy/copy_folder.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "copy/into_itself.h"
#include "copy_errors.h"
#include "real_path.h"
#include "system.h"

namespace qm {

// Links stay links on Linux, as its own tools copy them, where the destination volume
// holds links; onto one that does not (FAT, exFAT), they are followed.
const Links kSystemLinks = Links::ByVolume;

}  // namespace qm

namespace qm::posix {

namespace {

std::string withoutTrailingSeparators(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

std::string lastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isDotName(const std::string& name) {
  return name == "." || name == "..";
}

UniqueFd openSourceFolder(const std::string& path, struct stat& st) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT || errno == ENOTDIR || path.empty()) {
      throwNumber(err::kPathNotFound, path);
    }
    throwCopyError(errno, path);
  }
  if (::fstat(fd.get(), &st) != 0) throwCopyError(errno, path);
  return fd;
}

// The folder that receives the source's contents. A last component "." or ".." would
// put the copy into the destination's own folder or above it, so it is refused.
std::string targetFolder(const std::string& source, std::string_view destination) {
  if (destination.empty()) throwNumber(err::kPathNotFound, std::string(destination));
  const std::string trimmed = withoutTrailingSeparators(destination);
  if (isDotName(lastComponent(trimmed))) throwNumber(err::kPathFileAccess, trimmed);
  if (destination.back() != '/') return trimmed;
  struct stat st {};
  if (::stat(trimmed.c_str(), &st) != 0) throwNumber(err::kPathNotFound, std::string(destination));
  if (!S_ISDIR(st.st_mode)) throwNumber(err::kFileExists, trimmed);
  std::string name = lastComponent(source);
  if (name.empty() || isDotName(name)) name = lastComponent(plannedRealPath(source));
  return (trimmed == "/" ? "" : trimmed) + "/" + name;
}

void refuseCopyIntoItself(const struct stat& sourceStat, const std::string& target) {
  // The path as spelled may hold ".." after a link, so only the resolved one is walked.
  if (copy::reachesThrough(plannedRealPath(target), std::pair{sourceStat.st_dev, sourceStat.st_ino},
                           fileIdentity, parentPath))
    throwNumber(err::kPathFileAccess, target);
}

// The first component of `path` (a folder that could not be created) that exists but
// is not a folder.
std::string fileInTheWay(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    struct stat st {};
    if (::stat(prefix.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return prefix;
    if (slash == std::string::npos) return path;
  }
}

// The folder `target` is made by the copy, and no folder above it: a stick that is not
// plugged in (its mount point then an empty folder elsewhere, or nothing), or a mistyped
// destination, is 76 and gets no copy in the wrong place. A file in the way is 58.
void prepareTarget(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) throwNumber(err::kFileExists, target);
    return;
  }
  if (errno == ENOTDIR) throwNumber(err::kFileExists, fileInTheWay(target));
  const size_t slash = target.rfind('/');
  const std::string parent = slash == 0 ? "/" : target.substr(0, slash);
  if (::stat(parent.c_str(), &st) == 0) return;
  if (errno == ENOTDIR) throwNumber(err::kFileExists, fileInTheWay(parent));
  throwNumber(err::kPathNotFound, parent);
}

// Raises this process's soft limit of open files to its hard limit, so that a copy never
// fails below what the system allows.
void raiseOpenFileLimit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);  // where it is refused, the copy runs as it can
}

}  // namespace

}  // namespace qm::posix

namespace qm::copy {

using namespace posix;

void copyFolderOrThrow(std::string_view source, std::string_view destination,
                       const CopyOptions& options) {
  raiseOpenFileLimit();
  const std::string sourcePath = withoutTrailingSeparators(source);
  struct stat sourceStat {};
  UniqueFd sourceFd = openSourceFolder(sourcePath, sourceStat);
  const std::string target = targetFolder(sourcePath, destination);
  refuseCopyIntoItself(sourceStat, target);
  prepareTarget(target);

  CopySystem system(options);
  Pipeline<CopySystem>(system, options).run([&](DirNode& top) {
    openTopNode(top, system, std::move(sourceFd), sourceStat, sourcePath, target);
    system.keepTop(top);
  });
}

}  // namespace qm::copy
