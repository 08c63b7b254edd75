// What one run knows of the copy's record: the lines the last run left, and its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "copy/old_index.h"
#include "copy/record.h"
#include "copy/record_index.h"
#include "copy/written_files.h"

namespace qm::copy {

using LineSink = std::function<void(std::string_view)>;

// The old record's lines are taken one by one and kept by file in an index (OldIndex), sorted
// by their paths' keys once all are read; the lines of this run gather in a scratch file as
// they come, so that memory holds neither record's text. A record of up to kIndexedFiles
// files ends with an index of them (record_index.h): the next run reads that, and only sums
// the lines, where a record without one has each line parsed.
class RunRecord {
 public:
  // The old copies that may be chosen to be read back again are weighed `choiceBatch` at a
  // time, each batch read from the old record again.
  static constexpr std::size_t kChoiceBatch = std::size_t{1} << 16;
  // The most files a record's index holds: this run keeps 16 bytes of each file it gives a
  // line until the end, 4 MiB at most.
  static constexpr std::size_t kIndexedFiles = std::size_t{1} << 18;
  explicit RunRecord(RecordJob job, std::size_t choiceBatch = kChoiceBatch,
                     std::size_t heldFiles = OldIndex::kHeldFiles);
  ~RunRecord();
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  // Reads the old record on a thread of its own, while the copy walks the tree: `read`
  // calls its argument with the record's bytes in pieces, and returns false where there is no
  // record or it cannot be read to its end. A record of another job or machine, or damaged
  // anywhere, is not trusted, and none of it is kept. `holding`, where given, is told on
  // that thread how many bytes the old record's files will hold until the run ends, before
  // they are taken.
  void startReading(std::function<bool(const LineSink&)> read,
                    std::function<void(std::size_t bytes)> holding = {});
  // Whether the old record is trusted; waits until it is read.
  bool trusted() {
    waitRead();
    return trusted_;
  }

  // Where a file's line is looked up: the key of its path.
  struct LineKey {
    std::uint64_t value;
  };
  // The old record's line of a file, by its path below the top (with "/" or the system's
  // separator between folders), or by its key: a copy of what the index holds, whose changes
  // go back through keep(); none where it has none. Waits until the old record is read.
  std::optional<OldLine> find(std::string_view relative) {
    return find(LineKey{keyOfPath(relative)});
  }
  std::optional<OldLine> find(LineKey key);
  // The key of `relative`; starts bringing its line into the cache where the old record is
  // read: find() after the next system call then meets it there, not in another core's
  // memory.
  LineKey prefetch(std::string_view relative) const;

  // A file left as it was, whose old line goes into the new record as it is; from any
  // thread, each file from one.
  void keep(const OldLine& line);
  // A new line of this run; from any thread.
  void add(const RecordedFile& file);

  // Chooses, of the files kept as they were that a read-back passed before and that were
  // not chosen yet, those passed longest ago, one by one while `fits` (given each one's
  // size) says there is time for it, and adds them to `into` with their paths (the
  // system's separators) and stamps, in the old record's order.
  // `old` calls its argument with the old record's bytes again, in pieces: the times and
  // sizes are read from there, a batch of the files next in turn at a time.
  void chooseOldCopies(const std::function<bool(std::uint64_t size)>& fits,
                       const std::function<void(const LineSink&)>& old, WrittenFiles& into);
  // A file kept as it was has a new line of this run (it was read back again), or has
  // none any more (its copy no longer matched): its old line does not go on.
  void replaced(std::string_view relative);

  // Hands `out` the new record: `header`, this run's lines, and the old record's lines of
  // the files kept as they were; where `complete` is false, the old record's lines of
  // every file this run gave no new line. `old` calls its argument with the old record's
  // bytes again, in pieces.
  void produce(const RecordHeader& header, bool complete,
               const std::function<void(const LineSink&)>& old, const LineSink& out);

  const RecordJob& job() const { return job_; }

  // The number of these two stamps that a KnownFile holds.
  static std::uint64_t stampsOf(const FileStamp& source, const FileStamp& copy);

 private:
  // The header's lines before the first file's.
  static constexpr int kHeaderLines = 4;

