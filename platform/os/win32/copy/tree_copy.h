// The recursive folder copy on the Win32 file API, in long-path form.
#pragma once

#include <string>

#include "copy/options.h"

namespace qm::win32 {

// Copies the contents of folder `from` into folder `to` (created when missing, merged
// into when present), with attributes and times of files and folders, after walking the
// whole source first (see planCopy: links are followed, loops refused). Each file is
// written to a temporary name beside its destination, flushed, and renamed over the old
// file, so a failure never destroys an earlier copy and leaves no temporary file;
// temporaries that killed runs left in the folders copied into are removed. A destination
// file that still holds the copy of its source (see isUnchanged) is left as it is. With
// ExistingFile::Refuse an existing file stops the copy with 58. Metadata the destination
// refuses is left out. Both paths are absolute, in long-path form. Throws RuntimeError
// with the numbers of error_numbers.h, naming the file concerned. Folders are made and
// finished on the calling thread; files are written by `options.workers` threads meanwhile
// (see workerCount). Every file is flushed before it replaces anything, whatever
// `syncAtEnd` says.
void copyTree(const std::wstring& from, const std::wstring& to, const CopyOptions& options);

}  // namespace qm::win32
