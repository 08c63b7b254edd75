// Physical paths of folders that may not exist yet, for refusing copies into themselves.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>

namespace qm::posix {

// The absolute path, with every link resolved, that `path` will have once its missing
// folders are created: its nearest existing ancestor is resolved by the system and the
// missing rest is appended ("." dropped, ".." going up).
std::string plannedRealPath(const std::string& path);

// The identity (device, inode) of what `path` names, following links; nothing where
// nothing is there.
std::optional<std::pair<dev_t, ino_t>> fileIdentity(const std::string& path);

// The folder above `path` ("/a/b" for "/a/b/c", "/" for "/a"); nothing for "/" and for a
// relative path of one component.
std::optional<std::string> parentPath(const std::string& path);

}  // namespace qm::posix
