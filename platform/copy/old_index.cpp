// The old record's files by key, sorted in memory or through scratch files.
#include "copy/old_index.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include "os/scratch.h"

namespace qm::copy {

static_assert(sizeof(KnownFile) == 16 && std::is_trivially_copyable_v<KnownFile>,
              "scratch files hold the files' bytes as they are in memory");

namespace {

constexpr std::uint64_t kFileBytes = sizeof(KnownFile);
// Files read or written in one piece while merging and scanning: 64 KiB.
constexpr std::size_t kPieceFiles = 4096;
// Files about one value of the top key bits in memory, and in the sorted scratch file,
// where a lookup reads them all at once.
constexpr std::size_t kBucketFiles = 16;
constexpr std::size_t kScratchBucketFiles = 64;

// The number of top key bits that gives `files` about `perBucket` files to each value.
unsigned bucketBitsFor(std::uint64_t files, std::size_t perBucket) {
  unsigned bits = 0;
  while (bits < 32 && (std::uint64_t{perBucket} << bits) < files) ++bits;
  return bits;
}

// The value of the `bits` key bits below bit `shift` (counted from the lowest) of `file`.
std::size_t bitsOf(const KnownFile& file, unsigned shift, unsigned bits) {
  return bits == 0 ? 0 : static_cast<std::size_t>((file.key() >> shift) & ((1ULL << bits) - 1));
}

// Moves the files of [first, first + count) in place so that those of each value of their
// key's `bits` bits below bit `shift` come together, in the order of those values; sets
// starts[v] to where the files of value v begin (from `base` on), and starts[2^bits] to the
// end. Each file is swapped straight to its place.
void placeByBits(KnownFile* first, std::size_t count, unsigned shift, unsigned bits,
                 std::uint32_t base, std::uint32_t* starts) {
  const std::size_t values = std::size_t{1} << bits;
  std::fill(starts, starts + values + 1, 0);
  for (std::size_t i = 0; i < count; ++i) ++starts[bitsOf(first[i], shift, bits) + 1];
  starts[0] = base;
  for (std::size_t v = 0; v < values; ++v) starts[v + 1] += starts[v];
  std::vector<std::uint32_t> next(starts, starts + values);
  for (std::size_t v = 0; v < values; ++v) {
    while (next[v] < starts[v + 1]) {
      KnownFile& file = first[next[v] - base];
      const std::size_t own = bitsOf(file, shift, bits);
      if (own == v)
        ++next[v];
      else
        std::swap(file, first[next[own]++ - base]);
    }
  }
}

bool byKey(const KnownFile& a, const KnownFile& b) {
  return a.key() < b.key();
}

// Sorted in place, no second copy of the index however many files: each file is moved
// among those of its key's `bits` top bits (about sixteen files to a value of them, where
// keys spread as hashes do), then each such run sorted. Linear where a sort of the whole
// took a sixth of reading the record, while the copy waits for it. The top bits are placed
// in two rounds of at most 256 values each: a round writes to that many places at once,
// which stay in the cache, where one round over all of a large index's values wrote to
// places spread over all of it. `starts` says where each value's files begin.
void sortInPlace(std::vector<KnownFile>& files, unsigned bits, std::vector<std::uint32_t>& starts) {
  const unsigned high = std::min(bits, 8u), low = bits - high;
  starts.assign((std::size_t{1} << bits) + 1, 0);
  std::vector<std::uint32_t> top((std::size_t{1} << high) + 1);
  placeByBits(files.data(), files.size(), 64 - high, high, 0, top.data());
  for (std::size_t t = 0; t + 1 < top.size(); ++t)
    placeByBits(files.data() + top[t], top[t + 1] - top[t], 64 - bits, low, top[t],
                starts.data() + (t << low));
  for (std::size_t b = 0; b + 1 < starts.size(); ++b)
    std::sort(files.begin() + starts[b], files.begin() + starts[b + 1], byKey);
}

void write(std::FILE* file, std::uint64_t at, const KnownFile* files, std::size_t count) {
  if (!writeScratchAt(file, at * kFileBytes, files, count * kFileBytes))
    throw std::runtime_error("the scratch volume took no more");
}

void read(std::FILE* file, std::uint64_t at, KnownFile* files, std::size_t count) {
  if (!readScratchAt(file, at * kFileBytes, files, count * kFileBytes))
    throw std::runtime_error("a scratch file could not be read");
}

}  // namespace

OldIndex::OldIndex(std::size_t heldFiles) : heldFiles_(std::max<std::size_t>(heldFiles, 1)) {}

OldIndex::~OldIndex() {
  clear();
}

void OldIndex::clear() {
  std::vector<KnownFile>().swap(held_);
  starts_.clear();
  startBits_ = 0;
  runStarts_.clear();
  kept_ = FileBits();
  given_ = FileBits();
  for (std::FILE** file : {&runs_, &sorted_}) {
    if (*file) std::fclose(*file);
    *file = nullptr;
  }
  count_ = 0;
  spilling_ = true;
}

std::size_t OldIndex::reserve(std::size_t files) {
  files = std::min(files, heldFiles_);
  held_.reserve(files);
  return files * sizeof(KnownFile);
}

void OldIndex::add(const KnownFile& file) {
  if (held_.size() >= heldFiles_ && spilling_) spill();
  held_.push_back(file);
  ++count_;
}

void OldIndex::spill() {
  if (!runs_) {
    runs_ = openScratchFile();
    if (!runs_) {
      spilling_ = false;  // all stay in memory, as where the index is small
      return;
    }
    runStarts_.assign(1, 0);
  }
  std::vector<std::uint32_t> starts;
  sortInPlace(held_, bucketBitsFor(held_.size(), kBucketFiles), starts);
  write(runs_, runStarts_.back(), held_.data(), held_.size());
  runStarts_.push_back(runStarts_.back() + held_.size());
  held_.clear();
}

void OldIndex::sort() {
  if (!runs_) {
    startBits_ = bucketBitsFor(held_.size(), kBucketFiles);
    sortInPlace(held_, startBits_, starts_);
    return;
  }
  if (!held_.empty()) spill();
  std::vector<KnownFile>().swap(held_);
  merge();
}

namespace {

// A run being merged: the piece of it in memory, and where the next piece begins.
struct Run {
  std::vector<KnownFile> piece;
  std::size_t at = 0;
  std::uint64_t next, end;
  bool fill(std::FILE* file) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(end - next, kPieceFiles));
    piece.resize(count);
    read(file, next, piece.data(), count);
    next += count;
    at = 0;
    return count > 0;
  }
};

}  // namespace

