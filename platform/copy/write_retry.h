// The write of one file, tried again while its source changes as it is read.
#pragma once

#include <string>

#include "copy/report.h"
#include "errors.h"

namespace qm::copy {

// Thrown by a system's write where the source file changed while it was read; the
// attempt's own copy of it is dropped by then.
struct ChangedWhileRead {};

// How often a file that changes while it is read is read again before the copy reports it.
inline constexpr int kReadAttempts = 3;

// Runs `attempt()` until it ends without ChangedWhileRead, at most kReadAttempts times,
// with `between()` before each new try (where the source's status is read anew). A file
// still changing after the last is a SourceError on `sourcePath()`: the copy goes on
// without it and fails for it at the end.
template <typename Attempt, typename Between, typename SourcePath>
void writeRetryingChanges(Attempt attempt, Between between, SourcePath sourcePath) {
  for (int tries = 1;; ++tries) {
    try {
      attempt();
      return;
    } catch (const ChangedWhileRead&) {
      if (tries == kReadAttempts)
        throw SourceError(err::kPathFileAccess, sourcePath(), changingCause());
      between();
    }
  }
}

}  // namespace qm::copy
