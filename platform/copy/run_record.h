// What one run knows of the copy's record: the lines the last run left, and its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "copy/record.h"

namespace qm::copy {

using LineSink = std::function<void(std::string_view)>;

// The old record's lines are taken one by one and kept by file, for the copy's decisions;
// the lines of this run go to a scratch file as they come, so that memory holds the old
// record's stamps but not the new record's text.
class RunRecord {
 public:
  explicit RunRecord(RecordJob job);
  ~RunRecord();
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  // The old record, a line at a time (without its end), then endOfOld(). A record of
  // another job or machine, or damaged anywhere, is not trusted, and none of it is kept.
  void takeOld(std::string_view line);
  void endOfOld();
  bool trusted() const { return trusted_; }

  // The old record's line of a file, by its path below the top with "/" between folders;
  // null where it has none.
  const RecordedFile* find(std::string_view relative) const;

  // A line of this run; from any thread.
  void add(const RecordedFile& file);

  // Hands `out` the new record: `header`, this run's lines, and where `keepOld`, the old
  // record's lines of the files this run left no line for. `old` calls its argument with
  // the old record's lines again.
  void produce(const RecordHeader& header, bool keepOld,
               const std::function<void(const LineSink&)>& old, const LineSink& out);

  const RecordJob& job() const { return job_; }

 private:
  static std::uint64_t keyOf(std::string_view relative);

  const RecordJob job_;
  std::string headerText_;
  int headerLines_ = 0;
  RecordReader reader_;
  bool trusted_ = false;
  std::unordered_map<std::uint64_t, RecordedFile> old_;

  std::mutex mutex_;
  std::FILE* lines_;       // this run's lines; null where no scratch file could be made
  std::string heldLines_;  // ... then they stay here
  std::unordered_set<std::uint64_t> given_;  // the files this run gave a line
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
