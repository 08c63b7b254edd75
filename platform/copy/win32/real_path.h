// Roots of long paths, and the refusal of copies into themselves, by file identity.
#pragma once

#include <cstddef>
#include <string>

namespace qm::win32 {

// The length of the root of an absolute long path: "\\?\C:" or "\\?\UNC\server\share".
std::size_t rootLength(const std::wstring& path);

// Refuses with 75 a destination `to` that is the source `from` or inside it, by file
// identity along the destination's existing ancestors as spelled and as resolved: other
// spellings, short names, links, mounted folders and bind mounts are all caught.
void refuseCopyIntoItself(const std::wstring& from, const std::wstring& to);

}  // namespace qm::win32
