// Opening, reopening and finishing the folders of a copy, under a budget of open ones.
#include "folder_node.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "copy/name_fold.h"
#include "copy/report.h"
#include "create_error.h"
#include "copy_errors.h"
#include "system.h"
#include "temporaries.h"
#include "utf8.h"

namespace qm::posix {

namespace {

std::string joinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

bool hasDefaultAcl(int dirFd) {
  return ::fgetxattr(dirFd, "system.posix_acl_default", nullptr, 0) > 0;
}

// Opens (or creates, when it does not exist, after calling `beforeMaking` where given)
// the destination folder `name` under `atFd` for `node`. An existing folder gets owner
// write and search access while it is filled, where its owner allows. `openFlags` adds
// O_NOFOLLOW below the top folder.
UniqueFd openDestinationFolder(DirNode& node, int atFd, const char* name, int openFlags,
                               int probeFd, const std::function<void()>& beforeMaking) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | openFlags;
  UniqueFd fd(::openat(atFd, name, flags));
  if (!fd.valid() && errno == ENOENT) {
    if (beforeMaking) beforeMaking();
    if (::mkdirat(atFd, name, 0700) == 0) {
      node.fresh = true;
    } else if (errno != EEXIST) {
      throwNumber(createErrorNumber(probeFd, errno, err::kBadFileName), node.destinationPath);
    }
    fd = UniqueFd(::openat(atFd, name, flags));
  }
  if (!fd.valid()) {
    if (errno == ENOTDIR || errno == ELOOP) throwNumber(err::kFileExists, node.destinationPath);
    throwCopyError(errno, node.destinationPath);
  }
  struct stat& st = node.destinationStat;
  if (::fstat(fd.get(), &st) != 0) throwCopyError(errno, node.destinationPath);
  if (!node.fresh && (st.st_mode & 0700) != 0700 &&
      ::fchmod(fd.get(), (st.st_mode & 07777) | 0700) != 0 && !metadataRefused(errno)) {
    throwCopyError(errno, node.destinationPath);
  }
  return fd;
}

// Whether the existing destination folder of `node` may hold temporary files of a run that
// ended before finishing it. A folder a copy finished has its source's modification time,
// set by the copy, so its status-change time differs from it; creating a temporary file
// sets both times to one instant. A folder that still shows the first state holds none.
// Where the volume keeps no status-change time of its own (FAT, exFAT), folder times are
// not trusted that far, and the folder is always looked through.
bool mayHoldTemporaries(const DirNode& node) {
  if (node.fresh) return false;
  if (!node.volume->keepsChangeTime) return true;
  const struct stat& folder = node.destinationStat;
  const bool setByCopy = nanoseconds(folder.st_ctim) != nanoseconds(folder.st_mtim);
  return !setByCopy || !copy::sameTime(nanoseconds(folder.st_mtim),
                                       nanoseconds(node.sourceStat.st_mtim), node.volume->times);
}

// What the node learns from its open destination folder.
void learnDestination(DirNode& node, int fd) {
  const DirNode* parent = node.parent;
  const bool sameVolume =
      parent != nullptr && parent->destinationStat.st_dev == node.destinationStat.st_dev;
  node.volume = sameVolume ? parent->volume : &node.run->volume(node.destinationStat.st_dev, fd);
  // A new folder has a default ACL only when it inherited its parent's.
  if (node.fresh && parent != nullptr) node.setInheritsAcl(parent->inheritsAcl());
  if (mayHoldTemporaries(node)) removeStaleTemporaries(fd);
}

// Whether the source folder of `node` (`followed`: reached through a link below `parent`)
// is `parent` or one of its ancestors, or a destination folder of the copy: copying it
// would never end. A folder listed as a folder can only be the copy's own top folder,
// reached through a link further up (a destination inside the source is refused before).
bool isCycle(const DirNode& node, const DirNode& parent, bool followed) {
  const auto same = [&node](const struct stat& st) {
    return st.st_dev == node.sourceStat.st_dev && st.st_ino == node.sourceStat.st_ino;
  };
  for (const DirNode* up = &parent; up != nullptr; up = up->parent) {
    if (followed && same(up->sourceStat)) return true;
    if ((followed || up->parent == nullptr) && same(up->destinationStat)) return true;
  }
  return false;
}

}  // namespace

DirNode::~DirNode() {
  if (run != nullptr && counted_) run->folders().remove(*this);
}

bool DirNode::inheritsAcl() const {
  signed char known = inheritsAcl_.load(std::memory_order_relaxed);
  if (known < 0) {
    // Workers may ask at once; each gets the same answer from the folder.
    known = hasDefaultAcl(destination_.get()) ? 1 : 0;
    inheritsAcl_.store(known, std::memory_order_relaxed);
  }
  return known == 1;
}

