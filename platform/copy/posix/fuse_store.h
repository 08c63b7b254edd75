// Where a FUSE driver writes the volume it serves: its block device or image file.
#pragma once

#include <string>

namespace qm::posix {

// The block device (or image file) a FUSE driver serves the volume of the open folder
// `dirFd` from, whatever its mount type: the system caches its pages and writes them back
// apart from the files', so flushing the volume does not put them on the device. The
// mount's source where it names one ("fuseblk": exFAT, NTFS), else the one the driver was
// started with (the FUSE FAT driver names itself as the source). Empty for any other
// volume, and where neither says.
std::string fuseBackingStore(int dirFd);

}  // namespace qm::posix
