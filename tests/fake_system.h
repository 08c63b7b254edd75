// An in-memory system for the copy pipeline: two trees, a volume's limits, injected faults.
#pragma once

#include <cstdint>
#include <functional>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "copy/file_progress.h"
#include "copy/kept_listings.h"
#include "copy/name_fold.h"
#include "copy/options.h"
#include "copy/plan_check.h"
#include "copy/primitives.h"
#include "copy/read_back.h"
#include "copy/report.h"
#include "copy/run_record.h"
#include "copy/written_files.h"

namespace qm::fake {

// One entry of a tree: a folder, a file with its bytes, a link or FIFO kept as it is, or an
// entry the listing leaves out.
struct Item {
  enum class Kind { Folder, File, Special, LeftOut };
  Kind kind = Kind::File;
  std::string bytes{};
  std::int64_t modified = 0;
  copy::LeftOut reason = copy::LeftOut::NotData;
  // The file's number: every write makes a new file, as the real systems' renames do. Not
  // what a tree is compared by.
  std::uint64_t identity = 0;
  bool operator==(const Item& other) const {
    return kind == other.kind && bytes == other.bytes && modified == other.modified &&
           reason == other.reason;
  }
};

inline Item file(std::string bytes, std::int64_t modified = 1000) {
  return {Item::Kind::File, std::move(bytes), modified};
}
inline Item folder() {
  return {Item::Kind::Folder};
}
inline Item special() {
  return {Item::Kind::Special, "", 0};
}
inline Item leftOut(copy::LeftOut reason) {
  return {Item::Kind::LeftOut, "", 0, reason};
}

// Entries by their path below the top folder, with '/' between names; the folders above
// an entry are added where they are missing.
using Tree = std::map<std::string, Item>;
Tree withParents(Tree tree);

// What the copy does to the fake's entries: faults by the path below the top ('/').
struct Faults {
  std::set<std::string> unreadable;           // write() fails with SourceError 70
  std::set<std::string> vanished;             // gone since listed: SourceError 53
  std::map<std::string, int> changing;        // attempts that find the source changed
  std::set<std::string> refused;              // the destination refuses the write: 70
  std::map<std::string, Item> madeMeanwhile;  // another program makes it just before write()
  std::set<std::string> readsBackWrong;       // the device gives other bytes back
  std::optional<std::uint64_t> spaceLeft;     // what writes take from; unset: volume.freeBytes
  bool takesWideNames = true;                 // takesName() for names beyond ASCII
};

class FakeSystem {
 public:
  // Attempts at reading a source file that changes meanwhile, as the real systems make.
  static constexpr int kReadAttempts = 3;

  struct Folder {
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::string relative;  // of the source, below the top, '/' between names; empty: the top
    std::string there;     // of its destination, which may spell the names otherwise
    bool hasDestination = false;
    bool made = false;  // this copy made the destination folder
    std::mutex claimsMutex;
    std::map<std::string, std::string> claims;  // destination name, the source name that met it
  };
  struct Entry {
    std::string name;
    copy::Listed kind = copy::Listed::File;
    std::uint64_t size = 0;  // where listed with `measure`
    std::int64_t modified = 0;
    copy::LeftOut reason = copy::LeftOut::NotData;
    std::uint64_t identity = 0;
  };
  struct Existing {
    std::string name;  // as the destination holds it (its case may differ)
    Item::Kind kind = Item::Kind::File;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint64_t identity = 0;
  };
  struct Lease {
    explicit Lease(const Folder&) {}
  };
  using Emit = std::function<bool(Entry&&, copy::Listed)>;

  explicit FakeSystem(const CopyOptions& options) : options_(options) {}

  // Set before the run.
  Tree source;
  Tree destination;
  bool destinationTopExists = true;
  copy::VolumeLimits volume;
  copy::NameFolding folding;
  bool riskyMedium = false;
  Medium destinationMedium = Medium::Solid;
  Faults faults;
  // The copy's record beside the top; none where empty. Kept after the run for the next.
  std::optional<std::string> record;
  bool recordRefused = false;  // writeRecord() fails with 70

  // Opens the top folder: makes its destination where it is missing. For Pipeline::run.
  void openTop(Folder& top);

