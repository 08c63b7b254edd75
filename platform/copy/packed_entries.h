// Entries kept packed in the order they came, beyond a few in a scratch file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

namespace qm::copy {

// The folders a folder holds, kept while the walk and the check go into them one after
// the other. Each is packed by its system (see primitives.h), about a hundred bytes, and
// held in memory up to kHeldBytes; beyond that they go to a scratch file, made the first
// time it is needed, so that a folder of a million folders does not hold a million entries
// in memory while the walk goes down each. Where no scratch file can be made or written,
// they stay in memory.
class PackedEntries {
 public:
  static constexpr std::size_t kHeldBytes = std::size_t{64} << 10;

  // `folder`: the folder they are in, which a scratch file that cannot be read back names.
  explicit PackedEntries(std::string folder) : folder_(std::move(folder)) {}
  ~PackedEntries();
  PackedEntries(const PackedEntries&) = delete;
  PackedEntries& operator=(const PackedEntries&) = delete;

  // `pack(std::string&)` appends the entry's packed bytes.
  template <typename Pack>
  void add(Pack pack) {
    entry_.clear();
    pack(entry_);
    append(entry_);
  }
  std::size_t count() const { return count_; }

  // The next entry's packed bytes, in the order they were added, each once; false after
  // the last. Called once all are added. Throws RuntimeError: 57 where the scratch file
  // cannot be read back: a folder is never passed over unsaid.
  bool next(std::string& entry);

 private:
  void append(const std::string& entry);
  void spill();
  bool nextFromFile(std::string& entry);

  const std::string folder_;
  std::FILE* file_ = nullptr;
  bool spilling_ = true;  // false once the scratch file could not be made or written
  long stored_ = 0;       // the bytes of the file that hold whole entries
  long readFrom_ = -1;    // where reading the file has got to; -1: reading has not begun
  std::string held_;      // entries not in the file
  std::size_t heldAt_ = 0;
  std::string entry_;  // the entry being packed, its buffer used again for the next
  std::size_t count_ = 0;
};

}  // namespace qm::copy
