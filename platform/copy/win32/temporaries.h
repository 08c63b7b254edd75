// The copy's temporary files: names that cannot collide, and the removal of the ones an
// earlier run of ours left behind when it was killed.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "listing.h"
#include "os/win32/handle.h"

namespace qm::win32 {

// The name this run gives its temporary number `serial` in `folder`:
// "<folder>\.qm-0-<process id>-<process start time>-<serial>.tmp", the copy's one scheme
// (copy/rules.h), so that a later run can tell whether the run that made it still runs.
std::wstring temporaryName(const std::wstring& folder, unsigned serial);

// The serial number the next temporary of this run gets.
unsigned nextTemporarySerial();

// Creates a new file in `folder` under a temporary name of this run, moving on to the next
// name while a name is taken. Returns the open handle and sets `path`; an invalid handle
// (reason in GetLastError) when the folder refuses the file.
Handle createTemporaryFile(const std::wstring& folder, DWORD access, DWORD attributes,
                           std::wstring& path);

// Whether `name` is a temporary of a run of ours that is no longer running.
bool isStaleTemporary(std::wstring_view name);

// Removes from `folder` the temporaries among `entries` whose runs have ended. One that
// cannot be removed now (open elsewhere, read-only medium) stays for a later run: it
// belongs to no file of the copy, so the copy goes on.
void removeStaleTemporaries(const std::wstring& folder, const std::vector<Entry>& entries);

}  // namespace qm::win32
