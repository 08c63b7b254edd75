// The files a copy wrote, kept for the read-back in a scratch file rather than in memory.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "copy/file_stamp.h"
#include "copy/scratch_records.h"

namespace qm::copy {

// A file to read back, with its source's stamp as it was copied: the read-back leaves
// alone a file whose source has changed since, which the next run copies again anyway.
struct WrittenFile {
  std::string relative;  // below the top folder of the copy
  FileStamp stamp;
  FileStamp copy;  // the copy's own, as this run left it or found it
};

// Filled by the copy's threads while it writes, read once it is done. The records go to a
// temporary file of this process in steps, so that memory does not grow with the number
// of files written; where no such file can be made or written, they stay in memory.
class WrittenFiles {
 public:
  void add(const std::string& relative, const FileStamp& stamp, const FileStamp& copy = {});
  std::uint64_t count() const { return records_.count(); }
  std::uint64_t bytes() const { return bytes_; }

  // Reads the records in the order they were added, once every one is added.
  void rewind();
  bool next(WrittenFile& file);

 private:
  std::mutex mutex_;
  ScratchRecords records_{std::size_t{1} << 20};  // each the path, then the two stamps
  std::string record_;  // the record being read or written, its buffer used again
  std::uint64_t bytes_ = 0;
};

}  // namespace qm::copy
