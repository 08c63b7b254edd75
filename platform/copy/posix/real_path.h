// Physical paths of folders that may not exist yet, for refusing copies into themselves.
#pragma once

#include <sys/types.h>

#include <string>

namespace qm::fs {

// The absolute path, with every link resolved, that `path` will have once its missing
// folders are created: its nearest existing ancestor is resolved by the system and the
// missing rest is appended ("." dropped, ".." going up).
std::string plannedRealPath(const std::string& path);

// Whether `inner` is `outer` or lies below it; both absolute and free of links.
bool isSameOrInside(const std::string& inner, const std::string& outer);

// Whether the folder with `device` and `inode` is `path` (absolute, free of links) or one
// of its existing ancestors: a folder reached through a bind mount has another path but
// the same device and inode.
bool hasAncestor(const std::string& path, dev_t device, ino_t inode);

}  // namespace qm::fs
