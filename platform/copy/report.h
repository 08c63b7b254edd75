// What a copy tells its user besides an error number: the entries it could not copy or
// left out, each with its reason in plain words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "copy/rules.h"

namespace qm::copy {

// One entry and what became of it. `file` is its path below the source folder, with the
// system's separator; empty for the copy as a whole (a full volume).
struct Problem {
  std::string file;
  std::string cause;
  bool operator==(const Problem&) const = default;
};

// Why an entry was left out of a copy that went on without it.
enum class LeftOut {
  NotData,     // a socket or a device: nothing a copy could hold
  Dangling,    // a link that leads nowhere, onto a volume that holds no links
  Cycle,       // a link to a folder that contains it, or into the destination
  Junction,    // a junction Windows keeps for older programs
  Unholdable,  // a link or FIFO the destination volume cannot hold
  Unreadable,  // a link whose owner could not read what it leads to
};

// Filled by the copy's threads, read by the window once the copy has ended. The first
// entries of each list are kept; the rest are only counted, so memory stays small
// however many there are.
class CopyReport {
 public:
  static constexpr std::size_t kKept = 1000;

  // `first`: the failure that stopped the copy, shown before the ones it went on past.
  void addFailure(Problem problem, bool first = false);
  void addLeftOut(Problem problem);
  // A copy an earlier run left that no longer matched its source, written again.
  void addRepaired(Problem problem);
  // Failures beyond those kept, counted only.
  void countMoreFailures(std::size_t count);
  std::vector<Problem> failures() const;
  std::vector<Problem> leftOut() const;
  std::size_t failureCount() const;
  std::size_t leftOutCount() const;
  std::vector<Problem> repaired() const;
  std::size_t repairedCount() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<Problem> failures_, leftOut_, repaired_;
  std::size_t failureCount_ = 0, leftOutCount_ = 0, repairedCount_ = 0;
};

// ---- The causes, in the words the window shows. ----

// A name the destination cannot hold.
std::string nameCause(NameProblem problem, std::string_view name);
// Two names of one folder that a destination folder which does not tell case apart would
// take for one.
std::string caseCause(std::string_view first, std::string_view second);
// Two names the destination takes for one in another way (composed and decomposed forms,
// or as the copy found it when it wrote them).
std::string sameNameCause(std::string_view first, std::string_view second);
// A file larger than the volume type `typeName` holds.
std::string sizeLimitCause(std::string_view typeName, std::uint64_t limit);
// The bytes missing on the destination volume.
std::string spaceCause(std::uint64_t missing);
// A failure by its error number, `onSource` when reading the source failed.
std::string numberCause(int number, bool onSource);
// A file that kept changing while it was read.
std::string changingCause();
// A file whose copy the destination device gave back other than it was written.
std::string readBackCause();
// A copy left by an earlier run that the device gave back other than its source, written
// again by this one.
std::string repairedCause();
std::string leftOutCause(LeftOut reason);

// "12.3 MB", "999 KB", "0 バイト": binary units, one decimal below ten.
std::string byteSize(std::uint64_t bytes);

}  // namespace qm::copy

namespace qm::copy {

// A source entry that could not be read (its permission, a lock, or it kept changing):
// the copy goes on without it and fails with its number once the rest is copied. One
// with 53 vanished after it was listed: it is no longer part of the copy and no failure.
struct SourceError : RuntimeError {
  SourceError(int num, std::string_view onPath, std::string why = {})
      : RuntimeError(num, onPath), cause(std::move(why)) {}
  std::string cause;  // empty: the number's own cause
};

// Two source entries that the destination takes for one, found as the copy writes them
// (by then the check before writing has let them pass): 58, with both names in its cause.
struct ClashError : RuntimeError {
  ClashError(std::string_view onPath, std::string why)
      : RuntimeError(err::kFileExists, onPath), cause(std::move(why)) {}
  std::string cause;
};

// An entry the copy leaves out and goes on without (a cycle, a kind the volume cannot hold).
struct LeftOutError : RuntimeError {
  LeftOutError(LeftOut why, std::string_view onPath)
      : RuntimeError(err::kPathFileAccess, onPath), reason(why) {}
  LeftOut reason;
};

}  // namespace qm::copy
