// Copies metadata to new entries and finished folders, as far as the destination holds it.
#pragma once

#include <sys/stat.h>

#include <string>

#include "folder_node.h"

namespace qm::posix {

// The permission bits a new copy in `dir` of a file with status `st` is made with: its
// final ones where nothing takes from them on the way (the umask, a default ACL of the
// folder) and nothing must come first (a set-ID or sticky bit waits for the owner, and a
// file its owner may not write takes no extended attributes), so that no fchmod follows;
// else 0600, which keeps the file its owner's alone until its own bits are set.
mode_t creationMode(const DirNode& dir, const struct stat& st);

// The permission bits that the process's umask takes from new entries, from the kernel's
// account of the process; all of them where that is not known.
mode_t currentUmask();

// Gives the new regular file `out` in `dir`, made with the permission bits `made`, the
// owner, extended attributes and ACLs of the open source file `in`, then its permission
// bits and times (from `st`), each as far as the volume holds it. Set-user-ID and
// set-group-ID bits are kept only where the copy's owner and group are the source's.
// Returns 0, or the errno of a failure other than the volume refusing the metadata.
int copyFileMetadata(const DirNode& dir, int in, int out, const struct stat& st, mode_t made);

// Whether the new regular file in `dir`, made with the permission bits `made`, takes
// nothing of the open source file `in` (status `st`) but its times: the owner and group it
// got, no ACL handed down by the folder, its bits as made, and no extended attributes on
// the source. Where this cannot be told, false: copyFileMetadata then does it all.
bool onlyTimesLeft(const DirNode& dir, int in, const struct stat& st, mode_t made);

// Gives the closed new entry `built` of `dir` the times of `st`, not following a link.
// Returns 0, or the errno of a failure other than the volume refusing them.
int copyTimesByName(const DirNode& dir, const std::string& built, const struct stat& st);

// The same for the entry `built` of `dir` that is a link (owner, times) or a FIFO (owner,
// permission bits, times); errors name `name`. Throws RuntimeError.
void copyEntryMetadata(const DirNode& dir, const std::string& built, const struct stat& st,
                       const std::string& name);

// Gives a destination folder whose contents are complete the source folder's metadata.
// Throws RuntimeError.
void finishFolder(const DirNode& node);

}  // namespace qm::posix
