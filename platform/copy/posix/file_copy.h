// Writes one entry of a folder that is not itself a folder, and compares it with the old one.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "copy/file_progress.h"
#include "folder_node.h"
#include "listing.h"
#include "ring.h"

namespace qm::posix {

// The destination entry for `name` in `dir` as it is before the copy; nothing when there
// is none (never anything in a folder this copy made). Throws RuntimeError.
std::optional<struct stat> existingTarget(const DirNode& dir, const std::string& name);

// Whether the existing regular file `target` still holds the copy of `entry` (whose status
// is read here when the walk did not). Throws RuntimeError.
bool unchangedTarget(const DirNode& dir, Entry& entry, const struct stat& target);

// Writes `entry` of `dir` (whose folders the caller holds leased): a regular file with its
// contents, a symbolic link as a link, a FIFO as a new FIFO, as what it is by now should it
// have changed since it was listed. Metadata is kept as far as the volume holds it. An
// existing destination entry (`existing`, null for none) is only replaced once the new one
// is complete. Small files go through `ring` where it is not null. Throws RuntimeError.
void writeEntry(const DirNode& dir, Entry& entry, const struct stat* existing,
                copy::FileProgress& progress, DataRing* ring);

}  // namespace qm::posix
