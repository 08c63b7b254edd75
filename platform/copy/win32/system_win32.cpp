// The Win32 primitives of the folder copy, over long paths.
#include "system.h"

#include "errors.h"
#include "limits.h"
#include "read_back_file.h"
#include "copy_errors.h"
#include "os/win32/longpath.h"
#include "os/win32/wide.h"

namespace qm::win32 {

void CopySystem::list(DirNode& dir, bool, const EmitEntry& emit) {
  // The check before the copy listed the top folder already, which closed it.
  if (!dir.listing.valid()) {
    dir.listing = openTarget(dir.source, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
  }
  listNode(dir, emit);  // the listing gives every size: measuring costs nothing more
}

void CopySystem::openSurveyChild(DirNode& child, DirNode& parent, Entry& folder) {
  openSurveyNode(child, parent, folder);
}

std::vector<std::string> CopySystem::destinationFolders(const DirNode& dir) {
  std::vector<std::string> folders;
  if (!dir.hasDestination) return folders;
  for (const auto& [key, there] : dir.existing)
    if (there.isFolder() && !there.isReparsePoint()) folders.push_back(narrow(there.name));
  return folders;
}

std::string CopySystem::nameOf(const Entry& entry) {
  return narrow(entry.name);
}

copy::VolumeLimits CopySystem::limits(DirNode& top) {
  return volumeLimits(top.destination);
}

void CopySystem::discardTop(DirNode& top) {
  if (top.made) RemoveDirectoryW(top.destination.c_str());  // where it fails, an empty folder stays
}

bool CopySystem::madeTop(const DirNode& top) {
  return top.made;
}

copy::NameFolding CopySystem::namesFold(DirNode& dir) {
  return win32::namesFold(nearestDestination(dir).destination);
}

void CopySystem::openChild(DirNode& child, DirNode& parent, Entry& folder,
                           const std::function<void()>& beforeMaking) {
  openChildNode(child, parent, folder, beforeMaking);
}

std::optional<Entry> CopySystem::existing(const DirNode& dir, const Entry& entry) {
  if (!dir.hasDestination) return std::nullopt;
  const Entry* old = dir.find(entry.name);
  if (!old) return std::nullopt;
  // A folder where the copy needs a file: neither a file that exists nor a missing path.
  if (old->isFolder()) throwNumber(err::kPathFileAccess, dir.destination + L"\\" + entry.name);
  return *old;
}

// The copy as the next run's listing will find it; nothing where it cannot be opened.
copy::FileStamp CopySystem::writtenStamp(const DirNode& dir, const Entry& entry) {
  const Handle file = openFollowing(dir.destination + L"\\" + entry.name);
  FileId id;
  Entry now;
  if (!file.valid() || !describe(file.get(), id, now)) return {};
  return win32::stampOf(now);
}

bool CopySystem::unchanged(DirNode& dir, const Entry& entry, const Entry& existing) {
  return isUnchanged(entry, existing, rulesFor(dir));
}

const VolumeRules& CopySystem::rulesFor(DirNode& dir) {
  std::lock_guard lock(mutex_);
  auto it = volumes_.find(dir.volume);
  if (it == volumes_.end()) {
    Handle h = openFollowing(dir.destination, FILE_READ_ATTRIBUTES);
    it = volumes_.emplace(dir.volume, probeVolume(h.get(), dir.destination)).first;
    dir.touched = true;  // the probe came and went
  }
  return it->second;
}

void CopySystem::write(DirNode& dir, Entry& entry, const Entry* existing,
                       copy::FileProgress& progress, unsigned worker) {
  dir.touched = true;
  writeFile(copiers_[worker], dir.source + L"\\" + entry.name, dir.destination,
            dir.destination + L"\\" + entry.name, entry, existing,
            replacesExisting(options_.existing), progress);
}

void CopySystem::finishFolder(DirNode& dir) {
  win32::finishFolder(dir);
}

std::string CopySystem::destinationOf(const DirNode& dir, const Entry* entry) const {
  return narrow(plainPath(entry ? dir.destination + L"\\" + entry->name : dir.destination));
}

bool CopySystem::isRiskyMedium(DirNode& top) {
  return win32::isRiskyMedium(top.destination);
}

Medium CopySystem::medium(DirNode& top) {
  return win32::mediumOf(top.destination);
}

copy::FileStamp CopySystem::stampOf(const Entry& entry) {
  return win32::stampOf(entry);
}

void CopySystem::keepTop(const DirNode& top) {
  sourceTop_ = top.source;
  destinationTop_ = top.destination;
}

copy::ReadBackResult CopySystem::readBack(const copy::WrittenFile& file, copy::ReadBuffers& buffers,
                                          const copy::BytesRead& read) {
  const std::wstring relative = widen(file.relative);
  return readBackFile(sourceTop_ + L"\\" + relative, destinationTop_ + L"\\" + relative, file.stamp,
                      buffers, read);
}

void CopySystem::spoil(const copy::WrittenFile& file) {
  spoilFile(destinationTop_ + L"\\" + widen(file.relative));
}

}  // namespace qm::win32
