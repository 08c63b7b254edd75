// The files a copy wrote, kept for the read-back in a scratch file rather than in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "copy/file_stamp.h"

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
  WrittenFiles();
  ~WrittenFiles();
  WrittenFiles(const WrittenFiles&) = delete;
  WrittenFiles& operator=(const WrittenFiles&) = delete;

  void add(const std::string& relative, const FileStamp& stamp, const FileStamp& copy = {});
  std::uint64_t count() const { return count_; }
  std::uint64_t bytes() const { return bytes_; }

  // Reads the records in the order they were added, once every one is added.
  void rewind();
  bool next(WrittenFile& file);

 private:
  // Moves the records held in memory to the file, where there is one.
  void spill();
  bool readFromFile(WrittenFile& file);

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool spilling_ = true;
  long stored_ = 0;     // the bytes of the file that hold whole records
  long readFrom_ = -1;  // where reading the file has got to; -1: not reading it
  std::string held_;    // records not in the file
  std::size_t heldAt_ = 0;
  std::uint64_t count_ = 0;
  std::uint64_t bytes_ = 0;
};

}  // namespace qm::copy
