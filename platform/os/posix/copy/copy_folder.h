// Copies a folder with everything below it.
#pragma once

#include <string_view>

#include "copy_options.h"

namespace qm::fs {

// Copies the folder `source` with everything below it. A `destination` ending in "/" is an
// existing folder that receives a copy named like the source; otherwise `destination` is
// the folder that receives the source's contents, created with its missing parents when
// needed. Throws RuntimeError (76: no source folder, 58: a file is in the way, 70: no
// permission, 61: disk full, 57: device error, 53: a file vanished, 75: anything else,
// including a destination inside the source). Stops at the first error and removes only
// its own unfinished files.
void copyFolder(std::string_view source, std::string_view destination,
                const CopyOptions& options = {});

}  // namespace qm::fs
