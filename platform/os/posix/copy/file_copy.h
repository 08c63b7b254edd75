// Copies one entry of a folder that is not itself a folder.
#pragma once

#include <sys/stat.h>

#include <string>

#include "folder_node.h"

namespace qm::fs {

// An entry of a source folder as the walk listed it. The walk reads its status only where
// it needs it (to count the bytes it found, or where the listing gives no type); the
// worker that copies the entry reads it otherwise, so that the walk stays light.
struct Entry {
  std::string name;
  struct stat st;
  bool statted = false;        // `st` holds the entry's status
  bool listedRegular = false;  // the folder listing gave it as a regular file
  bool followed = false;       // a link the copy follows: `st` is what it points to
};

// Copies `entry` of `dir` (whose folders the caller holds leased): a regular file with its
// contents, a symbolic link as a link, a FIFO as a new FIFO. Sockets and devices are
// skipped. Metadata is kept as far as the volume holds it. An existing destination entry
// is only replaced once the new one is complete; an unchanged file is left as it is.
// Throws RuntimeError.
void copyEntry(const DirNode& dir, Entry& entry);

}  // namespace qm::fs
