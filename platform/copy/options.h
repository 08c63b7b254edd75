// The policies of a folder copy, gathered in one place: an enum per policy, decided for
// each entry by the functions below, alike on every system.
#pragma once

#include <cstdint>

namespace qm {

struct CopyProgress;

// What becomes of a file that the destination already holds.
enum class ExistingFile {
  Replace,           // always written again
  ReplaceIfChanged,  // left as it is while it still holds the copy of its source (same
                     // size, a modification time equal at the volume's own step and offset,
                     // the same access rights where the volume keeps them, a time that a
                     // copy set rather than a hand edit); written again otherwise
  Refuse,            // the copy stops with 58, whether the file is unchanged or not
};

// What becomes of a symbolic link (on Windows also a junction) inside the source.
enum class Links {
  AsLinks,   // copied as a link; a volume that cannot hold one refuses it
  Follow,    // copied as what it points to: a file's data, a folder's contents
  ByVolume,  // as a link where the destination volume holds links, followed elsewhere
};

// How a file's bytes move from the source to its copy.
enum class DataMethod {
  Auto,      // the fastest the system and the volumes offer, falling back as each refuses
  Ring,      // small files through one submission of queued requests each where the kernel
             // takes them (io_uring on Linux), fewer calls a file; else, and larger files, as
             // Kernel
  Clone,     // the source's blocks shared where the volume can (a reflink), else as Kernel
  Kernel,    // copied inside the kernel (copy_file_range), else as Buffered; never shared
             // blocks, so that damage to one is never damage to both
  Buffered,  // read and written through the copy's own buffer
};

// The ways a file's bytes may move, each tried in this order where the one before cannot
// be used between the two files.
struct DataSteps {
  bool clone = false;
  bool kernel = false;
  // Small files as one queued batch of requests, ahead of the others: the calls that make
  // and finish such a file cost more than its bytes.
  bool ring = false;
  // Buffered always remains, as the last.
  bool operator==(const DataSteps&) const = default;
};

// What each method tries, decided once for every system; a system offers only what it
// has (Windows copies through its own buffer only). Auto leaves the ring out: the kernel
// hands each queued write to a new file on to a worker thread of its own (tmpfs, ext4), and
// the switch to it and back costs a small file more than the calls the ring saves.
constexpr DataSteps dataSteps(DataMethod method) {
  switch (method) {
    case DataMethod::Ring: return {false, true, true};
    case DataMethod::Auto:
    case DataMethod::Clone: return {true, true};
    case DataMethod::Kernel: return {false, true};
    case DataMethod::Buffered: return {false, false};
  }
  return {};
}

// Whether the copy reads what it wrote back from the destination device, past the
// system's cache, and compares it with the source before it reports success.
enum class ReadBack {
  ByMedium,  // where the medium is the risk: removable, network and FUSE volumes, and FAT,
             // exFAT and NTFS ones (on Windows also every removable and network drive)
  Always,
  Never,
};

// The kind of device that holds the destination, as far as the system tells.
enum class Medium {
  Solid,       // solid-state or memory: requests side by side keep it busy
  Network,     // a share: requests side by side hide the round trips
  Rotational,  // a spinning disk: every stream beside another costs it seeks
  Removable,   // a USB stick, card or disk: its controller serves one stream best
  Fuse,        // a driver in user space, which serves one request after the other
};

// Which large files are written, and read back, side by side on the workers.
enum class LargeFiles {
  ByMedium,    // one at a time onto rotational, removable and FUSE media; side by side elsewhere
  SideBySide,  // as many as there are workers
  OneAtATime,
};

// A file of this size or more is large: its time goes on its data more than on the calls
// that make and finish it, and a medium that serves one stream best takes such files
// faster one after the other. Smaller files still go side by side, whose calls overlap.
constexpr std::uint64_t kLargeFileBytes = std::uint64_t{1} << 20;

// Whether a file of `size` bytes is written, or read back, while no other large file is,
// onto a destination on `medium`.
constexpr bool goesAlone(LargeFiles policy, Medium medium, std::uint64_t size) {
  if (size < kLargeFileBytes) return false;
  switch (policy) {
    case LargeFiles::SideBySide: return false;
    case LargeFiles::OneAtATime: return true;
    case LargeFiles::ByMedium: break;
  }
  return medium == Medium::Rotational || medium == Medium::Removable || medium == Medium::Fuse;
}

// What the systems do with links unless told otherwise: Linux copies them as links, as
// its own tools do; Windows follows them, as Explorer does, and follows them whatever the
// option says, because making a link there needs a privilege ordinary users lack.
// Defined by each system's copy engine.
extern const Links kSystemLinks;

// Which of the copies that earlier runs read back and this run leaves as they were it also
// reads back, where it reads back what it wrote; a copy that no longer matches its source
// is written again and read back in the same run.
enum class OldCopies {
  InTurn,  // those read back longest ago first, for at most a quarter of the run's time
  All,     // every one
  None,
};

struct CopyOptions {
  ExistingFile existing = ExistingFile::ReplaceIfChanged;
  Links links = kSystemLinks;
  // Threads copying files at the same time while the folders are walked; 0 picks a
  // count from the number of processors, 1 copies everything on the calling thread.
  unsigned workers = 0;
  // Flush the destination file system once before reporting success, so that a
  // finished copy is on the disk. Windows flushes each file before it replaces anything,
  // so the flush at the end is never needed there.
  bool syncAtEnd = true;
  // How the bytes of each file move (see DataMethod).
  DataMethod data = DataMethod::Auto;
  // Check the whole plan against the destination volume before anything is written
  // (names, case, file sizes, free space). Off only to measure what the check costs.
  bool checkFirst = true;
  // Read the files this run wrote back from the device once they are flushed.
  ReadBack readBack = ReadBack::ByMedium;
  // Keep the copy's record beside it: what decides the next run's unchanged files and what
  // it reads back. Off only to measure what the record costs.
  bool keepRecord = true;
  // Which old copies are read back again (see OldCopies).
  OldCopies oldCopies = OldCopies::InTurn;
  // Which large files go side by side (see LargeFiles).
  LargeFiles largeFiles = LargeFiles::ByMedium;
  // Where the copy counts the files and bytes it found and finished; none when null.
  CopyProgress* progress = nullptr;
};

// What the copy does with one source file whose destination `exists`; `unchanged` is asked
// only where the policy needs it (it reads the destination's status).
enum class FileAction { Write, Keep, Refuse };
template <typename Unchanged>
FileAction decideFile(ExistingFile policy, bool exists, Unchanged unchanged) {
  if (!exists || policy == ExistingFile::Replace) return FileAction::Write;
  if (policy == ExistingFile::Refuse) return FileAction::Refuse;
  return unchanged() ? FileAction::Keep : FileAction::Write;
}

// Whether an entry already under a name at the destination may be replaced there: never
// under Refuse, not even one another program puts there while the copy runs.
constexpr bool replacesExisting(ExistingFile policy) {
  return policy != ExistingFile::Refuse;
}

// Whether a copy onto a destination whose medium `isRisky` reads back what it wrote.
constexpr bool readsBack(ReadBack policy, bool isRisky) {
  return policy == ReadBack::Always || (policy == ReadBack::ByMedium && isRisky);
}

// Whether the copy follows a link, onto a destination volume that `holdsLinks`, on a
// system that `makesLinks`.
constexpr bool followsLink(Links policy, bool holdsLinks, bool makesLinks) {
  if (!makesLinks) return true;
  switch (policy) {
    case Links::AsLinks: return false;
    case Links::Follow: return true;
    case Links::ByVolume: return !holdsLinks;
  }
  return false;
}

}  // namespace qm
