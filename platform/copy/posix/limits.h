// What a destination volume takes: its names, file sizes and free space, whether a folder
// of it tells names apart, and whether its medium is a risk.
#pragma once

#include <string_view>

#include "copy/plan_check.h"

namespace qm::posix {

// The limits of the volume that holds the open folder `dirFd`: the kernel's type, else the
// type of a FUSE mount, else a probe name with a character Windows refuses.
copy::VolumeLimits volumeLimits(int dirFd);

// How the open folder `dirFd` compares names: whether it takes two names that differ only
// in case, or only in the composed and decomposed forms of a letter, for one. Probe files
// are made there and looked up by their names in the other case and form.
copy::NameFolding namesFold(int dirFd);

// Whether the open folder `dirFd` takes a file named like `name`: a probe file named with
// a temporary name of this run followed by (the start of) `name` is made and removed.
bool takesName(int dirFd, std::string_view name);

// Whether the volume that holds the open folder `dirFd` is one whose data the copy reads
// back by default: on a removable or USB device, over the network, through FUSE, or FAT,
// exFAT or NTFS.
bool isRiskyMedium(int dirFd);

}  // namespace qm::posix
