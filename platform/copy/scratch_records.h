// Records of bytes kept in the order they came: a share in memory, the rest in a scratch file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace qm::copy {

// Holds records in memory up to `heldBytes`, then moves them to a temporary file of this
// process, made the first time it is needed, so that memory does not grow with their
// number. Where no such file can be made or written, they stay in memory. Read once all
// are added, from the first, as often as rewind() starts again.
class ScratchRecords {
 public:
  enum class Read { Record, End, Lost };  // Lost: the file could not be read back

  explicit ScratchRecords(std::size_t heldBytes) : heldBytes_(heldBytes) {}
  ~ScratchRecords();
  ScratchRecords(const ScratchRecords&) = delete;
  ScratchRecords& operator=(const ScratchRecords&) = delete;

  void add(std::string_view record);
  std::size_t count() const { return count_; }

  // Reads from the first record again.
  void rewind();
  // The next record, in the order they were added; End after the last. Lost where what
  // the file holds cannot be read back: the records still in memory follow.
  Read next(std::string& record);

 private:
  void spill();
  Read nextFromFile(std::string& record);

  const std::size_t heldBytes_;
  std::FILE* file_ = nullptr;
  bool spilling_ = true;  // false once the scratch file could not be made or written
  long stored_ = 0;       // the bytes of the file that hold whole records
  long readFrom_ = -1;    // where reading the file has got to; -1: not reading it
  bool lost_ = false;     // the file could not be read from its start
  std::string held_;      // records not in the file
  std::size_t heldAt_ = 0;
  std::size_t count_ = 0;
};

}  // namespace qm::copy
