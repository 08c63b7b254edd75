// Checks and prepares a folder copy, runs it, and flushes the result to the disk.
#include "copy_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "error_numbers.h"
#include "copy_run.h"
#include "real_path.h"
#include "tree_walk.h"

namespace qm::fs {

namespace {

std::string withoutTrailingSeparators(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

std::string lastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
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

// The folder that receives the source's contents.
std::string targetFolder(const std::string& source, std::string_view destination) {
  if (destination.empty()) throwNumber(err::kPathNotFound, std::string(destination));
  if (destination.back() != '/') return withoutTrailingSeparators(destination);
  const std::string into = withoutTrailingSeparators(destination);
  struct stat st {};
  if (::stat(into.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    throwNumber(err::kPathNotFound, std::string(destination));
  }
  std::string name = lastComponent(source);
  if (name.empty() || name == "." || name == "..") name = lastComponent(plannedRealPath(source));
  return (into == "/" ? "" : into) + "/" + name;
}

void refuseCopyIntoItself(const std::string& source, const std::string& target) {
  if (isSameOrInside(plannedRealPath(target), plannedRealPath(source))) {
    throwNumber(err::kPathFileAccess, target);
  }
}

// Creates the missing folders above `target`.
void createParents(const std::string& target) {
  for (size_t slash = target.find('/', 1); slash != std::string::npos;
       slash = target.find('/', slash + 1)) {
    const std::string prefix = target.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0777) == 0 || errno == EEXIST) continue;
    throwCopyError(errno, prefix);
  }
}

void openTarget(DirNode& root, const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) throwNumber(err::kFileExists, target);
  } else {
    createParents(target);
  }
  // The top folder may be reached through a link; the ones below are not followed.
  openDestinationFolder(root, AT_FDCWD, target.c_str(), 0);
}

}  // namespace

void copyFolder(std::string_view source, std::string_view destination, const CopyOptions& options) {
  const std::string sourcePath = withoutTrailingSeparators(source);
  struct stat sourceStat {};
  UniqueFd sourceFd = openSourceFolder(sourcePath, sourceStat);
  const std::string target = targetFolder(sourcePath, destination);
  refuseCopyIntoItself(sourcePath, target);

  CopyRun run(options);
  auto root = std::make_shared<DirNode>();
  root->source = std::move(sourceFd);
  root->sourceStat = sourceStat;
  root->sourcePath = sourcePath;
  root->destinationPath = target;
  openTarget(*root, target);
  root->run = &run;
  UniqueFd syncFd(::fcntl(root->destination.get(), F_DUPFD_CLOEXEC, 0));
  if (!syncFd.valid()) throwCopyError(errno, target);

  copyTree(run, std::move(root));
  run.rethrowFailure();
  if (options.syncAtEnd && ::syncfs(syncFd.get()) != 0) throwCopyError(errno, target);
}

}  // namespace qm::fs
