// The recursive folder copy on the Win32 file API, in long-path form.
#pragma once

#include <string>

namespace qm::win32 {

// Copies the contents of folder `from` into folder `to` (created when missing, merged
// into when present), with attributes and modification times of files and folders.
// Each file is written to a temporary name beside its destination, flushed, and then
// renamed over the old file, so a failure never destroys an earlier copy and leaves no
// temporary file. A destination file whose size, modification time and read-only
// attribute equal the source's is left as it is. Without `overwrite` an existing file
// stops the copy with 58. Both paths are absolute, in long-path form. Throws
// RuntimeError with the numbers of copy_errors.h, naming the file concerned.
void copyTree(const std::wstring& from, const std::wstring& to, bool overwrite);

}  // namespace qm::win32
