// The copy's rules as pure functions, alike for every system: when a file is unchanged,
// the time steps of volume types, and which error number a failure gets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "errors.h"
#include "tempname.h"

namespace qm::copy {

// ---- Times: nanoseconds since 1970 on every system. ----

inline constexpr std::int64_t kSecondNs = 1'000'000'000;

// The step in which a file-system type stores modification times, by the name the system
// gives the type ("vfat", "FAT32", "exfat", "NTFS", "cifs" ...); 1 ns for a type that keeps
// times exactly or that is unknown (a FUSE volume, learned from a probe instead).
std::int64_t typeTimeStepNs(std::string_view fileSystemName);

// What a destination volume does to a modification time it is given, learned from a probe
// file whose time was set and read back.
struct VolumeTimes {
  // Times are kept to this step: 1 ns on most Linux volumes, 100 ns on NTFS, 10 ms on
  // exFAT, 2 s on FAT. Never coarser than the type's own step where the type is known.
  std::int64_t stepNs = 1;
  // A constant shift between the time set and the time read back (a FAT volume that a
  // driver reads in another time zone): what was read minus what was set.
  std::int64_t offsetNs = 0;
  // False when the volume keeps no time that is set at all: no time can match.
  bool keepsTimes = true;
  // Times are kept in local time (FAT, the volumes of 2 s steps), so a change to or from
  // daylight saving time moves every time read back by an hour.
  bool hourShifts = false;
};

// Learns the step and offset from a probe time `wantedNs` read back as `storedNs`, on a
// volume whose type stores times in steps of `typeStepNs` (1 where not known). A shift of
// whole quarter hours (time zones) beyond the type's step is an offset, not a step.
VolumeTimes learnTimes(std::int64_t wantedNs, std::int64_t storedNs, std::int64_t typeStepNs);

// Whether a time read back as `storedNs` is the time `wantedNs` that was set, on a volume
// that keeps times as `times` says.
bool sameTime(std::int64_t storedNs, std::int64_t wantedNs, const VolumeTimes& times);

// A file as the unchanged decision sees it.
struct FileFacts {
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  // The time of the last change to the data or metadata; 0 where the system does not tell.
  std::int64_t changedNs = 0;
  // What the copy keeps of the access rights (permission bits, the read-only attribute),
  // for the source as its copy would have them.
  std::uint32_t access = 0;
  bool regular = true;
};

// What the volume keeps besides times.
struct VolumeKeeps {
  bool access = true;      // the access rights set on a file are stored
  bool changeTime = true;  // the status-change time is the system's own, apart from a set time
};

// Whether the destination file `target` still holds the copy of `source`: a regular file
// of the same size, a modification time equal within the volume's step once its offset is
// taken off (or, on a volume whose times shift with daylight saving time, exactly an hour
// apart within the step), the same access rights where the volume keeps them, and, where the volume
// has its own change time, a time that a copy set rather than a hand edit (a file written
// in the same clock tick as its source has the same time to the nanosecond).
bool unchanged(const FileFacts& source, const FileFacts& target, const VolumeTimes& times,
               const VolumeKeeps& keeps);

// ---- Temporary names: the one scheme of tempname.h. ----

using qm::temporaryName;
using qm::TemporaryOwner;
using qm::temporaryOwner;

// ---- Names. ----

// Why a volume that keeps names as Windows does (FAT, exFAT and NTFS volumes, and every
// volume on Windows) cannot hold the name of an entry; None where it can.
enum class NameProblem {
  None,
  NotUtf8,             // bytes that are no UTF-8, where the volume stores UTF-16
  TooLong,             // over 255 UTF-16 units
  ReservedCharacter,   // < > : " / \ | ? *
  ControlCharacter,    // U+0001 to U+001F
  TrailingDotOrSpace,  // dropped by Windows, so the copy would get another name
  DeviceName,          // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension
};

// The first problem the UTF-8 name `name` has on such a volume, checked in the order above.
NameProblem windowsNameProblem(std::string_view name);

// ---- Error numbers. ----

// The number a copy step reports for a failure whose general run-time number (the one the
// system's error code stands for anywhere) is `general`: the numbers the copy tool and its
// user tell apart stay (70 permission, 61 full, 57 device, 53 vanished, 52 name), a drive
// not ready or a device gone is a device fault (57), anything else is 75. Inline, since
// each system's error table narrows with it below the copy.
constexpr int copyNumber(int general) {
  switch (general) {
    case err::kPermissionDenied:
    case err::kDiskFull:
    case err::kDeviceIo:
    case err::kFileNotFound:
    case err::kBadFileName: return general;
    case err::kDiskNotReady:
    case err::kDeviceUnavailable: return err::kDeviceIo;
    default: return err::kPathFileAccess;
  }
}

}  // namespace qm::copy
