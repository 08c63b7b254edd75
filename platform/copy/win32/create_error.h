// What a failed creation of a named entry in a destination folder means.
#pragma once

#include <windows.h>

#include <string>

namespace qm::win32 {

// The error number for Win32 error `code` from creating the entry `path`. FUSE drivers
// under Wine answer a name they refuse with a permission error or an invalid parameter,
// so with `probe` such an answer is checked against the folder above: when it still takes
// an entry under a name of ours, the volume refused the name (52), else the permission
// (70). Without `probe` (the folder has just taken a temporary file of ours) the answer
// is the name's. Other codes are the copy's numbers for them.
int createErrorNumber(const std::wstring& path, DWORD code, bool probe);

// Whether the folder `folder` takes a new entry: a probe file under a temporary name is
// made there and removed.
bool folderTakesNewEntries(const std::wstring& folder);

}  // namespace qm::win32
