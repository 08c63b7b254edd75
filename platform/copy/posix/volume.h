// What a destination volume keeps of a file's metadata, and when a copied file is unchanged.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "copy/name_fold.h"
#include "copy/rules.h"

namespace qm::posix {

struct VolumeRules {
  // How the volume stores modification times: in steps of 1 ns on most Linux file systems,
  // 100 ns on NTFS, 10 ms or 1 s on exFAT, 2 s on FAT; shifted where a driver reads the
  // volume in another time zone.
  copy::VolumeTimes times;
  // Permission bits set on a file are stored (not on FAT and exFAT).
  bool keepsModes = true;
  // The status-change time is the system's own, so a file whose times a copy set has a
  // status-change time apart from its modification time. FAT and exFAT volumes report the
  // modification time there.
  bool keepsChangeTime = true;
  // Symbolic links can be made there (not on FAT and exFAT). Probed only where a copy
  // follows links by volume, since the probe link is a named entry of the folder.
  bool keepsLinks = true;
  // FIFOs can be made there (not on FAT and exFAT, whose drivers answer with an I/O error).
  bool keepsFifos = true;
  // A file written, closed and renamed over another gets the present time (the FUSE FAT
  // driver does this), so a copy sets its times again after the rename.
  bool timesLostOnRename = false;
  // Two names are one there: by case, by composed and decomposed forms. Where they are,
  // the copy keeps which source entry each destination entry it met belongs to.
  copy::NameFolding names;

  copy::VolumeKeeps keeps() const { return {keepsModes, keepsChangeTime}; }
};

// Learns what the volume that holds the open folder `dirFd` keeps: creates a probe file
// there (unnamed where the system can, else under a temporary name), sets its permission
// bits and times, reads back what was stored and removes it. Where no probe file can be
// made, the file-system type alone decides.
// With `askLinks`, also makes and removes a probe link.
VolumeRules probeVolume(int dirFd, bool askLinks);

// Whether the existing destination file `target` on a volume with `rules` can be left as
// it is for the source file `source`: same size, modification times within the volume's
// step, same permission bits where the volume keeps them, and, where the volume has its
// own status-change time, a target whose times were set by a copy rather than by writing
// it (a file written by hand in the same clock tick as its source has the same
// modification time to the nanosecond).
bool unchangedFile(const struct stat& source, const struct stat& target, const VolumeRules& rules);

// Whether the volume that holds `dirFd` gives each file a number for its life: not FAT and
// exFAT, whose drivers number files as they meet them, nor FUSE volumes, whose kernel side
// numbers names as they are looked up; both change once a stick is mounted again.
bool keepsFileNumbers(int dirFd);

// A status time in nanoseconds since 1970.
std::int64_t nanoseconds(const struct timespec& time);

// Whether the status `now` is of the file `before` was, with the same type, size, data and
// status: what tells that a file read from `before` on was not changed meanwhile.
bool sameFileState(const struct stat& now, const struct stat& before);

}  // namespace qm::posix
