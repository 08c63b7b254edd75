// Copies one entry of a folder that is not itself a folder.
#pragma once

#include <string>

#include "copy_run.h"

namespace qm::fs {

// Copies the entry `name` of `dir`: a regular file with its contents, a symbolic link as a
// link, a FIFO as a new FIFO. Sockets and devices are skipped. Permission bits and times
// are kept. An existing destination entry is only replaced once the new one is complete.
// Throws RuntimeError.
void copyEntry(const DirNode& dir, const std::string& name);

}  // namespace qm::fs
