// The POSIX primitives of the folder copy: what the copy pipeline asks of this system.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "copy/file_progress.h"
#include "copy/options.h"
#include "copy/pipeline.h"
#include "copy/run_record.h"
#include "folder_node.h"
#include "listing.h"
#include "read_back_file.h"
#include "ring.h"
#include "os/posix/unique_fd.h"
#include "volume.h"

namespace qm::posix {

// One copy's state on this system, and the primitives the pipeline runs it with (see
// copy/primitives.h): folders held by descriptors under a budget, entries opened relative
// to them without following links, metadata as far as each volume holds it.
class CopySystem {
 public:
  using Folder = DirNode;
  using Entry = posix::Entry;
  using Existing = struct stat;
  using Lease = FolderLease;

  explicit CopySystem(const CopyOptions& options);

  // What the destination volume `device` keeps, probed in its open folder `dirFd` the
  // first time the copy meets the volume.
  const VolumeRules& volume(dev_t device, int dirFd);
  OpenFolders& folders() { return folders_; }
  // Keeps the top folder's paths for the read-back, and its open destination folder to
  // flush its file system at the end.
  void keepTop(const DirNode& top);

  // The pipeline's primitives.
  void useWorkers(unsigned count) { rings_.resize(count); }
  void list(DirNode& dir, bool measure, const EmitEntry& emit);
  void openChild(DirNode& child, const DirNode& parent, Entry& folder,
                 const std::function<void()>& beforeMaking);
  static void openSurveyTop(DirNode& own, const DirNode& top) { posix::openSurveyTop(own, top); }
  void openSurveyChild(DirNode& child, const DirNode& parent, Entry& folder);
  static std::vector<std::string> destinationFolders(DirNode& dir) {
    return posix::destinationFolders(dir);
  }
  static const std::string& nameOf(const Entry& entry) { return entry.name; }
  static void pack(const Entry& entry, std::string& bytes) { packEntry(entry, bytes); }
  static Entry unpack(std::string_view& packed) { return unpackEntry(packed); }
  copy::VolumeLimits limits(DirNode& top);
  copy::NameFolding namesFold(DirNode& dir);
  static bool takesName(DirNode& top, std::string_view name);
  static void discardTop(DirNode& top);
  static bool madeTop(const DirNode& top);
  static copy::LeftOut leftOutReason(const Entry& entry) { return entry.leftOut; }
  static std::uint64_t existingSize(const struct stat& st) {
    return static_cast<std::uint64_t>(st.st_size);
  }
  std::optional<struct stat> existing(const DirNode& dir, const Entry& entry);
  static void claim(const DirNode& dir, const Entry& entry, const struct stat& existing);
  bool unchanged(const DirNode& dir, Entry& entry, const struct stat& existing);
  static std::uint64_t listedSize(const Entry& entry);
  static std::uint64_t listedAllocation(const Entry& entry) {
    return entry.statted ? static_cast<std::uint64_t>(entry.st.st_blocks) * 512 : listedSize(entry);
  }
  static bool hasDestination(const DirNode& dir) { return dir.hasDestination; }
  void write(DirNode& dir, Entry& entry, const struct stat* existing, copy::FileProgress& progress,
             unsigned worker);
  copy::FileStamp existingStamp(const struct stat& st) const {
    return numbered(posix::stampOf(st), destinationNumbers_);
  }
  // The copy as the next run's existing() will find it.
  copy::FileStamp writtenStamp(const DirNode& dir, const Entry& entry) const;
  void finishFolder(DirNode& dir);
  std::string destinationOf(const DirNode& dir, const Entry* entry) const;
  void flush();
  bool isRiskyMedium(DirNode& top);
  Medium medium(DirNode& top);
  copy::FileStamp stampOf(const Entry& entry) const;
  void beforeReadBack();
  copy::ReadBackResult readBack(const copy::WrittenFile& file, copy::ReadBuffers& buffers,
                                const copy::BytesRead& read);
  void spoil(const copy::WrittenFile& file);
  copy::RecordJob recordJob() const { return copy::recordJobOf(sourceTop_, destinationTop_); }
  bool readRecord(const copy::LineSink& piece) const {
    return copy::readRecordFile(copy::recordPathOf(destinationTop_), piece);
  }
  void writeRecord(const std::function<void(const copy::LineSink&)>& produce) const {
    copy::writeRecordFile(copy::recordPathOf(destinationTop_), produce);
  }

  // How file data may move in this copy.
  const DataSteps dataSteps;
  // Whether an entry already at the destination may be replaced (replacesExisting).
  const bool mayReplace;
  // Cleared once the destination file system has shown it cannot share blocks.
  std::atomic<bool> reflinkPossible{true};
  // Cleared once copy_file_range has shown it cannot copy here (no such call, or no
  // progress where reading finds data).
  std::atomic<bool> copyRangePossible{true};
  // Cleared once the kernel has refused this process an io_uring (none, a sandbox's
  // refusal, too old for the requests), so that no other worker asks again.
  std::atomic<bool> ringPossible{true};
  // The owner and group that new files get by default.
  const uid_t uid;
  const gid_t gid;
  // What the process's umask takes from new entries (currentUmask).
  const mode_t umask;
  // Whether a new copy's stamp may be read from the open file before it is closed, one
  // lookup by name less per file: on the local disks whose file numbers last, where
  // closing a file changes nothing of its status. A network or FUSE volume may set its
  // times when the file is closed.
  bool stampsOpenCopies = false;

 private:
  const CopyOptions& options_;
  // Each worker's ring, made when its first small file comes.
  std::vector<std::unique_ptr<DataRing>> rings_;
  std::mutex mutex_;
  std::map<dev_t, std::unique_ptr<VolumeRules>> volumes_;
  OpenFolders folders_;
  UniqueFd flushFd_;
  std::string sourceTop_, destinationTop_;
  // Whether the stamps hold the files' numbers (keepsFileNumbers), by the top folders.
  bool sourceNumbers_ = true, destinationNumbers_ = true;

  DataRing* ring(unsigned worker);
  static copy::FileStamp numbered(copy::FileStamp stamp, bool kept) {
    if (!kept) stamp.identity = 0;
    return stamp;
  }
};
static_assert(copy::SystemPrimitives<CopySystem>);

}  // namespace qm::posix
