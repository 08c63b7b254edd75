// What one run knows of the copy's record: the lines the last run left, and its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "copy/record.h"
#include "copy/written_files.h"

namespace qm::copy {

using LineSink = std::function<void(std::string_view)>;

// The last run's line of a file, as the copy's decisions need it: its text stays in the
// record, which the new record takes it from where the file is left as it was.
// Thirty-two bytes a file: the stamps are kept as one number of them, which equals
// another only where both stamps do (but for one chance in 2^64).
struct KnownFile {
  std::uint64_t key = 0;     // of its path (see RunRecord)
  std::uint64_t stamps = 0;  // of its source's and its copy's stamps (RunRecord::stampsOf)
  std::uint64_t size = 0;    // of its copy
  std::uint32_t verified = 0;
  bool kept = false;    // left as it was by this run: its line goes on as it is
  bool chosen = false;  // kept, and chosen to be read back again by this run
};

// The old record's lines are taken one by one and kept by file, a few dozen bytes each;
// the lines of this run gather in a scratch file as they come, so that memory holds the
// old record's stamps but not the new record's text.
class RunRecord {
 public:
  explicit RunRecord(RecordJob job);
  ~RunRecord();
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  // Reads the old record on a thread of its own, while the copy walks the tree: `read`
  // calls its argument with each line, and returns false where there is no record or it
  // cannot be read to its end. A record of another job or machine, or damaged anywhere,
  // is not trusted, and none of it is kept.
  void startReading(std::function<bool(const LineSink&)> read);
  // Whether the old record is trusted; waits until it is read.
  bool trusted() {
    waitRead();
    return trusted_;
  }

  // The old record's line of a file, by its path below the top (with "/" or the system's
  // separator between folders); null where it has none. Waits until the old record is read.
  KnownFile* find(std::string_view relative);

  // A file left as it was, whose old line goes into the new record as it is; from any
  // thread, each file from one.
  static void keep(KnownFile& file) { file.kept = true; }
  // A new line of this run; from any thread.
  void add(const RecordedFile& file);

  // Chooses, of the files kept as they were that a read-back passed before and that were
  // not chosen yet, those passed longest ago, one by one while `fits` (given each one's
  // size) says there is time for it, and adds them to `into` with their paths (the
  // system's separators) and stamps.
  // `old` calls its argument with the old record's lines again. Memory: an index per
  // file kept.
  void chooseOldCopies(const std::function<bool(std::uint64_t size)>& fits,
                       const std::function<void(const LineSink&)>& old, WrittenFiles& into);
  // A file kept as it was has a new line of this run (it was read back again), or has
  // none any more (its copy no longer matched): its old line does not go on.
  void replaced(std::string_view relative);

  // Hands `out` the new record: `header`, this run's lines, and the old record's lines of
  // the files kept as they were; where `complete` is false, the old record's lines of
  // every file this run gave no new line. `old` calls its argument with the old record's
  // lines again.
  void produce(const RecordHeader& header, bool complete,
               const std::function<void(const LineSink&)>& old, const LineSink& out);

  const RecordJob& job() const { return job_; }

  // What KnownFile::stamps holds for these two stamps.
  static std::uint64_t stampsOf(const FileStamp& source, const FileStamp& copy);

 private:
  static std::uint64_t keyOf(std::string_view relative);
  void takeOld(std::string_view line);
  void endOfOld();
  void waitRead();
  // Moves the lines held in memory to the scratch file, where there is one. Under the lock.
  void spill();
  // Calls `line` with each of this run's lines. Under the lock.
  void eachNewLine(const LineSink& line);

  const RecordJob job_;
  std::string headerText_;
  int headerLines_ = 0;
  RecordReader reader_;
  bool trusted_ = false;
  std::vector<KnownFile> old_;  // in the order of the old record's lines
  // Indexes into old_ by key, open addressing: 0 is an empty slot, else index + 1.
  std::vector<std::uint32_t> slots_;
  std::thread readingThread_;
  std::mutex readMutex_;
  std::atomic<bool> read_{true};  // the old record is read, or none is being read

  std::mutex mutex_;
  std::FILE* lines_;      // this run's lines; null where no scratch file could be made
  bool spilling_ = true;  // false once the scratch volume took no more
  std::string held_;      // this run's lines not in the scratch file
};

// A path below the top as the record writes it: folders separated by "/".
std::string recordRelative(std::string relative);

// The job of a copy from `source` into the top folder `destination`, on this machine.
RecordJob recordJobOf(std::string source, std::string destination);

// The record of the copy into the top folder `destination`: beside it, named after it,
// hidden (a leading dot, and on Windows the attribute too).
std::string recordPathOf(std::string_view destination);

// Reads the record at `path` a line at a time; false where there is none or it cannot be
// read to its end.
bool readRecordFile(const std::string& path, const LineSink& line);

// Replaces the record at `path` in one step with what `produce` writes; throws
// RuntimeError naming it on failure.
void writeRecordFile(const std::string& path, const std::function<void(const LineSink&)>& produce);

}  // namespace qm::copy