  // Recorded by the run, read once it has ended.
  std::vector<std::string> written;  // in the order the writes completed
  std::set<std::string> spoiled, finished, readBackFiles;
  std::map<std::string, int> attempts;  // writes tried per file
  unsigned workers = 0;
  unsigned mostReplacingAtOnce = 0;
  // Of the files of kLargeFileBytes or more, the most written, and read back, at once.
  unsigned mostLargeWrittenAtOnce = 0, mostLargeReadAtOnce = 0;
  int flushes = 0;
  bool discarded = false;
  // Listings with sizes (the check's, and the walk's beside it), by folder.
  std::map<std::string, int> sizedListings;
  // The bytes of listings the check keeps for the walk (see copy/kept_listings.h).
  std::size_t keptBytes = copy::KeptListings::kByteBudget;
  // How long the check takes to open each folder, so that the walk may get ahead of it.
  std::chrono::milliseconds surveyPause{0};

  // The pipeline's primitives (see copy/primitives.h).
  void useWorkers(unsigned count);
  void list(Folder& dir, bool measure, const Emit& emit);
  void openChild(Folder& child, Folder& parent, Entry& entry,
                 const std::function<void()>& beforeMaking);
  void openSurveyChild(Folder& child, Folder& parent, Entry& entry);
  std::vector<std::string> destinationFolders(Folder& dir);
  static std::string nameOf(const Entry& entry) { return entry.name; }
  static void pack(const Entry& entry, std::string& bytes);
  static Entry unpack(std::string_view& packed);
  copy::VolumeLimits limits(Folder&) const { return volume; }
  copy::NameFolding namesFold(Folder&) const { return folding; }
  static copy::LeftOut leftOutReason(const Entry& entry) { return entry.reason; }
  static bool madeTop(const Folder& top) { return top.made; }
  void discardTop(Folder& top);
  static void openSurveyTop(Folder& own, const Folder& top);
  std::optional<Existing> existing(Folder& dir, Entry& entry);
  void claim(Folder& dir, Entry& entry, const Existing& existing);
  bool unchanged(Folder& dir, Entry& entry, const Existing& existing);
  static std::uint64_t listedSize(const Entry& entry) { return entry.size; }
  static std::uint64_t listedAllocation(const Entry& entry) { return entry.size; }
  bool takesName(Folder&, std::string_view name) const;
  static bool hasDestination(const Folder& dir) { return dir.hasDestination; }
  static std::uint64_t existingSize(const Existing& existing) { return existing.size; }
  void write(Folder& dir, Entry& entry, const Existing* existing, copy::FileProgress& progress,
             unsigned worker);
  void finishFolder(Folder& dir);
  std::string destinationOf(const Folder& dir, const Entry* entry) const;
  void flush();
  bool isRiskyMedium(Folder&) const { return riskyMedium; }
  Medium medium(Folder&) const { return destinationMedium; }
  static copy::FileStamp stampOf(const Entry& entry);
  void beforeReadBack() {}
  copy::ReadBackResult readBack(const copy::WrittenFile& file, copy::ReadBuffers& buffers,
                                const copy::BytesRead& read);
  void spoil(const copy::WrittenFile& file);
  static copy::FileStamp existingStamp(const Existing& existing) {
    return {existing.size, existing.modified, 0, existing.identity};
  }
  copy::FileStamp writtenStamp(Folder& dir, Entry& entry);
  static copy::RecordJob recordJob() { return {"src", "dst", "fake", "dst"}; }
  bool readRecord(const copy::LineSink& piece) const;
  void writeRecord(const std::function<void(const copy::LineSink&)>& produce);

  // The paths the messages name: "src" and "dst" with the system's separator.
  static std::string sourcePath(std::string_view relative);
  static std::string destinationPath(std::string_view relative);

 private:
  // The destination entry that takes `name` in the folder `parent` (the same name, or one
  // the destination folds alike); none where there is none. Under the lock.
  std::optional<std::string> placeOf(const std::string& parent, const std::string& name) const;
  // Whether the source file reads as it was listed on attempt `attempt`; throws where it
  // cannot be read at all. Under the lock.
  bool readsAsListed(const std::string& path, int attempt) const;
  // Where write() puts the file: the destination path, after the checks a real system makes
  // when it creates the entry. Under the lock.
  std::string placeFor(const Folder& dir, const Entry& entry, const Existing* existing);

  const CopyOptions& options_;
  mutable std::mutex mutex_;
  std::optional<std::uint64_t> free_;  // what writes take from, once the top is open
  unsigned replacing_ = 0;
  unsigned largeWriting_ = 0, largeReading_ = 0;
  std::map<std::string, std::string> placed_;  // source path, destination path, as written
  std::uint64_t identities_ = 1000;            // the numbers writes have given
};
static_assert(copy::SystemPrimitives<FakeSystem>);

}  // namespace qm::fake
