// Names of the copy's temporary files, and the removal of those that ended runs left behind.
#pragma once

#include <string>
#include <string_view>

namespace qm::posix {

// A name that no other temporary file of a live run uses:
// ".qm-<pid namespace>-<process>-<start time>-<counter>.tmp". The process, its start time
// and its pid namespace let a later run tell whether the file's owner still runs. Short,
// so that it fits in every volume's name rules.
std::string temporaryName();

// Whether `name` is a temporary file of ours whose run has certainly ended: its process is
// gone from this pid namespace, or the number now belongs to a process that started at
// another time. Names of other namespaces, or anything that cannot be checked, count as
// alive. Also recognises the shorter ".qm-<process>-<counter>.tmp" of earlier versions.
bool isStaleTemporary(std::string_view name);

// Removes from the open folder `dirFd` the temporary files of ended runs. Housekeeping:
// a folder that cannot be listed or a file that cannot be removed is left as it is.
void removeStaleTemporaries(int dirFd);

}  // namespace qm::posix