void DirNode::claim(const struct stat& there, const std::string& name) const {
  std::lock_guard lock(claimsMutex_);
  const auto [at, claimed] = claims_.emplace(there.st_ino, name);
  // Hard links are one entry under two names, and no clash.
  if (!claimed && at->second != name && there.st_nlink <= 1)
    throw copy::ClashError(destinationChild(name), copy::sameNameCause(at->second, name));
  claimNameLocked(name);
}

void DirNode::claimName(const std::string& name) const {
  std::lock_guard lock(claimsMutex_);
  claimNameLocked(name);
}

void DirNode::claimNameLocked(const std::string& name) const {
  const copy::NameFolding folds = volume->names;
  if (!folds.any() || !isValidUtf8(name)) return;
  const auto [named, first] = claimedNames_.emplace(copy::nameKey(name), name);
  if (first || named->second == name) return;
  const auto joins = copy::foldingThatJoins(named->second, name);
  if (joins && folds.covers(*joins))
    throw copy::ClashError(destinationChild(name), copy::sameNameCause(named->second, name));
}

std::string DirNode::sourceChild(std::string_view name) const {
  return joinPath(sourcePath, name);
}

std::string DirNode::destinationChild(std::string_view name) const {
  return joinPath(destinationPath, name);
}

void OpenFolders::add(DirNode& node, UniqueFd source, UniqueFd destination, bool pinned) {
  std::lock_guard lock(mutex_);
  node.source_ = std::move(source);
  node.destination_ = std::move(destination);
  node.counted_ = true;
  node.pinned_ = pinned;
  ++open_;
  if (!pinned) {
    node.idlePosition_ = idle_.insert(idle_.end(), &node);
    node.idle_ = true;
  }
  trim();
}

void OpenFolders::acquire(DirNode& node) {
  std::lock_guard lock(mutex_);
  if (node.idle_) {
    idle_.erase(node.idlePosition_);
    node.idle_ = false;
  }
  if (!node.source_.valid()) reopen(node);
  ++node.leases_;
}

void OpenFolders::release(DirNode& node) noexcept {
  std::lock_guard lock(mutex_);
  if (--node.leases_ > 0 || node.pinned_ || !node.source_.valid()) return;
  node.idlePosition_ = idle_.insert(idle_.end(), &node);
  node.idle_ = true;
  trim();
}

void OpenFolders::remove(DirNode& node) noexcept {
  std::lock_guard lock(mutex_);
  if (node.idle_) {
    idle_.erase(node.idlePosition_);
    node.idle_ = false;
  }
  if (node.source_.valid()) close(node);
}

void OpenFolders::close(DirNode& node) noexcept {
  node.source_.reset();
  node.destination_.reset();
  --open_;
}

void OpenFolders::trim() noexcept {
  while (open_ > budget_ && !idle_.empty()) {
    DirNode* oldest = idle_.front();
    idle_.pop_front();
    oldest->idle_ = false;
    close(*oldest);
  }
}

// Opens the source (or destination) folder of `node` from its nearest folder above that is
// open, one name at a time: no path handed to the system is longer than one name, however
// deep the tree. Invalid, with errno set, where a step fails.
UniqueFd OpenFolders::openDown(const DirNode& node, bool source) {
  std::vector<const DirNode*> steps;
  const DirNode* at = &node;
  for (; at->parent && !(source ? at->source_ : at->destination_).valid(); at = at->parent)
    steps.push_back(at);
  UniqueFd step;
  int fd = (source ? at->source_ : at->destination_).get();
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    const std::string& relative = (*it)->relative;
    const std::string name = relative.substr(relative.rfind('/') + 1);
    // Only a source folder reached through a link the copy follows is opened through it.
    const int nofollow = source && (*it)->followed ? 0 : O_NOFOLLOW;
    UniqueFd next(::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | nofollow | O_CLOEXEC));
    if (!next.valid()) {
      const int error = errno;
      step.reset();
      errno = error;
      return next;
    }
    step = std::move(next);
    fd = step.get();
  }
  return step;
}

void OpenFolders::reopen(DirNode& node) {
  UniqueFd source = openDown(node, true);
  struct stat st {};
  if (!source.valid() || ::fstat(source.get(), &st) != 0) throwSourceError(errno, node.sourcePath);
  if (st.st_dev != node.sourceStat.st_dev || st.st_ino != node.sourceStat.st_ino) {
    throw copy::SourceError(err::kFileNotFound, node.sourcePath);  // moved away during the copy
  }
  UniqueFd destination;
  if (node.hasDestination) {
    destination = openDown(node, false);
    if (!destination.valid() || ::fstat(destination.get(), &st) != 0)
      throwCopyError(errno, node.destinationPath);
    if (st.st_dev != node.destinationStat.st_dev || st.st_ino != node.destinationStat.st_ino)
      throwNumber(err::kPathFileAccess, node.destinationPath);  // replaced during the copy
  }
  node.source_ = std::move(source);
  node.destination_ = std::move(destination);
  ++open_;
}

