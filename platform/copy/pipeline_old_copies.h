// Copies earlier runs left, read back again in turn; one that no longer matches is repaired.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "copy/pipeline.h"

namespace qm::copy {

namespace oldcopies {

// What reading one file back costs where the run has not measured it: a stick's pace.
inline constexpr double kBytesPerSecond = 30e6;
inline constexpr double kSecondsPerFile = 0.002;
// Rounds of choosing and reading back, each estimated by what the one before took.
inline constexpr int kRounds = 4;

}  // namespace oldcopies

// Where the copy reads back and its record is trusted: the files it left as they were,
// those read back longest ago first, are read back again within a quarter of the run's
// time (the rest of the run takes the other three), in rounds that learn the device's
// pace. A copy the device no longer gives back as its source is written again from the
// source and read back, in this run.
template <SystemPrimitives Sys>
void Pipeline<Sys>::checkOldCopies() {
  if (!top_ || !record_->trusted()) return;
  using Clock = std::chrono::steady_clock;
  using Seconds = std::chrono::duration<double>;
  const Clock::time_point start = Clock::now();
  const bool all = options_.oldCopies == OldCopies::All;
  const Clock::time_point deadline =
      all ? Clock::time_point::max()
          : start + std::chrono::duration_cast<Clock::duration>((start - clockStarted_) / 3);
  // What a file costs: a stick's pace at first, or this run's own read-back where it had
  // one; then scaled, round after round, by what the last round took against its estimate.
  double perFile = oldcopies::kSecondsPerFile;
  double perByte = 1 / (readBackSeconds_ > 0.01 && written_->bytes() > 0
                            ? static_cast<double>(written_->bytes()) / readBackSeconds_
                            : oldcopies::kBytesPerSecond);
  WrittenFiles damaged;
  const OldCopiesPass pass{deadline, &damaged};
  for (int round = 0; round < oldcopies::kRounds && Clock::now() < deadline; ++round) {
    const double left = all ? 0 : Seconds(deadline - Clock::now()).count();
    double estimated = 0;
    const auto fits = [&](std::uint64_t size) {
      const double cost = perFile + static_cast<double>(size) * perByte;
      if (!all && estimated + cost > left) return false;
      estimated += cost;
      return true;
    };
    WrittenFiles chosen;
    record_->chooseOldCopies(
        fits, [this](const LineSink& line) { readOldRecord(line); }, chosen);
    if (chosen.count() == 0) break;
    const Clock::time_point began = Clock::now();
    readBackRan_ = true;
    ReadBackRun<Sys>(sys_, options_, chosen, destination_, largeFiles_, record_.get(), &pass).run();
    const double took = Seconds(Clock::now() - began).count();
    if (estimated > 0 && took > 0) {
      perFile *= took / estimated;
      perByte *= took / estimated;
    }
  }
  if (damaged.count() == 0) return;
  WrittenFiles repaired;
  damaged.rewind();
  for (WrittenFile file; !failed() && damaged.next(file);) repair(file, repaired);
  rethrowFailure();
  if (repaired.count() == 0) return;
  sys_.flush();
  ReadBackRun<Sys>(sys_, options_, repaired, destination_, largeFiles_, record_.get()).run();
}

// The folders down to a file, opened again below the top after the walk: each lives as
// long as the ones inside it, and is given its metadata again once they are done.
template <SystemPrimitives Sys>
class Pipeline<Sys>::OpenedDown {
 public:
  explicit OpenedDown(Pipeline& run) : run_(run) {}
  OpenedDown(const OpenedDown&) = delete;
  OpenedDown& operator=(const OpenedDown&) = delete;
  ~OpenedDown() {
    while (!folders_.empty()) folders_.pop_back();
  }
  Folder& deepest() { return folders_.empty() ? run_.top_->folder : *folders_.back(); }
  void push(std::unique_ptr<Folder> folder) { folders_.push_back(std::move(folder)); }
  // Once the file is written: the folders' times as the source's, innermost first.
  void finish() {
    for (auto at = folders_.rbegin(); at != folders_.rend(); ++at) {
      typename Sys::Lease lease(**at);
      run_.sys_.finishFolder(**at);
    }
  }

 private:
  Pipeline& run_;
  std::vector<std::unique_ptr<Folder>> folders_;
};

// The entry of `folder` named `name`, of the kind `kind`; none where the source has none.
template <SystemPrimitives Sys>
auto Pipeline<Sys>::findEntry(Folder& folder, std::string_view name, Listed kind)
    -> std::optional<Entry> {
  std::optional<Entry> found;
  typename Sys::Lease lease(folder);
  sys_.list(folder, true, [&](Entry&& entry, Listed listed) {
    if (listed != kind || sys_.nameOf(entry) != name) return true;
    found.emplace(std::move(entry));
    return false;
  });
  return found;
}

// Writes the copy of `file` again from its source, found by its path below the top; a
// source gone meanwhile is no longer part of the copy, which the next run finds.
template <SystemPrimitives Sys>
void Pipeline<Sys>::repair(const WrittenFile& file, WrittenFiles& repaired) {
  try {
    OpenedDown down(*this);
    std::string_view rest = file.relative;
    for (std::size_t cut; (cut = rest.find(kPathSeparator)) != std::string_view::npos;
         rest.remove_prefix(cut + 1)) {
      std::optional<Entry> entry = findEntry(down.deepest(), rest.substr(0, cut), Listed::Folder);
      if (!entry) return;
      auto child = std::make_unique<Folder>();
      {
        typename Sys::Lease lease(down.deepest());
        sys_.openChild(*child, down.deepest(), *entry, [] {});
      }
      down.push(std::move(child));
    }
    std::optional<Entry> entry = findEntry(down.deepest(), rest, Listed::File);
    if (!entry) return;
    {
      Folder& folder = down.deepest();
      typename Sys::Lease lease(folder);
      const auto existing = sys_.existing(folder, *entry);
      FileProgress quiet(nullptr, 0);
      sys_.write(folder, *entry, existing ? &*existing : nullptr, quiet, 0);
      repaired.add(file.relative, sys_.stampOf(*entry), sys_.writtenStamp(folder, *entry));
    }
    down.finish();
    if (CopyProgress* progress = options_.progress) {
      progress->filesWritten.fetch_add(1, std::memory_order_relaxed);
      progress->report.addRepaired({file.relative, repairedCause()});
    }
  } catch (const SourceError& error) {
    wentPast(file.relative, error);
  } catch (const LeftOutError& error) {
    leaveOut(file.relative, error.reason);
  } catch (const RuntimeError& error) {
    fail(error, file.relative);
  }
}

}  // namespace qm::copy
