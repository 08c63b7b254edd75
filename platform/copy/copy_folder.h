// Copies a folder with everything below it: the one entry point of each system's copy engine.
#pragma once

#include <string_view>

#include "copy/options.h"

namespace qm::copy {

// Copies the folder `source` with everything below it. A `destination` ending in a
// separator ("/", also "\\" on Windows) is an existing folder that receives a copy named
// like the source; otherwise `destination` is the folder that receives the source's
// contents, created with its missing parents when needed. Metadata the destination volume
// cannot hold is left out without an error. Throws RuntimeError, naming the file or folder
// concerned: 76 when the source is not a folder, or a destination ending in a separator
// (or the destination's drive) does not exist; 58 when a file is in the way of a folder
// (the destination, one of its parents or a folder inside the copy) or, without
// overwriting, of a file; 70 when permission is denied or the volume is read-only; 61 when
// the disk or quota is full; 57 on a device error or a medium gone; 53 when a source entry
// vanished during the copy; 52 for a name the destination volume refuses; 75 for anything
// else, among them a destination that is the source or lies inside it (also through links
// and bind mounts) and a destination whose last component is "." or "..". Nothing is
// written before the checks on the two paths pass. Stops at the first error and removes
// only its own unfinished files.
void copyFolderOrThrow(std::string_view source, std::string_view destination,
                       const CopyOptions& options = {});

}  // namespace qm::copy
