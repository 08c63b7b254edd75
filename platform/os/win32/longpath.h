// Win32 paths for the copy: absolute long-path forms, final paths, containment.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qm::win32 {

// `path` made absolute (GetFullPathNameW: "..", "/" and the current folder resolved),
// without trailing separators except a drive root's. Throws RuntimeError 75 when the
// system cannot make it absolute.
std::wstring absolutePath(std::wstring_view path);

// The long-path form of an absolute path: "\\?\C:\..." or "\\?\UNC\server\share\...",
// which lifts the 260-character limit of the wide file functions. Unchanged when it
// already carries the prefix.
std::wstring longPath(std::wstring_view absolute);

// The path as a user would type it: the long-path prefix taken off again.
std::wstring plainPath(std::wstring_view path);

// Whether `inner` is `outer` or lies below it, comparing case-insensitively as the
// Windows file systems do. Both are absolute paths of one form.
bool isSameOrInside(std::wstring_view inner, std::wstring_view outer);

// The final path of what `h` has open (links and short names resolved, in long-path form,
// without a trailing separator); empty when the system cannot tell.
std::wstring finalPathOf(HANDLE h);

// The final path (links and short names resolved, GetFinalPathNameByHandleW) that `path`
// has or will have once created: the final path of its deepest existing ancestor with the
// rest appended. `path` is in long-path form.
std::wstring plannedFinalPath(const std::wstring& path);

}  // namespace qm::win32
