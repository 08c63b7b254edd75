// The workers' writing: batches, each entry of them, and each folder's finish.
#pragma once

#include <mutex>
#include <optional>

#include "copy/pipeline.h"

namespace qm::copy {

template <SystemPrimitives Sys>
void Pipeline<Sys>::copyBatch(Batch& batch, unsigned worker) {
  if (failed()) return;
  Folder& folder = batch.node->folder;
  guarded(batch.node.get(), [&] {
    typename Sys::Lease lease(folder);
    for (Planned& planned : batch.entries) {
      if (failed()) return;
      copyEntry(*batch.node, planned, worker);
    }
  });
}

// Copies one entry; the copy goes on past a source file it cannot read and an entry the
// destination cannot hold, and stops at any other failure, naming the entry.
template <SystemPrimitives Sys>
void Pipeline<Sys>::copyEntry(Node& node, Planned& planned, unsigned worker) {
  const std::string relative = pathOf(node, planned.entry);
  try {
    writeEntry(node.folder, planned, worker, relative);
  } catch (const SourceError& error) {
    wentPast(relative, error);
  } catch (const LeftOutError& error) {
    leaveOut(relative, error.reason);
  } catch (const ClashError& error) {
    fail(error, relative, error.cause);
  } catch (const RuntimeError& error) {
    fail(error, relative);
  }
}

// Writes one entry, or leaves it as it is where the policy and the destination allow;
// returns whether it wrote it.
template <SystemPrimitives Sys>
bool Pipeline<Sys>::writeEntry(Folder& folder, Planned& planned, unsigned worker,
                               const std::string& relative) {
  Entry& entry = planned.entry;
  const bool file = planned.kind == Listed::File;
  FileProgress progress(file ? options_.progress : nullptr, sys_.listedSize(entry));
  std::optional<typename Sys::Existing> existing;
  std::optional<OldLine> line;
  FileAction action;
  try {
    const RunRecord::LineKey key =
        file && record_ ? record_->prefetch(relative) : RunRecord::LineKey{};
    existing = sys_.existing(folder, entry);
    if (existing) sys_.claim(folder, entry, *existing);
    line = recordedLine(key, file, existing.has_value());
    action = decideFile(options_.existing, existing.has_value(),
                        [&] { return file && unchangedByRecord(folder, entry, *existing, line); });
    if (action == FileAction::Refuse)
      throw RuntimeError(err::kFileExists, sys_.destinationOf(folder, &entry));
  } catch (const RuntimeError&) {
    // What the check refuses the copy for is what the user is told, once, not what a
    // worker met first while the check still ran (the check refuses an existing file
    // under Refuse too).
    waitForCheck();
    throw;
  }
  if (action == FileAction::Keep) {
    progress.finish();
    if (file) kept(relative, entry, *existing, line);
    return false;
  }
  waitForCheck();
  std::unique_lock oneAtATime(replacing_, std::defer_lock);
  if (existing && oneReplaceAtATime_.load()) oneAtATime.lock();
  const auto turn = largeFiles_.turn(file ? sys_.listedSize(entry) : 0);
  sys_.write(folder, entry, existing ? &*existing : nullptr, progress, worker);
  progress.finishWritten();
  if (file) wrote(folder, relative, entry);
  return true;
}

// Returns once the check has passed; where it refused the copy, throws its failure.
template <SystemPrimitives Sys>
void Pipeline<Sys>::waitForCheck() {
  if (gate_.pass()) return;
  std::lock_guard lock(mutex_);
  throw error_ ? *error_ : RuntimeError(err::kPathFileAccess, "");
}

// Gives a folder whose contents are complete its metadata, after a failure too, so that
// the folders a failed run made are no longer held open to their owner alone. A copy the
// check refused wrote nothing, and leaves the folders as they were.
template <SystemPrimitives Sys>
void Pipeline<Sys>::finish(Node& node) noexcept {
  if (gate_.refused()) return;
  guarded(&node, [&] {
    typename Sys::Lease lease(node.folder);
    sys_.finishFolder(node.folder);
  });
}

}  // namespace qm::copy
