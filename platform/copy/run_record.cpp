// What one run knows of the copy's record, and the record it leaves.
#include "copy/run_record.h"

#include <algorithm>

#include "os/paths.h"
#include "os/scratch.h"

namespace qm::copy {

namespace {

// This run's lines held in memory before they go to the scratch file.
constexpr std::size_t kSpillBytes = std::size_t{1} << 20;

}  // namespace

RunRecord::RunRecord(RecordJob job, std::size_t choiceBatch, std::size_t heldFiles)
    : job_(std::move(job)),
      reader_(job_.top),
      choiceBatch_(std::max<std::size_t>(choiceBatch, 1)),
      old_(heldFiles) {}

RunRecord::~RunRecord() {
  if (readingThread_.joinable()) readingThread_.join();
  if (lines_) std::fclose(lines_);
}

void RunRecord::startReading(std::function<bool(const LineSink&)> read,
                             std::function<void(std::size_t)> holding) {
  holding_ = std::move(holding);
  read_ = false;
  readingThread_ = std::thread([this, read = std::move(read)] {
    readOld(read);
    {
      std::lock_guard lock(readMutex_);
      read_.store(true, std::memory_order_release);
    }
    readDone_.notify_all();
  });
}

void RunRecord::readOld(const std::function<bool(const LineSink&)>& read) {
  try {
    const auto take = [this](std::string_view line) { takeOld(line); };
    bool whole = linesOf(read, take);
    if (whole && !endOfOld()) {
      readAgain();
      whole = linesOf(read, take) && endOfOld();
    }
    if (whole) return;
  } catch (...) {
    // Memory or the scratch volume ran out: the copy goes on without the record's help.
  }
  trusted_ = false;
  old_.clear();
}

// Every worker waits here for the first files it decides; all are woken at once when the
// old record is read, not one after another through a lock (each wake-up waits for a
// processor while the check keeps both busy). A flag spares the lock after that.
void RunRecord::waitRead() {
  if (read_.load(std::memory_order_acquire)) return;
  std::unique_lock lock(readMutex_);
  readDone_.wait(lock, [this] { return read_.load(std::memory_order_relaxed); });
}

// Paths by a 64-bit hash: two paths that share one would also need equal stamps, to the
// nanosecond and the file number, before a file was taken for unchanged.
std::uint64_t RunRecord::keyOf(std::string_view relative) {
  return stableHash(relative);
}

std::uint64_t RunRecord::stampsOf(const FileStamp& source, const FileStamp& copy) {
  std::uint64_t hash = 0;
  for (const FileStamp* s : {&source, &copy}) {
    hash = foldHash(hash, s->size);
    hash = foldHash(hash, static_cast<std::uint64_t>(s->modified));
    hash = foldHash(hash, static_cast<std::uint64_t>(s->changed));
    hash = foldHash(hash, s->identity);
  }
  return finishHash(hash);
}

// The header decides how the lines after it are read: a record of another job or machine
// is read no further; one with an index has its lines summed, and its files taken from the
// index; any other has each line parsed.
void RunRecord::takeOld(std::string_view line) {
  if (headerLines_ < kHeaderLines) {
    headerText_.append(line).push_back('\n');
    if (++headerLines_ < kHeaderLines) return;
    oldHeader_ = parseHeader(headerText_);
    headerText_.clear();
    if (oldHeader_ && oldHeader_->job != job_) oldHeader_.reset();
    readIndex_ = oldHeader_ && oldHeader_->indexed && !parseOnly_;
    reserveOld();
    return;
  }
  if (!oldHeader_) return;
  if (inIndex_ || IndexReader::isIndexLine(line)) {
    inIndex_ = true;
    if (readIndex_)
      index_.take(line, [this](const KnownFile& file) { old_.add(file); });
    else
      afterIndex_ = afterIndex_ || !IndexReader::isIndexLine(line);
    return;
  }
  ++oldLines_;
  oldSum_ += lineSum(line);
  oldBytes_ += line.size() + 1;
  if (readIndex_) return;
  if (const RecordedFile* file = reader_.take(line)) addOld(*file);
}

void RunRecord::addOld(const RecordedFile& file) {
  old_.add({keyOf(file.relative), stampsOf(file.source, file.copy), file.verified > 0});
}

void RunRecord::reserveOld() {
  // A header that counts absurdly many files is damaged; its record is not trusted anyway.
  constexpr std::uint64_t kMostReserved = std::uint64_t{1} << 26;
  if (!oldHeader_ || oldHeader_->counts.found > kMostReserved) return;
  const std::size_t bytes = old_.reserve(static_cast<std::size_t>(oldHeader_->counts.found));
  if (holding_) holding_(bytes);
}

bool RunRecord::endOfOld() {
  if (readIndex_ && !index_.matches(oldLines_, oldSum_)) return false;
  if (const RecordedFile* file = reader_.finish()) addOld(*file);
  // The header is parsed once its lines are all read; a shorter record has none.
  trusted_ = oldHeader_ && !reader_.damaged() && !afterIndex_;
  if (!trusted_) {
    old_.clear();
    return true;
  }
  old_.sort();
  return true;
}

void RunRecord::readAgain() {
  headerLines_ = 0;
  oldHeader_.reset();
  parseOnly_ = true;
  reader_ = RecordReader(job_.top);
  index_ = IndexReader();
  inIndex_ = afterIndex_ = false;
  oldLines_ = oldSum_ = oldBytes_ = 0;
  old_.clear();
}

std::uint64_t RunRecord::keyOfPath(std::string_view relative) {
  if (kPathSeparator != '/' && relative.find(kPathSeparator) != std::string_view::npos)
    return keyOf(recordRelative(std::string(relative)));
  return keyOf(relative);
}

std::optional<OldLine> RunRecord::find(LineKey key) {
  waitRead();
  return old_.find(key.value);
}

RunRecord::LineKey RunRecord::prefetch(std::string_view relative) const {
  const LineKey key{keyOfPath(relative)};
  // Only once a lookup has waited for the old record: until then it may still be read.
  if (read_.load(std::memory_order_acquire)) old_.prefetch(key.value);
  return key;
}

void RunRecord::keep(const OldLine& line) {
  old_.setKept(line, true);
}

// The file's place in the new record's index, and its lines' sum, are made here, on the
// workers, not at the end of the run; once the run has given the index up, neither is.
void RunRecord::add(const RecordedFile& file) {
  const std::string text = fileLines(file, job_.top);
  const bool indexing = indexing_.load(std::memory_order_relaxed);
  std::uint64_t lines = 0, sum = 0;
  KnownFile known;
  if (indexing) {
    for (std::string_view rest = text; !rest.empty(); ++lines) {
      const std::size_t end = rest.find('\n');
      sum += lineSum(rest.substr(0, end));
      rest.remove_prefix(end + 1);
    }
    known = KnownFile(keyOf(file.relative), stampsOf(file.source, file.copy), file.verified > 0);
  }
  std::lock_guard lock(mutex_);
  held_ += text;
  newLines_ += lines;
  newSum_ += sum;
  if (indexing && indexing_ && newKnown_.size() < kIndexedFiles) {
    // Room for all at once: no second copy while it grows, and memory is taken only as
    // the files fill it.
    if (newKnown_.empty()) newKnown_.reserve(kIndexedFiles);
    newKnown_.push_back(known);
  } else if (indexing && indexing_) {
    indexing_ = false;
    std::vector<KnownFile>().swap(newKnown_);
  }
  if (held_.size() >= kSpillBytes) spill();
}

void RunRecord::replaced(std::string_view relative) {
  if (const auto known = find(relative)) old_.setKept(*known, false);
}

// The scratch file is made the first time the lines held reach their limit: a run that
// writes few lines (a copy run again over an unchanged tree) makes none.
void RunRecord::spill() {
  if (!spilling_ || held_.empty()) return;
  if (!lines_ && !(lines_ = openScratchFile())) {
    spilling_ = false;  // no scratch file: the lines stay in memory
    return;
  }
  if (std::fwrite(held_.data(), 1, held_.size(), lines_) == held_.size()) {
    held_.clear();
    return;
  }
  spilling_ = false;  // the scratch volume is full: the rest stays in memory
}

void RunRecord::eachNewLine(const LineSink& line) {
  if (lines_) spill();
  if (lines_ && std::fflush(lines_) == 0 && std::fseek(lines_, 0, SEEK_SET) == 0) {
    char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, lines_)) > 0;)
      line(std::string_view(buffer, got));
    std::fseek(lines_, 0, SEEK_END);
  }
  line(held_);
}