  static std::uint64_t keyOf(std::string_view relative);
  // The key of a path with the system's separators.
  static std::uint64_t keyOfPath(std::string_view relative);
  // Calls `visit` with each file of the old record, as `old` reads it again.
  void eachOldFile(const std::function<void(const LineSink&)>& old,
                   const std::function<void(const RecordedFile&)>& visit) const;
  // Chooses the next batch of old copies while they fit; false once one does not fit or
  // none is left.
  bool chooseBatch(const std::function<bool(std::uint64_t size)>& fits,
                   const std::function<void(const LineSink&)>& old, std::size_t& chosen);
  void takeOld(std::string_view line);
  // Keeps a file of the old record in the index.
  void addOld(const RecordedFile& file);
  // Takes room in the index for the files the old header counts, once it is complete.
  void reserveOld();
  // Hands `out` the old record's lines after its header as they are, the first `bytes`.
  static void passBody(const std::function<void(const LineSink&)>& old, const LineSink& out,
                       std::uint64_t bytes);
  // Hands `out` the old record's lines of the files whose lines go on, where not all do.
  void passOld(bool complete, const std::function<void(const LineSink&)>& old, const LineSink& out,
               std::uint64_t& lines, std::uint64_t& sum);
  // Reads the old record on the reading thread.
  void readOld(const std::function<bool(const LineSink&)>& read);
  // Once all is read: false where the record's index does not match its lines, which are
  // then read again and parsed.
  bool endOfOld();
  // Forgets what was read, to read the record again, each line parsed.
  void readAgain();
  // Whether the new record can end with an index. Under the lock.
  bool indexable() const;
  void waitRead();
  // Moves the lines held in memory to the scratch file, where there is one. Under the lock.
  void spill();
  // Calls `line` with each of this run's lines. Under the lock.
  void eachNewLine(const LineSink& line);

  const RecordJob job_;
  std::string headerText_;  // the old header's lines, until all are read
  int headerLines_ = 0;
  std::optional<RecordHeader> oldHeader_;  // parsed once its lines are read
  bool readIndex_ = false;  // the files are taken from the record's index, the lines summed
  bool parseOnly_ = false;  // the index did not match: every line is parsed
  RecordReader reader_;
  IndexReader index_;
  bool inIndex_ = false;     // the index began
  bool afterIndex_ = false;  // a line that is none of the index's came after it
  // The old record's lines after its header and before its index: how many, their sum
  // (record_index.h) and their bytes.
  std::uint64_t oldLines_ = 0, oldSum_ = 0, oldBytes_ = 0;
  bool trusted_ = false;
  const std::size_t choiceBatch_;
  std::function<void(std::size_t)> holding_;
  OldIndex old_;  // sorted by key once the old record is read
  std::thread readingThread_;
  std::mutex readMutex_;
  std::condition_variable readDone_;
  std::atomic<bool> read_{true};  // the old record is read, or none is being read

  std::mutex mutex_;
  std::FILE* lines_ = nullptr;  // this run's lines once they outgrow memory
  bool spilling_ = true;        // false once no scratch file could be made or took no more
  std::string held_;            // this run's lines not in the scratch file
  std::uint64_t newLines_ = 0, newSum_ = 0;  // this run's lines: how many, and their sum
  std::vector<KnownFile> newKnown_;  // this run's files, for the index, while they fit in it
  // False once they do not; read without the lock, set under it.
  std::atomic<bool> indexing_{true};
};

// A path below the top as the record writes it: folders separated by "/".
std::string recordRelative(std::string relative);

// The job of a copy from `source` into the top folder `destination`, on this machine.
RecordJob recordJobOf(std::string source, std::string destination);

// The record of the copy into the top folder `destination`: beside it, named after it,
// hidden (a leading dot, and on Windows the attribute too).
std::string recordPathOf(std::string_view destination);

// Reads the record at `path` a piece at a time; false where there is none or it cannot be
// read to its end.
bool readRecordFile(const std::string& path, const LineSink& piece);

// Cuts text handed in pieces of any length into lines, each without its end.
class LinesOf {
 public:
  explicit LinesOf(LineSink line) : line_(std::move(line)) {}
  void operator()(std::string_view piece);
  // The last line, where the text does not end with a line end.
  void finish();

 private:
  LineSink line_;
  std::string partial_;
};

// Calls `line` with each line of what `read` hands its argument in pieces; what read returns.
bool linesOf(const std::function<bool(const LineSink&)>& read, const LineSink& line);

// Replaces the record at `path` in one step with what `produce` writes; throws
// RuntimeError naming it on failure.
void writeRecordFile(const std::string& path, const std::function<void(const LineSink&)>& produce);

}  // namespace qm::copy
