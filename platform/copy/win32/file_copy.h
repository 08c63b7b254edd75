// One file of a folder copy, written beside its destination and renamed over it.
#pragma once

#include <string>
#include <vector>

#include "copy/file_progress.h"
#include "listing.h"

namespace qm::win32 {

// What one worker's files share: the buffer their bytes pass through.
struct FileCopier {
  std::vector<char> buffer = std::vector<char>(1 << 20);
};

// Writes the file `source` (listed as `entry`) to a new temporary file in the folder
// `folder`, with its named streams, flushes it, renames it over `destination` and gives
// it the source's times and attributes; `existing` is what the destination held (null:
// nothing). A failure never destroys the old file and leaves no temporary file. Times,
// attributes and streams the volume refuses are left out (see isRefusedMetadata);
// creating, writing, flushing and renaming stop the copy with their numbers, and a name
// the volume refuses is 52. Without `mayReplace`, a file that is there by the time the
// copy places its own (another program made it) is 58 and stays as it is. Bytes are
// counted into `progress` as they are written.
void writeFile(FileCopier& copier, const std::wstring& source, const std::wstring& folder,
               const std::wstring& destination, const Entry& entry, const Entry* existing,
               bool mayReplace, copy::FileProgress& progress);

}  // namespace qm::win32
