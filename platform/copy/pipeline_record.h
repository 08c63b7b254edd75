// The copy's record: the last run's lines decide what is unchanged, this run's are left.
#pragma once

#include <ctime>
#include <string>

#include "copy/pipeline.h"
#include "copy/result.h"

namespace qm::copy {

// Reads the last run's record; where it cannot be read to its end, none is trusted.
template <SystemPrimitives Sys>
void Pipeline<Sys>::openRecord() {
  if (!options_.keepRecord) return;
  record_ = std::make_unique<RunRecord>(sys_.recordJob());
  // The old record's files and the check's kept listings share one budget of memory.
  record_->startReading(
      [this](const LineSink& piece) { return sys_.readRecord(piece); },
      [this](std::size_t bytes) { kept_.lowerBudget(kept_.budgetBeside(bytes)); });
  if (!options_.checkFirst) leaveFirstRecord();
}

// Where no record is trusted and the copy reads back, a record with no file in it is left
// before the first file is written (once the check has passed): a run cut off before its
// end then leaves the next run a record that knows none of the files it wrote, which that
// run reads back.
template <SystemPrimitives Sys>
void Pipeline<Sys>::leaveFirstRecord() noexcept {
  if (!record_ || record_->trusted() || !written_) return;
  try {
    const RecordHeader header{record_->job(), started_, started_, kRunNotEnded, {}, {}};
    sys_.writeRecord([&](const LineSink& out) { out(headerLines(header)); });
  } catch (...) {
    // Without it the next run reads back only what it writes itself, as before.
  }
}

// The record's line of an existing file (its key from RunRecord::prefetch), where the
// record is trusted.
template <SystemPrimitives Sys>
std::optional<OldLine> Pipeline<Sys>::recordedLine(RunRecord::LineKey key, bool file, bool exists) {
  return file && exists && record_ ? record_->find(key) : std::nullopt;
}

// A file the record knows is unchanged only where both it and its copy are as the record
// has them; any other is judged by the volume's rules. unchanged() is asked either way: it
// reads what the listing left unread of the source.
template <SystemPrimitives Sys>
bool Pipeline<Sys>::unchangedByRecord(Folder& folder, Entry& entry, const Existing& existing,
                                      const std::optional<OldLine>& line) {
  const bool byRules = sys_.unchanged(folder, entry, existing);
  if (!line) return byRules;
  return line->file.sameStamps(
      RunRecord::stampsOf(sys_.stampOf(entry), sys_.existingStamp(existing)));
}

// A file left as it was keeps its line; where the copy reads back, one that no read-back
// has passed yet is read back now, where the record is trusted to say so.
template <SystemPrimitives Sys>
void Pipeline<Sys>::kept(const std::string& relative, const Entry& entry, const Existing& existing,
                         const std::optional<OldLine>& line) {
  if (!record_) return;
  if (written_ && record_->trusted() && (!line || !line->file.verified())) {
    written_->add(relative, sys_.stampOf(entry), sys_.existingStamp(existing));
    return;
  }
  if (line) {
    record_->keep(*line);
    return;
  }
  record_->add(
      {recordRelative(relative), sys_.stampOf(entry), sys_.existingStamp(existing), {}, 0});
}

// A file written: read back later where the copy reads back, its line then.
template <SystemPrimitives Sys>
void Pipeline<Sys>::wrote(Folder& folder, const std::string& relative, Entry& entry) {
  if (!record_) {
    if (written_) written_->add(relative, sys_.stampOf(entry));
    return;
  }
  const FileStamp source = sys_.stampOf(entry), copy = sys_.writtenStamp(folder, entry);
  if (written_) {
    written_->add(relative, source, copy);
    return;
  }
  record_->add({recordRelative(relative), source, copy, {}, 0});
}

// Replaces the record with what is true at the end of the run, complete or not: a run
// that did not complete keeps the last run's lines of the files it gave none. A run the
// check refused wrote nothing, and leaves the record as it was.
template <SystemPrimitives Sys>
void Pipeline<Sys>::leaveRecord(const RuntimeError* failure) noexcept {
  if (!record_ || gate_.refused()) return;
  try {
    RecordHeader header{record_->job(), started_, std::time(nullptr), 0, {}, {}};
    if (failure) {
      header.number = failure->number;
      header.path = failure->path;
    }
    if (options_.progress) header.counts = resultOf(*options_.progress, failure).counts;
    sys_.writeRecord([&](const LineSink& out) {
      record_->produce(
          header, failure == nullptr, [this](const LineSink& line) { readOldRecord(line); }, out);
    });
  } catch (...) {
    // The copy is as it is: without its record the next run judges by the volume's rules.
  }
}

// The last run's record again, as it was read at the start.
template <SystemPrimitives Sys>
void Pipeline<Sys>::readOldRecord(const LineSink& piece) {
  sys_.readRecord(piece);
}

// After a failed run that read back: the run's own failure is what the user is told.
template <SystemPrimitives Sys>
void Pipeline<Sys>::flushAfterFailure() noexcept {
  try {
    sys_.flush();
  } catch (const RuntimeError&) {
  }
}

}  // namespace qm::copy
