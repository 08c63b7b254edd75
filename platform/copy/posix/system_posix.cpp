// The POSIX primitives of the folder copy, over descriptors of open folders.
#include "system.h"

#include <fcntl.h>
#include <unistd.h>

#include "file_copy.h"
#include "fuse_store.h"
#include "limits.h"
#include "metadata.h"
#include "read_back_file.h"
#include "copy_errors.h"
#include "medium.h"

namespace qm::posix {

namespace {

// Folders kept open between uses. Enough for the folders a walk and its workers touch at
// once in ordinary trees; deeper ones are closed and reopened when needed again.
constexpr size_t kOpenFolderBudget = 64;

}  // namespace

CopySystem::CopySystem(const CopyOptions& options)
    : dataSteps(qm::dataSteps(options.data)),
      mayReplace(replacesExisting(options.existing)),
      uid(::geteuid()),
      gid(::getegid()),
      umask(currentUmask()),
      options_(options),
      folders_(kOpenFolderBudget) {}

const VolumeRules& CopySystem::volume(dev_t device, int dirFd) {
  std::lock_guard lock(mutex_);
  auto& rules = volumes_[device];
  if (!rules)
    rules = std::make_unique<VolumeRules>(probeVolume(dirFd, options_.links == Links::ByVolume));
  return *rules;
}

void CopySystem::keepTop(const DirNode& top) {
  flushFd_ = UniqueFd(::fcntl(top.destinationFd(), F_DUPFD_CLOEXEC, 0));
  if (!flushFd_.valid()) throwCopyError(errno, top.destinationPath);
  sourceTop_ = top.sourcePath;
  destinationTop_ = top.destinationPath;
  sourceNumbers_ = keepsFileNumbers(top.sourceFd());
  destinationNumbers_ = keepsFileNumbers(top.destinationFd());
  const Medium medium = mediumOf(top.destinationFd());
  stampsOpenCopies =
      destinationNumbers_ && (medium == Medium::Solid || medium == Medium::Rotational);
}

void CopySystem::list(DirNode& dir, bool measure, const EmitEntry& emit) {
  listFolder(dir, measure, followsLink(options_.links, dir.volume->keepsLinks, true), emit);
}

void CopySystem::openChild(DirNode& child, const DirNode& parent, Entry& folder,
                           const std::function<void()>& beforeMaking) {
  openChildNode(child, parent, folder.name, folder.followed, beforeMaking);
}

// An open destination folder costs nothing to look into later: `list` makes no difference.
void CopySystem::openSurveyChild(DirNode& child, const DirNode& parent, Entry& folder) {
  openSurveyNode(child, parent, folder.name, folder.followed);
}

copy::VolumeLimits CopySystem::limits(DirNode& top) {
  return volumeLimits(top.destinationFd());
}

void CopySystem::discardTop(DirNode& top) {
  if (top.fresh) ::rmdir(top.destinationPath.c_str());  // where it fails, an empty folder stays
}

bool CopySystem::madeTop(const DirNode& top) {
  return top.fresh;
}

bool CopySystem::takesName(DirNode& top, std::string_view name) {
  const FolderLease lease(top);
  return posix::takesName(top.destinationFd(), name);
}

copy::NameFolding CopySystem::namesFold(DirNode& dir) {
  auto& nearest = const_cast<DirNode&>(nearestDestination(dir));
  const FolderLease lease(nearest);
  return posix::namesFold(nearest.destinationFd());
}

// Only where the volume takes two names for one can two source entries meet one entry.
void CopySystem::claim(const DirNode& dir, const Entry& entry, const struct stat& existing) {
  if (dir.volume->names.any()) dir.claim(existing, entry.name);
}

std::optional<struct stat> CopySystem::existing(const DirNode& dir, const Entry& entry) {
  return existingTarget(dir, entry.name);
}

bool CopySystem::unchanged(const DirNode& dir, Entry& entry, const struct stat& existing) {
  return unchangedTarget(dir, entry, existing);
}

std::uint64_t CopySystem::listedSize(const Entry& entry) {
  return entry.statted && S_ISREG(entry.st.st_mode) ? static_cast<std::uint64_t>(entry.st.st_size)
                                                    : 0;
}

DataRing* CopySystem::ring(unsigned worker) {
  if (!dataSteps.ring || worker >= rings_.size()) return nullptr;
  std::unique_ptr<DataRing>& ring = rings_[worker];
  if (ring || !ringPossible.load(std::memory_order_relaxed)) return ring.get();
  int error = 0;
  ring = DataRing::open(error);
  if (!ring) ringPossible.store(false, std::memory_order_relaxed);
  return ring.get();
}

void CopySystem::write(DirNode& dir, Entry& entry, const struct stat* existing,
                       copy::FileProgress& progress, unsigned worker) {
  // A new entry where the volume takes names for one: a later name it takes for this one
  // meets this one's claim, never its copy unclaimed.
  if (!existing && dir.volume->names.any()) dir.claimName(entry.name);
  writeEntry(dir, entry, existing, progress, ring(worker));
}

void CopySystem::finishFolder(DirNode& dir) {
  posix::finishFolder(dir);
}

std::string CopySystem::destinationOf(const DirNode& dir, const Entry* entry) const {
  return entry ? dir.destinationChild(entry->name) : dir.destinationPath;
}

// The volume, then the device a FUSE driver wrote it to: the driver's writes wait in the
// device's own pages, which flushing the volume leaves for the system to write back later.
void CopySystem::flush() {
  if (!flushFd_.valid()) return;
  if (::syncfs(flushFd_.get()) != 0) throwCopyError(errno, destinationTop_);
  const std::string store = fuseBackingStore(flushFd_.get());
  if (store.empty()) return;
  const UniqueFd fd(::open(store.c_str(), O_RDONLY | O_CLOEXEC));
  // A device this process may not open is left to the system; the read-back then reads
  // past the files' pages and the driver's cache only.
  if (fd.valid() && ::fsync(fd.get()) != 0) throwCopyError(errno, destinationTop_);
}

bool CopySystem::isRiskyMedium(DirNode& top) {
  return posix::isRiskyMedium(top.destinationFd());
}

Medium CopySystem::medium(DirNode& top) {
  return posix::mediumOf(top.destinationFd());
}

// Nothing where it is gone already.
copy::FileStamp CopySystem::writtenStamp(const DirNode& dir, const Entry& entry) const {
  if (entry.copyStamped) return numbered(entry.copyStamp, destinationNumbers_);
  struct stat st {};
  if (::fstatat(dir.destinationFd(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
  return numbered(posix::stampOf(st), destinationNumbers_);
}

copy::FileStamp CopySystem::stampOf(const Entry& entry) const {
  return entry.statted ? numbered(posix::stampOf(entry.st), sourceNumbers_) : copy::FileStamp{};
}

void CopySystem::beforeReadBack() {
  dropDeviceCache(fuseBackingStore(flushFd_.get()));
}

copy::ReadBackResult CopySystem::readBack(const copy::WrittenFile& file, copy::ReadBuffers& buffers,
                                          const copy::BytesRead& read) {
  return readBackFile(sourceTop_ + "/" + file.relative, destinationTop_ + "/" + file.relative,
                      file.stamp, buffers, read);
}

void CopySystem::spoil(const copy::WrittenFile& file) {
  spoilFile(destinationTop_ + "/" + file.relative);
}

}  // namespace qm::posix
