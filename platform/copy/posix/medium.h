// The kind of device a destination volume is on, from the kernel's type and the block
// device's own description.
#pragma once

#include "copy/options.h"

namespace qm::posix {

// The medium of the volume that holds the open folder `dirFd`: FUSE and network volumes by
// the kernel's type; a block device on a USB bus or marked removable, or one that says it
// rotates, by its entry under /sys; anything else (memory, solid-state, unknown) as solid.
Medium mediumOf(int dirFd);

}  // namespace qm::posix
