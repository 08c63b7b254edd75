// What a destination volume takes: its names, file sizes and free space, whether a folder
// of it tells names that differ only in case apart, and what its medium is.
#pragma once

#include <string>
#include <string_view>

#include "copy/options.h"
#include "copy/plan_check.h"

namespace qm::win32 {

// The limits of the volume that holds the existing folder `folder`: every volume keeps
// names as Windows does; FAT ones hold files below 4 GiB; the free space as the volume
// tells it (nothing where it gives no size, as FUSE drivers under Wine may).
copy::VolumeLimits volumeLimits(const std::wstring& folder);

// How the existing folder `folder` compares names: whether it takes two names that differ
// only in case (every folder but those set to tell case apart), or only in the composed and
// decomposed forms of a letter (some shares), for one. Probe files are made there and
// looked up by their names in the other case and form.
copy::NameFolding namesFold(const std::wstring& folder);

// Whether the existing folder `folder` takes a file named like `name`: a probe file named
// with a temporary name of this run followed by (the start of) `name` is made and removed.
bool takesName(const std::wstring& folder, std::string_view name);

// Whether the volume that holds `folder` is one whose data the copy reads back by default:
// a removable or network drive, or a FAT, exFAT or NTFS volume.
bool isRiskyMedium(const std::wstring& folder);

// The medium of the volume that holds `folder`: removable and network drives by their
// type; a fixed disk on a USB bus as removable, one that seeks as rotational, by what its
// device tells; anything else, and what cannot be asked, as solid.
Medium mediumOf(const std::wstring& folder);

}  // namespace qm::win32
