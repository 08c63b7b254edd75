// What a destination volume keeps of the times and attributes a copy sets, and so how
// an earlier copy's file is recognised as unchanged.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "listing.h"

namespace qm::win32 {

struct VolumeRules {
  // Write times are kept to this step (1: 100 ns, NTFS; 100,000: 10 ms, exFAT; 20,000,000:
  // 2 s, FAT); 0 when the volume does not keep a time that is set, so no time can match.
  Ticks timeStep = 1;
  // The volume records when a file's data or metadata last changed (NTFS, and the Unix
  // file systems under Wine); FAT and exFAT do not.
  bool keepsChangeTime = false;
  bool keepsReadOnly = true;
};

// The rules a file-system name (GetVolumeInformation) stands for; unknown names are
// taken as exact.
VolumeRules rulesForFileSystem(std::wstring_view name);

// The step of those above that explains a time `stored` for a time `wanted`: the coarsest
// grid `stored` lies on within one step of `wanted` (a time cut or rounded to it), else the
// smallest step above the difference; 0 when none does (the time was not kept at all).
Ticks stepFor(Ticks wanted, Ticks stored);

// The rules of the volume holding the open folder `folder` at `path`: by its file-system
// name, refined by a probe file in the folder whose write time and read-only attribute are
// set and read back, since drivers (FUSE ones under Wine in particular) keep less than
// their names promise. Without a probe (the folder takes no files) the name decides.
VolumeRules learnVolumeRules(HANDLE folder, const std::wstring& path);

// Whether the destination file `old` still holds the copy of `source`: the same size, a
// write time within the volume's step, the same read-only attribute where the volume keeps
// it, and, where the volume keeps change times, a write time that a copy set (changed
// after it was written); a file written by hand in the same instant as its source is
// therefore copied again.
bool isUnchanged(const Entry& source, const Entry& old, const VolumeRules& rules);

}  // namespace qm::win32
