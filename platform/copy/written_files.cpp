// The record of the files a copy wrote: each the path and its stamps, in scratch records.
#include "written_files.h"

#include <cstring>

namespace qm::copy {

void WrittenFiles::add(const std::string& relative, const FileStamp& stamp, const FileStamp& copy) {
  std::lock_guard lock(mutex_);
  record_ = relative;
  record_.append(reinterpret_cast<const char*>(&stamp), sizeof stamp);
  record_.append(reinterpret_cast<const char*>(&copy), sizeof copy);
  records_.add(record_);
  bytes_ += stamp.size;
}

void WrittenFiles::rewind() {
  std::lock_guard lock(mutex_);
  records_.rewind();
}

// A record the scratch file lost is passed over: the read-back reads fewer files.
bool WrittenFiles::next(WrittenFile& file) {
  std::lock_guard lock(mutex_);
  constexpr std::size_t kStamps = 2 * sizeof(FileStamp);
  for (;;) {
    const ScratchRecords::Read read = records_.next(record_);
    if (read == ScratchRecords::Read::End) return false;
    if (read == ScratchRecords::Read::Lost || record_.size() < kStamps) continue;
    const std::size_t length = record_.size() - kStamps;
    file.relative.assign(record_, 0, length);
    std::memcpy(&file.stamp, record_.data() + length, sizeof file.stamp);
    std::memcpy(&file.copy, record_.data() + length + sizeof file.stamp, sizeof file.copy);
    return true;
  }
}

}  // namespace qm::copy
