// The named data streams of a file (NTFS alternate data streams), copied with it.
#pragma once

#include <string>
#include <vector>

namespace qm::win32 {

// Copies each named data stream of the file `from` (a download's zone mark, for one) to
// the same stream of the file `to`, through `buffer`. A volume that holds no streams (FAT,
// exFAT) or a source that lists none leaves the copy without them; reading the source's
// streams and writing their bytes still fail the copy with their numbers.
void copyNamedStreams(const std::wstring& from, const std::wstring& to, std::vector<char>& buffer);

}  // namespace qm::win32