bool RunRecord::indexable() const {
  if (!indexing_) return false;
  if (!trusted_) return true;
  return old_.inMemory() && newKnown_.size() + old_.count() <= kIndexedFiles;
}

void RunRecord::produce(const RecordHeader& header, bool complete,
                        const std::function<void(const LineSink&)>& old, const LineSink& out) {
  waitRead();
  std::lock_guard lock(mutex_);
  RecordHeader ours = header;
  ours.indexed = indexable();
  out(headerLines(ours));
  // Where the run did not complete, the old files it gave a line are marked in the index
  // as their lines pass: the old lines of all others go on.
  const bool marking = !complete && trusted_;
  LinesOf given([this](std::string_view line) {
    if (const auto relative = fileLineRelative(line))
      if (const auto known = old_.find(keyOf(*relative))) old_.setGiven(*known);
  });
  eachNewLine([&](std::string_view piece) {
    out(piece);
    if (marking) given(piece);
  });
  given.finish();
  std::uint64_t lines = newLines_, sum = newSum_;
  // The old lines go on as they are: a file's line, and its hash line where it has one.
  // Where every file was left as it was (a copy run again over an unchanged tree), all of
  // them go on, and no line needs to be looked up.
  const bool allOld = trusted_ && complete && old_.allKept();
  // Where this run added no line either, the old index is still true: it goes on too.
  if (allOld && newLines_ == 0 && readIndex_ && ours.indexed) {
    passBody(old, out, UINT64_MAX);
    return;
  }
  if (allOld) {
    passBody(old, out, oldBytes_);
    lines += oldLines_;
    sum += oldSum_;
  } else if (trusted_) {
    passOld(complete, old, out, lines, sum);
  }
  if (!ours.indexed) return;
  IndexWriter index(out);
  for (const KnownFile& file : newKnown_) index.add(file);
  if (trusted_)
    old_.eachHeld([&](const KnownFile& file) {
      if (allOld || (complete ? file.kept() : !file.given())) index.add(file);
    });
  index.finish(lines, sum);
}

