// The copy's failures: the first one kept, what the user is told, the entries gone past.
#pragma once

#include <mutex>
#include <string>
#include <utility>

#include "copy/pipeline.h"

namespace qm::copy {

template <SystemPrimitives Sys>
void Pipeline<Sys>::report(Problem problem, bool first) {
  if (options_.progress) options_.progress->report.addFailure(std::move(problem), first);
}

template <SystemPrimitives Sys>
void Pipeline<Sys>::leaveOut(std::string file, LeftOut reason) {
  if (options_.progress)
    options_.progress->report.addLeftOut({std::move(file), leftOutCause(reason)});
}

// Whether the copy goes on past a source entry it cannot read: one that vanished is no
// longer part of it; one it cannot read is reported, and fails the copy at the end.
template <SystemPrimitives Sys>
bool Pipeline<Sys>::wentPast(const std::string& file, const SourceError& error) {
  if (error.number == err::kFileNotFound) return true;
  report({file, error.cause.empty() ? numberCause(error.number, true) : error.cause});
  std::lock_guard lock(mutex_);
  if (!skipped_) skipped_ = RuntimeError(error.number, error.path);
  return true;
}

// Runs `step`, keeping its failure as the copy's; an unexpected one is 75 for `folder`.
template <SystemPrimitives Sys>
template <typename Step>
void Pipeline<Sys>::guarded(const Node* node, Step step) noexcept {
  const Folder* folder = node ? &node->folder : nullptr;
  try {
    step();
  } catch (const ClashError& error) {
    fail(error, node ? node->relative : std::string(), error.cause);
  } catch (const RuntimeError& error) {
    fail(error, node ? node->relative : std::string());
  } catch (...) {
    try {
      fail(RuntimeError(err::kPathFileAccess, folder ? sys_.destinationOf(*folder, nullptr) : ""));
    } catch (...) {
      failed_.store(true);  // out of memory while recording it: the copy still fails
    }
  }
}

// Keeps the first failure, and tells the user of it; later ones are usually its
// consequences. `file` is where it arose, below the top; `cause` what the user is told
// of it, where the number alone does not say.
template <SystemPrimitives Sys>
void Pipeline<Sys>::fail(const RuntimeError& error, const std::string& file, std::string cause) {
  std::lock_guard lock(mutex_);
  if (!error_) {
    error_ = RuntimeError(error.number, error.description, error.path);
    if (cause.empty()) cause = numberCause(error.number, false);
    if (options_.progress && !reported_)
      options_.progress->report.addFailure({file, std::move(cause)}, true);
  }
  failed_.store(true, std::memory_order_relaxed);
}

template <SystemPrimitives Sys>
void Pipeline<Sys>::rethrowFailure() {
  std::lock_guard lock(mutex_);
  if (error_) throw *error_;
  if (failed_.load()) throw RuntimeError(err::kPathFileAccess, "");
}

}  // namespace qm::copy
