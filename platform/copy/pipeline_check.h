// The check beside the copy: the whole plan checked before the gate opens for writing.
#pragma once

#include <mutex>
#include <string>

#include "copy/pipeline.h"

namespace qm::copy {

// Checks the whole plan below `top` with a top folder of its own, while the copy reads
// beside it, and opens the gate for writing, or refuses the copy with the first problem's
// number where anything cannot succeed; the user is told every problem.
template <SystemPrimitives Sys>
void Pipeline<Sys>::checkBeside(Folder& top) noexcept {
  bool passed = false;
  guarded(nullptr, [&] {
    Folder own;
    sys_.openSurveyTop(own, top);
    check(own);
    passed = true;
  });
  kept_.checkListed();  // where the check failed before it had listed all
  // A copy that failed meanwhile cut the check short: it has not passed.
  if (passed && !failed()) leaveFirstRecord();
  gate_.decide(passed && !failed());
}

template <SystemPrimitives Sys>
void Pipeline<Sys>::check(Folder& top) {
  // Folders a copy makes compare names the way of the folder they are made in, so below
  // a top folder this copy made, two names can be one only where that folder folds them.
  const bool compareNames = !sys_.madeTop(top) || sys_.namesFold(top).any();
  PlanCheck plan(sys_.limits(top), compareNames);
  Survey<Sys>(sys_, options_, plan, kept_, [this] { return failed(); }).run(top);
  // Room for one file at a time beside its old copy, but not for as many as there are
  // workers: files are replaced one at a time.
  oneReplaceAtATime_ = !plan.fitsReplacing(workerCount(options_));
  if (const auto& wide = plan.firstWideName(); wide && !sys_.takesName(top, wide->second))
    plan.refuse(err::kBadFileName, wide->first);
  if (plan.problems().empty() || failed()) return;
  for (const auto& found : plan.problems()) report(found.problem);
  if (options_.progress) options_.progress->report.countMoreFailures(plan.moreProblems());
  {
    std::lock_guard lock(mutex_);
    reported_ = true;  // the refusal below is told by the problems above
  }
  const auto& first = plan.problems().front();
  const std::string at = sys_.destinationOf(top, nullptr);
  throw RuntimeError(first.number,
                     first.problem.file.empty() ? at : at + kPathSeparator + first.problem.file);
}

}  // namespace qm::copy
