// A file's stamp: what tells, without reading it, whether a file has changed.
#pragma once

#include <cstdint>

namespace qm::copy {

// A file's state as its system tells it. Two stamps of one file are equal only while
// nothing wrote to it, replaced it or set its times back.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since 1970
  std::int64_t changed = 0;   // the change time, where the system keeps one
  // The file's number on its volume, where the volume keeps one for the file's life; 0
  // where it gives numbers that change when a stick is mounted again (FAT, exFAT, FUSE).
  std::uint64_t identity = 0;
  bool operator==(const FileStamp&) const = default;
};

}  // namespace qm::copy
