// Entries kept packed in the order they came, beyond a few in a scratch file.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "copy/scratch_records.h"

namespace qm::copy {

// The folders a folder holds, kept while the walk and the check go into them one after
// the other. Each is packed by its system (see primitives.h), about a hundred bytes, and
// held in memory up to kHeldBytes; beyond that they go to a scratch file, so that a
// folder of a million folders does not hold a million entries in memory while the walk
// goes down each.
class PackedEntries {
 public:
  static constexpr std::size_t kHeldBytes = std::size_t{64} << 10;

  // `folder`: the folder they are in, which a scratch file that cannot be read back names.
  explicit PackedEntries(std::string folder) : folder_(std::move(folder)) {}

  // `pack(std::string&)` appends the entry's packed bytes.
  template <typename Pack>
  void add(Pack pack) {
    entry_.clear();
    pack(entry_);
    records_.add(entry_);
  }
  std::size_t count() const { return records_.count(); }

  // The next entry's packed bytes, in the order they were added, each once; false after
  // the last. Called once all are added. Throws RuntimeError: 57 where the scratch file
  // cannot be read back: a folder is never passed over unsaid.
  bool next(std::string& entry);

 private:
  const std::string folder_;
  ScratchRecords records_{kHeldBytes};
  std::string entry_;  // the entry being packed, its buffer used again for the next
};

}  // namespace qm::copy
