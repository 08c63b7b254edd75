// What a destination volume keeps of a file's metadata, and when a copied file is unchanged.
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace qm::fs {

struct VolumeTraits {
  // The steps in which the volume stores modification times: 1 ns on most Linux file
  // systems, 100 ns on NTFS, 10 ms or 1 s on exFAT, 2 s on FAT.
  std::int64_t timeStepNs = 1;
  // Permission bits set on a file are stored (not on FAT and exFAT).
  bool keepsModes = true;
  // The status-change time is the system's own, so a file whose times a copy set has a
  // status-change time apart from its modification time. FAT and exFAT volumes report the
  // modification time there.
  bool keepsChangeTime = true;
};

// Learns what the volume that holds the open folder `dirFd` keeps: creates a probe file
// there (unnamed where the system can, else under a temporary name), sets its permission
// bits and times, reads back what was stored and removes it. Where no probe file can be
// made, the file-system type alone decides.
VolumeTraits probeVolume(int dirFd);

// Whether the existing destination file `target` on a volume with `traits` can be left as
// it is for the source file `source`: same size, modification times within the volume's
// step, same permission bits where the volume keeps them, and, where the volume has its
// own status-change time, a target whose times were set by a copy rather than by writing
// it (a file written by hand in the same clock tick as its source has the same
// modification time to the nanosecond).
bool unchangedFile(const struct stat& source, const struct stat& target,
                   const VolumeTraits& traits);

// The step, from the candidates volumes use, that a stored time losing `lossNs`
// nanoseconds against the one requested reveals.
std::int64_t timeStepFromLoss(std::int64_t lossNs);

}  // namespace qm::fs
