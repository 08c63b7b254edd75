// The last run's files by their paths' keys: in memory, or beyond a million in scratch files.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace qm::copy {

// The last run's line of a file, as the copy's decisions need it: its text stays in the
// record, which the new record takes it from where the file is left as it was. Sixteen
// bytes a file: the key of its path, and its stamps as one number of them
// (RunRecord::stampsOf), which equals another only where both stamps do (but for one chance
// in 2^59); the number's top bits hold what this run made of the file.
class KnownFile {
 public:
  KnownFile() = default;
  KnownFile(std::uint64_t key, std::uint64_t stamps, bool verified)
      : key_(key), bits_((stamps & kStamps) | (verified ? kVerified : 0)) {}

  std::uint64_t key() const { return key_; }
  // Whether `stamps` (RunRecord::stampsOf) are those of the line.
  bool sameStamps(std::uint64_t stamps) const { return (bits_ & kStamps) == (stamps & kStamps); }
  // A read-back passed the copy once.
  bool verified() const { return (bits_ & kVerified) != 0; }
  // Left as it was by this run: its line goes on as it is.
  bool kept() const { return (bits_ & kKept) != 0; }
  void setKept(bool kept) { bits_ = kept ? bits_ | kKept : bits_ & ~kKept; }
  // Kept, and chosen to be read back again by this run (picked: by the choice under way).
  bool chosen() const { return (bits_ & kChosen) != 0; }
  bool picked() const { return (bits_ & kPicked) != 0; }
  void choose() { bits_ |= kChosen | kPicked; }
  void unpick() { bits_ &= ~kPicked; }
  // This run gave the file a line of its own.
  bool given() const { return (bits_ & kGiven) != 0; }
  void setGiven(bool given) { bits_ = given ? bits_ | kGiven : bits_ & ~kGiven; }
  // Takes what this run made of the file from `other`, the same file; its key stays as it
  // is, so that a lookup of another file may read it meanwhile.
  void takeFlags(const KnownFile& other) { bits_ = other.bits_; }

  // The stamps' number and whether a read-back passed, as a record's index keeps them:
  // without what this run made of the file.
  std::uint64_t indexBits() const { return bits_ & (kStamps | kVerified); }
  static KnownFile fromIndex(std::uint64_t key, std::uint64_t bits) {
    KnownFile file;
    file.key_ = key;
    file.bits_ = bits & (kStamps | kVerified);
    return file;
  }

 private:
  static constexpr std::uint64_t kKept = std::uint64_t{1} << 63;
  static constexpr std::uint64_t kChosen = std::uint64_t{1} << 62;
  static constexpr std::uint64_t kPicked = std::uint64_t{1} << 61;
  static constexpr std::uint64_t kVerified = std::uint64_t{1} << 60;
  static constexpr std::uint64_t kGiven = std::uint64_t{1} << 59;
  static constexpr std::uint64_t kStamps = kGiven - 1;

  std::uint64_t key_ = 0;   // of its path (see RunRecord)
  std::uint64_t bits_ = 0;  // its stamps' number below the flags
};

// A bit for each file, in the order of their places; set and cleared from any thread.
class FileBits {
 public:
  void assign(std::uint64_t files);
  bool operator[](std::uint64_t at) const {
    return (words_[at / 64].load(std::memory_order_relaxed) >> (at % 64)) & 1;
  }
  void set(std::uint64_t at, bool value);
  // Whether the first `files` bits are all set.
  bool all(std::uint64_t files) const;

 private:
  std::unique_ptr<std::atomic<std::uint64_t>[]> words_;
};

// A copy of a file as the index holds it, and where: changes to it go back with
// OldIndex::setKept(), setGiven() or store().
struct OldLine {
  KnownFile file;
  std::uint64_t at = 0;
};

// The old record's files, added in any order, then sorted by key once. Up to `heldFiles`
// stay in memory, sorted in place; more are sorted in runs of that many, each put in a
// scratch file, then merged into another, where a lookup reads the few neighbours of its
// key. Memory then holds under three bits a file: where each 64 files begin, and which files
// were kept and which given a new line (a bit each, so that keeping a file, as most files
// are, costs no write). Where no scratch file can be made, all stay in memory.
class OldIndex {
 public:
  // A million files, 16 MiB, are held in memory.
  static constexpr std::size_t kHeldFiles = std::size_t{1} << 20;
  explicit OldIndex(std::size_t heldFiles = kHeldFiles);
  ~OldIndex();
  OldIndex(const OldIndex&) = delete;
  OldIndex& operator=(const OldIndex&) = delete;

  // Takes room for `files` at once, as many as are held in memory, so that it is not moved
  // as it grows; the bytes that takes.
  std::size_t reserve(std::size_t files);
  // Both throw where a scratch file cannot be made, written or read back.
  void add(const KnownFile& file);
  void sort();
  // Forgets every file.
  void clear();
  bool empty() const { return count_ == 0; }

  // The file of `key`, where there is one; from any thread once sorted.
  std::optional<OldLine> find(std::uint64_t key) const;
  // Starts bringing the neighbours of `key` into the cache, where they are in memory.
  void prefetch(std::uint64_t key) const;
  // Keeps whether a file found was kept, or given a new line; from any thread, each file
  // from one.
  void setKept(const OldLine& line, bool kept);
  void setGiven(const OldLine& line);
  // Keeps the flags of a file found; each file from one thread.
  void store(const OldLine& line);
  // Whether this run left every file as it was.
  bool allKept() const;
  // Whether all files are held in memory, and each of them there, in the order of keys.
  bool inMemory() const { return runs_ == nullptr && sorted_ == nullptr; }
  std::uint64_t count() const { return count_; }
  template <typename Visit>
  void eachHeld(Visit visit) const {
    for (const KnownFile& file : held_) visit(file);
  }

 private:
  // Which value of the top key bits `key` has: where starts_ says its neighbours begin.
  std::size_t bucketOf(std::uint64_t key) const;
  // Sorts held_ and moves it to the scratch file as one run.
  void spill();
  // Merges the runs into the sorted scratch file, and where each bucket of it begins.
  void merge();
  std::optional<OldLine> findInScratch(std::uint64_t key) const;

  const std::size_t heldFiles_;
  std::uint64_t count_ = 0;
  // All files where they are held in memory; else those of the run under way.
  std::vector<KnownFile> held_;
  // Where the keys of each value of their top bits begin, and where the last ends.
  std::vector<std::uint32_t> starts_;
  unsigned startBits_ = 0;
  bool spilling_ = true;       // false where no scratch file could be made: all stay in memory
  std::FILE* runs_ = nullptr;  // the sorted runs, one after another
  std::vector<std::uint64_t> runStarts_;  // the first file of each run, and the end
  std::FILE* sorted_ = nullptr;           // all files, sorted by key, once merged
  // Which files of sorted_ were kept, and which given a new line.
  FileBits kept_, given_;
};

}  // namespace qm::copy