// Each run is read a piece at a time; the smallest key of those the runs have in memory
// goes next. The buckets are counted on the way.
void OldIndex::merge() {
  if (count_ > 0xFFFFFFFFu) throw std::runtime_error("too many files to index");
  sorted_ = openScratchFile();
  if (!sorted_) throw std::runtime_error("no scratch file");
  std::vector<Run> runs(runStarts_.size() - 1);
  for (std::size_t r = 0; r < runs.size(); ++r) {
    runs[r].next = runStarts_[r];
    runs[r].end = runStarts_[r + 1];
    runs[r].fill(runs_);
  }
  // The runs by their next key, the smallest at the top of the heap.
  const auto later = [&runs](std::size_t a, std::size_t b) {
    return runs[b].piece[runs[b].at].key() < runs[a].piece[runs[a].at].key();
  };
  std::vector<std::size_t> heap;
  for (std::size_t r = 0; r < runs.size(); ++r)
    if (!runs[r].piece.empty()) heap.push_back(r);
  std::make_heap(heap.begin(), heap.end(), later);
  startBits_ = bucketBitsFor(count_, kScratchBucketFiles);
  starts_.assign((std::size_t{1} << startBits_) + 1, 0);
  std::vector<KnownFile> out;
  std::uint64_t written = 0;
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), later);
    Run& run = runs[heap.back()];
    out.push_back(run.piece[run.at]);
    ++starts_[bucketOf(out.back().key()) + 1];
    if (++run.at < run.piece.size() || run.fill(runs_))
      std::push_heap(heap.begin(), heap.end(), later);
    else
      heap.pop_back();
    if (out.size() < kPieceFiles && !heap.empty()) continue;
    write(sorted_, written, out.data(), out.size());
    written += out.size();
    out.clear();
  }
  for (std::size_t b = 0; b + 1 < starts_.size(); ++b) starts_[b + 1] += starts_[b];
  std::fclose(runs_);
  runs_ = nullptr;
  kept_.assign(count_);
  given_.assign(count_);
}

