// Whether a link's owner could read what the link leads to, as the system would judge it.
#pragma once

#include <sys/stat.h>

#include <string>

namespace qm::posix {

// Whether the owner of the link `link` (its own status) could read `target` (the status of
// what it leads to, reached as `targetPath`): the owner, group and others bits, and the
// access ACL where the target has one; a folder needs search as well. A copy run with more
// rights than the tree's owner (as root) follows a link only where this holds, so that it
// never publishes what that owner could not read. Search permission along the way is not
// judged. The copy's own user, and root's links, may read whatever the copy can.
bool linkOwnerMayRead(const struct stat& link, const struct stat& target,
                      const std::string& targetPath);

}  // namespace qm::posix
