// The folders of a copy: a source folder with its destination, and the budget of open ones.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "os/posix/unique_fd.h"
#include "volume.h"

namespace qm::posix {

class CopySystem;

// A source folder being copied and its destination folder. While a FolderLease is held,
// both are open for *at() calls. Between leases they may be closed, so that the number of
// open descriptors stays bounded however deep the tree is; they are then reopened by
// their path below the copy's top folders and recognised by device and inode. The copy
// pipeline keeps the node above alive for as long as this one is.
struct DirNode {
  const DirNode* parent = nullptr;
  CopySystem* run = nullptr;
  std::string relative;  // path below the top folders; empty for the top
  std::string sourcePath;
  std::string destinationPath;
  struct stat sourceStat {};
  // The destination folder as opened: device and inode, owner, and the set-group-ID bit
  // that gives new entries its group.
  struct stat destinationStat {};
  bool fresh = false;     // created by this copy, so it holds no older entries
  bool followed = false;  // reached through a link in the source that the copy follows
  // Its destination folder is open (always, but in the check before the copy, which opens
  // only the destination folders that exist).
  bool hasDestination = true;
  const VolumeRules* volume = nullptr;

  DirNode() = default;
  DirNode(const DirNode&) = delete;
  DirNode& operator=(const DirNode&) = delete;
  ~DirNode();

  std::string sourceChild(std::string_view name) const;
  std::string destinationChild(std::string_view name) const;
  // Whether new entries inherit a default ACL of the destination folder. Asked of the
  // folder only when the copy first needs it (a re-copy that writes nothing never does);
  // under a FolderLease.
  bool inheritsAcl() const;
  void setInheritsAcl(bool inherits) { inheritsAcl_ = inherits ? 1 : 0; }
  // Records that the destination entry `there` of this folder belongs to the source entry
  // `name`; where another source entry has it already, the destination takes the two
  // names for one: a ClashError naming both. The entry is known by its inode where the
  // volume keeps one per entry; FUSE drivers give one per name looked up, so there it is
  // known by its name as the volume folds it (VolumeRules::names). Safe from several
  // workers at once.
  void claim(const struct stat& there, const std::string& name) const;
  // Records that the source entry `name` is about to be written where nothing was, so that
  // a later source name the volume takes for it clashes instead of replacing its copy.
  void claimName(const std::string& name) const;
  // The open folders; valid only while a FolderLease on the node is held.
  int sourceFd() const { return source_.get(); }
  int destinationFd() const { return destination_.get(); }

 private:
  friend class OpenFolders;
  UniqueFd source_;
  UniqueFd destination_;
  unsigned leases_ = 0;
  bool counted_ = false;  // its folders are open and counted against the budget
  bool pinned_ = false;   // the top: never closed before it is finished
  bool idle_ = false;
  std::list<DirNode*>::iterator idlePosition_;
  void claimNameLocked(const std::string& name) const;
  mutable std::atomic<signed char> inheritsAcl_{-1};  // -1: not asked yet
  mutable std::mutex claimsMutex_;
  mutable std::unordered_map<ino_t, std::string> claims_;  // destination entry, source name
  mutable std::unordered_map<std::uint64_t, std::string> claimedNames_;  // by copy::nameKey
};

// The folders a copy holds open. Folders nobody leases stay open for reuse until more
// than `budget` are open; then the longest unused are closed.
class OpenFolders {
 public:
  explicit OpenFolders(size_t budget) : budget_(budget) {}
  // Takes `node`'s just opened folders into the count; the top is `pinned`.
  void add(DirNode& node, UniqueFd source, UniqueFd destination, bool pinned);
  // Opens `node`'s folders again if they were closed. Throws RuntimeError: 53 when the
  // source folder is gone or was replaced, 75 when the destination folder was.
  void acquire(DirNode& node);
  void release(DirNode& node) noexcept;
  // Closes a finished node's folders.
  void remove(DirNode& node) noexcept;

 private:
  void reopen(DirNode& node);
  static UniqueFd openDown(const DirNode& node, bool source);
  void trim() noexcept;
  void close(DirNode& node) noexcept;

  const size_t budget_;
  std::mutex mutex_;
  size_t open_ = 0;
  std::list<DirNode*> idle_;
};

// Keeps a node's folders open for as long as it lives.
class FolderLease {
 public:
  explicit FolderLease(DirNode& node);
  ~FolderLease();
  FolderLease(const FolderLease&) = delete;
  FolderLease& operator=(const FolderLease&) = delete;

 private:
  DirNode& node_;
};

// Opens `node` as the top of a copy from the open source folder `source` (described by
// `sourceStat`) into `target`, which is created or opened here. Throws RuntimeError.
void openTopNode(DirNode& node, CopySystem& run, UniqueFd source, const struct stat& sourceStat,
                 const std::string& sourcePath, const std::string& target);

// Opens `node` as the subfolder `name` of `parent` (whose folders the caller holds leased),
// `followed` when `name` is a link to a folder that the copy follows: the destination
// folder is created, or opened when it exists. Throws RuntimeError: SourceError where the
// source folder cannot be opened; LeftOutError for a followed folder that is one of its
// own ancestors or the destination (a cycle); 58 when something other than a folder is in
// the way.
// `beforeMaking` is called before the destination folder is made, and may throw.
void openChildNode(DirNode& node, const DirNode& parent, const std::string& name, bool followed,
                   const std::function<void()>& beforeMaking);

// Opens `own` as the top folder `top` (whose folders are pinned open) again, for the check
// before the copy, which lists it on a thread of its own.
void openSurveyTop(DirNode& own, const DirNode& top);

// Opens `node` as openChildNode does, for the check before the copy: its destination
// folder only where it exists as a folder, with nothing made or changed.
void openSurveyNode(DirNode& node, const DirNode& parent, const std::string& name, bool followed);

// The destination folder nearest to `node` that is open: its own, or one above it.
const DirNode& nearestDestination(const DirNode& node);

}  // namespace qm::posix