std::size_t OldIndex::bucketOf(std::uint64_t key) const {
  return startBits_ == 0 ? 0 : static_cast<std::size_t>(key >> (64 - startBits_));
}

std::optional<OldLine> OldIndex::find(std::uint64_t key) const {
  if (starts_.empty()) return std::nullopt;
  if (sorted_) return findInScratch(key);
  const std::size_t bucket = bucketOf(key);
  // A few neighbours in a row: read straight through, they take a cache line or two.
  for (std::uint32_t at = starts_[bucket]; at < starts_[bucket + 1]; ++at) {
    if (held_[at].key() < key) continue;
    if (held_[at].key() == key) return OldLine{held_[at], at};
    break;
  }
  return std::nullopt;
}

// A bucket's files are read in one piece, or a few where a bucket is unusually full. A
// file that cannot be read is not found: the copy then judges it by the volume's rules.
std::optional<OldLine> OldIndex::findInScratch(std::uint64_t key) const {
  const std::size_t bucket = bucketOf(key);
  KnownFile piece[256];
  for (std::uint64_t from = starts_[bucket]; from < starts_[bucket + 1];) {
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(starts_[bucket + 1] - from, 256));
    if (!readScratchAt(sorted_, from * kFileBytes, piece, count * kFileBytes)) return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
      if (piece[i].key() < key) continue;
      if (piece[i].key() == key) {
        const std::uint64_t at = from + i;
        piece[i].setKept(kept_[at]);
        piece[i].setGiven(given_[at]);
        return OldLine{piece[i], at};
      }
      return std::nullopt;
    }
    from += count;
  }
  return std::nullopt;
}

void OldIndex::prefetch(std::uint64_t key) const {
  if (!sorted_ && !starts_.empty()) __builtin_prefetch(held_.data() + starts_[bucketOf(key)]);
}

void OldIndex::setKept(const OldLine& line, bool kept) {
  if (!sorted_) {
    held_[line.at].setKept(kept);
    return;
  }
  kept_.set(line.at, kept);
}

void OldIndex::setGiven(const OldLine& line) {
  if (!sorted_)
    held_[line.at].setGiven(true);
  else
    given_.set(line.at, true);
}

// In a scratch file the whole line is written again, its key as it was. Where that fails,
// the file's flags stay as they were: a file then chosen to be read back again is not, and
// is chosen by a later run.
void OldIndex::store(const OldLine& line) {
  if (!sorted_) {
    held_[line.at].takeFlags(line.file);
    return;
  }
  writeScratchAt(sorted_, line.at * kFileBytes, &line.file, kFileBytes);
}

bool OldIndex::allKept() const {
  if (!sorted_)
    return std::all_of(held_.begin(), held_.end(),
                       [](const KnownFile& file) { return file.kept(); });
  return kept_.all(count_);
}

void FileBits::assign(std::uint64_t files) {
  words_ = std::make_unique<std::atomic<std::uint64_t>[]>(static_cast<std::size_t>(files / 64 + 1));
}

void FileBits::set(std::uint64_t at, bool value) {
  const std::uint64_t bit = std::uint64_t{1} << (at % 64);
  if (value)
    words_[at / 64].fetch_or(bit, std::memory_order_relaxed);
  else
    words_[at / 64].fetch_and(~bit, std::memory_order_relaxed);
}

bool FileBits::all(std::uint64_t files) const {
  for (std::uint64_t at = 0; at < files; at += 64) {
    const std::uint64_t count = std::min<std::uint64_t>(files - at, 64);
    const std::uint64_t every = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    if ((words_[at / 64].load(std::memory_order_relaxed) & every) != every) return false;
  }
  return true;
}

}  // namespace qm::copy