// The record read the same lines at the start, so its files come in the same order.
void RunRecord::passOld(bool complete, const std::function<void(const LineSink&)>& old,
                        const LineSink& out, std::uint64_t& lines, std::uint64_t& sum) {
  int skipped = 0;
  bool passing = false;
  LinesOf each([&](std::string_view line) {
    if (skipped < kHeaderLines) {
      ++skipped;
      return;
    }
    if (IndexReader::isIndexLine(line)) {
      passing = false;  // the old index: the new record has its own
      return;
    }
    if (line.starts_with("# file\t")) {
      // Where the run did not complete, the lines of every file it gave none go on.
      const auto relative = fileLineRelative(line);
      const auto known = relative ? old_.find(keyOf(*relative)) : std::nullopt;
      passing = known && (complete ? known->file.kept() : !known->file.given());
    }
    if (!passing) return;
    out(line);
    out("\n");
    ++lines;
    sum += lineSum(line);
  });
  old([&each](std::string_view piece) { each(piece); });
  each.finish();
}

// The body's bytes were counted as it was read: an index that follows them passes only
// where `bytes` takes it in.
void RunRecord::passBody(const std::function<void(const LineSink&)>& old, const LineSink& out,
                         std::uint64_t bytes) {
  int skipped = 0;
  std::uint64_t left = bytes;
  bool ended = true;
  old([&](std::string_view piece) {
    for (std::size_t end; skipped < kHeaderLines && !piece.empty(); ++skipped) {
      if ((end = piece.find('\n')) == std::string_view::npos) return;
      piece.remove_prefix(end + 1);
    }
    if (piece.empty() || left == 0) return;
    piece = piece.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), left)));
    left -= piece.size();
    out(piece);
    ended = piece.back() == '\n';
  });
  if (!ended) out("\n");
}

}  // namespace qm::copy