FolderLease::FolderLease(DirNode& node) : node_(node) {
  node.run->folders().acquire(node);
}

FolderLease::~FolderLease() {
  node_.run->folders().release(node_);
}

void openTopNode(DirNode& node, CopySystem& run, UniqueFd source, const struct stat& sourceStat,
                 const std::string& sourcePath, const std::string& target) {
  node.sourcePath = sourcePath;
  node.destinationPath = target;
  node.sourceStat = sourceStat;
  const size_t slash = target.rfind('/');
  const std::string above = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const UniqueFd aboveFd(::open(above.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // The top folder may be reached through a link; the ones below are not followed.
  UniqueFd destination =
      openDestinationFolder(node, AT_FDCWD, target.c_str(), 0, aboveFd.get(), nullptr);
  node.run = &run;
  learnDestination(node, destination.get());
  run.folders().add(node, std::move(source), std::move(destination), true);
}

namespace {

// The source side of a subfolder's node, as openChildNode describes it.
UniqueFd openSourceChild(DirNode& node, const DirNode& parent, const std::string& name,
                         bool followed) {
  node.parent = &parent;
  node.relative = parent.relative.empty() ? name : parent.relative + "/" + name;
  node.sourcePath = parent.sourceChild(name);
  node.destinationPath = parent.destinationChild(name);
  node.followed = followed;
  UniqueFd source(::openat(parent.sourceFd(), name.c_str(),
                           O_RDONLY | O_DIRECTORY | (followed ? 0 : O_NOFOLLOW) | O_CLOEXEC));
  if (!source.valid()) throwSourceError(errno, node.sourcePath);
  if (::fstat(source.get(), &node.sourceStat) != 0) throwSourceError(errno, node.sourcePath);
  if (isCycle(node, parent, followed))
    throw copy::LeftOutError(copy::LeftOut::Cycle, node.sourcePath);
  return source;
}

}  // namespace

void openSurveyNode(DirNode& node, const DirNode& parent, const std::string& name, bool followed) {
  UniqueFd source = openSourceChild(node, parent, name, followed);
  UniqueFd destination;
  if (parent.hasDestination) {
    destination = UniqueFd(::openat(parent.destinationFd(), name.c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!destination.valid() && (errno == ENOTDIR || errno == ELOOP))
    throwNumber(err::kFileExists, node.destinationPath);  // a file or link in its place
  node.hasDestination =
      destination.valid() && ::fstat(destination.get(), &node.destinationStat) == 0;
  if (!node.hasDestination) destination.reset();
  // Nothing there: the copy would make the folder, so it holds nothing to compare.
  node.fresh = !node.hasDestination;
  node.run = parent.run;
  node.volume = parent.volume;
  if (node.hasDestination && node.destinationStat.st_dev != parent.destinationStat.st_dev)
    node.volume = &node.run->volume(node.destinationStat.st_dev, destination.get());
  node.run->folders().add(node, std::move(source), std::move(destination), false);
}

const DirNode& nearestDestination(const DirNode& node) {
  const DirNode* at = &node;
  while (!at->hasDestination && at->parent) at = at->parent;
  return *at;
}

void openSurveyTop(DirNode& own, const DirNode& top) {
  own.run = top.run;
  own.sourcePath = top.sourcePath;
  own.destinationPath = top.destinationPath;
  own.sourceStat = top.sourceStat;
  own.destinationStat = top.destinationStat;
  own.fresh = top.fresh;
  own.volume = top.volume;
  // A description of its own: it is listed while the copy lists the top folder too.
  UniqueFd source(::openat(top.sourceFd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!source.valid()) throwCopyError(errno, own.sourcePath);
  UniqueFd destination(::fcntl(top.destinationFd(), F_DUPFD_CLOEXEC, 0));
  if (!destination.valid()) throwCopyError(errno, own.destinationPath);
  own.run->folders().add(own, std::move(source), std::move(destination), true);
}

void openChildNode(DirNode& node, const DirNode& parent, const std::string& name, bool followed,
                   const std::function<void()>& beforeMaking) {
  UniqueFd source = openSourceChild(node, parent, name, followed);
  UniqueFd destination = openDestinationFolder(node, parent.destinationFd(), name.c_str(),
                                               O_NOFOLLOW, parent.destinationFd(), beforeMaking);
  node.run = parent.run;
  learnDestination(node, destination.get());
  // Two source folders whose names the destination takes for one are never merged.
  if (node.destinationStat.st_dev == parent.destinationStat.st_dev)
    parent.claim(node.destinationStat, name);
  node.run->folders().add(node, std::move(source), std::move(destination), false);
}

}  // namespace qm::posix
