// This process as temporary names record it, and whether the run a name records has ended.
#pragma once

#include "tempname.h"

namespace qm::os {

// This run: its pid namespace (0 where the system has none, or it cannot be read), its
// process and its start time (0 where it cannot be read). Read once.
const TemporaryOwner& thisRun();

// Whether the run `owner` has certainly ended: its process is gone, or its number now
// belongs to a process that started at another time (a start time of 0 is not compared).
// A run of another pid namespace (0: this one), or anything that cannot be checked,
// counts as still running.
bool runEnded(const TemporaryOwner& owner);

}  // namespace qm::os
