// What a destination volume keeps of the times and attributes a copy sets, and so how
// an earlier copy's file is recognised as unchanged.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "copy/rules.h"
#include "listing.h"

namespace qm::win32 {

struct VolumeRules {
  // How write times are kept: in steps of 100 ns on NTFS, 10 ms on exFAT, 2 s on FAT, and
  // shifted where a driver reads the volume in another time zone.
  copy::VolumeTimes times;
  // The volume records when a file's data or metadata last changed (NTFS, and the Unix
  // file systems under Wine); FAT and exFAT do not.
  bool keepsChangeTime = false;
  bool keepsReadOnly = true;
};

// The rules a file-system name (GetVolumeInformation) stands for; unknown names are
// taken as exact.
VolumeRules rulesForFileSystem(std::wstring_view name);

// A time in ticks as nanoseconds since 1970, as the copy's rules take times; times
// beyond what those can hold are held at their ends.
std::int64_t nanosecondsOf(Ticks ticks);

// The rules of the volume holding the open folder `folder` at `path`: by its file-system
// name, refined by a probe file in the folder whose write time and read-only attribute are
// set and read back, since drivers (FUSE ones under Wine in particular) keep less than
// their names promise. Without a probe (the folder takes no files) the name decides.
VolumeRules probeVolume(HANDLE folder, const std::wstring& path);

// Whether the destination file `old` still holds the copy of `source`: the same size, a
// write time within the volume's step, the same read-only attribute where the volume keeps
// it, and, where the volume keeps change times, a write time that a copy set (changed
// after it was written); a file written by hand in the same instant as its source is
// therefore copied again.
bool isUnchanged(const Entry& source, const Entry& old, const VolumeRules& rules);

}  // namespace qm::win32
